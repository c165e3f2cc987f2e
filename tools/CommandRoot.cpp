#include "tools/CommandRoot.h"

#include <cstdio>

#include "platform/Debug.h"
#include "platform/DeviceRoot.h"

namespace {

constexpr int kExitUsage = 2;
bool g_bVerbose = false;

}  // namespace

void AddVerboseFlag(CLI::App& app) {
  // Until a command opens its root's debug log, the trace is dropped.
  platform::SetDebugDestination(platform::DebugDestination::LogFile);
  app.add_flag_callback(
      "--verbose",
      [] {
        g_bVerbose = true;
        platform::SetDebugDestination(platform::DebugDestination::StandardError);
      },
      "Print the system's debug trace on standard error (default: in the device root's " +
          std::string(kDebugLogFile) + ")");
}

void UseDebugLog(const std::filesystem::path& root) {
  if (g_bVerbose) return;
  if (!platform::SetDebugLogFile(root / kDebugLogFile))
    std::fprintf(stderr, "navlume-cli: cannot write %s; the debug trace follows here\n",
                 (root / kDebugLogFile).c_str());
}

void FailCommand(const std::string& command, const std::string& message, int exitCode) {
  std::fprintf(stderr, "navlume-cli %s: %s\n", command.c_str(), message.c_str());
  throw CLI::RuntimeError(exitCode);
}

std::filesystem::path CheckedCommandRoot(const std::string& command, const std::string& rootOption) {
  const std::filesystem::path root = platform::ResolveDeviceRoot(rootOption);
  std::error_code ec;
  if (platform::DeviceRootNamed(rootOption) && !std::filesystem::is_directory(root, ec)) {
    FailCommand(command,
                "the device root " + root.string() + " does not exist (" +
                    (rootOption.empty() ? "$NAVLUME_ROOT" : "--root") +
                    "); only navlume-cli sim and navlume --simulate make the root they are given",
                kExitUsage);
  }
  return root;
}

std::filesystem::path UseCommandRoot(const std::string& command, const std::string& rootOption, int failureExit) {
  const std::filesystem::path root = CheckedCommandRoot(command, rootOption);
  if (!platform::SetDeviceRoot(root)) FailCommand(command, "cannot use the device root " + root.string(), failureExit);
  UseDebugLog(platform::DeviceRoot());
  return platform::DeviceRoot();
}
