// CGPSDevice where its threads and its callers meet: Close from a listener
// while another thread closes, stop requests and cancels during start-up,
// replies that stop being awaited half-way, the destructor, a full disk under
// the NMEA log, and an export port whose far end talks back, is missing or
// goes away.

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <future>
#include <thread>

#include "DeviceTestSupport.h"
#include "device/WaitDialog.h"
#include "sim/PseudoTerminal.h"

namespace device_test {
namespace {

constexpr const char* kPort = "COM5:";
constexpr const char* kUnmappedPort = "COM7:";
constexpr uint32_t kPatienceMs = 1000000;  // system ms: 20 s of real time at the suites' scale

uint32_t GpsPower() {
  uint32_t power = 0;
  DeviceApiGet(kDevApiGpsPower, 0, 0, 0, &power);
  return power;
}

// Waits for `condition`, giving up after the tests' patience.
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A hung call cannot be cleaned up: report it and end the program.
void ExpectToEnd(std::future<void>& call, const char* what) {
  if (call.wait_for(kPatience) == std::future_status::ready) return;
  ADD_FAILURE() << what << " hangs";
  std::_Exit(EXIT_FAILURE);
}

// Runs `action` on the parse thread the first time a record arrives.
class ActingListener : public CGPSListener {
 public:
  explicit ActingListener(std::function<void(CGPSDevice&)> action) : m_Action(std::move(action)) {}
  void OnGPSData(CGPSDevice* device, GpsPosition) override {
    if (m_bActed.exchange(true)) return;
    m_Entered.Set();
    m_Action(*device);
  }
  platform::Event m_Entered{true};

 private:
  std::function<void(CGPSDevice&)> m_Action;
  std::atomic<bool> m_bActed{false};
};

class DeviceHardeningTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_TRUE(m_Terminal.Valid());
    platform::SetPortDevicePath(kPort, m_Terminal.SlavePath());
  }

  void CreateAndOpen(CGPSDevice& device, const std::string& port = kPort, uint32_t type = 0) {
    ASSERT_EQ(device.Create(port, 0, type, 9600), 1);
    ASSERT_EQ(device.Open(), 1);
  }

  void Send(const std::string& bytes) { ASSERT_TRUE(m_Terminal.WriteToSlave(bytes)); }

  // A listener closes its own device while this thread runs Close: neither may hang.
  void CloseFromBothSides(const std::function<void(CGPSDevice&)>& listenerClose, bool listenerFirst) {
    ActingListener listener([&](CGPSDevice& device) {
      if (!listenerFirst) {
        // Let the other thread's Close get under way first.
        ASSERT_TRUE(WaitUntil([&] { return device.StartUpCancelled(); }));
        platform::SleepMs(1000);
      }
      listenerClose(device);
    });
    CGPSDevice device;
    CreateAndOpen(device);
    device.AddListener(&listener);
    Send(Gga(1));
    ASSERT_TRUE(listener.m_Entered.Wait(kPatienceMs));
    std::future<void> closing = std::async(std::launch::async, [&] { device.Close(); });
    ExpectToEnd(closing, "Close");
    EXPECT_EQ(device.m_State, kDeviceClosed);
    EXPECT_TRUE(m_Capture.Contains("[GPS] ParseThread : Terminate thread !"));
  }

  sim::PseudoTerminal m_Terminal;
};

TEST_F(DeviceHardeningTest, ListenerClosingItsDeviceWhileAnotherThreadClosesItDoesNotHang) {
  CloseFromBothSides([](CGPSDevice& device) { device.Close(); }, false);
}

TEST_F(DeviceHardeningTest, ListenerClosingItsPortWhileAnotherThreadClosesTheDeviceDoesNotHang) {
  CloseFromBothSides([](CGPSDevice& device) { device.ClosePort(); }, false);
}

TEST_F(DeviceHardeningTest, AnotherThreadClosingWhileAListenerClosesDoesNotHang) {
  CloseFromBothSides([](CGPSDevice& device) { device.Close(); }, true);
}

TEST_F(DeviceHardeningTest, AStopRequestedBeforeCreateCutsOpenShort) {
  CGPSDevice device;
  device.CancelStartUp();  // Ctrl-C before the device exists
  ASSERT_EQ(device.Create(kUnmappedPort, 0, 0, 9600), 1);
  EXPECT_EQ(device.Open(), 0);
  EXPECT_EQ(m_Capture.Count("CSerial::Open - Unable to open port"), 0u);
  device.Close();

  // A closed device starts afresh.
  CreateAndOpen(device);
  EXPECT_EQ(device.m_State, kDeviceOpen);
}

