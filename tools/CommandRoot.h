#pragma once
// What every navlume-cli command does with its device root and the system's
// trace: the trace goes to the root's debug log unless --verbose asks for it
// on standard error, and a root that was named must exist.

#include <filesystem>
#include <string>

#include <CLI/CLI.hpp>

inline constexpr const char* kDebugLogFile = "navlume-debug.log";

// --verbose on the application; call before the commands are added.
void AddVerboseFlag(CLI::App& app);

// The command's device root: --root, else $NAVLUME_ROOT, else the default
// one. A named root that does not exist ends the command as a usage error (2).
std::filesystem::path CheckedCommandRoot(const std::string& command, const std::string& rootOption);

// Makes the command's device root current (--root, else $NAVLUME_ROOT, else
// the default one, made when missing) and sends the trace to its debug log.
// A named root that does not exist ends the command as a usage error (2);
// one that cannot be used ends it with `failureExit`.
std::filesystem::path UseCommandRoot(const std::string& command, const std::string& rootOption, int failureExit);

// Sends the trace to ROOT's debug log unless --verbose was given.
void UseDebugLog(const std::filesystem::path& root);

// Ends the command with `exitCode` after "navlume-cli COMMAND: MESSAGE" on standard error.
[[noreturn]] void FailCommand(const std::string& command, const std::string& message, int exitCode);
