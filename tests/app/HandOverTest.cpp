// A real device streams at 115200 baud into pages that repaint and show
// every record on the UI thread: the hand-over must be race-free (run under
// ThreadSanitizer) and the newest record must reach the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "PageSupport.h"
#include "app/PropertySheet.h"
#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/Debug.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"
#include "sim/NmeaSentences.h"
#include "sim/PseudoTerminal.h"
#include "support/TempFolder.h"

namespace app_test {
namespace {

constexpr const char* kPort = "COM5:";  // no receiver role: no start-up commands
constexpr int32_t kBaud = 115200;
constexpr double kBytesPerSecond = kBaud / 10.0;
constexpr auto kStreamTime = std::chrono::milliseconds(600);

// Paints from what the device thread stored, as the Signal and Position pages do.
class CRepaintingPage : public CTestPage {
 public:
  CRepaintingPage() : CTestPage(kPageSignal) {}
  void OnGPSData(CGPSDevice* device, GpsPosition record) override {
    {
      const std::lock_guard<std::mutex> lock(m_Lock);
      m_Record = record;
    }
    CTestPage::OnGPSData(device, record);
    Refresh(false);
  }
  void OnPaint(QPainter& painter) override {
    uint32_t inView = 0;
    {
      const std::lock_guard<std::mutex> lock(m_Lock);
      inView = m_Record.satellitesInView;
    }
    painter.drawText(10, 20 + ScrollOffset(), QString::number(inView));
    ++m_Paints;
  }
  int m_Paints = 0;

 private:
  std::mutex m_Lock;
  GpsPosition m_Record{};
};

std::string Epoch(int second) {
  char time[16];
  std::snprintf(time, sizeof time, "12%02d%02d", (second / 60) % 60, second % 60);
  std::string text = sim::NmeaSentence(std::string("GPGGA,") + time + ",4916.45,N,12311.12,W,1,08,0.9,70.0,M,-17.0,M,,");
  text += sim::NmeaSentence("GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45");
  text += sim::NmeaSentence("GPGSV,2,2,08,15,40,083,46,16,17,308,41,17,07,344,39,18,22,228,45");
  return text;
}

TEST(HandOverTest, StreamAt115200WhilePagesRepaint) {
  platform::DebugCapture capture;
  capture.SetEcho(false);
  const platform::ScopedTimeScale scale(0.02);
  navlume_test::TempFolder root;
  ResetPortNames();
  ASSERT_TRUE(platform::SetDeviceRoot(root.Path()));
  platform::HeadlessUserInterface ui;
  ui.SetQuiet(true);
  platform::SetUserInterface(&ui);
  sim::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.Valid());
  platform::SetPortDevicePath(kPort, terminal.SlavePath());

  CRepaintingPage drawn;
  CTestPage shown(kPageMain);
  CPropertySheet sheet("Stream", {{"Drawn", &drawn}, {"Shown", &shown}});
  sheet.setFixedSize(480, 640);
  sheet.show();
  sheet.ShowTab(1);
  sheet.ShowTab(0);

  auto device = std::make_unique<CGPSDevice>();
  ASSERT_EQ(device->Create(kPort, 35, 0, kBaud), 1);
  ASSERT_EQ(device->Open(), 1);
  device->AddListener(&drawn);
  device->AddListener(&shown);

  std::atomic<bool> done{false};
  std::thread writer([&] {
    const auto start = std::chrono::steady_clock::now();
    size_t bytes = 0;
    for (int second = 0; std::chrono::steady_clock::now() - start < kStreamTime; ++second) {
      const std::string epoch = Epoch(second);
      if (!terminal.WriteToSlave(epoch)) break;
      bytes += epoch.size();
      std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<int64_t>(static_cast<double>(bytes) * 1e6 / kBytesPerSecond)));
    }
    done = true;
  });
  while (!done) QApplication::processEvents(QEventLoop::AllEvents, 10);
  writer.join();

  // The newest record reaches the page once the stream has been read and its tab is shown.
  sheet.ShowTab(1);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        const GpsPosition published = device->CopyPosition();
        return shown.m_Shown > 0 && std::memcmp(&published, &shown.m_LastShown, sizeof published) == 0 &&
               published.satellitesInView == 8;
      },
      20000));
  device.reset();  // joins the device's threads while the UI thread waits
  QApplication::processEvents();
  EXPECT_GT(drawn.m_Paints, 0);
  EXPECT_GT(shown.m_Records.load(), 10);
  EXPECT_LE(shown.m_Shown, shown.m_Records.load());
  platform::SetUserInterface(nullptr);
  platform::ClearPortDevicePaths();
}

}  // namespace
}  // namespace app_test