// Slows time down once the OEM615 start-up's pause begins, and tells the test.
class PauseWatchingUi : public platform::HeadlessUserInterface {
 public:
  int RunWaitDialog(const std::string& text, uint32_t periodMs, const std::function<int()>& onTick,
                    platform::Event* stop) override {
    if (TimedWaitMode) {
      platform::SetTimeScale(10.0);  // the 5000 ms pause now lasts 50 s
      m_PauseStarted.Set();
    }
    return HeadlessUserInterface::RunWaitDialog(text, periodMs, onTick, stop);
  }
  platform::Event m_PauseStarted{true};
};

TEST_F(DeviceHardeningTest, ACancelEndsTheStartUpPauseAtOnce) {
  PauseWatchingUi ui;
  ui.SetQuiet(true);
  platform::SetUserInterface(&ui);
  platform::SetPortDevicePath(Oem615PortName, m_Terminal.SlavePath());
  CGPSDevice device;
  ASSERT_EQ(device.Create(Oem615PortName, 0, kGpsTypeOem615, 9600), 1);
  std::future<int> open = std::async(std::launch::async, [&] { return device.Open(); });
  ASSERT_TRUE(ui.m_PauseStarted.Wait(kPatienceMs));
  device.CancelStartUp();
  ASSERT_EQ(open.wait_for(kPatience), std::future_status::ready) << "the pause was not cut short";
  EXPECT_EQ(open.get(), 0);
  device.Close();
  platform::SetUserInterface(&m_Ui);
}

TEST_F(DeviceHardeningTest, AComparisonLeftOpenWhenTheAcknowledgementIsNoLongerAwaitedLosesNoSentence) {
  platform::ScopedTimeScale slower(0.2);  // 2000 ms acknowledgement waits last 400 ms
  platform::SetPortDevicePath(UbloxPortName, m_Terminal.SlavePath());
  RecordingListener listener;
  CGPSDevice device;
  device.m_bColdStart = 1;
  device.AddListener(&listener);
  ASSERT_EQ(device.Create(UbloxPortName, 0, kGpsTypeUblox, 9600), 1);
  std::future<int> open = std::async(std::launch::async, [&] { return device.Open(); });
  ASSERT_TRUE(WaitUntil([&] { return m_Capture.Contains("[GPSPort] ___ Sent UBX module cold start"); }));
  Send(std::string("x\r\n\xB5\x62\x05", 6));  // the start of an acknowledgement, never finished
  EXPECT_EQ(open.get(), 1);                   // the cold start was never acknowledged
  EXPECT_TRUE(m_Capture.Contains("[GPSPort] ___ Sent UBX module cold start"));

  Send(Gga(1));
  EXPECT_TRUE(listener.WaitFor([](const std::vector<GpsPosition>& records, const auto&) {
    return !records.empty() && records.back().fixQuality == 1;
  })) << "the sentence after the unfinished reply was lost";
  device.Close();
}

TEST_F(DeviceHardeningTest, TheDestructorClosesAClosedDeviceAgain) {
  {
    CGPSDevice device;
    ASSERT_EQ(device.Create(kPort, 0, kGpsTypeUblox, 9600), 1);
    device.Close();
    EXPECT_EQ(GpsPower(), 0u);
    DeviceApiSet(kDevApiGpsPower, 0, 0, 1);  // another device switches the receiver on
    m_Capture.Clear();
  }
  EXPECT_EQ(GpsPower(), 0u);
  EXPECT_TRUE(m_Capture.Contains("+++ CGPSDevice::Close: COM5: +++"));
}

