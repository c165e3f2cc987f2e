// CGPSDevice on a bare pseudo-terminal: the test is the receiver and writes
// the stream itself. The port COM5: has no receiver role, so Open runs no
// start-up commands.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include "DeviceTestSupport.h"
#include "platform/Clock.h"
#include "sim/PseudoTerminal.h"

namespace device_test {
namespace {

constexpr const char* kPort = "COM5:";

size_t OpenDescriptors() {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

size_t RunningThreads() {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    (void)entry;
    ++count;
  }
  return count;
}

class GPSDeviceTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_TRUE(m_Terminal.Valid());
    platform::SetPortDevicePath(kPort, m_Terminal.SlavePath());
  }

  void CreateAndOpen(CGPSDevice& device, const char* port = kPort) {
    ASSERT_EQ(device.Create(port, 35, 0, 9600), 1);
    ASSERT_EQ(device.m_State, kDeviceCreated);
    ASSERT_EQ(device.Open(), 1);
    ASSERT_EQ(device.m_State, kDeviceOpen);
  }

  void Send(const std::string& bytes) { ASSERT_TRUE(m_Terminal.WriteToSlave(bytes)); }
  bool WaitUntilCaptured(const std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!m_Capture.Contains(line) && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    return m_Capture.Contains(line);
  }

  sim::PseudoTerminal m_Terminal;
};

TEST_F(GPSDeviceTest, StreamReachesListenersRawTextAndLogFileByteForByte) {
  RecordingListener listener;
  CGPSDevice device;
  device.m_bSaveNMEAData = 1;
  CreateAndOpen(device);
  device.AddListener(&listener);
  EXPECT_EQ(listener.m_pDevice, &device);

  std::string stream;
  for (int i = 0; i < 20; ++i) stream += Gga(1, "1235" + std::to_string(10 + i)) + "$GPXYZ,passed,through\r\n";
  Send(stream);
  ASSERT_TRUE(listener.WaitForRaw(stream));

  const GpsPosition last = listener.Records().back();
  EXPECT_EQ(last.version, kGpsPositionVersion);
  EXPECT_EQ(last.size, kGpsPositionSize);
  EXPECT_EQ(last.fixQuality, 1u);
  EXPECT_NEAR(last.latitude, 49.274167, 1e-5);
  EXPECT_EQ(device.CopyPosition().fixQuality, 1u);
  EXPECT_EQ(device.m_bFixed, 1);
  EXPECT_EQ(ReadText(LogFile("COM5")), stream);

  device.Close();
  EXPECT_EQ(device.m_State, kDeviceClosed);
  EXPECT_EQ(device.m_bFixed, 0);
  EXPECT_TRUE(m_Capture.Contains("[GPS] ParseThread : Terminate thread !"));
}

// Holds the parse thread in its first call until Release(), so that the
// receive queue fills behind it.
class HoldingListener : public RecordingListener {
 public:
  void OnGPSData(CGPSDevice* device, GpsPosition record) override {
    RecordingListener::OnGPSData(device, record);
    std::unique_lock lock(m_GateMutex);
    m_GateChanged.wait_for(lock, kPatience, [this] { return m_bReleased; });
  }
  void Release() {
    {
      std::lock_guard lock(m_GateMutex);
      m_bReleased = true;
    }
    m_GateChanged.notify_all();
  }

 private:
  std::mutex m_GateMutex;
  std::condition_variable m_GateChanged;
  bool m_bReleased = false;
};

