// The private gpsd of a simulation when its owner dies: a real
// `navlume-cli sim --gpsd` killed with SIGKILL takes its gpsd with it, and
// what an owner that could not do so left behind goes at the next start.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "sim/GpsdServer.h"
#include "sim/PseudoTerminal.h"
#include "support/GpsdAvailable.h"
#include "support/TempFolder.h"

namespace {

using namespace std::chrono_literals;
using navlume_test::ReadText;

constexpr auto kPatience = 20s;  // real time; far beyond what anything here needs

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::vector<std::string> CommandLine(pid_t pid) {
  const std::string text = ReadText("/proc/" + std::to_string(pid) + "/cmdline");
  std::vector<std::string> args;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\0', start);
    args.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return args;
}

// The gpsd listening on `port`, and the folder of its control socket; pid 0 when there is none.
pid_t GpsdOnPort(uint16_t port, std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::vector<std::string> args = CommandLine(std::stoi(name));
    if (args.empty() || std::filesystem::path(args[0]).filename() != "gpsd") continue;
    const auto option = [&](const char* flag) {
      const auto it = std::find(args.begin(), args.end(), flag);
      return it == args.end() || it + 1 == args.end() ? std::string() : *(it + 1);
    };
    if (option("-S") != std::to_string(port)) continue;
    folder = std::filesystem::path(option("-F")).parent_path();
    return std::stoi(name);
  }
  return 0;
}

// A process of ours still runs as that gpsd (its command line names the folder).
bool Runs(pid_t gpsd, const std::filesystem::path& folder) {
  for (const std::string& arg : CommandLine(gpsd))
    if (arg.find(folder.string()) != std::string::npos) return true;
  return false;
}

bool Accepts(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool accepted = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return accepted;
}

pid_t ParentOf(pid_t pid) {
  const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
  const size_t afterName = stat.rfind(')');
  return afterName == std::string::npos ? 0 : std::stoi(stat.substr(afterName + 4));  // ") S <ppid>"
}

// `navlume-cli sim --gpsd`, its gpsd and that gpsd's folder; the program is
// killed however the test ends, and the simulated root it leaves removed.
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
    const bool described = stream != nullptr && std::fgets(line, sizeof line, stream) != nullptr;
    if (stream != nullptr) std::fclose(stream);
    if (!described) return;
    const auto description = nlohmann::json::parse(line);
    m_Root = description["root"].get<std::string>();
    const std::string endpoint = description["gpsd"];
    m_Port = static_cast<uint16_t>(std::stoul(endpoint.substr(endpoint.rfind(':') + 1)));
    m_Gpsd = GpsdOnPort(m_Port, m_Folder);
  }
  ~ServedSimulation() {
    Kill();
    std::error_code ignored;
    std::filesystem::remove_all(m_Root, ignored);
  }

  bool Serving() const { return m_Gpsd > 0 && Runs(m_Gpsd, m_Folder) && std::filesystem::exists(m_Folder); }
  void Kill() {
    if (m_Cli <= 0) return;
    kill(m_Cli, SIGKILL);
    waitpid(m_Cli, nullptr, 0);
    m_Cli = -1;
  }

  pid_t m_Cli = -1;
  std::filesystem::path m_Root;
  uint16_t m_Port = 0;
  pid_t m_Gpsd = 0;
  std::filesystem::path m_Folder;
};

TEST(GpsdServerTest, TheGpsdOfAKilledOwnerEndsAndItsPortAndFolderAreFreed) {
  NAVLUME_REQUIRE_GPSD();
  ServedSimulation simulation;
  ASSERT_TRUE(simulation.Serving());
  simulation.Kill();
  EXPECT_TRUE(WaitUntil([&] {
    return !Runs(simulation.m_Gpsd, simulation.m_Folder) && !Accepts(simulation.m_Port) &&
           !std::filesystem::exists(simulation.m_Folder);
  }));
}

// An owner killed together with whatever watched its gpsd: the gpsd keeps
// running until the next start of a private gpsd stops it and removes its folder.
TEST(GpsdServerTest, TheNextStartEndsWhatADeadOwnerLeft) {
  NAVLUME_REQUIRE_GPSD();
  ServedSimulation simulation;
  ASSERT_TRUE(simulation.Serving());
  kill(ParentOf(simulation.m_Gpsd), SIGKILL);
  simulation.Kill();
  ASSERT_TRUE(Runs(simulation.m_Gpsd, simulation.m_Folder));

  sim::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.Valid());
  sim::CGpsdServer next;
  std::string error;
  ASSERT_TRUE(next.Start({.devicePath = terminal.SlavePath()}, error)) << error;
  EXPECT_FALSE(Runs(simulation.m_Gpsd, simulation.m_Folder));
  EXPECT_FALSE(std::filesystem::exists(simulation.m_Folder));
  EXPECT_FALSE(Accepts(simulation.m_Port));
}

}  // namespace
