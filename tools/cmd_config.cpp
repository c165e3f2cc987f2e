#include "tools/Commands.h"

void AddConfigCommand(CLI::App& app) { app.add_subcommand("config", "not available yet"); }