// How the terminal's bytes fall into reads and batches is the system's
// business; what the device promises is checked: the queue keeps the oldest
// 4096 bytes, every batch holds at most 4095, the batches join into the stream
// in order, and every byte dropped meanwhile is counted in the log.
TEST_F(GPSDeviceTest, AFullQueueIsPublishedInOrderInBatchesOfAtMost4095Bytes) {
  HoldingListener listener;
  CGPSDevice device;
  CreateAndOpen(device);
  device.AddListener(&listener);
  std::string stream = Gga(1);
  Send(stream);
  ASSERT_TRUE(listener.WaitFor([](const auto& records, const auto&) { return !records.empty(); }));  // now held
  std::string queued;
  for (int line = 0; queued.size() <= RxQueue::kSize; ++line) queued += Gga(1, std::to_string(100000 + line));
  Send(queued);
  stream += queued;
  ASSERT_TRUE(WaitUntilCaptured("[COM5:]SerialThread - receive queue full"));
  const size_t kept = listener.Raw().front().size() + RxQueue::kSize;
  listener.Release();
  ASSERT_TRUE(listener.WaitFor([&](const auto&, const auto& raw) { return RecordingListener::Joined(raw).size() >= kept; }));
  const std::string last = Gga(2, "235959");  // read after everything before it, into a queue with room
  Send(last);
  stream += last;
  ASSERT_TRUE(listener.WaitFor([&](const auto&, const auto& raw) { return RecordingListener::Joined(raw).ends_with(last); }));
  ASSERT_TRUE(WaitUntilCaptured("receive queue overflow ended"));

  const std::vector<std::string> raw = listener.Raw();
  for (const std::string& batch : raw) EXPECT_LE(batch.size(), kMaxBatchBytes);
  const std::string joined = RecordingListener::Joined(raw);
  EXPECT_EQ(joined.substr(0, kept), stream.substr(0, kept));
  size_t dropped = 0;
  for (const std::string& line : m_Capture.Lines()) {
    const size_t at = line.find("overflow ended, ");
    if (at != std::string::npos) dropped += std::stoul(line.substr(at + std::strlen("overflow ended, ")));
  }
  EXPECT_EQ(joined.size() + dropped, stream.size());
}

