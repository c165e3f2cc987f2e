#pragma once
// One journal line as the results database stores it: every column of the
// journal, checked so that the database takes it as it stands (whole numbers
// that fit its integers, a known verdict and reason, UTF-8 text, a UUID).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "prodtest/JournalReader.h"

namespace results {

struct ResultRow {
  // The line's own result id (lower-case UUID); empty for a line of an older
  // journal, whose id the database derives from the line's content
  // (results/Schema.h, navlume.line_id): the same line pushed twice gets the same id.
  std::string id;
  std::string utc;  // "2026-12-08T06:30:00Z"
  std::string port;
  std::string receiver;
  std::string testType;
  std::optional<uint32_t> ttffSeconds;
  bool timedOut = false;
  uint32_t averageSnr = 0;
  uint32_t passLevel = 0;
  bool passed = false;
  std::optional<uint32_t> satellitesInView;  // none: the line has no such column
  std::optional<uint32_t> satellitesUsed;
  std::string reason;   // "fix", "timeout", "open failed" or "stopped"
  std::string station;  // the line's own, else its journal's name (as the summary counts it)
};

// The row of a line the journal reader read; none, with why in `why`, when
// the database could not take it as it stands.
std::optional<ResultRow> ResultRowOf(const JournalResult& result, std::string& why);

// True for a UUID written as 8-4-4-4-12 hexadecimal digits.
bool IsUuidText(std::string_view text);

}  // namespace results
