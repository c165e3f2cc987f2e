#include "tools/Commands.h"

void AddMonitorCommand(CLI::App& app) { app.add_subcommand("monitor", "not available yet"); }
