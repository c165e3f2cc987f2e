#include "prodtest/JournalSummary.h"

#include <algorithm>

namespace {

// Values below this are counted in a plain array: TTFF seconds of a test and
// SNRs in dB-Hz are far smaller; a larger one goes to the sparse map.
constexpr uint32_t kDenseValues = 4096;
constexpr uint64_t kHundredPercent = 100;

template <typename Map>
typename Map::mapped_type& EntryOf(Map& map, std::string_view key) {
  const auto found = map.find(key);
  if (found != map.end()) return found->second;
  return map.emplace(std::string(key), typename Map::mapped_type{}).first->second;
}

// (utc, passed) in order: of two results at the same second the failure is the earlier.
bool Earlier(std::string_view utc, bool passed, std::string_view thanUtc, bool thanPassed) {
  return utc < thanUtc || (utc == thanUtc && !passed && thanPassed);
}

void AddToUnit(JournalUnit& unit, const JournalResult& result) {
  if (unit.first.empty() || Earlier(result.utc, result.passed, unit.first, unit.passedFirst)) {
    unit.first = result.utc;
    unit.passedFirst = result.passed;
  }
  if (unit.last.empty() || Earlier(unit.last, unit.passedLast, result.utc, result.passed)) {
    unit.last = result.utc;
    unit.passedLast = result.passed;
  }
}

}  // namespace

JournalUnitCounts CountUnits(const JournalUnits& units) {
  JournalUnitCounts counts;
  for (const auto& [station, receivers] : units) {
    for (const auto& [receiver, unit] : receivers) {
      ++counts.units;
      counts.passedFirst += unit.passedFirst ? 1 : 0;
      counts.passedLast += unit.passedLast ? 1 : 0;
    }
  }
  return counts;
}

void CountHistogram::Add(uint32_t value, uint64_t count) {
  m_uCount += count;
  if (value >= kDenseValues) {
    m_Sparse[value] += count;
    return;
  }
  if (value >= m_Dense.size()) m_Dense.resize(value + 1);
  m_Dense[value] += count;
}

std::optional<uint32_t> CountHistogram::Percentile(uint32_t percent) const {
  if (m_uCount == 0) return std::nullopt;
  const uint64_t rank = std::max<uint64_t>(1, (percent * m_uCount + kHundredPercent - 1) / kHundredPercent);
  std::optional<uint32_t> found;
  uint64_t seen = 0;
  ForEach([&](uint32_t value, uint64_t count) {
    if (found) return;
    seen += count;
    if (seen >= rank) found = value;
  });
  return found;
}

void CountHistogram::ForEach(const std::function<void(uint32_t value, uint64_t count)>& visit) const {
  for (uint32_t value = 0; value < m_Dense.size(); ++value) {
    if (m_Dense[value] != 0) visit(value, m_Dense[value]);
  }
  for (const auto& [value, count] : m_Sparse) visit(value, count);
}

CJournalSummary::CJournalSummary(JournalGrouping grouping, std::string since)
    : m_Grouping(grouping), m_Since(std::move(since)) {}

std::string_view CJournalSummary::KeyOf(const JournalResult& result) const {
  switch (m_Grouping) {
    case JournalGrouping::Station: return result.station;
    case JournalGrouping::Day: return JournalDayOf(result.utc);
    default: return result.receiver;
  }
}

void CJournalSummary::Add(const JournalResult& result) {
  const std::string_view day = JournalDayOf(result.utc);
  if (day < m_Since) return;
  ++m_uLines;
  JournalGroup& group = GroupOf(KeyOf(result));
  ++group.tests;
  JournalDayTally& tally = EntryOf(group.days, day);
  ++tally.tests;
  tally.averageSnrSum += result.averageSnr;
  if (result.passed) {
    ++group.passed;
    ++tally.passed;
  } else {
    ++EntryOf(group.failuresByReason, result.reason);
  }
  if (result.reason == kJournalReasonFix && result.ttffSeconds) group.ttffSeconds.Add(*result.ttffSeconds);
  if (result.timedOut && result.ttffSeconds) group.testTimeouts.Add(*result.ttffSeconds);
  group.averageSnr.Add(result.averageSnr);
  group.passLevels.Add(result.passLevel);
  group.averageSnrByPassLevel[result.passLevel].Add(result.averageSnr);
  AddToUnit(EntryOf(EntryOf(group.units, result.station), result.receiver), result);
  if (group.first.empty() || result.utc < group.first) group.first = result.utc;
  if (group.last.empty() || result.utc > group.last) group.last = result.utc;
}

JournalGroup& CJournalSummary::GroupOf(std::string_view key) { return EntryOf(m_Groups, key); }

JournalDays CJournalSummary::Days() const {
  JournalDays days;
  for (const auto& [key, group] : m_Groups) {
    for (const auto& [day, tally] : group.days) {
      JournalDayTally& sum = EntryOf(days, day);
      sum.tests += tally.tests;
      sum.passed += tally.passed;
      sum.averageSnrSum += tally.averageSnrSum;
    }
  }
  return days;
}
