#pragma once
// Reads a result journal as its writer leaves it, in pieces of any size:
// cuts it into lines (CR LF or LF), follows its header lines (a header in
// the middle of a file starts a new column map, as when journals are
// concatenated) and hands on each result line it can read. A line it cannot
// read is handed to the malformed handler with its line number and why,
// and reading goes on. A journal whose first lines come before any header
// is read in the writer's column order when their field count is that of a
// known version of the journal.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One result line as the summaries use it. The texts point into the line and
// live only while the handler runs.
struct JournalResult {
  std::string_view utc;  // "2026-12-08T06:30:00Z"
  std::string_view receiver;
  std::string_view station;  // the line's own, else the journal's name
  std::string_view reason;   // the line's own, else derived from timedOut and the TTFF
  // The columns the summaries do not count, as the line holds them (empty when it lacks them).
  std::string_view port;
  std::string_view testType;
  std::string_view satellitesInView;
  std::string_view satellitesUsed;
  std::string_view id;  // the result's id; older versions' lines have none
  std::optional<uint32_t> ttffSeconds;
  bool timedOut = false;
  uint32_t averageSnr = 0;
  uint32_t passLevel = 0;
  bool passed = false;
};

inline constexpr std::string_view kJournalReasonFix = "fix";
inline constexpr std::string_view kJournalReasonTimeout = "timeout";
inline constexpr size_t kLongestJournalLine = 4096;  // bytes; the writer's lines are about 100

// Where the columns that the summaries read are in a line; npos for a column the line lacks.
struct JournalColumnMap {
  size_t fields = 0;
  size_t utc, receiver, ttffSeconds, timedOut, averageSnr, passLevel, verdict, reason, station;
  size_t port, testType, satellitesInView, satellitesUsed, id;
};

// A journal line as the reader takes it: without its line end, and the first
// line of a file without the byte-order mark a spreadsheet saves before it.
std::string_view JournalLineText(std::string_view line, bool firstOfFile);
// The fields of a line, split at every comma.
void SplitJournalFields(std::string_view line, std::vector<std::string_view>& fields);
// True for a header's fields: a header names the utc column; a result line
// holds a time there, and the writer puts it first.
bool IsJournalHeader(const std::vector<std::string_view>& fields);
// The columns that the last header among the whole lines of `tail`, the end
// of a journal, names (`startsTheFile`: `tail` is the whole journal); an
// unended last line counts, as it is whole once the next line is appended.
// Empty when `tail` holds no header.
std::vector<std::string> LastJournalHeader(std::string_view tail, bool startsTheFile);

// "2026-12-08" of "2026-12-08T06:30:00Z".
std::string_view JournalDayOf(std::string_view utc);
// True for a date that exists, written as YYYY-MM-DD.
bool IsJournalDay(std::string_view day);

class CJournalReader {
 public:
  using ResultHandler = std::function<void(const JournalResult&)>;
  using MalformedHandler = std::function<void(uint64_t lineNumber, const std::string& why)>;

  // `station`: what a line without a station of its own is counted under.
  CJournalReader(std::string station, ResultHandler onResult, MalformedHandler onMalformed);

  // The next bytes of the journal.
  void Feed(const char* bytes, size_t count);
  // Feeds what is left of `input`, a block at a time; false when reading
  // failed (errno says why). It neither closes `input` nor calls Finish.
  bool FeedAll(std::FILE* input);
  // The end of the journal: a last line without its line end is half a line.
  void Finish();

  // True when lines came before any header and were read in the writer's order.
  bool ReadWithoutHeader() const { return m_bReadWithoutHeader; }
  // The number of the line read last (1 for the first).
  uint64_t LineNumber() const { return m_uLineNumber; }

 private:
  void Keep(const char* bytes, size_t count);
  void EndPendingLine();
  void ReadLine(std::string_view line);
  void ReadHeader();
  void ReadResult(const JournalColumnMap& columns);
  std::optional<std::string> ParseResult(const JournalColumnMap& columns, JournalResult& result) const;
  static std::optional<std::string> MapColumns(const std::vector<std::string_view>& names, JournalColumnMap& columns);
  const JournalColumnMap* HeaderlessColumns() const;
  void Malformed(const std::string& why);

  std::string m_Station;
  ResultHandler m_OnResult;
  MalformedHandler m_OnMalformed;
  std::optional<JournalColumnMap> m_Columns;  // from the last header; empty before any, or after one that is unusable
  bool m_bHeaderSeen = false;
  bool m_bReadWithoutHeader = false;
  std::vector<JournalColumnMap> m_HeaderlessMaps;
  std::vector<std::string_view> m_Fields;
  std::string m_Pending;  // the start of a line whose end has not come yet
  bool m_bSkippingLongLine = false;
  uint64_t m_uLineNumber = 0;
};
