// Simulation roots, the A-GPS and replay receivers, and `navlume-cli sim` end to end.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <tuple>

#include <nlohmann/json.hpp>

#include "HostPort.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "sim/AgpsReceiver.h"
#include "sim/PowerFileWatcher.h"
#include "sim/ReplayReceiver.h"
#include "sim/SimulationRoot.h"
#include "support/TempFolder.h"

namespace {

using navlume_test::CountGga;
using navlume_test::HostPort;

// kPatienceMs: 20 s of real time, far beyond what any wait here needs.
constexpr double kScale = 0.01;
constexpr uint32_t kPatienceMs = static_cast<uint32_t>(20'000 / kScale);

class SimulationRootTest : public ::testing::Test {
 protected:
  navlume_test::TestTimeScale m_Scale{kScale};
};

void WritePower(const std::filesystem::path& root, const char* state) {
  navlume_test::WriteText(root / sim::kSimPowerFile, state);
}

TEST_F(SimulationRootTest, AgpsStreamsWithoutPowerAtAnyLineRate) {
  sim::CAgpsReceiver receiver;
  ASSERT_TRUE(receiver.Start());
  HostPort host(receiver.SlavePath(), 115200);
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '0') >= 2; }, kPatienceMs));
  receiver.SetPower(false);
  host.Take();
  EXPECT_TRUE(host.ReadUntilContains("$GPGGA", kPatienceMs));
}

TEST_F(SimulationRootTest, ReplayPlaysACaptureOneEpochPerSecond) {
  const navlume_test::TempFolder folder;
  const std::filesystem::path capture = folder.Path() / "replay.nmea";
  navlume_test::WriteText(capture,
                          "$GPGGA,1*00\r\n$GPRMC,1*00\r\n$GPGSV,1*00\r\n"
                          "$GPGGA,2*00\r\n$GPRMC,2*00\r\n"
                          "$GPRMC,3*00\r\n$GPGGA,3*00\r\n");
  std::vector<std::string> epochs;
  ASSERT_TRUE(sim::CReplayReceiver::LoadCapture(capture.string(), epochs));
  ASSERT_EQ(epochs.size(), 3u);
  EXPECT_EQ(epochs[1], "$GPGGA,2*00\r\n$GPRMC,2*00\r\n");
  sim::CReplayReceiver receiver(epochs);
  HostPort host(receiver.SlavePath());  // listening before the first epoch
  ASSERT_TRUE(receiver.Start());
  ASSERT_TRUE(host.ReadUntilContains("$GPGGA,3*00\r\n", kPatienceMs));
  EXPECT_EQ(host.Received(), epochs[0] + epochs[1] + epochs[2]);
  EXPECT_GE(receiver.ElapsedMs(), 3000u);
}

TEST_F(SimulationRootTest, ProfileMapsPortsAndThePowerFileSwitchesTheGps) {
  sim::CSimulationRoot root;
  sim::SimulationOptions options;
  options.profile = "ublox+agps";
  options.scenario.ttff = 1;
  std::string error;
  ASSERT_TRUE(root.Start(options, error)) << error;
  const std::filesystem::path folder = root.Root();
  const platform::DeviceProfile profile = platform::LoadDeviceProfile(folder / "device.ini");
  EXPECT_EQ(profile.gpsType, 3u);
  EXPECT_EQ(profile.wwanType, 2u);
  EXPECT_EQ(profile.ports, root.Ports());
  EXPECT_EQ(profile.ports.count("COM2:"), 1u);
  EXPECT_EQ(profile.ports.count("COM9:"), 1u);
  EXPECT_EQ(profile.powerFile, (folder / "gps_power").string());
  const auto described = nlohmann::json::parse(root.DescribeJson());
  EXPECT_EQ(described["root"], folder.string());
  EXPECT_EQ(described["ports"]["COM2:"], root.Ports().at("COM2:"));

  sim::CSimReceiver* ublox = root.Receiver("COM2:");
  ASSERT_NE(ublox, nullptr);
  EXPECT_FALSE(ublox->Powered());  // the GPS starts switched off
  HostPort host(ublox->SlavePath());
  WritePower(folder, "1");
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 1; }, kPatienceMs));
  EXPECT_TRUE(ublox->Powered());
  WritePower(folder, "0");
  host.ReadUntil([&](const std::string&) { return !ublox->Powered(); }, kPatienceMs);
  EXPECT_FALSE(ublox->Powered());
  root.Stop();
  EXPECT_FALSE(std::filesystem::exists(folder));  // a temporary root goes with the simulation
  EXPECT_NE(platform::DeviceRoot(), folder);      // and the process no longer uses it
  EXPECT_FALSE(platform::PortDevicePath("COM2:").has_value());
}

