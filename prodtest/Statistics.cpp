#include "prodtest/Statistics.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSigmas = 3;
constexpr double kD2OfTwo = 1.128;  // d2: the mean range of two normal values, in sigmas

}  // namespace

void Moments::Add(uint64_t value, uint64_t count) {
  const auto x = static_cast<long double>(value);
  n += count;
  sum += x * static_cast<long double>(count);
  sumOfSquares += x * x * static_cast<long double>(count);
}

void Moments::Add(const Moments& other) {
  n += other.n;
  sum += other.sum;
  sumOfSquares += other.sumOfSquares;
}

std::optional<double> MeanOf(const Moments& moments) {
  if (moments.n == 0) return std::nullopt;
  return static_cast<double>(moments.sum / static_cast<long double>(moments.n));
}

std::optional<double> SampleSigmaOf(const Moments& moments) {
  if (moments.n < 2) return std::nullopt;
  const auto n = static_cast<long double>(moments.n);
  // n Sxx - Sx^2 is exact for whole numbers, so equal values give exactly 0.
  const long double spread = std::max(0.0L, n * moments.sumOfSquares - moments.sum * moments.sum);
  return static_cast<double>(std::sqrt(spread / (n * (n - 1))));
}

double CpkAgainst(LimitSide side, double limit, double mean, double sigma) {
  return (side == LimitSide::Lower ? mean - limit : limit - mean) / (kSigmas * sigma);
}

Capability CapabilityOf(const Moments& moments, LimitSide side, std::optional<double> limit) {
  Capability capability{moments.n, MeanOf(moments), SampleSigmaOf(moments), limit, std::nullopt};
  if (limit && moments.n >= kFewestForCpk && capability.sigma && *capability.sigma > 0) {
    capability.cpk = CpkAgainst(side, *limit, *capability.mean, *capability.sigma);
  }
  return capability;
}

ControlLimits PChartLimits(double centre, uint64_t n) {
  const double spread = kSigmas * std::sqrt(centre * (1 - centre) / static_cast<double>(n));
  return {std::max(0.0, centre - spread), std::min(1.0, centre + spread)};
}

std::optional<double> MeanMovingRange(const std::vector<double>& values) {
  if (values.size() < 2) return std::nullopt;
  double ranges = 0;
  for (size_t i = 1; i < values.size(); ++i) ranges += std::fabs(values[i] - values[i - 1]);
  return ranges / static_cast<double>(values.size() - 1);
}

ControlLimits IndividualsLimits(double centre, double meanMovingRange) {
  const double spread = kSigmas * meanMovingRange / kD2OfTwo;
  return {centre - spread, centre + spread};
}

std::vector<ChartBreak> ChartBreaks(const std::vector<ChartPoint>& points, double centre) {
  std::vector<ChartBreak> breaks;
  int side = 0;  // -1 below the centre, 1 above, 0 on it
  size_t run = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    const ChartPoint& point = points[i];
    if (point.value < point.limits.lower) breaks.push_back({i, ChartRule::BelowLimit});
    if (point.value > point.limits.upper) breaks.push_back({i, ChartRule::AboveLimit});
    const int pointSide = point.value < centre ? -1 : point.value > centre ? 1 : 0;
    run = pointSide != 0 && pointSide == side ? run + 1 : 1;
    side = pointSide;
    if (side != 0 && run == kRunLength) breaks.push_back({i, side < 0 ? ChartRule::RunBelow : ChartRule::RunAbove});
  }
  return breaks;
}