TEST_F(GPSDeviceTest, FixMessageIsLoggedOncePerTransitionIntoFix) {
  platform::ManualClock clock(133'000'000'000'000'000ULL);
  platform::ScopedUtcClock installed(clock);
  RecordingListener listener;
  CGPSDevice device;
  CreateAndOpen(device);
  device.AddListener(&listener);
  const std::string fixed = "[Navlume] COM5: device position fixed!";

  const auto sendAndWait = [&](const std::string& bytes, uint32_t expectedQuality) {
    const size_t before = listener.Count();
    Send(bytes);
    ASSERT_TRUE(listener.WaitFor([&](const std::vector<GpsPosition>& records, const auto&) {
      return records.size() > before && records.back().fixQuality == expectedQuality;
    }));
  };
  sendAndWait(Gga(1), 1);
  sendAndWait(Gga(1), 1);
  EXPECT_EQ(m_Capture.Count(fixed), 1u);
  clock.AdvanceMs(kNmeaMaxAgeMs + 1);  // the fix goes stale
  sendAndWait("$GPTXT,nothing\r\n", 0);
  EXPECT_EQ(device.m_bFixed, 0);
  sendAndWait(Gga(2), 2);
  EXPECT_EQ(device.m_bFixed, 1);
  EXPECT_EQ(m_Capture.Count(fixed), 2u);
}

TEST_F(GPSDeviceTest, AFixReportedBeforeTheStartUpEndedDoesNotCount) {
  platform::ManualClock clock(133'000'000'000'000'000ULL);
  platform::ScopedUtcClock installed(clock);
  platform::SetPortDevicePath(UbloxPortName, m_Terminal.SlavePath());
  RecordingListener listener;
  CGPSDevice device;
  device.m_bColdStart = 1;
  // What the receiver said before its cold start, read while the start-up waits for the acknowledgement.
  Send(Gga(1) + Gga(1));
  ASSERT_EQ(device.Create(UbloxPortName, 0, kGpsTypeUblox, 9600), 1);
  ASSERT_EQ(device.Open(), 1);
  EXPECT_EQ(device.m_bFixed, 0);
  EXPECT_EQ(device.CopyPosition().fixQuality, 0u);
  device.AddListener(&listener);
  // The first report after the start-up names no fix: the fix from before it is gone.
  Send(sim::NmeaSentence("GPGSA,A,1,,,,,,,,,,,,,,,"));
  ASSERT_TRUE(listener.WaitFor([](const std::vector<GpsPosition>& records, const auto&) { return !records.empty(); }));
  EXPECT_EQ(listener.Records().back().fixQuality, 0u);
  EXPECT_EQ(device.m_bFixed, 0);
  Send(Gga(1));
  ASSERT_TRUE(listener.WaitFor([](const std::vector<GpsPosition>& records, const auto&) {
    return records.back().fixQuality == 1;
  }));
  EXPECT_EQ(device.m_bFixed, 1);
}

TEST_F(GPSDeviceTest, LogFileTakesTheFirstFourCharactersOfThePortName) {
  CGPSDevice longName;
  ASSERT_EQ(longName.Create("COM10:", 0, 0, 9600), 1);
  EXPECT_TRUE(std::filesystem::exists(LogFile("COM1")));
  CGPSDevice shortName;
  ASSERT_EQ(shortName.Create("CO:", 0, 0, 9600), 1);
  EXPECT_TRUE(std::filesystem::exists(LogFile("CO:")));
}

TEST_F(GPSDeviceTest, LogFileMovesToTheStorageCardWhenTempCannotBeUsed) {
  std::filesystem::remove_all(m_Root.Path() / "files" / "Temp");
  const auto card = m_Root.Path() / "files" / "Storage Card";
  std::filesystem::create_directories(card);
  RecordingListener listener;
  CGPSDevice device;
  device.m_bSaveNMEAData = 1;
  CreateAndOpen(device);
  device.AddListener(&listener);
  const std::string stream = Gga(1);
  Send(stream);
  ASSERT_TRUE(listener.WaitForRaw(stream));
  EXPECT_EQ(ReadText(card / "NMEADATA_COM5.LOG"), stream);
}

TEST_F(GPSDeviceTest, NoWritableLogFolderCostsTheLogButNotTheStream) {
  const auto temp = m_Root.Path() / "files" / "Temp";
  std::filesystem::remove_all(temp);
  navlume_test::WriteText(temp, "a file where the folder should be");  // and no storage card
  RecordingListener listener;
  CGPSDevice device;
  device.m_bSaveNMEAData = 1;
  CreateAndOpen(device);
  device.AddListener(&listener);
  const std::string stream = Gga(1) + Gga(1, "123520");
  Send(stream);
  ASSERT_TRUE(listener.WaitForRaw(stream));
  EXPECT_TRUE(m_Capture.Contains("[Navlume] Can't create \\Storage Card\\NMEADATA_COM5.LOG file!"));
  EXPECT_FALSE(std::filesystem::exists(m_Root.Path() / "files" / "Storage Card"));
  EXPECT_EQ(listener.Records().back().fixQuality, 1u);
}

TEST_F(GPSDeviceTest, PortThatNeverOpensIsTriedElevenTimesThenReported) {
  platform::SetPortDevicePath(kPort, (m_Root.Path() / "no-such-tty").string());
  CGPSDevice device;
  ASSERT_EQ(device.Create(kPort, 0, 0, 9600), 1);
  EXPECT_EQ(device.Open(), 0);
  EXPECT_EQ(m_Capture.Count("CSerial::Open - Unable to open port"), 11u);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] COM5: device wait timeout!"));
  EXPECT_TRUE(m_Capture.Contains("[CGPS] Can't open COM5: port"));
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Can't activate COM5: devices"});
  EXPECT_EQ(device.m_State, kDeviceCreated);
}

TEST_F(GPSDeviceTest, ListenersAreLimitedToTenAndHearOnlyLaterRecords) {
  RecordingListener early;
  std::vector<RecordingListener> more(10);
  CGPSDevice device;
  CreateAndOpen(device);
  device.AddListener(&early);
  const std::string first = Gga(1);
  Send(first);
  ASSERT_TRUE(early.WaitForRaw(first));

  for (auto& listener : more) device.AddListener(&listener);
  EXPECT_EQ(more[8].m_pDevice, &device);
  EXPECT_EQ(more[9].m_pDevice, nullptr);  // the eleventh is refused
  const std::string second = Gga(2);
  Send(second);
  ASSERT_TRUE(early.WaitForRaw(first + second));
  ASSERT_TRUE(more[8].WaitForRaw(second));
  EXPECT_EQ(more[9].Count(), 0u);
}

TEST_F(GPSDeviceTest, ARateTheLineRefusesFailsOpenAndReleasesThePort) {
  CGPSDevice device;
  ASSERT_EQ(device.Create(kPort, 0, 0, 14400), 1);
  EXPECT_EQ(device.Open(), 0);
  EXPECT_TRUE(m_Capture.Contains("[CGPS] Can't set baudrate on GPS port : 14400"));
  EXPECT_NE(device.m_State, kDeviceOpen);
  CSerial other;  // the port was let go: another opener gets it
  EXPECT_EQ(other.Open(kPort, nullptr), 0u);
}

TEST_F(GPSDeviceTest, CloseDuringTheOpenAttemptsEndsThem) {
  platform::SetPortDevicePath(kPort, (m_Root.Path() / "no-such-tty").string());
  CGPSDevice device;
  ASSERT_EQ(device.Create(kPort, 0, 0, 9600), 1);
  auto open = std::async(std::launch::async, [&] { return device.Open(); });
  ASSERT_TRUE(WaitUntilCaptured("CSerial::Open - Unable to open port"));
  device.Close();
  EXPECT_EQ(open.get(), 0);
  EXPECT_LT(m_Capture.Count("CSerial::Open - Unable to open port"), 11u);
  EXPECT_EQ(device.m_State, kDeviceClosed);
}

// Listeners added and records copied from another thread while the parse
// thread publishes (run under ThreadSanitizer, this finds unguarded sharing).
TEST_F(GPSDeviceTest, ListenersAndCopiesFromAnotherThreadWhilePublishing) {
  RecordingListener first;  // the listeners outlive the device that calls them
  std::vector<RecordingListener> more(kMaxListeners - 1);
  CGPSDevice device;
  CreateAndOpen(device);
  device.AddListener(&first);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) m_Terminal.WriteToSlave(Gga(1, std::to_string(100000 + i % 60)));
  });
  for (auto& listener : more) {
    const size_t seen = first.Count();
    if (!first.WaitFor([&](const auto& records, const auto&) { return records.size() > seen; })) break;
    device.AddListener(&listener);
    EXPECT_EQ(device.CopyPosition().size, kGpsPositionSize);
    EXPECT_LE(device.CopyRawText().size(), kMaxBatchBytes);
  }
  const bool lastHeard = more.back().WaitFor([](const auto& records, const auto&) { return !records.empty(); });
  stop = true;
  writer.join();  // the device still reads, so the last write completes
  ASSERT_TRUE(lastHeard);
  EXPECT_EQ(more.back().Records().back().fixQuality, 1u);
}

