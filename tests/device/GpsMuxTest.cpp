// CGPSDevice in multiplexer mode against a real gpsd: each test starts its own
// gpsd (loopback, free port, private socket, pid file and shared-memory key)
// on a simulated receiver's terminal and stops it by its pid.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "DeviceTestSupport.h"
#include "device/GpsApi.h"
#include "device/Oem615Protocol.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "sim/GpsdServer.h"
#include "sim/HostPort.h"
#include "sim/Oem615Receiver.h"
#include "sim/PseudoTerminal.h"
#include "sim/UbloxReceiver.h"
#include "support/GpsdAvailable.h"

namespace device_test {
namespace {

constexpr const char* kUbloxPort = "COM2:";
constexpr const char* kOem615Port = "COM3:";
constexpr const char* kOpenFailed = "[Navlume] CreateEX : Can't open GPS mux device. ";
constexpr const char* kLostLine = "[GPS] Lost the connection to gpsd";
constexpr const char* kBackLine = "[GPS] Connected to gpsd at";
constexpr uint32_t kPollPeriodMs = 1000;
constexpr uint32_t kMaxAgeMs = 6000;  // what the polling thread asks for
// Every bit a fix through gpsd carries; the magnetic variation comes from
// gpsd's own model when the receiver reports none.
constexpr uint32_t kFixBits = 0x3FFFF;
constexpr uint32_t kVersion2Bits = kGpsValidPositionError | kGpsValidFixMode | kGpsValidFixError;

bool HasBits(const GpsPosition& record, uint32_t bits) { return (record.validFields & bits) == bits; }

bool Fixed(const GpsPosition& record) {
  return record.fixQuality == kGpsFixQualityGps && HasBits(record, kGpsValidLatitude | kGpsValidSatellitesInView);
}

sim::Scenario Moving() {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.ttff = 2;
  scenario.speedKnots = 12.5;
  scenario.courseDegrees = 87.5;
  return scenario;
}

std::string RegistryString(const char* key, const char* name) {
  platform::RegKey handle;
  if (platform::RegOpenKey(platform::RegRoot::LocalMachine, key, handle) != platform::kRegSuccess) return {};
  char value[64] = {};
  uint32_t size = sizeof value;
  const long result = platform::RegQueryValue(handle, name, nullptr, value, size);
  platform::RegCloseKey(handle);
  return result == platform::kRegSuccess ? std::string(value) : std::string();
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A loopback relay between a client and gpsd, pumped by the test: it passes
// gpsd's reports on whole lines only, and the test can hand the client the
// start of a line itself.
class GpsdRelay {
 public:
  GpsdRelay() {
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    bind(m_Listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_Listener, 2);
    getsockname(m_Listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_Port = ntohs(address.sin_port);
  }
  ~GpsdRelay() {
    for (int fd : {m_Listener, m_Client, m_Gpsd}) close(fd);
  }
  uint16_t Port() const { return m_Port; }
  // Takes the client's connection (the last one made: a check that something
  // answers comes first) and connects it to gpsd.
  void Connect(uint16_t gpsdPort) {
    for (int fd; (fd = accept4(m_Listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; m_Client = fd) close(m_Client);
    const sockaddr_in address = Loopback(gpsdPort);
    connect(m_Gpsd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }
  // Passes on what has arrived from either side.
  void Pump() {
    char buffer[4096];
    for (ssize_t n; (n = recv(m_Client, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
      send(m_Gpsd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL);
    for (ssize_t n; (n = recv(m_Gpsd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
      m_Lines.append(buffer, static_cast<size_t>(n));
    const size_t whole = m_Lines.rfind('\n') + 1;  // 0 without a line end
    SendToClient(m_Lines.substr(0, whole));
    m_Lines.erase(0, whole);
  }
  void SendToClient(const std::string& bytes) const { send(m_Client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

 private:
  int m_Listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int m_Client = -1;
  int m_Gpsd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  uint16_t m_Port = 0;
  std::string m_Lines;
};

class GpsMuxTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    NAVLUME_REQUIRE_GPSD();
  }

  void StartGpsd(const std::string& devicePath, bool openAtStart = true, uint16_t port = 0) {
    std::string error;
    ASSERT_TRUE(m_Gpsd.Start({.devicePath = devicePath, .port = port, .openAtStart = openAtStart}, error)) << error;
    PointProfileAt(m_Gpsd.Port());
  }

  static void PointProfileAt(uint16_t port) {
    platform::DeviceProfile profile = platform::CurrentDeviceProfile();
    profile.gpsdHost = "127.0.0.1";
    profile.gpsdPort = port;
    platform::SetCurrentDeviceProfile(profile);
  }

  // A u-blox behind gpsd, reached with CreateEX; the listener is registered.
  void StartUbloxThroughGpsd(const sim::Scenario& scenario = Moving()) {
    m_pUblox = std::make_unique<sim::CUbloxReceiver>(scenario);
    ASSERT_TRUE(m_pUblox->Start());
    StartGpsd(m_pUblox->SlavePath());
    ASSERT_EQ(m_Device.CreateEX(kUbloxPort, 0, kGpsTypeUblox, 9600), 1);
    m_Device.AddListener(&m_Listener);
  }

  bool WaitForRecord(const std::function<bool(const GpsPosition&)>& wanted) {
    return m_Listener.WaitFor([&](const auto& records, const auto&) { return !records.empty() && wanted(records.back()); });
  }
  // Waits for `count` records after those seen so far; returns the last.
  GpsPosition NextRecords(size_t count) {
    const size_t seen = m_Listener.Count();
    EXPECT_TRUE(m_Listener.WaitFor([&](const auto& records, const auto&) { return records.size() >= seen + count; }));
    return m_Listener.Records().back();
  }

  sim::CGpsdServer m_Gpsd;
  std::unique_ptr<sim::CUbloxReceiver> m_pUblox;
  RecordingListener m_Listener;
  CGPSDevice m_Device;  // closed before the receiver and gpsd go
};

TEST_F(GpsMuxTest, RecordFollowsTheScenarioWithItsValidBits) {
  const sim::Scenario scenario = Moving();
  StartUbloxThroughGpsd(scenario);
  ASSERT_TRUE(WaitForRecord([](const GpsPosition& r) { return Fixed(r) && HasBits(r, kFixBits); }));
  const GpsPosition record = m_Listener.Records().back();
  EXPECT_EQ(record.version, kGpsPositionVersion);
  EXPECT_EQ(record.size, kGpsPositionSize);
  EXPECT_EQ(record.validFields & kVersion2Bits, 0u);
  EXPECT_EQ(record.fixType, kGpsFix3D);
  EXPECT_EQ(record.flags, 0u);

  const SYSTEMTIME& utc = record.utcTime;
  EXPECT_EQ(utc.wYear, 2024);
  EXPECT_EQ(utc.wMonth, 5);
  EXPECT_EQ(utc.wDay, 1);
  // The scenario's epoch at the record's time.
  FILETIME recordTime = 0;
  ASSERT_TRUE(SystemTimeToFileTime(utc, recordTime));
  constexpr int64_t kUnixEpochInFileTimeSeconds = 11644473600;
  constexpr FILETIME kTicksPerSecond = 1000 * kFileTimeTicksPerMs;
  const int64_t unixSeconds = static_cast<int64_t>(recordTime / kTicksPerSecond) - kUnixEpochInFileTimeSeconds;
  const sim::Epoch epoch = sim::ScenarioEpoch(scenario, static_cast<double>(unixSeconds - scenario.startUtc), 0.0);
  ASSERT_TRUE(epoch.Fixed());

  EXPECT_NEAR(record.latitude, epoch.latitude, 1e-5);
  EXPECT_NEAR(record.longitude, epoch.longitude, 1e-5);
  EXPECT_NEAR(record.speed, scenario.speedKnots, 0.01);
  EXPECT_NEAR(record.heading, scenario.courseDegrees, 0.01);
  EXPECT_NEAR(record.altitudeSeaLevel, scenario.altitude, 0.01);
  EXPECT_NEAR(record.altitudeEllipsoid, scenario.geoidSeparation, 0.01);
  EXPECT_NEAR(record.pdop, scenario.pdop, 0.01);
  EXPECT_NEAR(record.hdop, scenario.hdop, 0.01);
  EXPECT_NEAR(record.vdop, scenario.vdop, 0.01);

  const std::vector<int> used = epoch.UsedPrns();
  EXPECT_EQ(record.satelliteCount, used.size());
  const std::set<uint32_t> recordUsed(record.usedPrns, record.usedPrns + record.satelliteCount);
  EXPECT_EQ(recordUsed, std::set<uint32_t>(used.begin(), used.end()));
  EXPECT_EQ(record.usedPrns[record.satelliteCount], 0u);

  ASSERT_EQ(record.satellitesInView, epoch.satellites.size());
  for (const sim::SatelliteView& satellite : epoch.satellites) {
    const auto* end = record.inViewPrns + record.satellitesInView;
    const auto* found = std::find(record.inViewPrns, end, static_cast<uint32_t>(satellite.prn));
    ASSERT_NE(found, end) << "PRN " << satellite.prn;
    const size_t i = static_cast<size_t>(found - record.inViewPrns);
    EXPECT_EQ(record.inViewElevation[i], static_cast<uint32_t>(satellite.elevation)) << "PRN " << satellite.prn;
    EXPECT_EQ(record.inViewAzimuth[i], static_cast<uint32_t>(satellite.azimuth)) << "PRN " << satellite.prn;
    EXPECT_EQ(record.inViewSnr[i], static_cast<uint32_t>(satellite.snr)) << "PRN " << satellite.prn;
  }
  EXPECT_EQ(m_Device.CopyPosition().fixQuality, kGpsFixQualityGps);

  // What the multiplexer says about itself.
  auto state = reinterpret_cast<GPSGetDeviceStateProc>(GetGpsApiProcAddress(kGPSGetDeviceStateName));
  ASSERT_NE(state, nullptr);
  GpsDeviceState device{};
  device.version = kGpsDeviceStateVersion;
  device.size = kGpsDeviceStateSize;
  ASSERT_EQ(state(&device), kGpsApiSuccess);
  EXPECT_EQ(device.serviceState, kGpsServiceOn);
  EXPECT_EQ(device.deviceState, kGpsServiceOn);
  EXPECT_EQ(std::string(device.server), m_Gpsd.Endpoint());
}

TEST_F(GpsMuxTest, NoFixFlagLogFileOrExportInThisMode) {
  m_Device.m_bSaveNMEAData = 1;
  m_Device.m_bExportToUart = 1;
  StartUbloxThroughGpsd();
  ASSERT_TRUE(WaitForRecord(Fixed));
  NextRecords(3);
  EXPECT_EQ(m_Device.m_bFixed, 0);
  EXPECT_EQ(m_Device.m_State, kDeviceNone);  // CreateEX leaves the state alone
  EXPECT_EQ(m_Device.m_PortName, kUbloxPort);
  EXPECT_FALSE(std::filesystem::exists(LogFile("COM2")));
  EXPECT_TRUE(platform::GpsPowerOn());
  EXPECT_EQ(m_Capture.Count("Start Thread +++++++++++"), 1u);
  EXPECT_EQ(m_Capture.Count("--- CGPSDevice::Create ---"), 1u);
}

TEST_F(GpsMuxTest, ValuesOlderThanTheMaximumAgeLeaveTheirBitsClear) {
  platform::ManualClock clock(platform::GetUtcFileTime());
  platform::ScopedUtcClock useClock(clock);
  StartUbloxThroughGpsd();
  ASSERT_TRUE(WaitForRecord(Fixed));
  DeviceApiSet(kDevApiGpsPower, 0, 0, 0);  // the receiver falls silent; gpsd keeps the connection
  // Whatever was under way has been taken once five polls show the same time.
  const size_t seen = m_Listener.Count();
  ASSERT_TRUE(m_Listener.WaitFor([&](const auto& records, const auto&) {
    if (records.size() < seen + 5) return false;
    const auto same = [&](const GpsPosition& r) {
      return std::memcmp(&r.utcTime, &records.back().utcTime, sizeof(SYSTEMTIME)) == 0;
    };
    return std::all_of(records.end() - 5, records.end(), same);
  }));

  clock.AdvanceMs(6000);
  GpsPosition record = NextRecords(2);
  EXPECT_TRUE(HasBits(record, kFixBits)) << std::hex << record.validFields;
  EXPECT_EQ(record.fixQuality, kGpsFixQualityGps);

  clock.AdvanceMs(1);
  record = NextRecords(2);
  EXPECT_EQ(record.validFields, 0u);
  EXPECT_EQ(record.fixQuality, 0u);
  EXPECT_EQ(record.fixType, 0u);
  EXPECT_EQ(record.latitude, 0.0);
  EXPECT_EQ(record.satellitesInView, 0u);
}

// gps_read() finds data but no whole report: that is no report. The poll
// returns at once (it does not wait for the rest of the line), and the last
// report's values are not stamped afresh: they age out as they should.
TEST_F(GpsMuxTest, DataWithoutAWholeReportIsNoReport) {
  platform::ManualClock clock(platform::GetUtcFileTime());
  platform::ScopedUtcClock useClock(clock);
  m_pUblox = std::make_unique<sim::CUbloxReceiver>(Moving());
  ASSERT_TRUE(m_pUblox->Start());
  DeviceApiSet(kDevApiGpsPower, 0, 0, 1);
  StartGpsd(m_pUblox->SlavePath());
  GpsdRelay relay;
  PointProfileAt(relay.Port());
  ASSERT_TRUE(LoadGpsApiLibrary());
  const auto openDevice = reinterpret_cast<GPSOpenDeviceProc>(GetGpsApiProcAddress(kGPSOpenDeviceName));
  const auto getPosition = reinterpret_cast<GPSGetPositionProc>(GetGpsApiProcAddress(kGPSGetPositionName));
  const auto closeDevice = reinterpret_cast<GPSCloseDeviceProc>(GetGpsApiProcAddress(kGPSCloseDeviceName));
  const GpsApiHandle handle = openDevice(nullptr, nullptr, nullptr, 0);
  ASSERT_NE(handle, nullptr);
  relay.Connect(m_Gpsd.Port());
  const auto position = [&] {
    GpsPosition record{};
    record.version = kGpsPositionVersion;
    record.size = kGpsPositionSize;
    getPosition(handle, &record, kMaxAgeMs, 0);
    return record;
  };
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  for (relay.Pump(); !Fixed(position()) && std::chrono::steady_clock::now() < deadline; relay.Pump())
    platform::SleepMs(kPollPeriodMs / 10);
  ASSERT_TRUE(Fixed(position()));

  // From here on the relay passes nothing more of gpsd's.
  clock.AdvanceMs(kMaxAgeMs + 1);
  relay.SendToClient(R"({"class":"NOTE","text":")");
  platform::Event polled(true);
  std::atomic<bool> restSent{false};
  std::thread rest([&] {  // the rest of the line comes once the request has returned (or patience ran out)
    polled.Wait(kPatienceMs);
    restSent = true;
    relay.SendToClient(R"(the end of a report that is not a position"})" "\n");
  });
  EXPECT_EQ(position().validFields, 0u);
  EXPECT_FALSE(restSent) << "the request waited for the rest of the line";
  polled.Set();
  rest.join();
  EXPECT_EQ(position().validFields, 0u);
  closeDevice(handle);
  FreeGpsApiLibrary();
}

TEST_F(GpsMuxTest, LostGpsdGivesEmptyRecordsAndIsReachedAgain) {
  StartUbloxThroughGpsd();
  ASSERT_TRUE(WaitForRecord(Fixed));
  const uint16_t port = m_Gpsd.Port();
  m_Gpsd.Stop();
  ASSERT_TRUE(WaitForRecord([](const GpsPosition& r) { return r.validFields == 0 && r.fixQuality == 0; }));

  const uint64_t outageStart = platform::ScaledNowMs();
  const size_t recordsBefore = m_Listener.Count();
  NextRecords(20);
  const uint64_t outageMs = platform::ScaledNowMs() - outageStart;
  const size_t outageRecords = m_Listener.Count() - recordsBefore;
  // One record a poll period, never a busy loop.
  EXPECT_LE(outageRecords, outageMs / kPollPeriodMs + 2);
  EXPECT_EQ(m_Capture.Count(kLostLine), 1u);
  const std::vector<GpsPosition> records = m_Listener.Records();
  for (size_t i = recordsBefore; i < records.size(); ++i) EXPECT_EQ(records[i].validFields, 0u) << i;

  StartGpsd(m_pUblox->SlavePath(), true, port);
  ASSERT_TRUE(WaitForRecord(Fixed));
  EXPECT_EQ(m_Capture.Count(kLostLine), 1u);
  EXPECT_EQ(m_Capture.Count(kBackLine), 1u);
}

TEST_F(GpsMuxTest, WithoutGpsdCreateEXGivesUpAfterOneAttempt) {
  PointProfileAt(1);  // nothing listens there
  EXPECT_EQ(m_Device.CreateEX(kUbloxPort, 0, kGpsTypeUblox, 9600), 0);
  EXPECT_EQ(m_Ui.WaitDialogsShown(), 1);
  EXPECT_EQ(m_Capture.Count(kOpenFailed), 1u);
  EXPECT_TRUE(m_Capture.Contains("[CGPS] Can't open COM2: port"));
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Can't create GPS devices"});
  EXPECT_FALSE(platform::GpsPowerOn());  // a u-blox is switched on only once the handle exists
  EXPECT_EQ(m_Capture.Count("Start Thread"), 0u);
}

TEST_F(GpsMuxTest, PollingThreadRefusesANullDevice) {
  EXPECT_EQ(CGPSDevice::GPSPollThread(nullptr), -1);
  EXPECT_TRUE(m_Capture.Contains("[CGPS] GPSSerialThread: invalid parameter!"));
}

TEST_F(GpsMuxTest, CurrentDriverNamesTheReceiverType) {
  PointProfileAt(1);
  const std::pair<uint32_t, const char*> cases[] = {
      {kGpsTypeUblox, "UBX"}, {kGpsTypeOem615, "OEM615"}, {kGpsTypeAgps, "Cinterion PH8"}, {0, "Cinterion PH8"}};
  for (const auto& [type, name] : cases) {
    CGPSDevice device;
    device.CreateEX("COM8:", 0, type, 9600);
    EXPECT_EQ(RegistryString("System\\CurrentControlSet\\GPS Intermediate Driver\\Drivers", "CurrentDriver"), name)
        << "type " << type;
  }
  // Saved in the registry file, not only in memory.
  EXPECT_NE(ReadText(m_Root.Path() / "registry.reg").find("\"CurrentDriver\"=\"Cinterion PH8\""), std::string::npos);
}

TEST_F(GpsMuxTest, Oem615IsPreparedOnItsPortBeforeGpsdTakesIt) {
  sim::COem615Receiver receiver(Moving());
  ASSERT_TRUE(receiver.Start());
  platform::SetPortDevicePath(kOem615Port, receiver.SlavePath());
  StartGpsd(receiver.SlavePath(), /*openAtStart=*/false);  // gpsd opens the port when watched

  ASSERT_EQ(m_Device.CreateEX(kOem615Port, 0, kGpsTypeOem615, 9600), 1);
  EXPECT_TRUE(platform::GpsPowerOn());
  EXPECT_EQ(receiver.EnabledLogs().size(), static_cast<size_t>(kOem615LogCommandCount));
  EXPECT_TRUE(m_Capture.Contains("CGPSDevice::CreateEX GPS OEM615 device and turn power on"));
  EXPECT_TRUE(m_Capture.Contains("[GPSPort] ___ OEM615 module Init done"));
  EXPECT_EQ(m_Capture.Count("Response Fail"), 0u);
  EXPECT_EQ(m_Device.m_bFixed, 0);

  m_Device.AddListener(&m_Listener);
  EXPECT_TRUE(WaitForRecord(Fixed));
  m_Device.Close();
  EXPECT_FALSE(platform::GpsPowerOn());
}

TEST_F(GpsMuxTest, Oem615ThatCannotBeOpenedFailsCreateEX) {
  PointProfileAt(1);
  EXPECT_EQ(m_Device.CreateEX(kOem615Port, 0, kGpsTypeOem615, 9600), 0);
  EXPECT_TRUE(m_Capture.Contains("[CGPS] CreateEX Can't open COM3: port"));
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Can't create GPS devices"});
  EXPECT_EQ(m_Ui.WaitDialogsShown(), 0);
  m_Device.Close();
  EXPECT_FALSE(platform::GpsPowerOn());
}

TEST_F(GpsMuxTest, CloseStopsThePollingWithinOneTick) {
  StartUbloxThroughGpsd();
  ASSERT_TRUE(WaitForRecord(Fixed));
  platform::ScopedTimeScale realSeconds(1.0);
  NextRecords(1);  // the thread now waits a whole real second
  const auto start = std::chrono::steady_clock::now();
  m_Device.Close();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, platform::ScaledDuration(kPollPeriodMs));
  const size_t count = m_Listener.Count();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(m_Listener.Count(), count);
  EXPECT_FALSE(platform::GpsPowerOn());
}

// A sentence seen both ways gives the same record: gpsd's variation and
// dilutions are taken as the direct decoder takes them from the receiver.
TEST_F(GpsMuxTest, VariationAndUnknownDilutionsMatchTheDirectDecoder) {
  sim::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.Valid());
  StartGpsd(terminal.SlavePath());
  const std::string epoch = sim::NmeaSentence("GPGGA,123519.00,4916.4500,N,12311.1200,W,1,05,,70.0,M,-17.0,M,,") +
                            sim::NmeaSentence("GPRMC,123519.00,A,4916.4500,N,12311.1200,W,000.5,054.7,010524,020.3,W,A") +
                            sim::NmeaSentence("GPGSA,A,3,02,05,07,09,13,,,,,,,,,,");
  std::atomic<bool> stop{false};
  std::thread receiver([&] {
    while (!stop && terminal.WriteToSlave(epoch)) platform::SleepMs(kPollPeriodMs);
  });
  const int created = m_Device.CreateEX(kUbloxPort, 0, 0, 9600);
  if (created == 1) m_Device.AddListener(&m_Listener);
  const bool seen = created == 1 && WaitForRecord([](const GpsPosition& r) {
                      return HasBits(r, kGpsValidMagneticVariation | kGpsValidLatitude) && r.magneticVariation < 0;
                    });
  stop = true;
  receiver.join();
  ASSERT_TRUE(seen);

  const GpsPosition record = m_Listener.Records().back();
  NmeaParser direct;
  const std::string rmc = sim::NmeaSentence("GPRMC,123519.00,A,4916.4500,N,12311.1200,W,000.5,054.7,010524,020.3,W,A");
  direct.Feed(rmc.data(), static_cast<uint32_t>(rmc.size()));
  GpsPosition expected{};
  expected.version = kGpsPositionVersion;
  expected.size = kGpsPositionSize;
  direct.GetPosition(expected, kNmeaMaxAgeMs);
  EXPECT_DOUBLE_EQ(record.magneticVariation, expected.magneticVariation);
  EXPECT_NEAR(record.speed, expected.speed, 0.01);
  EXPECT_NEAR(record.heading, expected.heading, 0.01);
  EXPECT_FALSE(record.validFields & kGpsValidPdop) << record.pdop;
  EXPECT_FALSE(record.validFields & kGpsValidVdop) << record.vdop;
}

// The headless tools end to end: `sim --gpsd` serves a u-blox through a
// private gpsd, `monitor --gpsd` watches it and prints records reaching a fix.
TEST_F(GpsMuxTest, CliMonitorWatchesASimulatedReceiverThroughGpsd) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execl(NAVLUME_CLI, NAVLUME_CLI, "sim", "--profile", "ublox", "--time-scale", "0.05", "--ttff", "2", "--gpsd",
          nullptr);
    _exit(127);
  }
  close(out[1]);
  std::FILE* stream = fdopen(out[0], "r");
  char line[4096] = {};
  const bool described = std::fgets(line, sizeof line, stream) != nullptr;
  std::string output;
  if (described) {
    const auto description = nlohmann::json::parse(line);
    const std::string command = std::string(NAVLUME_CLI) + " monitor --root '" +
                                description["root"].get<std::string>() + "' --time-scale 0.05 --seconds 4 --gpsd " +
                                description["gpsd"].get<std::string>() + " 2>/dev/null";
    if (std::FILE* monitor = popen(command.c_str(), "r")) {
      char text[8192];
      while (std::fgets(text, sizeof text, monitor) != nullptr) output += text;
      EXPECT_EQ(pclose(monitor), 0);
    }
  }
  kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  std::fclose(stream);
  ASSERT_TRUE(described);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  bool fixed = false;
  for (const std::string& record : navlume_test::Lines(output)) {
    const auto json = nlohmann::json::parse(record);
    // Behind gpsd the device keeps no fix flag or state: the records leave them out.
    fixed = fixed || (json["fixQuality"] == 1 && json.contains("latitude") && !json.contains("fixed") &&
                      !json.contains("state"));
  }
  EXPECT_TRUE(fixed) << output.substr(0, 2000);
}

}  // namespace
}  // namespace device_test
