// navlume-cli: the headless commands of Navlume.

#include <cstdio>
#include <exception>
#include <string>

#include "tools/Commands.h"

namespace {
constexpr int kExitUsage = 2;  // as Unix tools do for a command line they cannot use
constexpr const char* kProgramName = "navlume-cli";  // the usage lines' name, whatever path started it
}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Navlume headless tools: decode captures, simulate receivers, watch a receiver, run the production test, "
      "summarise result journals, find receivers",
      kProgramName};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string(kProgramName) + " " NAVLUME_VERSION);
  AddDecodeCommand(app);
  AddSimCommand(app);
  AddMonitorCommand(app);
  AddConfigCommand(app);
  AddProdTestCommand(app);
  AddJournalCommand(app);
  AddDbCommand(app);
  AddDetectCommand(app);
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
