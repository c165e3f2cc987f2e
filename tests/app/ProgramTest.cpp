// The program as a person or a script starts it: real processes of navlume
// on Qt's offscreen platform with simulated receivers.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/Registry.h"
#include "platform/Time.h"
#include "prodtest/RegGetDword.h"
#include "resources/resource.h"
#include "sim/HostPort.h"
#include "sim/UbloxReceiver.h"
#include "support/GpsdAvailable.h"
#include "support/TempFolder.h"

extern char** environ;

namespace {

using navlume_test::ReadText;
using namespace std::chrono_literals;

constexpr auto kPatience = 60s;  // real time for anything to happen; far beyond what it needs

// The rest of the line after `marker`; empty when it is not there.
std::string AfterText(const std::string& text, const std::string& marker) {
  const size_t start = text.find(marker);
  if (start == std::string::npos) return {};
  const size_t from = start + marker.size();
  return text.substr(from, text.find_first_of("\r\n", from) - from);
}

// True when something accepts connections on the loopback port.
bool LoopbackListens(uint16_t port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(socket);
  return connected;
}

class ProgramTest : public ::testing::Test {
 protected:
  // Starts navlume with `args`; its standard error goes to a file of the test.
  pid_t Start(const std::vector<std::string>& args, const std::string& errName) {
    std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + m_InstanceFolder.string(),
                                 "NAVLUME_ROOT=" + m_Root.Path().string()};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      if (text.rfind("XDG_RUNTIME_DIR=", 0) != 0 && text.rfind("NAVLUME_ROOT=", 0) != 0 &&
          text.rfind("QT_QPA_PLATFORM=", 0) != 0)
        env.push_back(text);
    }
    std::vector<std::string> argv{NAVLUME_GUI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& arg : argv) argp.push_back(arg.data());
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string errPath = (m_Runtime.Path() / errName).string();
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
  }
  // The exit status, or -1000 when the process did not end in time (it is then killed).
  static int Wait(pid_t pid, std::chrono::seconds patience = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1000;
      }
      std::this_thread::sleep_for(10ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  int Run(const std::vector<std::string>& args, const std::string& errName = "run.err") {
    const pid_t pid = Start(args, errName);
    return pid < 0 ? -1 : Wait(pid);
  }
  std::string Err(const std::string& errName = "run.err") const { return ReadText(m_Runtime.Path() / errName); }
  // Waits until the program's standard error holds `text`; false when it ends or patience runs out first.
  bool WaitForErr(pid_t pid, const std::string& text, const std::string& errName = "run.err") const {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (Err(errName).find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline || waitpid(pid, nullptr, WNOHANG) != 0) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  navlume_test::TempFolder m_Runtime;
  navlume_test::TempFolder m_Root;
  std::filesystem::path m_InstanceFolder = m_Runtime.Path();  // XDG_RUNTIME_DIR
};

TEST_F(ProgramTest, SimulatedUbloxReachesAFixAndScreenshotsAreWritten) {
  const std::filesystem::path shots = m_Runtime.Path() / "shots";
  ASSERT_EQ(Run({"--simulate", "--time-scale", "0.05", "--ttff", "2", "--quit-after", "10", "--screenshots",
                 shots.string(), "--screen", "320x240"}),
            0)
      << Err();
  for (const char* name : {"01-main.png", "02-signal.png", "03-position.png", "04-nmea-data.png", "05-settings.png",
                           "06-prd-settings.png"})
    EXPECT_GT(std::filesystem::file_size(shots / name), 1000u) << name;
  const auto controls = nlohmann::json::parse(ReadText(shots / "controls.json"));
  EXPECT_EQ(controls["caption"], "U-BLOX");
  ASSERT_EQ(controls["tabs"].size(), 6u);
  EXPECT_EQ(controls["tabs"][0]["tab"], "Main");
  EXPECT_EQ(controls["tabs"][0]["dialog"], 101);
  bool fixShown = false;  // the Main page's fix line (control 1006)
  for (const auto& control : controls["tabs"][0]["controls"])
    if (control["id"] == IDC_MAIN_FIX && control["text"].get<std::string>().rfind("Valid SPS(", 0) == 0) fixShown = true;
  EXPECT_TRUE(fixShown) << controls.dump(1);

  // The temporary root is gone.
  const std::string root = AfterText(Err(), "receivers in ");
  ASSERT_FALSE(root.empty());
  EXPECT_FALSE(std::filesystem::exists(root));
}

TEST_F(ProgramTest, MultiplexerRunOnASimulatedUbloxReachesAFixThroughItsOwnGpsd) {
  NAVLUME_REQUIRE_GPSD();
  navlume_test::TempFolder root;  // a root the Settings page switched to the multiplexer
  platform::OpenRegistryFile(root.Path() / "registry.reg");
  platform::RegKey ril;
  ASSERT_EQ(platform::RegCreateKey(platform::RegRoot::LocalMachine, kRilRegistryKey, ril), platform::kRegSuccess);
  ASSERT_EQ(platform::RegSetDword(ril, "StartOptions", 0), platform::kRegSuccess);
  platform::RegCloseKey(ril);

  // gpsd reports in real time (its first fix a second or two after it opens
  // the terminal): ten real seconds leave room on a loaded machine.
  const std::filesystem::path shots = m_Runtime.Path() / "shots";
  ASSERT_EQ(Run({"--simulate", "--root", root.Path().string(), "--time-scale", "0.1", "--ttff", "2", "--quit-after",
                 "100", "--screenshots", shots.string()}),
            0)
      << Err();
  const std::string err = Err();
  EXPECT_NE(err.find("[Navlume] GPS Multiplexer!"), std::string::npos) << err;
  const auto controls = nlohmann::json::parse(ReadText(shots / "controls.json"));
  EXPECT_EQ(controls["caption"], "U-BLOX");
  std::vector<std::string> tabs;
  for (const auto& tab : controls["tabs"]) tabs.push_back(tab["tab"]);
  EXPECT_EQ(tabs, (std::vector<std::string>{"Main", "Signal", "Position", "Settings", "PRD Settings"}));
  EXPECT_FALSE(std::filesystem::exists(shots / "04-nmea-data.png"));
  bool fixShown = false;
  for (const auto& control : controls["tabs"][0]["controls"])
    if (control["id"] == IDC_MAIN_FIX && control["text"].get<std::string>().rfind("Valid SPS(", 0) == 0) fixShown = true;
  EXPECT_TRUE(fixShown) << controls.dump(1);

  // gpsd is gone with the program; the named root stays.
  const std::string endpoint = AfterText(err, "gpsd serves COM2: at 127.0.0.1:");
  ASSERT_FALSE(endpoint.empty()) << err;
  EXPECT_FALSE(LoopbackListens(static_cast<uint16_t>(std::stoul(endpoint))));
  EXPECT_TRUE(std::filesystem::exists(root.Path() / "device.ini"));
}

TEST_F(ProgramTest, FirstStartWithoutAReceiverPointsAtDetectAfterTheBox) {
  EXPECT_EQ(Run({"--quit-after", "1"}), 255);
  const std::string err = Err();
  const size_t box = err.find("Error: GPS port configuration is failed!!\n");
  ASSERT_NE(box, std::string::npos) << err;
  EXPECT_LT(err.find("Can't find GPS deivce!!"), box);
  const std::string hint = "navlume: no receiver is mapped in " + (m_Root.Path() / "device.ini").string() +
                           "; to find one and map it, run: navlume-cli detect --write\n";
  EXPECT_EQ(err.compare(box + std::strlen("Error: GPS port configuration is failed!!\n"), hint.size(), hint), 0) << err;
  EXPECT_EQ(err.find("navlume-cli detect"), err.rfind("navlume-cli detect"));
}

TEST_F(ProgramTest, RootThatDetectWroteStartsOnTheReceiverFound) {
  platform::ScopedTimeScale scale(0.05);
  sim::CUbloxReceiver ublox(navlume_test::WithTtff(2), sim::PowerMode::AlwaysOn);
  ASSERT_TRUE(ublox.Start());
  // detect's answer waits kept long enough for a loaded machine; the receiver streams faster.
  const std::string detect = std::string(NAVLUME_CLI_PATH) + " detect --time-scale 0.3 --write --root " +
                             m_Root.Path().string() + " --devices " + ublox.SlavePath() + " > /dev/null 2>" +
                             (m_Runtime.Path() / "detect.err").string();
  ASSERT_EQ(std::system(detect.c_str()), 0) << Err("detect.err");
  platform::OpenRegistryFile(m_Root.Path() / "registry.reg");  // Direct Access, as the Settings page sets it
  platform::RegKey ril;
  ASSERT_EQ(platform::RegCreateKey(platform::RegRoot::LocalMachine, kRilRegistryKey, ril), platform::kRegSuccess);
  ASSERT_EQ(platform::RegSetDword(ril, "StartOptions", 1), platform::kRegSuccess);
  platform::RegCloseKey(ril);
  platform::OpenRegistryFile({});

  const std::filesystem::path shots = m_Runtime.Path() / "shots";
  ASSERT_EQ(Run({"--time-scale", "0.05", "--quit-after", "10", "--screenshots", shots.string()}), 0) << Err();
  const auto controls = nlohmann::json::parse(ReadText(shots / "controls.json"));
  EXPECT_EQ(controls["caption"], "U-BLOX");
  bool fixShown = false;
  for (const auto& control : controls["tabs"][0]["controls"])
    if (control["id"] == IDC_MAIN_FIX && control["text"].get<std::string>().rfind("Valid SPS(", 0) == 0) fixShown = true;
  EXPECT_TRUE(fixShown) << controls.dump(1);
}

TEST_F(ProgramTest, ScreenshotsThatCannotBeWrittenFailTheRun) {
  const std::filesystem::path blocked = m_Runtime.Path() / "file";
  navlume_test::WriteText(blocked, "not a folder");
  EXPECT_EQ(Run({"--simulate", "--time-scale", "0.05", "--quit-after", "1", "--screenshots", (blocked / "x").string()}), 1);
  EXPECT_NE(Err().find("cannot write the screenshots"), std::string::npos);
}

TEST_F(ProgramTest, SecondCopyRaisesTheFirstPrintsFourLinesAndExitsZero) {
  const pid_t first = Start({"--simulate", "--time-scale", "0.05", "--quit-after", "2000"}, "first.err");
  ASSERT_GT(first, 0);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (Err("first.err").find("GPS Direct Access!") == std::string::npos && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);  // the first copy holds the lock from here on
  // Until the first copy shows its sheet, a second one leaves quietly.
  std::string second;
  int status = -1;
  do {
    status = Run({}, "second.err");
    second = Err("second.err");
  } while (second.find("already") == std::string::npos && std::chrono::steady_clock::now() < deadline);
  EXPECT_EQ(status, 0);
  EXPECT_NE(second.find("[hAGPS]FindWindow : 0\n"), std::string::npos) << second;
  EXPECT_NE(std::stoul(AfterText(second, "[hUBLOX]FindWindow : "), nullptr, 16), 0u);
  EXPECT_NE(second.find("[hNavlume]FindWindow : 0\n"), std::string::npos);
  EXPECT_NE(second.find("[hOEM615]FindWindow : 0\n"), std::string::npos);
  EXPECT_NE(second.find("[Navlume] Navlume are excuting already! Skip this time!"), std::string::npos);
  EXPECT_EQ(second.find("+++ CPortConf::Initialize +++"), std::string::npos);  // nothing else was made

  kill(first, SIGTERM);  // leaves as Cancel does
  EXPECT_EQ(Wait(first), 0) << Err("first.err");
  EXPECT_NE(Err("first.err").find("--- CGPSDevice::Close ---"), std::string::npos);
}

TEST_F(ProgramTest, SecondCopyWhileTheFirstInitialisesLeavesWithoutTheAlreadyRunningLine) {
  const std::string lockPath = (m_Runtime.Path() / "navlume.lock").string();
  const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);  // held, nobody answers yet
  EXPECT_EQ(Run({}), 0);
  const std::string err = Err();
  for (const char* line : {"[hAGPS]FindWindow : 0", "[hUBLOX]FindWindow : 0", "[hNavlume]FindWindow : 0",
                           "[hOEM615]FindWindow : 0"})
    EXPECT_NE(err.find(line), std::string::npos) << line;
  EXPECT_EQ(err.find("already"), std::string::npos);
  ::close(lock);
}