TEST_F(DeviceHardeningTest, AFullDiskIsLoggedOncePerEpisodeAndTheStreamGoesOn) {
  const auto logFile = LogFile("COM5");
  std::filesystem::create_directories(logFile.parent_path());
  std::filesystem::create_symlink("/dev/full", logFile);  // every write fails: no space left
  RecordingListener listener;
  CGPSDevice device;
  device.m_bSaveNMEAData = 1;
  CreateAndOpen(device);
  device.AddListener(&listener);
  std::string stream;
  for (int i = 0; i < 5; ++i) {
    stream += Gga(1, "12351" + std::to_string(i));
    Send(Gga(1, "12351" + std::to_string(i)));
    ASSERT_TRUE(listener.WaitForRaw(stream));
  }
  const std::string failed = "Can't write " + logFile.string() + " file";
  EXPECT_EQ(m_Capture.Count(failed), 1u);
  EXPECT_TRUE(m_Capture.Contains(failed + " (No space left on device)"));

  std::filesystem::remove(logFile);  // room again
  stream += Gga(1, "123520");
  Send(Gga(1, "123520"));
  ASSERT_TRUE(listener.WaitForRaw(stream));
  EXPECT_EQ(ReadText(logFile), Gga(1, "123520"));
  EXPECT_EQ(m_Capture.Count(logFile.string() + " file is written again"), 1u);
  EXPECT_EQ(m_Capture.Count(failed), 1u);
  device.Close();
}

TEST_F(DeviceHardeningTest, AnExportPortThatTalksBackQueuesAndLogsNothing) {
  sim::PseudoTerminal exportTerminal;
  ASSERT_TRUE(exportTerminal.Valid());
  platform::SetPortDevicePath(AgpsPortName, m_Terminal.SlavePath());
  platform::SetPortDevicePath(ExportPortName, exportTerminal.SlavePath());
  CGPSDevice device;
  device.m_bExportToUart = 1;
  CreateAndOpen(device, AgpsPortName);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(exportTerminal.WriteToSlave(std::string(4096, 'e') + "\r\n"));
  ASSERT_TRUE(WaitUntil([&] { return exportTerminal.PendingInput() == 0; }));
  EXPECT_FALSE(m_Capture.Contains("receive queue"));

  Send(Gga(1));
  EXPECT_EQ(ReadUntil(exportTerminal.MasterFd(), [](const std::string& text) { return text.size() >= Gga(1).size(); }),
            Gga(1));
  device.Close();
}

// The export port is a copy for a PC: when it is missing or its far end
// goes away, the receiver's stream still reaches the listeners and the trace says why.
class ExportPortFailureTest : public DeviceHardeningTest {
 protected:
  void OpenAgpsWithExport(CGPSDevice& device, const std::string& exportPath) {
    platform::SetPortDevicePath(AgpsPortName, m_Terminal.SlavePath());
    platform::SetPortDevicePath(ExportPortName, exportPath);
    device.m_bExportToUart = 1;
    CreateAndOpen(device, AgpsPortName);
    device.AddListener(&m_Listener);
  }

  void ExpectStreamReachesListeners() {
    std::string stream;
    for (int i = 0; i < 3; ++i) {
      stream += Gga(1, "12351" + std::to_string(i));
      Send(Gga(1, "12351" + std::to_string(i)));
      ASSERT_TRUE(m_Listener.WaitForRaw(stream));
    }
    EXPECT_EQ(m_Listener.Records().back().fixQuality, 1u);
  }

  RecordingListener m_Listener;
};

TEST_F(ExportPortFailureTest, AMissingDeviceIsLoggedAndTheStreamStillFlows) {
  CGPSDevice device;
  OpenAgpsWithExport(device, (m_Root.Path() / "no-such-tty").string());
  EXPECT_EQ(m_Capture.Count("[Navlume] Can't create " + ExportPortName + " port for export UART!"), 1u);
  ExpectStreamReachesListeners();
  EXPECT_FALSE(m_Capture.Contains("port written failed"));
  device.Close();
}

TEST_F(ExportPortFailureTest, WritesToAPortWhoseFarEndWentAwayAreLoggedAndTheStreamStillFlows) {
  sim::PseudoTerminal exportTerminal;
  ASSERT_TRUE(exportTerminal.Valid());
  CGPSDevice device;
  OpenAgpsWithExport(device, exportTerminal.SlavePath());
  ASSERT_TRUE(m_Capture.Contains("[Navlume] " + ExportPortName + " port open success!"));
  exportTerminal.CloseMaster();  // the PC's cable is pulled: writes to the line fail
  ExpectStreamReachesListeners();
  EXPECT_TRUE(m_Capture.Contains("[Navlume] " + ExportPortName + " port written failed!"));
  device.Close();
}

}  // namespace
}  // namespace device_test
