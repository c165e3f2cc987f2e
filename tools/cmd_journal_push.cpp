// navlume-cli journal push [--database CONNINFO] [--root DIR] [FILE...]:
// sends every line of the journals that the results database does not hold
// yet; without files, the unit's own journals (card and \Temp).

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/DeviceRoot.h"
#include "prodtest/ResultJournal.h"
#include "results/JournalPush.h"
#include "tools/Commands.h"

namespace {

constexpr int kExitNotSent = 1;
constexpr uint64_t kNamedMalformed = 5;
constexpr const char* kUnitJournals[] = {"\\Storage Card\\NAVLUME_RESULTS.CSV", "\\Temp\\NAVLUME_RESULTS.CSV"};

struct PushOptions {
  std::string database;
  std::string root;
  std::vector<std::string> files;
};

void Say(const std::string& text) { std::fprintf(stderr, "navlume-cli journal push: %s\n", text.c_str()); }

// A journal with the station its lines without one are stored under.
struct Journal {
  std::string file;
  std::string station;
};

// The given files (a line without a station counts under the file's name, as
// in the summary), else the unit's own journals, whose lines are this station's.
std::vector<Journal> JournalsOf(const PushOptions& options) {
  std::vector<Journal> journals;
  for (const std::string& file : options.files) journals.push_back({file, std::filesystem::path(file).stem().string()});
  if (!options.files.empty()) return journals;
  for (const char* handheld : kUnitJournals) {
    const auto file = platform::MapHandheldPath(handheld);
    if (std::filesystem::exists(file)) journals.push_back({file.string(), StationName()});
  }
  return journals;
}

void RunPush(const PushOptions& options) {
  if (!platform::SetDeviceRoot(platform::ResolveDeviceRoot(options.root))) {
    Say("cannot use the device root");
    throw CLI::RuntimeError(kExitNotSent);
  }
  const std::string conninfo = results::ConfiguredConninfo(options.database);
  if (conninfo.empty()) {
    Say("no results database: give --database CONNINFO or set [results] database in device.ini");
    throw CLI::RuntimeError(kExitNotSent);
  }
  results::CResultsDatabase database(conninfo);
  results::CJournalPush push(database, [](const std::string& file, uint64_t line, const std::string& why) {
    static uint64_t named = 0;
    if (++named <= kNamedMalformed) Say(file + ":" + std::to_string(line) + ": skipped: " + why);
  });
  bool unreadable = false;
  for (const Journal& journal : JournalsOf(options)) {
    if (!push.PushFile(journal.file, journal.station)) {
      Say("cannot read " + journal.file + ": " + std::strerror(errno));
      unreadable = true;
    }
  }
  const results::PushTotals& totals = push.Totals();
  if (totals.error) Say(totals.error->message);
  std::printf("sent %llu, already there %llu, malformed %llu, not sent %llu\n",
              static_cast<unsigned long long>(totals.sent), static_cast<unsigned long long>(totals.alreadyThere),
              static_cast<unsigned long long>(totals.malformed), static_cast<unsigned long long>(totals.notSent));
  if (unreadable || totals.notSent > 0) throw CLI::RuntimeError(kExitNotSent);
}

constexpr const char* kPushHelp = R"(
Sends every line of the journals that the results database does not hold yet, in batches of one
transaction each; a line already there (by its id) is counted, not stored again. Lines of older
journals have no id: the database derives one from the line's fields and its station, so pushing
the same journal again stores nothing twice. A line without a station is stored under its
journal's file name (without folder and extension), or, for the unit's own journals, under this
station's name. Malformed lines are counted and skipped (the first five named on standard error).

The database: --database, else device.ini's [results] database. Passwords come from ~/.pgpass,
PGPASSFILE or a service file.

Exit code: 0 when every line that can be read is in the database, 1 when some could not be sent
or a journal could not be read (the cause on standard error), 2 for a command line it cannot use.
)";

}  // namespace

void AddJournalPushCommand(CLI::App& journal) {
  auto options = std::make_shared<PushOptions>();
  CLI::App* command = journal.add_subcommand("push", "Send the journals' lines that the results database lacks");
  command->add_option("FILE", options->files, "Journals to send (default: the unit's own, card and \\Temp)");
  command->add_option("--database", options->database, "libpq connection string or URI (default: device.ini)")
      ->type_name("CONNINFO");
  command->add_option("--root", options->root, "Device root (default: $NAVLUME_ROOT, else ~/.local/share/navlume)");
  command->footer(kPushHelp);
  command->callback([options] { RunPush(*options); });
}
