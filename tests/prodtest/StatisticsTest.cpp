// The capability and drift formulas against published worked examples (named
// in prodtest/Statistics.h) and small cases worked by hand: zero sigma, one
// day, all passed.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "prodtest/Statistics.h"

namespace {

constexpr double kTextbookRounding = 0.005;  // the books print two or four places

Moments MomentsOf(const std::vector<uint64_t>& values) {
  Moments moments;
  for (const uint64_t value : values) moments.Add(value);
  return moments;
}

TEST(StatisticsTest, MeanAndSampleSigma) {
  const struct {
    std::vector<uint64_t> values;
    std::optional<double> mean, sigma;
  } cases[] = {
      {{2, 4, 4, 4, 5, 5, 7, 9}, 5.0, std::sqrt(32.0 / 7)},
      {{40, 40, 40}, 40.0, 0.0},  // zero sigma exactly, not a rounding's remains
      {{4000000000u, 4000000000u}, 4e9, 0.0},
      {{7}, 7.0, std::nullopt},
      {{}, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const Moments moments = MomentsOf(c.values);
    EXPECT_EQ(c.mean, MeanOf(moments)) << c.values.size();
    ASSERT_EQ(c.sigma.has_value(), SampleSigmaOf(moments).has_value());
    if (c.sigma) {
      EXPECT_DOUBLE_EQ(*c.sigma, *SampleSigmaOf(moments));
    }
  }
  Moments halves = MomentsOf({2, 4, 4, 4});
  halves.Add(MomentsOf({5, 5, 7, 9}));
  EXPECT_DOUBLE_EQ(std::sqrt(32.0 / 7), *SampleSigmaOf(halves));
}

TEST(StatisticsTest, CpkOfTheWorkedExamples) {
  const struct {
    LimitSide side;
    double limit, mean, sigma, cpk;
  } cases[] = {
      {LimitSide::Lower, 8, 16, 2, 1.333},   // NIST 6.1.6
      {LimitSide::Upper, 20, 16, 2, 0.667},  // NIST 6.1.6
      {LimitSide::Lower, 200, 264, 32, 0.67},  // Montgomery 8.3.1, bottles
      {LimitSide::Upper, 60, 70, 5, -0.667},   // the mean beyond the limit
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(c.cpk, CpkAgainst(c.side, c.limit, c.mean, c.sigma), kTextbookRounding) << c.limit;
  }
}

TEST(StatisticsTest, CapabilityNeedsALimitThirtyTestsAndSpread) {
  std::vector<uint64_t> thirty;
  for (uint64_t i = 0; i < kFewestForCpk; ++i) thirty.push_back(36 + i % 3);  // 36, 37, 38: mean 37, s 0.830
  std::vector<uint64_t> twentyNine(thirty.begin() + 1, thirty.end());
  const struct {
    std::vector<uint64_t> values;
    std::optional<double> limit;
    bool hasCpk;
  } cases[] = {
      {thirty, 35.0, true},
      {twentyNine, 35.0, false},  // too few
      {thirty, std::nullopt, false},
      {std::vector<uint64_t>(kFewestForCpk, 40), 35.0, false},  // no spread
  };
  for (const auto& c : cases) {
    const Capability capability = CapabilityOf(MomentsOf(c.values), LimitSide::Lower, c.limit);
    EXPECT_EQ(c.hasCpk, capability.cpk.has_value()) << c.values.size();
    EXPECT_EQ(c.values.size(), capability.n);
  }
  const Capability capability = CapabilityOf(MomentsOf(thirty), LimitSide::Lower, 35.0);
  EXPECT_NEAR(2 / (3 * std::sqrt(20.0 / 29)), *capability.cpk, 1e-12);
}

TEST(StatisticsTest, ControlLimitsOfTheWorkedExamples) {
  const ControlLimits juice = PChartLimits(0.2313, 50);  // Montgomery, Example 7.1
  EXPECT_NEAR(0.4102, juice.upper, kTextbookRounding / 10);
  EXPECT_NEAR(0.0524, juice.lower, kTextbookRounding / 10);
  const ControlLimits loans = IndividualsLimits(300.5, 7.79);  // Montgomery, Example 6.5
  EXPECT_NEAR(321.22, loans.upper, kTextbookRounding);
  EXPECT_NEAR(279.78, loans.lower, kTextbookRounding);
  // All passed: no spread, limits on the centre; a small sample's limits stop at 0 and 1.
  EXPECT_EQ(1.0, PChartLimits(1.0, 12).lower);
  EXPECT_EQ(0.0, PChartLimits(0.5, 2).lower);
  EXPECT_EQ(1.0, PChartLimits(0.5, 2).upper);
  EXPECT_EQ(std::nullopt, MeanMovingRange({41.5}));  // one day: no moving range
  EXPECT_DOUBLE_EQ(3.0, *MeanMovingRange({40, 43, 40, 43}));
}

TEST(StatisticsTest, BreaksOutsideTheLimitsAndRunsOfEight) {
  const ControlLimits limits{10, 20};
  const auto points = [&limits](const std::vector<double>& values) {
    std::vector<ChartPoint> out;
    for (const double value : values) out.push_back({value, limits});
    return out;
  };
  const auto breaks = [](const std::vector<ChartBreak>& found) {
    std::vector<std::pair<size_t, ChartRule>> out;
    for (const ChartBreak& b : found) out.emplace_back(b.point, b.rule);
    return out;
  };
  using R = ChartRule;
  const struct {
    std::vector<double> values;
    std::vector<std::pair<size_t, ChartRule>> expected;
  } cases[] = {
      {{15}, {}},  // one day
      {{9, 21, 15}, {{0, R::BelowLimit}, {1, R::AboveLimit}}},
      {{16, 16, 16, 16, 16, 16, 16}, {}},  // seven
      {{16, 16, 16, 16, 16, 16, 16, 16, 16, 16}, {{7, R::RunAbove}}},  // named once, at the eighth
      {{14, 14, 14, 14, 15, 14, 14, 14, 14}, {}},  // the centre line ends a run
      {{14, 14, 14, 14, 14, 14, 14, 9}, {{7, R::BelowLimit}, {7, R::RunBelow}}},
      {{15, 15, 15, 15, 15, 15, 15, 15, 15}, {}},  // zero sigma: every day on the centre
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, breaks(ChartBreaks(points(c.values), 15))) << c.values.size();
  }
}

}  // namespace
