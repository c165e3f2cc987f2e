// navlume-cli report LOG... [--talkers GP|any] [--html OUT] [--json]: how a
// receiver did over each NMEA log, read through the one decoder. Memory stays
// the same whatever the length of the log.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "nmea/NmeaParser.h"
#include "tools/Commands.h"
#include "tools/LogReport.h"

namespace {

constexpr int kExitFailed = 1;
constexpr size_t kReadBlock = 1 << 16;
constexpr const char* kStandardInput = "-";

struct ReportOptions {
  std::vector<std::string> files;
  NmeaTalkers talkers = NmeaTalkers::Gps;
  bool json = false;
  std::string html;
};

void Say(const std::string& text) { std::fprintf(stderr, "navlume-cli report: %s\n", text.c_str()); }

// Feeds one log to a parser that tells the report; false, named on standard error, when it cannot be read.
bool ReadLog(const std::string& file, NmeaTalkers talkers, LogReport& report) {
  std::FILE* input = file == kStandardInput ? stdin : std::fopen(file.c_str(), "rb");
  if (input == nullptr) {
    Say("cannot open " + file + ": " + std::strerror(errno));
    return false;
  }
  NmeaParser parser;
  parser.SetTalkers(talkers);
  parser.SetObserver(&report.Observer());
  std::vector<char> block(kReadBlock);
  size_t count = 0;
  do {
    count = std::fread(block.data(), 1, block.size(), input);
    parser.Feed(block.data(), static_cast<uint32_t>(count));
  } while (count == block.size());
  const bool failed = std::ferror(input) != 0;
  const int error = errno;
  if (input != stdin) std::fclose(input);
  if (failed) {
    Say("cannot read " + file + ": " + std::strerror(error));
    return false;
  }
  report.Finish();
  return true;
}

void RunReport(const ReportOptions& options) {
  std::vector<std::unique_ptr<LogReport>> reports;
  size_t read = 0;
  for (const std::string& file : options.files) {
    auto report = std::make_unique<LogReport>(file == kStandardInput ? "standard input" : file);
    if (!ReadLog(file, options.talkers, *report)) continue;
    ++read;
    const std::string out = options.json ? ReportJson(*report) : ReportText(*report);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    // Only the HTML page needs every log's history at the end.
    if (!options.html.empty()) reports.push_back(std::move(report));
  }
  if (read == 0) throw CLI::RuntimeError(kExitFailed);
  if (!options.html.empty()) {
    std::vector<const LogReport*> shown;
    for (const auto& report : reports) shown.push_back(report.get());
    WriteReportPage("report", options.html, ReportHtml(shown));
  }
}

constexpr const char* kReportHelp = R"(
Reads NMEA logs (Navlume's NMEADATA_*.LOG, captures with # comment lines), - for standard input,
through the same decoder as decode. Sentences with the same UTC time (GGA, RMC, GLL) and the GSA and
GSV around them make one epoch; an epoch counts until the next one, for at most one second, so a
silent stretch of the log counts as time without a fix. Sentences before the log's first time are
not counted.

Text: a short summary per log. --json: one object per log, one per line:
  file          the log as named on the command line
  epochs        epochs with a time
  start, end    the first epoch and the end of the last, ISO-8601 UTC once an RMC gave the date
                (else hh:mm:ss.sss); null without epochs
  ttffSeconds   from the first epoch to the first with a valid fix (GGA quality above 0, RMC or
                GLL status A); null without a fix
  fixSeconds    seconds with a valid fix; gapSeconds: seconds from start to end without one
  position      null without a fix, else: fixes (epochs with a position), meanLatitude and
                meanLongitude (degrees), cep50, cep95 (radius around the mean holding 50 and 95 %
                of the positions, nearest rank, to 1 cm or the grid given in the HTML), drms2
                (twice the RMS distance from the mean), in metres
  satellites    one entry per satellite and signal: id (as the pages name it: G5, R74; a plain
                number when the log holds one system), system, signal (the NMEA 4.11 signal id,
                null when the receiver sends none), signalName, firstSeen and lastSeen (in view),
                trackedSeconds (in view with a C/N0), usedSeconds (in a GSA of its epoch), cn0
                (min, p50, max in dB-Hz, nearest rank; null when never tracked)

--html OUT writes one self-contained page (inline SVG, no script): satellites used and in view,
DOPs and the fix mode over time, C/N0 per satellite for each system and signal, the positions
around the mean with CEP50 and CEP95, and the satellites' table. Long logs are thinned to one point
per pixel column, keeping the lowest and highest value of each.

Exit code: 0 when a log was read, 1 when none could be read or the page could not be written, 2
for a command line it cannot use.
)";

}  // namespace

void AddReportCommand(CLI::App& app) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* command = app.add_subcommand(
      "report", "Report how a receiver did over NMEA logs: fix, TTFF, gaps, C/N0 per satellite and signal, scatter");
  command->add_option("LOG", options->files, "NMEA logs to read; - reads standard input")->required();
  AddTalkersOption(*command, options->talkers,
                   "Talkers to decode: GP (default) or any constellation talker (GN, GL, GA, GB, BD, GQ, QZ, GI)");
  command->add_flag("--json", options->json, "Print one JSON object per log instead of the summary");
  command->add_option("--html", options->html, "Also write a self-contained HTML report with charts to OUT")
      ->type_name("OUT");
  command->footer(kReportHelp);
  command->callback([options] { RunReport(*options); });
}
