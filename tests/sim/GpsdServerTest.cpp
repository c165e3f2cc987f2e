// A private gpsd whose owner dies: an owner process killed with SIGKILL takes
// its gpsd with it, and what an owner killed together with its guardian left
// behind goes at the next start of a private gpsd.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sim/GpsdServer.h"
#include "sim/PseudoTerminal.h"
#include "support/GpsdAvailable.h"
#include "support/TempFolder.h"

namespace {

using navlume_test::ReadText;

std::string CommandLine(pid_t pid) { return ReadText("/proc/" + std::to_string(pid) + "/cmdline"); }

// A process of its own that starts a private gpsd and waits to be killed
// (however the test ends), with that gpsd's process id and folder. It starts
// with the standard descriptors `closed` closed, as a program started with "1>&-".
class GpsdOwner {
 public:
  explicit GpsdOwner(std::initializer_list<int> closed = {}) {
    int served[2];
    if (pipe(served) != 0) return;
    m_Owner = fork();
    if (m_Owner == 0) {
      sim::PseudoTerminal terminal;
      sim::CGpsdServer gpsd;
      for (const int fd : closed) close(fd);
      std::string error;
      const std::string folder = gpsd.Start({.devicePath = terminal.SlavePath()}, error) ? gpsd.Folder().string() : "";
      (void)!write(served[1], folder.c_str(), folder.size() + 1);
      for (;;) pause();
    }
    char folder[4096] = {};
    if (m_Owner > 0 && read(served[0], folder, sizeof folder - 1) > 1) m_Folder = folder;
    std::ifstream(m_Folder / "gpsd.pid") >> m_Gpsd;
    close(served[0]);
    close(served[1]);
  }
  ~GpsdOwner() { Kill(); }
  void Kill() {
    if (m_Owner > 0 && kill(m_Owner, SIGKILL) == 0) waitpid(m_Owner, nullptr, 0);
    m_Owner = -1;
  }
  // Its gpsd still runs: a process with its id names the folder.
  bool GpsdRuns() const { return m_Gpsd > 0 && CommandLine(m_Gpsd).find(m_Folder.string()) != std::string::npos; }
  bool FolderThere() const { return !m_Folder.empty() && std::filesystem::exists(m_Folder); }

  pid_t m_Gpsd = 0;

 private:
  pid_t m_Owner = -1;
  std::filesystem::path m_Folder;
};

bool GoneWithin(const GpsdOwner& owner, std::chrono::seconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (owner.GpsdRuns() || owner.FolderThere()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(GpsdServerTest, AGpsdWhoseOwnerDiesEndsAndItsFolderGoes) {
  NAVLUME_REQUIRE_GPSD();
  constexpr auto kPatience = std::chrono::seconds(20);  // real time; a second or two is plenty
  for (const bool guardianKilledToo : {false, true}) {
    GpsdOwner owner;
    ASSERT_TRUE(owner.GpsdRuns() && owner.FolderThere()) << guardianKilledToo;
    if (guardianKilledToo) {
      const std::string stat = ReadText("/proc/" + std::to_string(owner.m_Gpsd) + "/stat");
      kill(std::stoi(stat.substr(stat.rfind(')') + 4)), SIGKILL);  // gpsd's parent: ") S <ppid>"
    }
    owner.Kill();
    if (guardianKilledToo) {  // left running until the next start of a private gpsd
      ASSERT_TRUE(owner.GpsdRuns());
      sim::PseudoTerminal terminal;
      sim::CGpsdServer next;
      std::string error;
      ASSERT_TRUE(next.Start({.devicePath = terminal.SlavePath()}, error)) << error;
    }
    EXPECT_TRUE(GoneWithin(owner, guardianKilledToo ? std::chrono::seconds(0) : kPatience)) << guardianKilledToo;
  }
}

TEST(GpsdServerTest, AGpsdStartedWithStandardDescriptorsClosedKeepsRunning) {
  NAVLUME_REQUIRE_GPSD();
  const std::initializer_list<int> kClosed[] = {{STDERR_FILENO}, {STDOUT_FILENO, STDERR_FILENO},
                                                {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}};
  for (const std::initializer_list<int>& closed : kClosed) {
    GpsdOwner owner(closed);
    SCOPED_TRACE(closed.size());
    ASSERT_TRUE(owner.GpsdRuns());
    // A guardian that mistook another file for its life line has stopped gpsd by the time gpsd would log a client.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(owner.GpsdRuns());
  }
}

}  // namespace
