#pragma once
// The formulas behind a line's capability and drift figures, each written
// once. They take sums (counts, sums, sums of squares, daily tallies) that a
// reader streams from journals or a database adds up, so that both give the
// same figures from the same sums.
//
// Checked against published worked examples (tests/prodtest/StatisticsTest.cpp):
// - sample standard deviation: 2, 4, 4, 4, 5, 5, 7, 9 gives s = sqrt(32 / 7) = 2.138;
// - capability: NIST/SEMATECH e-Handbook of Statistical Methods, 6.1.6 "What is
//   Process Capability?": LSL 8, USL 20, mean 16, sigma 2 give Cpl 1.333, Cpu 0.667;
//   D. C. Montgomery, Introduction to Statistical Quality Control, 6th ed., 8.3.1:
//   bottles' bursting strength, LSL 200 psi, mean 264, s 32 give Cpl 0.67;
// - p chart: Montgomery, 7.2.1, Example 7.1 (orange juice cans): p-bar 0.2313,
//   samples of 50, give UCL 0.4102 and LCL 0.0524;
// - individuals chart: Montgomery, 6.4, Example 6.5 (mortgage loan processing
//   costs): mean 300.5, mean moving range 7.79 give UCL 321.22 and LCL 279.78.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Count, sum and sum of squares of whole-number measurements. Sums of whole
// numbers are exact in long double up to 2^64, so the order of adding does
// not change them.
struct Moments {
  uint64_t n = 0;
  long double sum = 0;
  long double sumOfSquares = 0;

  void Add(uint64_t value, uint64_t count = 1);
  void Add(const Moments& other);
};

// None without measurements.
std::optional<double> MeanOf(const Moments& moments);
// The sample standard deviation (n - 1); none with fewer than two measurements.
std::optional<double> SampleSigmaOf(const Moments& moments);

// Fewer measurements give no Cpk: their sigma says too little.
inline constexpr uint64_t kFewestForCpk = 30;
// Below this Cpk a process is not capable; below kLeastCpk it makes defects plainly.
inline constexpr double kCapableCpk = 1.33;
inline constexpr double kLeastCpk = 1.0;

enum class LimitSide { Lower, Upper };

// Cpk against one limit: (mean - limit) / 3 sigma for a lower limit, (limit - mean) / 3 sigma for an upper.
double CpkAgainst(LimitSide side, double limit, double mean, double sigma);

struct Capability {
  uint64_t n = 0;
  std::optional<double> mean;
  std::optional<double> sigma;
  std::optional<double> limit;
  std::optional<double> cpk;  // none: no limit, fewer than kFewestForCpk, or no spread (sigma 0)
};
Capability CapabilityOf(const Moments& moments, LimitSide side, std::optional<double> limit);

struct ControlLimits {
  double lower = 0;
  double upper = 0;
};

// A p chart's limits for a sample of `n`: centre +- 3 sqrt(centre (1 - centre) / n), within 0 and 1.
ControlLimits PChartLimits(double centre, uint64_t n);

// The mean of the moving ranges |x[i] - x[i-1]|; none for fewer than two values.
std::optional<double> MeanMovingRange(const std::vector<double>& values);
// An individuals chart's limits: centre +- 3 (mean moving range) / d2, d2 = 1.128 for ranges of two.
ControlLimits IndividualsLimits(double centre, double meanMovingRange);

// A run of this many points on one side of the centre line is a signal.
inline constexpr size_t kRunLength = 8;

enum class ChartRule { BelowLimit, AboveLimit, RunBelow, RunAbove };

struct ChartPoint {
  double value = 0;
  ControlLimits limits;
};

struct ChartBreak {
  size_t point = 0;
  ChartRule rule = ChartRule::BelowLimit;
};

// Each point outside its limits, and each run of kRunLength points on one
// side of `centre`, named at its kRunLength-th point (a longer run is named
// once). A point on the centre line ends a run.
std::vector<ChartBreak> ChartBreaks(const std::vector<ChartPoint>& points, double centre);
