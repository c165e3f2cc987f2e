#include "tools/Commands.h"

void AddSimCommand(CLI::App& app) { app.add_subcommand("sim", "not available yet"); }