TEST_F(SimulationRootTest, ReceiversOfSeveralSystemsSetTheProfileToEveryTalker) {
  // The OEM615 keeps logging GPS whatever the scenario tracks.
  for (const auto& [profile, gnss, anyTalker] : {std::tuple{"ublox", "gps", false}, {"ublox", "gps,beidou", true},
                                                 {"agps", "galileo", true}, {"oem615", "gps,glonass", false}}) {
    sim::CSimulationRoot root;
    sim::SimulationOptions options;
    options.profile = profile;
    std::string error;
    ASSERT_TRUE(sim::ApplyGnssOptions(options.scenario, gnss, std::nullopt, error)) << error;
    ASSERT_TRUE(root.Start(options, error)) << error;
    EXPECT_EQ(platform::LoadDeviceProfile(root.Root() / "device.ini").anyTalker, anyTalker) << profile << " " << gnss;
    EXPECT_EQ(platform::CurrentDeviceProfile().anyTalker, anyTalker) << profile << " " << gnss;
  }
}

TEST_F(SimulationRootTest, RefusesUnknownProfilesAndRecordsToAFile) {
  sim::CSimulationRoot root;
  sim::SimulationOptions options;
  std::string error;
  options.profile = "garmin";
  EXPECT_FALSE(root.Start(options, error));
  EXPECT_NE(error.find("garmin"), std::string::npos);

  const navlume_test::TempFolder folder;
  const std::filesystem::path record = folder.Path() / "record.jsonl";
  options.profile = "oem615";
  options.record = record;
  options.power = sim::PowerSource::Platform;
  ASSERT_TRUE(root.Start(options, error)) << error;
  sim::CSimReceiver* oem615 = root.Receiver("COM3:");
  ASSERT_NE(oem615, nullptr);
  HostPort host(oem615->SlavePath());
  oem615->SetPower(true);
  ASSERT_TRUE(host.ReadUntilContains("[COM1]", kPatienceMs));
  ASSERT_TRUE(host.Write("log gpgga ontime 1\n"));
  ASSERT_TRUE(oem615->Recording().WaitForCommands(1, kPatienceMs));
  root.Stop();
  std::ifstream lines(record);
  std::vector<nlohmann::json> entries;
  for (std::string line; std::getline(lines, line);) entries.push_back(nlohmann::json::parse(line));
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries.back()["kind"], "command");
  EXPECT_EQ(entries.back()["text"], "log gpgga ontime 1");
  EXPECT_EQ(entries.back()["port"], "COM3:");
  EXPECT_EQ(entries.front()["kind"], "bytes");
}

// A forked child that is killed and reaped however the test ends, so that no
// failed assertion leaves it running (and holding ctest's output open).
class ChildProcess {
 public:
  explicit ChildProcess(pid_t pid) : m_Pid(pid) {}
  ~ChildProcess() {
    if (m_Pid <= 0) return;
    kill(m_Pid, SIGKILL);
    waitpid(m_Pid, nullptr, 0);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Sends `signal` and waits for the child's end; false when it cannot be reaped.
  bool Stop(int signal, int& status) {
    kill(m_Pid, signal);
    const bool reaped = waitpid(m_Pid, &status, 0) == m_Pid;
    if (reaped) m_Pid = -1;
    return reaped;
  }

 private:
  pid_t m_Pid;
};

TEST(NavlumeCliSimTest, UbloxProfileStreamsAFixAfterItsTtff) {
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    execl(NAVLUME_CLI, NAVLUME_CLI, "sim", "--profile", "ublox", "--time-scale", "0.01", "--ttff", "5", nullptr);
    _exit(127);
  }
  ChildProcess child(pid);
  close(out[1]);
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(fdopen(out[0], "r"), &std::fclose);
  ASSERT_NE(stream, nullptr);
  char line[4096] = {};
  ASSERT_NE(std::fgets(line, sizeof line, stream.get()), nullptr);
  const auto described = nlohmann::json::parse(line);
  const std::filesystem::path root = described["root"].get<std::string>();
  const std::string port = described["ports"]["COM2:"].get<std::string>();
  {
    navlume_test::TestTimeScale scale(kScale);
    HostPort host(port);
    EXPECT_TRUE(host.ReadFor(1500).empty());  // GPS off
    WritePower(root, "1");
    ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 1; }, kPatienceMs));
    EXPECT_GE(CountGga(host.Received(), '0'), 4);
  }
  int status = 0;
  ASSERT_TRUE(child.Stop(SIGTERM, status));
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(std::filesystem::exists(root));
}

}  // namespace
