#include "prodtest/JournalReader.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/Clock.h"
#include "prodtest/FormatText.h"
#include "prodtest/ResultJournal.h"

namespace {

constexpr size_t kAbsent = std::string::npos;
constexpr size_t kReadBlock = 1 << 20;  // bytes read from a journal at a time
constexpr size_t kDayLength = 10;  // "YYYY-MM-DD"
constexpr std::string_view kStartOfDay = "T00:00:00Z";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kLongestQuoted = 40;  // a value quoted in a message is cut after this many bytes

struct NamedColumn {
  std::string_view name;
  size_t JournalColumnMap::*index;
  bool required;
};

constexpr NamedColumn kReadColumns[] = {
    {journal_column::kUtc, &JournalColumnMap::utc, true},
    {journal_column::kReceiver, &JournalColumnMap::receiver, true},
    {journal_column::kTtffSeconds, &JournalColumnMap::ttffSeconds, true},
    {journal_column::kTimedOut, &JournalColumnMap::timedOut, true},
    {journal_column::kAverageSnr, &JournalColumnMap::averageSnr, true},
    {journal_column::kPassLevel, &JournalColumnMap::passLevel, true},
    {journal_column::kVerdict, &JournalColumnMap::verdict, true},
    {journal_column::kReason, &JournalColumnMap::reason, false},
    {journal_column::kStation, &JournalColumnMap::station, false},
    {journal_column::kPort, &JournalColumnMap::port, false},
    {journal_column::kTestType, &JournalColumnMap::testType, false},
    {journal_column::kSatellitesInView, &JournalColumnMap::satellitesInView, false},
    {journal_column::kSatellitesUsed, &JournalColumnMap::satellitesUsed, false},
    {journal_column::kId, &JournalColumnMap::id, false},
};

std::optional<uint32_t> WholeNumber(std::string_view text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "2026-12-08T06:30:00Z": the writer's form of a UTC time, for a date and time that exist.
bool IsUtcStamp(std::string_view text) {
  constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != kForm.size()) return false;
  for (size_t i = 0; i < kForm.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kForm[i] == 'd' ? !digit : text[i] != kForm[i]) return false;
  }
  const auto number = [text](size_t at, size_t length) {
    return static_cast<uint16_t>(*WholeNumber(text.substr(at, length)));
  };
  const SYSTEMTIME time{number(0, 4), number(5, 2), 0, number(8, 2), number(11, 2), number(14, 2), number(17, 2), 0};
  FILETIME ignored = 0;
  return SystemTimeToFileTime(time, ignored);
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text.substr(0, kLongestQuoted)) + (text.size() > kLongestQuoted ? "...\"" : "\"");
}

std::string TooLong() { return FormatText("longer than %zu bytes", kLongestJournalLine); }

// `averageSnr "x" is not a whole number`
std::string Unreadable(std::string_view column, std::string_view value, const char* because) {
  return std::string(column) + " " + Quoted(value) + " " + because;
}
constexpr const char* kNotWhole = "is not a whole number";

}  // namespace

std::string_view JournalLineText(std::string_view line, bool firstOfFile) {
  if (firstOfFile && line.substr(0, kByteOrderMark.size()) == kByteOrderMark) line.remove_prefix(kByteOrderMark.size());
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

void SplitJournalFields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  for (;;) {
    const size_t comma = line.find(',');
    fields.push_back(line.substr(0, comma));
    if (comma == std::string_view::npos) return;
    line.remove_prefix(comma + 1);
  }
}

bool IsJournalHeader(const std::vector<std::string_view>& fields) {
  return std::find(fields.begin(), fields.end(), journal_column::kUtc) != fields.end() && !IsUtcStamp(fields.front());
}