TEST_F(ProgramTest, ALockFileThatCannotBeCreatedEndsWithOneAndSaysWhy) {
  navlume_test::WriteText(m_Runtime.Path() / "file", "not a folder");
  m_InstanceFolder = m_Runtime.Path() / "file";  // even the superuser cannot create a file below it
  EXPECT_EQ(Run({"--simulate", "--time-scale", "0.05", "--quit-after", "1"}), 1);
  const std::string err = Err();
  EXPECT_NE(err.find("navlume: cannot create the single-instance lock " + (m_InstanceFolder / "navlume.lock").string() +
                     ": Not a directory"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("+++ CPortConf::Initialize +++"), std::string::npos);
}

// A stop signal while a box or the start-options dialog is up (no sheet yet)
// closes it as Cancel, cuts any start-up short and ends the program after its
// teardown. Each case waits for the program's last line before it waits for
// the user, then signals.
TEST_F(ProgramTest, AStopSignalBeforeTheSheetEndsTheProgram) {
  constexpr auto kStopPatience = 10s;  // real time; the program needs well under a second
  // A u-blox in Direct Access whose port never opens: the wait dialog tries for 11 seconds.
  std::ofstream(m_Root.Path() / "device.ini")
      << "[hardware]\ngps_type = 3\n[ports]\nCOM2: = " << (m_Runtime.Path() / "no-such-port").string() << "\n";
  std::ofstream(m_Root.Path() / "registry.reg")
      << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\RIL]\n"
         "\"StartOptions\"=dword:00000001\n";
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* shownLast;
    int signal;
    int exitCode;
    const char* tornDown;            // in the trace once the program has ended
    std::vector<const char*> never;  // not in the trace: no failure reported, nothing started after the stop
  } cases[] = {
      {"a box: no receiver fitted", {"--root", (m_Runtime.Path() / "empty").string()},
       "Error: GPS port configuration is failed!!", SIGTERM, 255, "Error: GPS port configuration", {"CGPSDevice"}},
      {"the start-options dialog", {"--simulate=ublox+agps", "--time-scale", "0.05"},
       "[Navlume] Can't find Navlume.ini file in root directory", SIGINT, 0, "--- CPortConf::Initialize",
       {"Error:", "CGPSDevice"}},
      {"the wait dialog", {"--time-scale", "1"}, "--- CGPSDevice::Create ---", SIGTERM, 1, "--- CGPSDevice::Close ---",
       {"Error:"}},
  };
  std::filesystem::create_directories(m_Runtime.Path() / "empty");  // a root without hardware
  for (const auto& stop : cases) {
    const pid_t pid = Start(stop.args, "stop.err");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForErr(pid, stop.shownLast, "stop.err")) << stop.what << "\n" << Err("stop.err");
    kill(pid, stop.signal);
    EXPECT_EQ(Wait(pid, kStopPatience), stop.exitCode) << stop.what << "\n" << Err("stop.err");
    const std::string err = Err("stop.err");
    EXPECT_NE(err.find(stop.tornDown), std::string::npos) << stop.what << "\n" << err;
    for (const char* text : stop.never) EXPECT_EQ(err.find(text), std::string::npos) << stop.what << "\n" << err;
    const std::string simulatedRoot = AfterText(err, "receivers in ");
    if (!simulatedRoot.empty()) {
      EXPECT_FALSE(std::filesystem::exists(simulatedRoot)) << stop.what;
    }
  }
}

TEST_F(ProgramTest, UsageErrorsExitTwoAndVersionNamesTheProgram) {
  EXPECT_EQ(Run({"--no-such-option"}), 2);
  EXPECT_EQ(Run({"--screen", "wide"}), 2);
  EXPECT_EQ(Run({"--screenshots", "x"}), 2);
  EXPECT_EQ(Run({"--ttff", "3"}), 2);
  EXPECT_EQ(Run({"--simulate=gps9"}), 2);
  const std::filesystem::path typo = m_Runtime.Path() / "typo" / "root";
  EXPECT_EQ(Run({"--root", typo.string()}), 2);  // a named root is not made
  EXPECT_FALSE(std::filesystem::exists(typo.parent_path()));

  const std::string out = (m_Runtime.Path() / "version.out").string();
  const std::string command = std::string(NAVLUME_GUI_PATH) + " --version > " + out;
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadText(out), "navlume 3.6.13\n");
}

}  // namespace
