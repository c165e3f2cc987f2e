#pragma once
// Runs a program as a user would, through the shell, and keeps its exit
// status and both output streams.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

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

// Starts `commandLine` (already quoted) in the background, its streams in
// files "out" and "err" of `folder`; the process id, or -1.
inline pid_t StartCommand(const std::string& commandLine, const std::filesystem::path& folder) {
  std::error_code ignored;
  for (const char* stream : {"out", "err"}) std::filesystem::remove(folder / stream, ignored);
  const std::string shell = "exec " + commandLine + " >" + Quote((folder / "out").string()) + " 2>" +
                            Quote((folder / "err").string());
  const char* argv[] = {"/bin/sh", "-c", shell.c_str(), nullptr};
  pid_t pid = -1;
  return posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) == 0 ? pid : -1;
}

// Waits up to `patience` until `text` shows in the file; false when it did not.
inline bool WaitForText(const std::filesystem::path& file, const std::string& text, std::chrono::seconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (ReadText(file).find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ReadText(file).find(text) != std::string::npos;
}

// Waits up to `patience` for `pid` to end: its exit status, or -1 when it
// was ended by a signal or had to be killed.
inline int WaitForExit(pid_t pid, std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline && kill(pid, SIGKILL) == 0) waitpid(pid, &status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace navlume_test
