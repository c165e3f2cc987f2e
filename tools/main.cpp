// navlume-cli: the headless commands of Navlume.

#include <cstdio>
#include <exception>

#include "tools/Commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Navlume headless tools: decode captures, simulate receivers, watch a receiver, run the production test"};
  app.require_subcommand(1);
  AddDecodeCommand(app);
  AddSimCommand(app);
  AddMonitorCommand(app);
  AddConfigCommand(app);
  AddProdTestCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "navlume-cli: %s\n", e.what());
    return 2;
  }
  return 0;
}
