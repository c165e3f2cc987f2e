#include "results/ResultRow.h"

#include <cctype>
#include <charconv>
#include <limits>

#include "prodtest/ResultJournal.h"

namespace results {
namespace {

constexpr uint32_t kLargestInteger = std::numeric_limits<int32_t>::max();  // the database's integer
constexpr std::string_view kUuidForm = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";

// Well-formed UTF-8 (no overlong forms, no surrogates), without control characters the copy would need to carry.
bool IsUtf8Text(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == 0) return false;
    if (byte < 0x80) {
      ++i;
      continue;
    }
    const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
    if (length == 0 || byte > 0xF4 || i + length > text.size()) return false;
    uint32_t code = byte & (0x3F >> (length - 1));
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// A count of the line; none when it is empty (the column is missing); false when it is not a whole number that fits.
bool ReadCount(std::string_view column, std::string_view text, std::optional<uint32_t>& count, std::string& why) {
  count.reset();
  if (text.empty()) return true;
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > kLargestInteger) {
    why = std::string(column) + " \"" + std::string(text) + "\" is not a whole number the database takes";
    return false;
  }
  count = value;
  return true;
}

bool IsKnownReason(std::string_view reason) {
  for (const TestEndReason known : {TestEndReason::Fix, TestEndReason::Timeout, TestEndReason::OpenFailed,
                                    TestEndReason::Stopped}) {
    if (reason == TestEndReasonText(known)) return true;
  }
  return false;
}

}  // namespace

bool IsUuidText(std::string_view text) {
  if (text.size() != kUuidForm.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool hex = std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
    if (kUuidForm[i] == '-' ? text[i] != '-' : !hex) return false;
  }
  return true;
}

std::optional<ResultRow> ResultRowOf(const JournalResult& result, std::string& why) {
  ResultRow row;
  if (!result.id.empty() && !IsUuidText(result.id)) {
    why = "id \"" + std::string(result.id) + "\" is not a UUID";
    return std::nullopt;
  }
  if (!IsKnownReason(result.reason)) {
    why = "reason \"" + std::string(result.reason) + "\" is not one the journal writes";
    return std::nullopt;
  }
  for (const std::string_view text : {result.port, result.receiver, result.testType, result.station}) {
    if (!IsUtf8Text(text)) {
      why = "a field that is not UTF-8 text";
      return std::nullopt;
    }
  }
  std::optional<uint32_t> snr;
  std::optional<uint32_t> level;
  const auto ttff = result.ttffSeconds ? std::to_string(*result.ttffSeconds) : std::string();
  if (!ReadCount(journal_column::kTtffSeconds, ttff, row.ttffSeconds, why) ||
      !ReadCount(journal_column::kAverageSnr, std::to_string(result.averageSnr), snr, why) ||
      !ReadCount(journal_column::kPassLevel, std::to_string(result.passLevel), level, why) ||
      !ReadCount(journal_column::kSatellitesInView, result.satellitesInView, row.satellitesInView, why) ||
      !ReadCount(journal_column::kSatellitesUsed, result.satellitesUsed, row.satellitesUsed, why)) {
    return std::nullopt;
  }
  row.id = result.id;
  for (char& c : row.id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  row.utc = result.utc;
  row.port = result.port;
  row.receiver = result.receiver;
  row.testType = result.testType;
  row.timedOut = result.timedOut;
  row.averageSnr = *snr;
  row.passLevel = *level;
  row.passed = result.passed;
  row.reason = result.reason;
  row.station = result.station;
  return row;
}

}  // namespace results
