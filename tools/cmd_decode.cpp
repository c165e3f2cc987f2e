#include "tools/Commands.h"

void AddDecodeCommand(CLI::App& app) { app.add_subcommand("decode", "not available yet"); }
