// navlume-cli journal FILE... | --database CONNINFO [--by receiver|station|day]
// [--since YYYY-MM-DD] [--timeout S] [--json] [--html OUT]: summarises
// stations' result journals, streaming, or the results database, in the server.
// Lines it cannot read are counted and skipped (the first few named on
// standard error); a journal it cannot read is named, and one whose reading
// fails part-way keeps the lines read before in the summary and says how
// many; the exit code is 1 only when nothing could be read at all.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "prodtest/JournalReader.h"
#include "prodtest/JournalSummary.h"
#include "tools/Commands.h"
#include "results/DatabaseSummary.h"
#include "tools/JournalReport.h"

namespace {

constexpr int kExitFailed = 1;
constexpr uint64_t kNamedMalformed = 5;
constexpr const char* kStandardInput = "-";
constexpr const char* kStandardInputStation = "stdin";

constexpr const char* kStandardInputName = "standard input";

struct JournalOptions {
  std::vector<std::string> files;
  std::string database;
  std::string grouping = JournalGroupingName(JournalGrouping::Receiver);
  std::string since;
  std::optional<uint32_t> timeout;
  bool json = false;
  std::string html;
};

void Say(const std::string& text) { std::fprintf(stderr, "navlume-cli journal: %s\n", text.c_str()); }

// A line without a station of its own is counted under its journal's name, without folder or extension.
std::string StationOf(const std::string& file) {
  return file == kStandardInput ? kStandardInputStation : std::filesystem::path(file).stem().string();
}

std::string NameOf(const std::string& file) { return file == kStandardInput ? kStandardInputName : file; }

JournalGrouping GroupingNamed(const std::string& name) {
  for (const JournalGrouping grouping : {JournalGrouping::Receiver, JournalGrouping::Station, JournalGrouping::Day}) {
    if (name == JournalGroupingName(grouping)) return grouping;
  }
  return JournalGrouping::Receiver;
}

class CJournalFiles {
 public:
  explicit CJournalFiles(CJournalSummary& summary) : m_Summary(summary) {}

  // Summarises one journal. One that cannot be read to its end is named on
  // standard error; the lines read before the failure stay counted, and it says how many.
  void Read(const std::string& file) {
    std::FILE* input = file == kStandardInput ? stdin : std::fopen(file.c_str(), "rb");
    if (input == nullptr) return Unreadable("open", file);
    uint64_t counted = 0;
    CJournalReader reader(
        StationOf(file),
        [this, &counted](const JournalResult& result) {
          m_Summary.Add(result);
          ++counted;
        },
        [this, &file](uint64_t line, const std::string& why) { Malformed(file, line, why); });
    const bool failed = !reader.FeedAll(input);
    const int error = errno;
    if (input != stdin) std::fclose(input);
    m_LinesCounted += counted;
    if (failed) {
      errno = error;
      Unreadable("read", file);
      if (counted > 0) Say("the " + std::to_string(counted) + " lines read from " + NameOf(file) + " before are counted");
      return;
    }
    reader.Finish();
    if (reader.ReadWithoutHeader()) {
      Say(NameOf(file) + " has no header line: its lines were read in the journal's column order");
    }
    ++m_Totals.files;
  }

  // Names how many lines were malformed when there were more than the ones named.
  void SayMalformedCount() const {
    if (m_Totals.malformed <= kNamedMalformed) return;
    Say(std::to_string(m_Totals.malformed) + " malformed lines in all, the first " + std::to_string(kNamedMalformed) +
        " named above");
  }

  const JournalTotals& Totals() const { return m_Totals; }
  // Nothing was read: no journal to its end, and no line of one that failed part-way.
  bool NothingRead() const { return m_Totals.files == 0 && m_LinesCounted == 0; }

 private:
  void Malformed(const std::string& file, uint64_t line, const std::string& why) {
    if (++m_Totals.malformed <= kNamedMalformed) Say(NameOf(file) + ":" + std::to_string(line) + ": skipped: " + why);
  }

  static void Unreadable(const char* what, const std::string& file) {
    Say(std::string("cannot ") + what + " " + NameOf(file) + ": " + std::strerror(errno));
  }