std::vector<std::string> LastJournalHeader(std::string_view tail, bool startsTheFile) {
  size_t start = 0;
  if (!startsTheFile) {  // the first line of the tail is cut
    start = tail.find('\n');
    if (start == std::string_view::npos) return {};
    ++start;
  }
  std::vector<std::string_view> fields;
  std::vector<std::string_view> header;
  while (start < tail.size()) {
    const size_t end = tail.find('\n', start);
    const std::string_view line = JournalLineText(tail.substr(start, end - start), startsTheFile && start == 0);
    if (line.size() <= kLongestJournalLine) {
      SplitJournalFields(line, fields);
      if (IsJournalHeader(fields)) header = fields;
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return {header.begin(), header.end()};
}

std::string_view JournalDayOf(std::string_view utc) { return utc.substr(0, kDayLength); }

bool IsJournalDay(std::string_view day) { return IsUtcStamp(std::string(day) + std::string(kStartOfDay)); }

CJournalReader::CJournalReader(std::string station, ResultHandler onResult, MalformedHandler onMalformed)
    : m_Station(std::move(station)), m_OnResult(std::move(onResult)), m_OnMalformed(std::move(onMalformed)) {
  // Before any header: the columns of one of the journal's versions.
  for (const size_t count : kJournalVersionColumnCounts) {
    const std::vector<std::string_view> names(kResultJournalColumns.begin(), kResultJournalColumns.begin() + count);
    JournalColumnMap columns;
    if (!MapColumns(names, columns)) m_HeaderlessMaps.push_back(columns);
  }
}

void CJournalReader::Feed(const char* bytes, size_t count) {
  while (count > 0) {
    const auto* lineEnd = static_cast<const char*>(std::memchr(bytes, '\n', count));
    if (lineEnd == nullptr) {
      Keep(bytes, count);
      return;
    }
    const auto length = static_cast<size_t>(lineEnd - bytes);
    if (m_Pending.empty() && !m_bSkippingLongLine) {
      ReadLine({bytes, length});
    } else {
      Keep(bytes, length);
      EndPendingLine();
    }
    bytes += length + 1;
    count -= length + 1;
  }
}

bool CJournalReader::FeedAll(std::FILE* input) {
  std::vector<char> block(kReadBlock);
  size_t count = 0;
  do {
    count = std::fread(block.data(), 1, block.size(), input);
    Feed(block.data(), count);
  } while (count == block.size());
  return std::ferror(input) == 0;
}

void CJournalReader::Finish() {
  if (m_Pending.empty() && !m_bSkippingLongLine) return;
  ++m_uLineNumber;
  Malformed("half a line at the end (no line end)");
  m_Pending.clear();
  m_bSkippingLongLine = false;
}

void CJournalReader::Keep(const char* bytes, size_t count) {
  if (m_bSkippingLongLine) return;
  if (m_Pending.size() + count > kLongestJournalLine + 1) {  // + 1: the CR before the LF
    m_bSkippingLongLine = true;
    m_Pending.clear();
    return;
  }
  m_Pending.append(bytes, count);
}

void CJournalReader::EndPendingLine() {
  if (m_bSkippingLongLine) {
    ++m_uLineNumber;
    Malformed(TooLong());
    m_bSkippingLongLine = false;
    return;
  }
  ReadLine(m_Pending);
  m_Pending.clear();
}

void CJournalReader::ReadLine(std::string_view line) {
  ++m_uLineNumber;
  line = JournalLineText(line, m_uLineNumber == 1);
  if (line.size() > kLongestJournalLine) return Malformed(TooLong());
  if (line.empty()) return;  // a blank line holds no result
  SplitJournalFields(line, m_Fields);
  if (IsJournalHeader(m_Fields)) return ReadHeader();
  if (m_Columns) return ReadResult(*m_Columns);
  if (m_bHeaderSeen) return Malformed("below a header that cannot be used");
  if (const JournalColumnMap* columns = HeaderlessColumns()) {
    m_bReadWithoutHeader = true;
    return ReadResult(*columns);
  }
  Malformed(FormatText("%zu fields and no header line above it", m_Fields.size()));
}

void CJournalReader::ReadHeader() {
  m_bHeaderSeen = true;
  JournalColumnMap columns;
  if (const auto why = MapColumns(m_Fields, columns)) {
    m_Columns.reset();
    return Malformed(*why);
  }
  m_Columns = columns;
}

void CJournalReader::ReadResult(const JournalColumnMap& columns) {
  if (m_Fields.size() != columns.fields) {
    return Malformed(FormatText("%zu fields where its header has %zu", m_Fields.size(), columns.fields));
  }
  JournalResult result;
  if (const auto why = ParseResult(columns, result)) return Malformed(*why);
  m_OnResult(result);
}

std::optional<std::string> CJournalReader::ParseResult(const JournalColumnMap& columns, JournalResult& result) const {
  const auto field = [this](size_t index) { return index == kAbsent ? std::string_view() : m_Fields[index]; };
  result.utc = field(columns.utc);
  if (!IsUtcStamp(result.utc)) {
    return Unreadable(journal_column::kUtc, result.utc, "is not a time as YYYY-MM-DDThh:mm:ssZ");
  }
  result.receiver = field(columns.receiver);
  if (result.receiver.empty()) return "no receiver";
  const std::string_view ttff = field(columns.ttffSeconds);
  result.ttffSeconds = WholeNumber(ttff);
  if (!ttff.empty() && !result.ttffSeconds) return Unreadable(journal_column::kTtffSeconds, ttff, kNotWhole);
  const std::string_view timedOut = field(columns.timedOut);
  if (timedOut != "0" && timedOut != "1") return Unreadable(journal_column::kTimedOut, timedOut, "is neither 0 nor 1");
  result.timedOut = timedOut == "1";
  for (const auto& [name, index, target] :
       {std::tuple{journal_column::kAverageSnr, columns.averageSnr, &result.averageSnr},
        std::tuple{journal_column::kPassLevel, columns.passLevel, &result.passLevel}}) {
    const auto number = WholeNumber(field(index));
    if (!number) return Unreadable(name, field(index), kNotWhole);
    *target = *number;
  }
  const std::string_view verdict = field(columns.verdict);
  const std::string_view passText = VerdictText(TestVerdict::Pass);
  if (verdict != passText && verdict != VerdictText(TestVerdict::Fail)) {
    return Unreadable(journal_column::kVerdict, verdict, "is neither Pass nor Fail");
  }
  result.passed = verdict == passText;
  result.reason = field(columns.reason);
  if (result.reason.empty()) {
    result.reason = !result.timedOut && result.ttffSeconds ? kJournalReasonFix : kJournalReasonTimeout;
  }
  result.station = field(columns.station);
  if (result.station.empty()) result.station = m_Station;
  result.port = field(columns.port);
  result.testType = field(columns.testType);
  result.satellitesInView = field(columns.satellitesInView);
  result.satellitesUsed = field(columns.satellitesUsed);
  result.id = field(columns.id);
  return std::nullopt;
}

std::optional<std::string> CJournalReader::MapColumns(const std::vector<std::string_view>& names,
                                                      JournalColumnMap& columns) {
  columns.fields = names.size();
  for (const NamedColumn& column : kReadColumns) columns.*column.index = kAbsent;
  for (size_t i = 0; i < names.size(); ++i) {
    for (const NamedColumn& column : kReadColumns) {
      if (names[i] != column.name) continue;
      if (columns.*column.index != kAbsent) return "header names the column " + Quoted(column.name) + " twice";
      columns.*column.index = i;
    }
  }
  for (const NamedColumn& column : kReadColumns) {
    if (column.required && columns.*column.index == kAbsent) {
      return "header without the column " + Quoted(column.name);
    }
  }
  return std::nullopt;
}

const JournalColumnMap* CJournalReader::HeaderlessColumns() const {
  for (const JournalColumnMap& columns : m_HeaderlessMaps) {
    if (columns.fields == m_Fields.size()) return &columns;
  }
  return nullptr;
}

void CJournalReader::Malformed(const std::string& why) { m_OnMalformed(m_uLineNumber, why); }
