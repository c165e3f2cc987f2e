#pragma once
// What a journal summary's groups tell beyond their counts, worked out with
// the formulas of Statistics.h: first-pass and final yield of the units,
// capability against the limits (average SNR against the pass level, TTFF
// against the test timeout), the control charts of each group's days (a p
// chart of the yield, an individuals chart of the mean average SNR) and the
// signals they and the stations' yields give.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "prodtest/JournalSummary.h"
#include "prodtest/Statistics.h"

struct UnitYields {
  uint64_t units = 0;
  uint64_t retests = 0;  // results after a unit's first
  double firstPass = 0;  // units whose first result passed / units
  double final = 0;      // units whose last result passed / units
};
UnitYields UnitYieldsOf(const JournalGroup& group);

// Where a group's TTFF limit came from.
enum class TimeoutSource { None, Option, TimedOutTests };

struct GroupCapability {
  Capability averageSnr;    // of the tests of the lowest pass level, against it
  bool mixedPassLevels = false;
  Capability ttff;          // of the tests that got a fix, against the test timeout
  TimeoutSource ttffLimitFrom = TimeoutSource::None;
  bool mixedTimeouts = false;  // the timed-out tests' counts differ: the lowest is taken
};

// `timeout`: --timeout's seconds, which win over the counts of timed-out tests.
GroupCapability CapabilityOfGroup(const JournalGroup& group, std::optional<uint32_t> timeout);

// How a Cpk reads: capable at kCapableCpk and above.
enum class CpkRating { Capable, NotCapable, BelowOne };
CpkRating RatingOf(double cpk);

// One group's control chart over its days with tests, oldest first.
struct DayChart {
  std::vector<std::string> days;  // YYYY-MM-DD
  std::vector<ChartPoint> points;
  double centre = 0;
  bool limited = false;  // false: too few days for limits (the individuals chart needs two)
};
// The daily yield against the group's yield, with binomial limits for each day's tests.
DayChart YieldDayChart(const JournalGroup& group);
// The daily mean average SNR, with limits from the mean moving range.
DayChart SnrDayChart(const JournalGroup& group);

enum class SignalRule {
  YieldBelowLimit, YieldAboveLimit, YieldRunBelow, YieldRunAbove,
  SnrBelowLimit, SnrAboveLimit, SnrRunBelow, SnrRunAbove,
  StationBelowLine, StationAboveLine,
};
const char* SignalRuleName(SignalRule rule);  // "yieldBelowLimit"
const char* SignalRuleText(SignalRule rule);  // "yield below the lower limit"

struct JournalSignal {
  std::string group;
  std::string day;  // of the point; a station's yield over the period is named at its last day
  SignalRule rule = SignalRule::YieldBelowLimit;
  double value = 0;  // the yield (0 to 1) or the mean average SNR
  double limit = 0;  // the limit it crossed, or the centre line of a run
  double severity = 0;  // how far out, in the chart's sigmas (a run: 0)
};

// Every group's signals, and with `--by station` the stations whose yield
// lies outside the line's limits for their count of tests; worst first: a
// station outside the line, a day outside a limit, a run; the farthest out first.
std::vector<JournalSignal> JournalSignals(const CJournalSummary& summary);