TEST_F(GPSDeviceTest, CreateAndOpenRefuseMisuse) {
  CGPSDevice device;
  ASSERT_EQ(device.Create(kPort, 0, 0, 9600), 1);
  EXPECT_EQ(device.Create(kPort, 0, 0, 9600), 0);
  device.Close();
  EXPECT_EQ(device.Open(), 0);  // no parse thread: fails at the first attempt
  EXPECT_EQ(m_Capture.Count("CSerial::Open - Unable to open port"), 0u);
  EXPECT_EQ(m_Ui.MessageBoxes(),
            (std::vector<std::string>{"Can't create GPS devices", "Can't activate COM5: devices"}));
  // A closed device can be created again.
  EXPECT_EQ(device.Create(kPort, 0, 0, 9600), 1);
  EXPECT_EQ(device.Open(), 1);
}

TEST_F(GPSDeviceTest, NullDeviceEndsTheThreadWithMinusOne) {
  EXPECT_EQ(CGPSDevice::GPSSerialThread(nullptr), -1);
  EXPECT_TRUE(m_Capture.Contains("[CGPS] GPSSerialThread: invalid parameter!"));
}

TEST_F(GPSDeviceTest, ClosePortKeepsTheDeviceAlive) {
  RecordingListener listener;
  CGPSDevice device;
  CreateAndOpen(device);
  device.AddListener(&listener);
  device.ClosePort();
  EXPECT_EQ(device.m_State, kDevicePortClosed);
  EXPECT_EQ(device.Open(), 1);
  const std::string stream = Gga(1);
  Send(stream);
  EXPECT_TRUE(listener.WaitForRaw(stream));
}

class CountingListener : public CGPSListener {
 public:
  void OnGPSData(CGPSDevice*, GpsPosition) override { ++m_Calls; }
  std::atomic<int> m_Calls{0};
};

