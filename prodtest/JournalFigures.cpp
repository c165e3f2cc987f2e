#include "prodtest/JournalFigures.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

constexpr double kChartSigmas = 3;  // a chart's limits lie this many sigmas from its centre
constexpr double kUnlimited = std::numeric_limits<double>::infinity();

double Fraction(uint64_t part, uint64_t whole) {
  return whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole);
}

struct RuleInfo {
  SignalRule rule;
  const char* name;
  const char* text;
};

constexpr RuleInfo kRules[] = {
    {SignalRule::YieldBelowLimit, "yieldBelowLimit", "daily yield below its lower limit"},
    {SignalRule::YieldAboveLimit, "yieldAboveLimit", "daily yield above its upper limit"},
    {SignalRule::YieldRunBelow, "yieldRunBelow", "8 days running of yield below the centre line"},
    {SignalRule::YieldRunAbove, "yieldRunAbove", "8 days running of yield above the centre line"},
    {SignalRule::SnrBelowLimit, "snrBelowLimit", "daily mean average SNR below its lower limit"},
    {SignalRule::SnrAboveLimit, "snrAboveLimit", "daily mean average SNR above its upper limit"},
    {SignalRule::SnrRunBelow, "snrRunBelow", "8 days running of mean average SNR below the centre line"},
    {SignalRule::SnrRunAbove, "snrRunAbove", "8 days running of mean average SNR above the centre line"},
    {SignalRule::StationBelowLine, "stationBelowLine", "station's yield below the line's lower limit"},
    {SignalRule::StationAboveLine, "stationAboveLine", "station's yield above the line's upper limit"},
};
static_assert(kRunLength == 8, "the rules' texts name the run's length");

const RuleInfo& InfoOf(SignalRule rule) {
  return *std::find_if(std::begin(kRules), std::end(kRules), [rule](const RuleInfo& info) { return info.rule == rule; });
}

// Signals of a station outside the line first, then of a day outside a limit, then of runs.
int RankOf(SignalRule rule) {
  switch (rule) {
    case SignalRule::StationBelowLine:
    case SignalRule::StationAboveLine: return 0;
    case SignalRule::YieldRunBelow:
    case SignalRule::YieldRunAbove:
    case SignalRule::SnrRunBelow:
    case SignalRule::SnrRunAbove: return 2;
    default: return 1;
  }
}

// How far `value` lies from `centre`, in the sigmas of a limit kChartSigmas away.
double SigmasOut(double value, double centre, double limit) {
  const double sigma = std::fabs(limit - centre) / kChartSigmas;
  return sigma > 0 ? std::fabs(value - centre) / sigma : kChartSigmas;
}

JournalSignal SignalOf(const std::string& group, const DayChart& chart, const ChartBreak& found,
                       const SignalRule (&rules)[4]) {
  const ChartPoint& point = chart.points[found.point];
  const double limit = found.rule == ChartRule::BelowLimit   ? point.limits.lower
                       : found.rule == ChartRule::AboveLimit ? point.limits.upper
                                                             : chart.centre;
  const bool run = found.rule == ChartRule::RunBelow || found.rule == ChartRule::RunAbove;
  return {group, chart.days[found.point], rules[static_cast<size_t>(found.rule)], point.value, limit,
          run ? 0.0 : SigmasOut(point.value, chart.centre, limit)};
}

void AddChartSignals(const std::string& group, const DayChart& chart, const SignalRule (&rules)[4],
                     std::vector<JournalSignal>& signals) {
  for (const ChartBreak& found : ChartBreaks(chart.points, chart.centre)) {
    signals.push_back(SignalOf(group, chart, found, rules));
  }
}

// With --by station: each station's yield against the line's, with the limits for the station's count of tests.
void AddStationSignals(const CJournalSummary& summary, std::vector<JournalSignal>& signals) {
  uint64_t tests = 0;
  uint64_t passed = 0;
  for (const auto& [key, group] : summary.Groups()) {
    tests += group.tests;
    passed += group.passed;
  }
  const double line = Fraction(passed, tests);
  for (const auto& [key, group] : summary.Groups()) {
    const ControlLimits limits = PChartLimits(line, group.tests);
    const double yield = group.Yield();
    const std::string day(JournalDayOf(group.last));
    if (yield < limits.lower) {
      signals.push_back({key, day, SignalRule::StationBelowLine, yield, limits.lower,
                         SigmasOut(yield, line, limits.lower)});
    } else if (yield > limits.upper) {
      signals.push_back({key, day, SignalRule::StationAboveLine, yield, limits.upper,
                         SigmasOut(yield, line, limits.upper)});
    }
  }
}

}  // namespace