  CJournalSummary& m_Summary;
  JournalTotals m_Totals;
  uint64_t m_LinesCounted = 0;
};

// The journals' summary, with what was read.
JournalTotals SummariseFiles(const JournalOptions& options, CJournalSummary& summary) {
  CJournalFiles files(summary);
  for (const std::string& file : options.files) files.Read(file);
  files.SayMalformedCount();
  if (files.NothingRead()) throw CLI::RuntimeError(kExitFailed);
  return files.Totals();
}

void SummariseDatabase(const std::string& conninfo, CJournalSummary& summary) {
  results::CResultsDatabase database(conninfo);
  if (const auto error = results::SummariseDatabase(database, summary)) {
    Say(error->message);
    throw CLI::RuntimeError(kExitFailed);
  }
}

void RunJournal(const JournalOptions& options) {
  if (options.files.empty() == options.database.empty()) {
    throw CLI::ValidationError("journal", "give the journals to read, or --database CONNINFO");
  }
  CJournalSummary summary(GroupingNamed(options.grouping), options.since);
  JournalTotals totals;
  if (options.database.empty()) {
    totals = SummariseFiles(options, summary);
  } else {
    SummariseDatabase(options.database, summary);
  }
  if (!options.html.empty()) WriteReportPage("journal", options.html, JournalHtml(summary, totals, options.timeout));
  const std::string out = options.json ? JournalJson(summary, totals, options.timeout)
                                       : JournalTable(summary, totals, options.timeout);
  std::fwrite(out.data(), 1, out.size(), stdout);
}

constexpr const char* kJournalHelp = R"(
Reads result journals (NAVLUME_RESULTS.CSV) of any station and version, - for standard input.
Columns are read by the names of the header line above them; lines before any header are read in
the journal's column order. A line without a station counts under its journal's file name (without
folder and extension; "stdin" for standard input). A line without a reason is "fix" when it did not
time out and has a TTFF, else "timeout". Lines that cannot be read, and a last line without its
line end, are counted as malformed and skipped; the first five are named on standard error. A
journal whose reading fails part-way is named; the lines read from it before are counted, and
standard error says how many.

Per group: tests, passed, failed with the failures by reason, yield (passed / tests), TTFF of the
tests that got a fix (min, p50, p90, max) and average SNR of every test (p10, p50, p90), first and
last time stamp. Percentiles are nearest-rank: the smallest value with at least p % of the values
at or below it. In JSON a TTFF that a group lacks (no test got a fix) is null.

Units: Navlume runs on the unit it tests, so a station testing one receiver type is one unit. Its
first result counts toward the first-pass yield, its last toward the final yield; retests are the
results after a unit's first (of two results in one second, a failure counts as the earlier).
Journals without a station column count each file as one unit (per receiver type).

Capability, with the sample sigma (n - 1): average SNR against the pass level, Cpk = (mean -
level) / 3 sigma over the tests of that level (the lowest level when a group mixes them); TTFF
against the test timeout, Cpk = (timeout - mean) / 3 sigma over the tests that got a fix. The
journal has no timeout column: --timeout S gives it, else the counts of the timed-out tests (the
lowest when they differ). Fewer than 30 tests give no Cpk ("too few"); below 1.33 a Cpk is
flagged not capable, below 1.0 more so.

Drift, per group over its days with tests: a p chart of the daily yield (centre the group's yield,
3 sigma binomial limits for each day's count) and an individuals chart of the daily mean average
SNR (limits from the mean moving range). A day outside a limit is a signal, and so is the 8th day
of a run on one side of the centre line. With --by station, a station whose yield lies outside the
line's limits for its count of tests is one too. Signals come worst first, in JSON as
{group, day, rule, value, limit}.

With --database the summary is computed in the results database (navlume-cli db init; the reader
role suffices) from the lines pushed there, and the same lines give the same report; "files" and
"malformed" are then 0.

Exit code: 0 when a journal or part of one was read, 1 when none could be read, the database
refused or the report could not be written, 2 for a command line it cannot use.
)";

}  // namespace

void AddJournalCommand(CLI::App& app) {
  auto options = std::make_shared<JournalOptions>();
  CLI::App* command =
      app.add_subcommand("journal", "Summarise result journals: yield, TTFF and SNR per receiver, station or day");
  command->add_option("FILE", options->files, "Result journals to read; - reads standard input");
  command->add_option("--database", options->database, "Summarise the results database instead (libpq connection string)")
      ->type_name("CONNINFO");
  command->add_option("--by", options->grouping, "Group by receiver (default), station or day")
      ->transform(CLI::IsMember({JournalGroupingName(JournalGrouping::Receiver),
                                 JournalGroupingName(JournalGrouping::Station),
                                 JournalGroupingName(JournalGrouping::Day)},
                                CLI::ignore_case));
  command->add_option("--since", options->since, "Only results of this UTC day and later")
      ->type_name("YYYY-MM-DD")
      ->check(CLI::Validator(
          [](const std::string& day) {
            return IsJournalDay(day) ? std::string() : day + " is not a day as YYYY-MM-DD";
          },
          ""));
  command->add_option("--timeout", options->timeout, "The test timeout that TTFF is judged against, in seconds")
      ->type_name("S")
      ->check(CLI::PositiveNumber);
  command->add_flag("--json", options->json, "Print one JSON object instead of the table");
  command->add_option("--html", options->html, "Also write a self-contained HTML report with charts to OUT")
      ->type_name("OUT");
  command->footer(kJournalHelp);
  AddJournalPushCommand(*command);
  command->callback([options, command] {
    if (command->got_subcommand("push")) return;
    RunJournal(*options);
  });
}
