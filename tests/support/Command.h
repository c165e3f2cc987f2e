#pragma once
// Runs a program as a user would, through the shell, and keeps its exit
// status and both output streams.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/TempFolder.h"

namespace navlume_test {

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

// The text quoted for the shell.
inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs `commandLine` (already quoted) with its streams captured in files of `folder`.
inline CommandResult RunCommand(const std::string& commandLine, const std::filesystem::path& folder) {
  const auto out = folder / "out";
  const auto err = folder / "err";
  const std::string command = commandLine + " >" + Quote(out.string()) + " 2>" + Quote(err.string());
  const int raw = std::system(command.c_str());
  CommandResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadText(out);
  result.err = ReadText(err);
  return result;
}

}  // namespace navlume_test
