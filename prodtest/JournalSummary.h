#pragma once
// The summary of result journals, built one result at a time: per group
// (receiver type, station or day) the tests, passes, failures by reason,
// yield, the spread of TTFF and of the average SNR, the first and last time
// stamp, the tally of each day and each unit's first and last result. TTFF
// and SNR are whole numbers, kept as counts per value, so the percentiles are
// exact and the memory grows with the groups, the days, the units and the
// distinct values, never with the lines.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "prodtest/JournalReader.h"

enum class JournalGrouping { Receiver, Station, Day };

// How many times each whole number was seen.
class CountHistogram {
 public:
  void Add(uint32_t value, uint64_t count = 1);
  uint64_t Count() const { return m_uCount; }
  // Nearest rank: the smallest value with at least `percent` % of the values
  // at or below it (0: the smallest, 100: the largest); none when empty.
  std::optional<uint32_t> Percentile(uint32_t percent) const;
  // Each value seen with its count, smallest value first.
  void ForEach(const std::function<void(uint32_t value, uint64_t count)>& visit) const;

 private:
  std::vector<uint64_t> m_Dense;  // counts of the small values, by value
  std::map<uint32_t, uint64_t> m_Sparse;  // counts of the rest
  uint64_t m_uCount = 0;
};

struct JournalDayTally {
  uint64_t tests = 0;
  uint64_t passed = 0;
  uint64_t averageSnrSum = 0;  // over the day's tests
};
using JournalDays = std::map<std::string, JournalDayTally, std::less<>>;  // by "YYYY-MM-DD"

// A unit is a station testing one receiver type: Navlume runs on the unit it
// tests. Its first result is the earliest, its last the latest; of two at the
// same second a failure counts as the earlier and a pass as the later, so
// that the order of the journals changes nothing.
struct JournalUnit {
  std::string first;  // utc
  bool passedFirst = false;
  std::string last;
  bool passedLast = false;
};
using JournalUnits = std::map<std::string, std::map<std::string, JournalUnit, std::less<>>, std::less<>>;  // station, receiver

struct JournalUnitCounts {
  uint64_t units = 0;
  uint64_t passedFirst = 0;  // units whose first result passed
  uint64_t passedLast = 0;   // units whose last result passed
};
JournalUnitCounts CountUnits(const JournalUnits& units);

struct JournalGroup {
  uint64_t tests = 0;
  uint64_t passed = 0;
  uint64_t Failed() const { return tests - passed; }
  double Yield() const { return tests == 0 ? 0.0 : static_cast<double>(passed) / static_cast<double>(tests); }
  std::map<std::string, uint64_t, std::less<>> failuresByReason;
  CountHistogram ttffSeconds;  // the tests that got a fix
  CountHistogram averageSnr;   // every test
  CountHistogram passLevels;   // every test
  // The counts of the timed-out tests: a timed-out test's counter stops at its
  // test timeout, so these are the timeouts the group's tests ran with.
  CountHistogram testTimeouts;
  std::map<uint32_t, CountHistogram> averageSnrByPassLevel;  // every test, by its pass level
  std::string first;  // the earliest and the latest utc
  std::string last;
  JournalDays days;
  JournalUnits units;
};

using JournalGroups = std::map<std::string, JournalGroup, std::less<>>;

class CJournalSummary {
 public:
  // `since`: a day as YYYY-MM-DD; results of earlier days are left out (empty: none are).
  CJournalSummary(JournalGrouping grouping, std::string since);

  void Add(const JournalResult& result);
  // For a summary counted elsewhere (the results database): `lines` more
  // results, and the group of `key`, added when missing, to fill in.
  void AddCounted(uint64_t lines) { m_uLines += lines; }
  JournalGroup& GroupOf(std::string_view key);

  JournalGrouping Grouping() const { return m_Grouping; }
  const std::string& Since() const { return m_Since; }
  // The results summarised.
  uint64_t Lines() const { return m_uLines; }
  // By key, in the order of their keys.
  const JournalGroups& Groups() const { return m_Groups; }
  // The days of every group added up.
  JournalDays Days() const;

 private:
  std::string_view KeyOf(const JournalResult& result) const;

  const JournalGrouping m_Grouping;
  const std::string m_Since;
  uint64_t m_uLines = 0;
  JournalGroups m_Groups;
};
