#pragma once
// The sub-commands of navlume-cli; each adds itself to the application.

#include <string>

#include <CLI/CLI.hpp>

#include "nmea/GnssSystem.h"

void AddDecodeCommand(CLI::App& app);
void AddSimCommand(CLI::App& app);
void AddMonitorCommand(CLI::App& app);
void AddConfigCommand(CLI::App& app);
void AddProdTestCommand(CLI::App& app);
void AddJournalCommand(CLI::App& app);
void AddJournalPushCommand(CLI::App& journal);
void AddDbCommand(CLI::App& app);
void AddDetectCommand(CLI::App& app);
void AddReportCommand(CLI::App& app);

// Writes a report's HTML page to `path`; a page that cannot be written ends
// the command with 1 after "navlume-cli COMMAND: cannot write PATH: why".
void WriteReportPage(const std::string& command, const std::string& path, const std::string& html);

// --talkers GP|any (any case) of the commands that decode NMEA.
CLI::Option* AddTalkersOption(CLI::App& command, NmeaTalkers& talkers, const std::string& meaning);
