// navlume-cli detect run as a program on simulated receivers and bare
// pseudo-terminals: what each device is, that only polls reach the receivers
// and every line gets its settings back, and what --write makes of device.ini.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "device/UbloxProtocol.h"
#include "nmea/NovatelFraming.h"
#include "sim/AgpsReceiver.h"
#include "sim/HostPort.h"
#include "sim/NmeaSentences.h"
#include "sim/Oem615Receiver.h"
#include "sim/ReplayReceiver.h"
#include "sim/UbloxReceiver.h"
#include "support/Command.h"

namespace {

using navlume_test::CommandResult;
using navlume_test::Quote;
using navlume_test::ReadText;
using navlume_test::WriteText;

// detect waits on the simulators' time scale; 20 s of real time is far beyond any wait here.
constexpr double kScale = 0.3;
constexpr uint32_t kPatienceMs = static_cast<uint32_t>(20'000 / kScale);
constexpr int kExitNoReceiver = 1;

std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(nlohmann::json::parse(line, nullptr, false));
  return lines;
}

// The host side's settings of a terminal, as a program that opens it next finds them.
std::string LineSettings(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  tcgetattr(fd, &t);
  close(fd);
  std::ostringstream text;
  text << t.c_iflag << " " << t.c_oflag << " " << t.c_cflag << " " << t.c_lflag << " " << cfgetispeed(&t);
  return text.str();
}

// Settings no probe would choose: 4800 baud, even parity, two stop bits, hardware flow control.
void SetUnusualLine(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  tcgetattr(fd, &t);
  t.c_cflag |= CRTSCTS | PARENB | CSTOPB;
  t.c_iflag |= IGNPAR;
  cfsetispeed(&t, B4800);
  cfsetospeed(&t, B4800);
  tcsetattr(fd, TCSANOW, &t);
  close(fd);
}

class DetectTest : public ::testing::Test {
 protected:
  CommandResult Detect(const std::vector<std::string>& devices, const std::string& more = "") {
    std::string command = Quote(NAVLUME_CLI_PATH) + " detect --time-scale " + std::to_string(kScale) + " --devices";
    for (const std::string& device : devices) command += " " + Quote(device);
    return navlume_test::RunCommand(command + " " + more, m_Output.Path());
  }

