// navlume-cli: the headless commands of Navlume.

#include <cstdio>
#include <exception>
#include <string>

#include "tools/CommandRoot.h"
#include "tools/Commands.h"

namespace {
constexpr int kExitUsage = 2;  // as Unix tools do for a command line they cannot use
constexpr const char* kProgramName = "navlume-cli";  // the usage lines' name, whatever path started it

// The first word that is not an option names the command; one that names none is refused with the list.
bool NamesUnknownCommand(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.starts_with("-")) continue;
    for (const CLI::App* command : app.get_subcommands({})) {
      if (command->get_name() == word) return false;
    }
    std::string names;
    for (const CLI::App* command : app.get_subcommands({})) names += (names.empty() ? "" : ", ") + command->get_name();
    std::fprintf(stderr, "%s: unknown command \"%s\"; the commands are %s (run %s --help)\n", kProgramName,
                 word.c_str(), names.c_str(), kProgramName);
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Navlume headless tools: decode captures, simulate receivers, watch a receiver, run the production test, "
      "summarise result journals, find receivers, report how a receiver did over its logs",
      kProgramName};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string(kProgramName) + " " NAVLUME_VERSION);
  app.fallthrough();  // --verbose also after the command's name
  AddVerboseFlag(app);
  AddDecodeCommand(app);
  AddSimCommand(app);
  AddMonitorCommand(app);
  AddConfigCommand(app);
  AddProdTestCommand(app);
  AddJournalCommand(app);
  AddDbCommand(app);
  AddDetectCommand(app);
  AddReportCommand(app);
  if (NamesUnknownCommand(app, argc, argv)) return kExitUsage;
  try {
    app.parse(argc, argv);
  } catch (const CLI::RuntimeError& e) {
    return app.exit(e);  // a command's own result
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;  // help and version succeed; the rest are usage errors
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, e.what());
    return 2;
  }
  return 0;
}
