// The private gpsd of a simulation when its owner dies: a real
// `navlume-cli sim --gpsd` killed with SIGKILL takes its gpsd with it, and
// what an owner that could not (its guardian killed too) left behind goes at
// the next start.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "sim/GpsdServer.h"
#include "sim/PseudoTerminal.h"
#include "support/GpsdAvailable.h"
#include "support/TempFolder.h"

namespace {

using navlume_test::ReadText;

std::string CommandLine(pid_t pid) { return ReadText("/proc/" + std::to_string(pid) + "/cmdline"); }

// `navlume-cli sim --gpsd`, killed and its simulated root removed however the test ends.
class ServedSimulation {
 public:
  ServedSimulation() {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    m_Cli = fork();
    if (m_Cli == 0) {
      dup2(out[1], STDOUT_FILENO);
      execl(NAVLUME_CLI, NAVLUME_CLI, "sim", "--profile", "ublox", "--gpsd", nullptr);
      _exit(127);
    }
    close(out[1]);
    std::FILE* stream = fdopen(out[0], "r");
    char line[4096] = {};
    if (std::fgets(line, sizeof line, stream) != nullptr) {
      const auto described = nlohmann::json::parse(line);
      m_Root = described["root"].get<std::string>();
      const std::string endpoint = described["gpsd"];
      FindGpsd("-S" + std::string(1, '\0') + endpoint.substr(endpoint.rfind(':') + 1) + '\0');
    }
    std::fclose(stream);
  }
  ~ServedSimulation() {
    Kill();
    std::error_code ignored;
    std::filesystem::remove_all(m_Root, ignored);
  }
  void Kill() {
    if (m_Cli > 0 && kill(m_Cli, SIGKILL) == 0) waitpid(m_Cli, nullptr, 0);
    m_Cli = -1;
  }
  // Its gpsd still runs: a process with its id names the folder.
  bool GpsdRuns() const { return m_Gpsd > 0 && CommandLine(m_Gpsd).find(m_Folder.string()) != std::string::npos; }
  bool FolderThere() const { return !m_Folder.empty() && std::filesystem::exists(m_Folder); }

  pid_t m_Cli = -1;
  pid_t m_Gpsd = 0;
  std::filesystem::path m_Folder;

 private:
  // The private gpsd whose command line holds `option`, by the pid file in its folder.
  void FindGpsd(const std::string& option) {
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
      if (!entry.path().filename().string().starts_with("navlume-gpsd-")) continue;
      pid_t pid = 0;
      std::ifstream(entry.path() / "gpsd.pid") >> pid;
      if (pid <= 0 || CommandLine(pid).find(option) == std::string::npos) continue;
      m_Gpsd = pid;
      m_Folder = entry.path();
    }
  }

  std::filesystem::path m_Root;
};

bool GoneWithin(const ServedSimulation& simulation, std::chrono::seconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (simulation.GpsdRuns() || simulation.FolderThere()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(GpsdServerTest, AGpsdWhoseOwnerDiesEndsAndItsFolderGoes) {
  NAVLUME_REQUIRE_GPSD();
  constexpr auto kPatience = std::chrono::seconds(20);  // real time; a second or two is plenty
  for (const bool guardianKilledToo : {false, true}) {
    ServedSimulation simulation;
    ASSERT_TRUE(simulation.GpsdRuns() && simulation.FolderThere()) << guardianKilledToo;
    if (guardianKilledToo) {
      const std::string stat = ReadText("/proc/" + std::to_string(simulation.m_Gpsd) + "/stat");
      kill(std::stoi(stat.substr(stat.rfind(')') + 4)), SIGKILL);  // gpsd's parent: ") S <ppid>"
    }
    simulation.Kill();
    if (guardianKilledToo) {  // left running until the next start of a private gpsd
      ASSERT_TRUE(simulation.GpsdRuns());
      sim::PseudoTerminal terminal;
      sim::CGpsdServer next;
      std::string error;
      ASSERT_TRUE(next.Start({.devicePath = terminal.SlavePath()}, error)) << error;
    }
    EXPECT_TRUE(GoneWithin(simulation, guardianKilledToo ? std::chrono::seconds(0) : kPatience)) << guardianKilledToo;
  }
}

}  // namespace
