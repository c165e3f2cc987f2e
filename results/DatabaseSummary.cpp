#include "results/DatabaseSummary.h"

#include <string>

namespace results {
namespace {

constexpr const char* kUtcForm = "'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'";
constexpr const char* kDay = "to_char(utc AT TIME ZONE 'UTC', 'YYYY-MM-DD')";

// The columns of each row the query sends. kNumber: a day's sum of average SNRs, or an average SNR
// counted by pass level; kReceiver: a unit's receiver type (its station in kValue).
enum Column : size_t { kPart, kKey, kValue, kCount, kPassed, kFirst, kLast, kNumber, kReceiver };

std::string KeyExpression(JournalGrouping grouping) {
  switch (grouping) {
    case JournalGrouping::Station: return "station";
    case JournalGrouping::Day: return kDay;
    default: return "receiver";
  }
}

// One row per (group, day) with its tally, SNR sum and times, then per group
// the failures by reason, the count of each value of the histograms (the
// SNRs also by pass level), and each unit's first and last result: the
// least and the greatest of its time stamps with 0 (failed) or 1 (passed)
// behind, so that of two in one second the failure is the earlier.
std::string SummaryQuery(JournalGrouping grouping) {
  const std::string utc = std::string(" AT TIME ZONE 'UTC', ") + kUtcForm + ")";
  const std::string counts = ", count(*), NULL::bigint, NULL, NULL, NULL::bigint, NULL FROM f ";
  return "WITH f AS MATERIALIZED (SELECT " + KeyExpression(grouping) + " AS k, " + kDay +
         " AS day, utc, verdict = 'Pass' AS passed, reason, ttff_seconds, timed_out, average_snr, pass_level, "
         "station, receiver, to_char(utc" + utc + " || (verdict = 'Pass')::int AS stamp "
         "FROM navlume.results WHERE " + kDay + " >= $1) "
         "SELECT 'day', k, day, count(*), count(*) FILTER (WHERE passed), to_char(min(utc)" + utc +
         ", to_char(max(utc)" + utc + ", sum(average_snr), NULL FROM f GROUP BY k, day "
         "UNION ALL SELECT 'levelSnr', k, pass_level::text, count(*), NULL::bigint, NULL, NULL, average_snr::bigint, "
         "NULL FROM f GROUP BY k, pass_level, average_snr "
         "UNION ALL SELECT 'unit', k, station, count(*), NULL::bigint, min(stamp COLLATE \"C\"), "
         "max(stamp COLLATE \"C\"), NULL::bigint, receiver FROM f GROUP BY k, station, receiver "
         "UNION ALL SELECT 'failure', k, reason" + counts + "WHERE NOT passed GROUP BY k, reason "
         "UNION ALL SELECT 'ttff', k, ttff_seconds::text" + counts +
         "WHERE reason = 'fix' AND ttff_seconds IS NOT NULL GROUP BY k, ttff_seconds "
         "UNION ALL SELECT 'snr', k, average_snr::text" + counts + "GROUP BY k, average_snr "
         "UNION ALL SELECT 'level', k, pass_level::text" + counts + "GROUP BY k, pass_level "
         "UNION ALL SELECT 'timeout', k, ttff_seconds::text" + counts +
         "WHERE timed_out AND ttff_seconds IS NOT NULL GROUP BY k, ttff_seconds";
}

void AddDay(CJournalSummary& summary, JournalGroup& group, const std::vector<std::optional<std::string>>& row,
            uint64_t count) {
  const uint64_t passed = std::stoull(*row[kPassed]);
  summary.AddCounted(count);
  group.tests += count;
  group.passed += passed;
  group.days[*row[kValue]] = {count, passed, std::stoull(*row[kNumber])};
  if (group.first.empty() || *row[kFirst] < group.first) group.first = *row[kFirst];
  if (group.last.empty() || *row[kLast] > group.last) group.last = *row[kLast];
}

// A unit's first or last result from its stamp: the time, then 1 when it passed.
void SetResult(const std::string& stamp, std::string& utc, bool& passed) {
  utc = stamp.substr(0, stamp.size() - 1);
  passed = stamp.back() == '1';
}

void AddUnit(JournalGroup& group, const std::vector<std::optional<std::string>>& row) {
  JournalUnit& unit = group.units[*row[kValue]][*row[kReceiver]];
  SetResult(*row[kFirst], unit.first, unit.passedFirst);
  SetResult(*row[kLast], unit.last, unit.passedLast);
}

}  // namespace

std::optional<DatabaseError> SummariseDatabase(CResultsDatabase& database, CJournalSummary& summary) {
  QueryRows rows;
  if (auto error = database.Query(SummaryQuery(summary.Grouping()), {summary.Since()}, rows)) return error;
  for (const auto& row : rows) {
    JournalGroup& group = summary.GroupOf(*row[kKey]);
    const std::string& part = *row[kPart];
    const uint64_t count = std::stoull(*row[kCount]);
    if (part == "day") {
      AddDay(summary, group, row, count);
    } else if (part == "failure") {
      group.failuresByReason[*row[kValue]] += count;
    } else if (part == "unit") {
      AddUnit(group, row);
    } else if (part == "levelSnr") {
      const auto level = static_cast<uint32_t>(std::stoul(*row[kValue]));
      group.averageSnrByPassLevel[level].Add(static_cast<uint32_t>(std::stoul(*row[kNumber])), count);
    } else {
      const auto value = static_cast<uint32_t>(std::stoul(*row[kValue]));
      CountHistogram& histogram = part == "ttff"    ? group.ttffSeconds
                                  : part == "snr"   ? group.averageSnr
                                  : part == "level" ? group.passLevels
                                                    : group.testTimeouts;
      histogram.Add(value, count);
    }
  }
  return std::nullopt;
}

}  // namespace results
