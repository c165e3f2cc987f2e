// navlume-cli: the headless commands of Navlume.

#include <cstdio>
#include <exception>

#include "tools/Commands.h"

namespace {
constexpr int kExitUsage = 2;  // as Unix tools do for a command line they cannot use
constexpr const char* kVersionText = "navlume-cli " NAVLUME_VERSION;
}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Navlume headless tools: decode captures, simulate receivers, watch a receiver, run the production test, "
      "summarise result journals, find receivers"};
  app.require_subcommand(1);
  app.set_version_flag("--version", kVersionText);
  AddDecodeCommand(app);
  AddSimCommand(app);
  AddMonitorCommand(app);
  AddConfigCommand(app);
  AddProdTestCommand(app);
  AddJournalCommand(app);
  AddDetectCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::RuntimeError& e) {
    return app.exit(e);  // a command's own result
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;  // help and version succeed; the rest are usage errors
  } catch (const std::exception& e) {
    std::fprintf(stderr, "navlume-cli: %s\n", e.what());
    return 2;
  }
  return 0;
}