  navlume_test::TestTimeScale m_Scale{kScale};
  navlume_test::TempFolder m_Output;
};

TEST_F(DetectTest, EachKindOfDeviceOnItsLineWithOnlyPollsSentAndItsLineSettingsBack) {
  sim::CUbloxReceiver ublox(sim::DefaultScenario(), sim::PowerMode::AlwaysOn);
  sim::COem615Receiver oem615(sim::DefaultScenario(), sim::PowerMode::AlwaysOn);
  sim::CAgpsReceiver agps;
  sim::PseudoTerminal silent, held;
  {  // the u-blox runs at 38400, where it was moved before; the OEM615 has booted and logs nothing
    navlume_test::HostPort ubloxHost(ublox.SlavePath()), oem615Host(oem615.SlavePath());
    for (sim::CSimReceiver* receiver : std::initializer_list<sim::CSimReceiver*>{&ublox, &oem615, &agps})
      ASSERT_TRUE(receiver->Start());
    ASSERT_TRUE(ubloxHost.ReadUntilContains("$GPTXT", kPatienceMs));
    const std::vector<uint8_t> rate = UbxPortRateMessage(38400);
    ASSERT_TRUE(ubloxHost.Write({rate.begin(), rate.end()}));
    ASSERT_TRUE(ubloxHost.ReadUntil([&](const std::string&) { return ublox.BaudRate() == 38400; }, kPatienceMs));
    ASSERT_TRUE(oem615Host.ReadUntilContains("[COM1]", kPatienceMs));
  }
  const int holder = open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // as a running navlume holds it
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const std::vector<std::string> devices{ublox.SlavePath(), oem615.SlavePath(), agps.SlavePath(), silent.SlavePath(),
                                         held.SlavePath()};
  std::vector<std::string> before;
  for (const std::string& device : devices) {
    SetUnusualLine(device);
    before.push_back(LineSettings(device));
  }
  ublox.Recording().Clear();
  oem615.Recording().Clear();

  const CommandResult result = Detect(devices);
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<nlohmann::json> lines = JsonLines(result.out);
  ASSERT_EQ(lines.size(), devices.size()) << result.out;
  const nlohmann::json null;
  const struct {
    const char* kind;
    nlohmann::json baudRate;
    nlohmann::json talkers;
    const char* version;
  } kExpected[] = {
      {"ublox", 38400, {"GP"}, "1.00 (59842), 00070000, PROTVER 14.00, GPS;SBAS;GLO;QZSS"},
      {"oem615", 9600, nlohmann::json::array(), "OEM615-1.00, OEM060600RN0000"},
      {"nmea", 9600, {"GP"}, nullptr},
      {"silent", null, nlohmann::json::array(), nullptr},
      {"unopenable", null, nlohmann::json::array(), nullptr},
  };
  for (size_t i = 0; i < devices.size(); ++i) {
    SCOPED_TRACE(lines[i].dump());
    EXPECT_EQ(lines[i]["path"], devices[i]);
    EXPECT_EQ(lines[i]["kind"], kExpected[i].kind);
    EXPECT_EQ(lines[i]["baudRate"], kExpected[i].baudRate);
    EXPECT_EQ(lines[i]["talkers"], kExpected[i].talkers);
    EXPECT_EQ(lines[i].value("version", ""), kExpected[i].version ? kExpected[i].version : "");
    EXPECT_EQ(LineSettings(devices[i]), before[i]);
  }
  EXPECT_EQ(lines[4]["reason"], "busy: another program has it open");

  // No setting reached a receiver: the u-blox got its version poll alone and
  // stays at its rate; the OEM615 understood nothing but the version request.
  EXPECT_EQ(ublox.Recording().Commands(), std::vector<std::string>{"MON-VER"});
  EXPECT_EQ(ublox.BaudRate(), 38400u);
  int versionRequests = 0;
  for (const std::string& command : oem615.Recording().Commands()) {
    const sim::Oem615Command parsed = sim::ParseOem615Command(command);
    EXPECT_TRUE(parsed.kind == sim::Oem615Command::Unknown || parsed.kind == sim::Oem615Command::VersionOnce) << command;
    versionRequests += parsed.kind == sim::Oem615Command::VersionOnce;
  }
  EXPECT_EQ(versionRequests, 1);
  EXPECT_TRUE(oem615.EnabledLogs().empty());
  close(holder);
}

TEST_F(DetectTest, WriteMapsTheReceiversKeepingEveryOtherLineAndConfigStartsFromIt) {
  sim::CUbloxReceiver ublox(sim::DefaultScenario(), sim::PowerMode::AlwaysOn);
  std::vector<std::string> epochs(100, sim::NmeaSentence("GNGGA,120000.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
                                           sim::NmeaSentence("GLGSV,1,1,01,65,40,120,38"));
  sim::CReplayReceiver modern(std::move(epochs));  // a multi-constellation receiver that only talks
  ASSERT_TRUE(ublox.Start());
  ASSERT_TRUE(modern.Start());
  navlume_test::TempFolder root;
  const std::string profile =
      "; bench unit 7\n[hardware]\ngps_type = 0    ; none fitted yet\nwwan_type = 0\n\n[ports]\n; COM2: = /dev/ttyACM0\n"
      "COM5: = /dev/ttyS4\n\n[gpsd]\nhost = 10.0.0.2   # the bench's gpsd\nport = 2947\n";
  WriteText(root.Path() / "device.ini", profile);

  const CommandResult result = Detect({ublox.SlavePath(), modern.SlavePath()}, "--write --root " + Quote(root.Path().string()));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(JsonLines(result.out).at(1)["talkers"], nlohmann::json({"GL", "GN"}));
  EXPECT_EQ(ReadText(root.Path() / "device.ini"),
            "; bench unit 7\n[hardware]\ngps_type = 3    ; none fitted yet\nwwan_type = 2\n\n[ports]\n; COM2: = /dev/ttyACM0\n"
            "COM5: = /dev/ttyS4\nCOM2: = " + ublox.SlavePath() + "\nCOM9: = " + modern.SlavePath() +
                "\n\n[gpsd]\nhost = 10.0.0.2   # the bench's gpsd\nport = 2947\n\n[nmea]\ntalkers = any\n");

  const CommandResult config =
      navlume_test::RunCommand(Quote(NAVLUME_CLI_PATH) + " config --root " + Quote(root.Path().string()), m_Output.Path());
  ASSERT_EQ(config.status, 0) << config.err;
  const nlohmann::json conf = nlohmann::json::parse(config.out);
  EXPECT_EQ(conf["gpsType"], 3);
  EXPECT_EQ(conf["wwanType"], 2);
  EXPECT_EQ(conf["ports"][0]["name"], "COM2:");  // the start-options dialog offered both
}

TEST_F(DetectTest, NoReceiverExitsOneAndWritesNothing) {
  sim::PseudoTerminal silent;
  navlume_test::TempFolder root;
  const CommandResult result =
      Detect({silent.SlavePath(), silent.SlavePath(), "/dev/no-such-tty"}, "--write --root " + Quote(root.Path().string()));
  EXPECT_EQ(result.status, kExitNoReceiver) << result.err;
  const std::vector<nlohmann::json> lines = JsonLines(result.out);
  ASSERT_EQ(lines.size(), 2u) << result.out;  // the same device named twice is probed once
  EXPECT_EQ(lines[0]["kind"], "silent");
  EXPECT_EQ(lines[1]["kind"], "unopenable");
  EXPECT_EQ(lines[1]["reason"], "No such file or directory");
  EXPECT_FALSE(std::filesystem::exists(root.Path() / "device.ini"));
  // A named root that does not exist is a command line it cannot use.
  EXPECT_EQ(Detect({silent.SlavePath()}, "--root " + Quote((root.Path() / "typo").string())).status, 2);
}

TEST_F(DetectTest, AReceiverBehindTheRootsPowerSwitchIsSwitchedOnForTheProbeAndTheSwitchPutBack) {
  const std::filesystem::path root = m_Output.Path() / "sim";
  const CommandResult sim = navlume_test::RunCommand(
      Quote(NAVLUME_CLI_PATH) + " sim --profile ublox --background --time-scale " + std::to_string(kScale) +
          " --root " + Quote(root.string()),
      m_Output.Path());
  ASSERT_EQ(sim.status, 0) << sim.err;
  const std::string ublox = nlohmann::json::parse(sim.out)["ports"]["COM2:"];
  const std::string powerOff = ReadText(root / "gps_power");

  const CommandResult result = Detect({ublox}, "--root " + Quote(root.string()));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(JsonLines(result.out).at(0)["kind"], "ublox") << result.out;
  EXPECT_EQ(ReadText(root / "gps_power"), powerOff);
  EXPECT_EQ(navlume_test::RunCommand(Quote(NAVLUME_CLI_PATH) + " sim --stop " + Quote(root.string()), m_Output.Path()).status, 0);
}

// An OEM615 on a bare pseudo-terminal that answers "log versiona once" with
// a VERSIONA of `components` firmware components, and says nothing else.
class VersionAnswerer {
 public:
  explicit VersionAnswerer(int components) : m_Log(VersionLog(components)) {
    m_Thread = std::thread([this] { Run(); });
  }
  ~VersionAnswerer() {
    m_bStop = true;
    m_Thread.join();
  }
  const std::string& SlavePath() const { return m_Terminal.SlavePath(); }
  size_t LogSize() const { return m_Log.size(); }

 private:
  static std::string VersionLog(int components) {
    std::string text = "VERSIONA,COM1,0,55.0,UNKNOWN,0,0.000,02000000,3681,14434;" + std::to_string(components);
    for (int i = 0; i < components; ++i)
      text += ",GPSCARD,\"OEM615-1.00\",\"DAB0717007" + std::to_string(i) +
              "\",\"OEM615-1.00\",\"OEM060600RN0000\",\"OEM060201RB0000\",\"2015/Jan/28\",\"15:27:29\"";
    return FrameNovatelAscii(text);
  }
  void Run() {
    std::string heard;
    while (!m_bStop) {
      pollfd fd{m_Terminal.MasterFd(), POLLIN, 0};
      char buffer[256];
      if (poll(&fd, 1, 10) <= 0) continue;
      const ssize_t count = read(m_Terminal.MasterFd(), buffer, sizeof buffer);
      if (count > 0) heard.append(buffer, static_cast<size_t>(count));
      if (heard.find("log versiona once") == std::string::npos) continue;
      heard.clear();
      m_Terminal.WriteToSlave(m_Log);
    }
  }

  sim::PseudoTerminal m_Terminal;
  const std::string m_Log;
  std::atomic<bool> m_bStop{false};
  std::thread m_Thread;
};

TEST_F(DetectTest, AnOem615WithALongVersionLogIsFound) {
  for (const int components : {3, 7, 40}) {
    VersionAnswerer oem615(components);
    const CommandResult result = Detect({oem615.SlavePath()});
    const std::vector<nlohmann::json> lines = JsonLines(result.out);
    ASSERT_EQ(lines.size(), 1u) << result.out;
    EXPECT_EQ(lines[0]["kind"], "oem615") << oem615.LogSize() << " bytes";
    EXPECT_EQ(lines[0].value("version", ""), "OEM615-1.00, OEM060600RN0000") << oem615.LogSize() << " bytes";
  }
}

TEST_F(DetectTest, ADeviceAnotherProgramHoldsIsBusyAndMonitorNamesTheHolder) {
  sim::CUbloxReceiver ublox(sim::DefaultScenario(), sim::PowerMode::AlwaysOn);
  ASSERT_TRUE(ublox.Start());
  navlume_test::TempFolder holderOutput;
  const pid_t holder = navlume_test::StartCommand("sleep 600 <" + Quote(ublox.SlavePath()), holderOutput.Path());
  ASSERT_GT(holder, 0);
  ASSERT_TRUE(navlume_test::WaitForText("/proc/" + std::to_string(holder) + "/comm", "sleep", std::chrono::seconds(20)));

  const std::vector<nlohmann::json> lines = JsonLines(Detect({ublox.SlavePath()}).out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["kind"], "busy");
  EXPECT_EQ(lines[0]["holder"], nlohmann::json({{"name", "sleep"}, {"pid", holder}}));

  navlume_test::TempFolder root;
  WriteText(root.Path() / "device.ini", "[hardware]\ngps_type = 3\n[ports]\nCOM2: = " + ublox.SlavePath() + "\n");
  const CommandResult monitor = navlume_test::RunCommand(Quote(NAVLUME_CLI_PATH) + " monitor COM2: --seconds 2 --root " +
                                                             Quote(root.Path().string()) + " --time-scale 0.3",
                                                         m_Output.Path());
  EXPECT_NE(monitor.status, 0);
  EXPECT_NE(monitor.err.find(ublox.SlavePath() + " is held by sleep (pid " + std::to_string(holder) +
                             "): use the GPS Multiplexer mode, or stop sleep"),
            std::string::npos)
      << monitor.err;
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
}

}  // namespace