TEST_F(GPSDeviceTest, CloseWhileDataFlowsStopsEveryCall) {
  auto device = std::make_unique<CGPSDevice>();
  device->m_bSaveNMEAData = 1;
  CountingListener listener;
  CreateAndOpen(*device);
  device->AddListener(&listener);
  std::atomic<bool> stop{false};
  std::atomic<int> written{0};
  // Non-blocking: once the device stops reading, the terminal fills up and the writer must still see `stop`.
  fcntl(m_Terminal.MasterFd(), F_SETFL, fcntl(m_Terminal.MasterFd(), F_GETFL) | O_NONBLOCK);
  std::thread writer([&] {
    const std::string line = Gga(1);
    while (!stop) {
      const ssize_t n = ::write(m_Terminal.MasterFd(), line.data(), line.size());
      if (n < 0 && errno != EAGAIN) break;
      if (n > 0) ++written;
      pollfd out{m_Terminal.MasterFd(), POLLOUT, 0};
      ::poll(&out, 1, 10);
    }
  });
  while (listener.m_Calls < 50) std::this_thread::yield();
  device->Close();
  const int callsAtClose = listener.m_Calls;
  // More lines reach the closed port; none of them may reach the listener.
  const int writtenAtClose = written;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (written < writtenAtClose + 20 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ(listener.m_Calls, callsAtClose);
  device.reset();
  EXPECT_EQ(listener.m_Calls, callsAtClose);
  stop = true;
  writer.join();
}

TEST_F(GPSDeviceTest, FarEndVanishingMidStreamIsSurvived) {
  RecordingListener listener;
  CGPSDevice device;
  CreateAndOpen(device);
  device.AddListener(&listener);
  const std::string stream = Gga(1) + Gga(1);
  Send(stream);
  ASSERT_TRUE(listener.WaitForRaw(stream));
  m_Terminal.CloseMaster();
  device.Close();
  EXPECT_EQ(device.m_State, kDeviceClosed);
}

TEST_F(GPSDeviceTest, ListenerMayCloseItsDevice) {
  class Closer : public CGPSListener {
   public:
    void OnGPSData(CGPSDevice* device, GpsPosition) override {
      if (m_Calls++ == 0) device->Close();
    }
    std::atomic<int> m_Calls{0};
  } closer;
  auto device = std::make_unique<CGPSDevice>();
  CreateAndOpen(*device);
  device->AddListener(&closer);
  Send(Gga(1));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (device->m_State != kDeviceClosed && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ(device->m_State, kDeviceClosed);
  device.reset();  // joins the thread the listener asked to end
  EXPECT_EQ(closer.m_Calls, 1);
}

TEST_F(GPSDeviceTest, TwoHundredCyclesLeakNoDescriptorsOrThreads) {
  platform::ScopedTimeScale fast(0.002, {});  // no floor: only what the cycles leave counts here
  {  // the first cycle loads whatever the process keeps for good
    CGPSDevice device;
    CreateAndOpen(device);
  }
  const size_t descriptors = OpenDescriptors();
  const size_t threads = RunningThreads();
  for (int cycle = 0; cycle < 200; ++cycle) {
    CGPSDevice device;
    CreateAndOpen(device);
    if (cycle % 2 == 0) Send(Gga(1));
    device.Close();
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(RunningThreads(), threads);
}

TEST_F(GPSDeviceTest, ExportPortReceivesTheSameBytes) {
  sim::PseudoTerminal exportTerminal;
  ASSERT_TRUE(exportTerminal.Valid());
  platform::SetPortDevicePath(AgpsPortName, m_Terminal.SlavePath());
  platform::SetPortDevicePath(ExportPortName, exportTerminal.SlavePath());
  RecordingListener listener;
  CGPSDevice device;
  device.m_bExportToUart = 1;
  CreateAndOpen(device, AgpsPortName.c_str());
  EXPECT_TRUE(m_Capture.Contains("[Navlume] COM2: port open success!"));
  device.AddListener(&listener);

  std::string stream;
  for (int i = 0; i < 30; ++i) stream += Gga(1) + "$GPXYZ,export\r\n";
  Send(stream);
  ASSERT_TRUE(listener.WaitForRaw(stream));
  const std::string exported =
      ReadUntil(exportTerminal.MasterFd(), [&](const std::string& text) { return text.size() >= stream.size(); });
  EXPECT_EQ(exported, stream);
}

TEST_F(GPSDeviceTest, ExportIsOnlyForTheAgpsPort) {
  CGPSDevice device;
  device.m_bExportToUart = 1;
  CreateAndOpen(device);
  EXPECT_FALSE(m_Capture.Contains("port open success!"));
  EXPECT_FALSE(m_Capture.Contains("for export UART"));
}

}  // namespace
}  // namespace device_test