Moments MomentsOf(const CountHistogram& values) {
  Moments moments;
  values.ForEach([&moments](uint32_t value, uint64_t count) { moments.Add(value, count); });
  return moments;
}

UnitYields UnitYieldsOf(const JournalGroup& group) {
  const JournalUnitCounts counts = CountUnits(group.units);
  return {counts.units, group.tests - counts.units, Fraction(counts.passedFirst, counts.units),
          Fraction(counts.passedLast, counts.units)};
}

GroupCapability CapabilityOfGroup(const JournalGroup& group, std::optional<uint32_t> timeout) {
  GroupCapability capability;
  const auto lowestLevel = group.averageSnrByPassLevel.begin();
  capability.averageSnr = lowestLevel == group.averageSnrByPassLevel.end()
                              ? CapabilityOf(Moments{}, LimitSide::Lower, std::nullopt)
                              : CapabilityOf(MomentsOf(lowestLevel->second), LimitSide::Lower, lowestLevel->first);
  capability.mixedPassLevels = group.averageSnrByPassLevel.size() > 1;

  std::optional<double> limit;
  if (timeout) {
    limit = *timeout;
    capability.ttffLimitFrom = TimeoutSource::Option;
  } else if (const auto shortest = group.testTimeouts.Percentile(0)) {
    limit = *shortest;
    capability.ttffLimitFrom = TimeoutSource::TimedOutTests;
    capability.mixedTimeouts = shortest != group.testTimeouts.Percentile(100);
  }
  capability.ttff = CapabilityOf(MomentsOf(group.ttffSeconds), LimitSide::Upper, limit);
  return capability;
}

CpkRating RatingOf(double cpk) {
  if (cpk >= kCapableCpk) return CpkRating::Capable;
  return cpk >= kLeastCpk ? CpkRating::NotCapable : CpkRating::BelowOne;
}

DayChart YieldDayChart(const JournalGroup& group) {
  DayChart chart;
  chart.centre = group.Yield();
  chart.limited = true;
  for (const auto& [day, tally] : group.days) {
    chart.days.push_back(day);
    chart.points.push_back({Fraction(tally.passed, tally.tests), PChartLimits(chart.centre, tally.tests)});
  }
  return chart;
}

DayChart SnrDayChart(const JournalGroup& group) {
  DayChart chart;
  std::vector<double> means;
  for (const auto& [day, tally] : group.days) {
    chart.days.push_back(day);
    means.push_back(Fraction(tally.averageSnrSum, tally.tests));
  }
  double sum = 0;
  for (const double mean : means) sum += mean;
  chart.centre = means.empty() ? 0.0 : sum / static_cast<double>(means.size());
  const std::optional<double> movingRange = MeanMovingRange(means);
  chart.limited = movingRange.has_value();
  const ControlLimits limits = movingRange ? IndividualsLimits(chart.centre, *movingRange)
                                           : ControlLimits{-kUnlimited, kUnlimited};
  for (const double mean : means) chart.points.push_back({mean, limits});
  return chart;
}

const char* SignalRuleName(SignalRule rule) { return InfoOf(rule).name; }
const char* SignalRuleText(SignalRule rule) { return InfoOf(rule).text; }

std::vector<JournalSignal> JournalSignals(const CJournalSummary& summary) {
  // In the order of ChartRule: below, above, run below, run above.
  constexpr SignalRule kYieldRules[] = {SignalRule::YieldBelowLimit, SignalRule::YieldAboveLimit,
                                        SignalRule::YieldRunBelow, SignalRule::YieldRunAbove};
  constexpr SignalRule kSnrRules[] = {SignalRule::SnrBelowLimit, SignalRule::SnrAboveLimit, SignalRule::SnrRunBelow,
                                      SignalRule::SnrRunAbove};
  std::vector<JournalSignal> signals;
  for (const auto& [key, group] : summary.Groups()) {
    AddChartSignals(key, YieldDayChart(group), kYieldRules, signals);
    AddChartSignals(key, SnrDayChart(group), kSnrRules, signals);
  }
  if (summary.Grouping() == JournalGrouping::Station) AddStationSignals(summary, signals);
  std::stable_sort(signals.begin(), signals.end(), [](const JournalSignal& a, const JournalSignal& b) {
    return std::tuple(RankOf(a.rule), -a.severity, a.group, a.day) <
           std::tuple(RankOf(b.rule), -b.severity, b.group, b.day);
  });
  return signals;
}
