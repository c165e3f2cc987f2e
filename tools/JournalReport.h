#pragma once
// What navlume-cli journal makes of a summary: a text table, one JSON
// object, or one self-contained HTML page (the table and inline SVG charts:
// a TTFF histogram per group with the test timeout marked, an average-SNR
// histogram with the pass levels marked, the yield per day). Percentiles are
// nearest-rank; a value that a group does not have (TTFF without a fix) is
// "-" in the table and null in JSON.

#include <cstdint>
#include <optional>
#include <string>

#include "prodtest/JournalSummary.h"

struct JournalTotals {
  uint64_t files = 0;  // journals read to their end
  uint64_t malformed = 0;
};

// "receiver", "station" or "day".
const char* JournalGroupingName(JournalGrouping grouping);

std::string JournalTable(const CJournalSummary& summary, const JournalTotals& totals,
                         std::optional<uint32_t> timeout = std::nullopt);
std::string JournalJson(const CJournalSummary& summary, const JournalTotals& totals,
                        std::optional<uint32_t> timeout = std::nullopt);
std::string JournalHtml(const CJournalSummary& summary, const JournalTotals& totals,
                        std::optional<uint32_t> timeout = std::nullopt);
