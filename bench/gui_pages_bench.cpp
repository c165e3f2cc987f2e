// Page figures on Qt's offscreen platform: the time to paint the Signal and
// Position pages at 480x640 with twelve satellites, and the UI thread's CPU
// with every normal-mode page open while a device streams NMEA at 115200 baud.

#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QWidget>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/PropertySheet.h"
#include "app/Resources.h"
#include "app/ScreenLayout.h"
#include "app/pages/MainPage.h"
#include "app/pages/NmeaPage.h"
#include "app/pages/SettingsPage.h"
#include "app/pages/SignalPage.h"
#include "app/pages/SkyViewPage.h"
#include "device/GPSDevice.h"
#include "platform/Debug.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"
#include "resources/resource.h"
#include "sim/NmeaSentences.h"
#include "sim/PseudoTerminal.h"
#include "sim/Scenario.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kScreenWidth = 480;
constexpr int kScreenHeight = 640;
constexpr const char* kStreamPort = "COM4:";
constexpr size_t kStreamSeconds = 3;
constexpr size_t kLineBytesPerSecond = 115200 / 10;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "navlume-bench";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* app = new QApplication(argc, argv);
    InitResources();
    return app;
  }();
  return *application;
}

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

GpsPosition FullSky() {
  GpsPosition record{};
  record.version = kGpsPositionVersion;
  record.size = kGpsPositionSize;
  record.fixQuality = kGpsFixQualityGps;
  record.satellitesInView = kGpsMaxSatellites;
  record.satelliteCount = 9;
  for (uint32_t i = 0; i < kGpsMaxSatellites; ++i) {
    record.inViewPrns[i] = 2 + i * 2;
    record.inViewElevation[i] = 5 + i * 7;
    record.inViewAzimuth[i] = i * 30;
    record.inViewSnr[i] = 20 + i * 2;
  }
  return record;
}

// One page in a sheet of the emulated 480x640 screen.
class SheetOf {
 public:
  explicit SheetOf(std::vector<CGPSPage*> pages) {
    Application();
    SetScreenSize(kScreenWidth, kScreenHeight);
    std::vector<SheetTab> tabs;
    for (CGPSPage* page : pages) tabs.push_back(SheetTab{QString::number(page->DialogId()), page});
    m_pSheet = std::make_unique<CPropertySheet>("Navlume", std::move(tabs));
    m_pSheet->setFixedSize(kScreenWidth, kScreenHeight);
    m_pSheet->show();
    for (int tab = m_pSheet->TabCount() - 1; tab >= 0; --tab) m_pSheet->ShowTab(tab);
    Settle();
  }
  CPropertySheet& Sheet() { return *m_pSheet; }

 private:
  std::unique_ptr<CPropertySheet> m_pSheet;
};

void PaintPage(benchmark::State& state, CGPSPage& page) {
  SheetOf sheet({&page});
  page.OnGPSData(nullptr, FullSky());
  Settle();
  QImage image(page.Window()->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    page.Window()->render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}

void BM_SignalPagePaint(benchmark::State& state) {
  Application();
  CSignalPage page;
  PaintPage(state, page);
}
BENCHMARK(BM_SignalPagePaint)->Unit(benchmark::kMillisecond);

void BM_SkyViewPagePaint(benchmark::State& state) {
  Application();
  CSkyViewPage page;
  PaintPage(state, page);
}
BENCHMARK(BM_SkyViewPagePaint)->Unit(benchmark::kMillisecond);

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The simulated receiver's epochs back to back, as much as the line carries.
std::string StreamBytes() {
  const sim::Scenario scenario = sim::DefaultScenario();
  std::string bytes;
  for (int second = 0; bytes.size() < kLineBytesPerSecond * kStreamSeconds; ++second)
    bytes += sim::BuildEpoch(scenario, sim::ScenarioEpoch(scenario, 60.0 + second, 0.0));
  return bytes.substr(0, kLineBytesPerSecond * kStreamSeconds);
}

void WriteAtLineRate(const sim::PseudoTerminal& terminal, const std::string& bytes) {
  constexpr size_t kChunk = kLineBytesPerSecond / 100;
  const auto start = Clock::now();
  for (size_t sent = 0; sent < bytes.size(); sent += kChunk) {
    std::this_thread::sleep_until(start + std::chrono::microseconds(sent * 1000000 / kLineBytesPerSecond));
    if (!terminal.WriteToSlave(std::string_view(bytes).substr(sent, kChunk))) break;
  }
}

// The visible tab is the argument: 0 Main, 1 Signal, 2 Position, 3 NMEA data, 4 Settings.
void BM_PagesUnder115200BaudStream(benchmark::State& state) {
  Application();
  navlume_test::TempFolder root;
  platform::DebugCapture quiet;
  platform::HeadlessUserInterface ui;
  ui.SetQuiet(true);
  platform::SetUserInterface(&ui);
  platform::SetDeviceRoot(root.Path());
  sim::PseudoTerminal terminal;
  platform::SetPortDevicePath(kStreamPort, terminal.SlavePath());
  const std::string bytes = StreamBytes();

  CPortConf conf;
  conf.m_bDirectAccess = 1;
  CMainPage main;
  CSignalPage signal;
  CSkyViewPage sky;
  CNmeaPage nmea;
  CSettingsPage settings(conf);
  SheetOf sheet({&main, &signal, &sky, &nmea, &settings});
  sheet.Sheet().ShowTab(static_cast<int>(state.range(0)));
  Settle();

  CGPSDevice device;
  device.Create(kStreamPort, 0, kGpsTypeAgps, 115200);
  for (CGPSPage* page : std::initializer_list<CGPSPage*>{&main, &signal, &sky, &nmea, &settings})
    device.AddListener(page);
  device.Open();

  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    // The UI thread runs its event loop as the program does until the stream ends.
    QEventLoop loop;
    std::thread writer([&] {
      WriteAtLineRate(terminal, bytes);
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    const double cpuStart = ThreadCpuSeconds();
    const auto wallStart = Clock::now();
    loop.exec();
    cpu += ThreadCpuSeconds() - cpuStart;
    wall += std::chrono::duration<double>(Clock::now() - wallStart).count();
    writer.join();
  }
  device.Close();
  platform::SetUserInterface(nullptr);
  state.counters["ui_cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
  state.counters["nmea_entries"] = nmea.ListCount(IDC_NMEA_LIST);
}
BENCHMARK(BM_PagesUnder115200BaudStream)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
