// Page figures on Qt's offscreen platform: the time to paint the Signal and
// Position pages at 480x640 with twelve satellites; the UI thread's CPU with
// every normal-mode page open while a device streams NMEA at 115200 baud; and
// for a modern receiver (10 Hz, four systems, every talker decoded) the CPU
// and the delay from a sentence's last byte to the page showing it.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
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
constexpr int32_t kLineBaud = 115200;
constexpr size_t kLineBytesPerSecond = kLineBaud / 10;  // 8N1: ten bits a byte
constexpr size_t kUartFifo = 16;                        // bytes a UART hands over at once
constexpr int kGnssRateHz = 10;
constexpr int kGnssSeconds = 10;
constexpr double kGnssStart = 60;  // scenario seconds: long after the first fix

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

// Every normal-mode page in a sheet, a device reading a pseudo-terminal as
// "COM4:" at 115200 baud, and the tab `tab` in view. Application() comes first.
class StreamedPages {
 public:
  StreamedPages(int tab, bool anyTalker) : m_Conf(MakeConf()), m_Settings(m_Conf) {
    m_Quiet.SetEcho(false);
    m_Ui.SetQuiet(true);
    platform::SetUserInterface(&m_Ui);
    platform::SetDeviceRoot(m_Root.Path());
    platform::DeviceProfile profile = platform::CurrentDeviceProfile();
    profile.anyTalker = anyTalker;
    platform::SetCurrentDeviceProfile(profile);
    platform::SetPortDevicePath(kStreamPort, m_Terminal.SlavePath());
    m_pSheet = std::make_unique<SheetOf>(Pages());
    m_pSheet->Sheet().ShowTab(tab);
    Settle();
    m_Device.Create(kStreamPort, 0, kGpsTypeAgps, kLineBaud);
    for (CGPSPage* page : Pages()) m_Device.AddListener(page);
  }
  ~StreamedPages() {
    Close();
    platform::SetUserInterface(nullptr);
  }
  // No listener hears of a record afterwards.
  void Close() { m_Device.Close(); }

  void Open(CGPSListener* last) {
    if (last != nullptr) m_Device.AddListener(last);
    m_Device.Open();
  }
  std::vector<CGPSPage*> Pages() { return {&m_Main, &m_Signal, &m_Sky, &m_Nmea, &m_Settings}; }
  const sim::PseudoTerminal& Terminal() const { return m_Terminal; }

  // The UI thread runs its event loop as the program does while `writer` streams.
  template <typename Writer>
  void RunWhile(Writer writer) {
    QEventLoop loop;
    std::thread thread([&] {
      writer();
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    thread.join();
  }

  CMainPage m_Main;
  CSignalPage m_Signal;
  CSkyViewPage m_Sky;
  CNmeaPage m_Nmea;

 private:
  static CPortConf MakeConf() {
    CPortConf conf;
    conf.m_bDirectAccess = 1;
    return conf;
  }

  navlume_test::TempFolder m_Root;
  platform::DebugCapture m_Quiet;
  platform::HeadlessUserInterface m_Ui;
  sim::PseudoTerminal m_Terminal;
  CPortConf m_Conf;
  CSettingsPage m_Settings;
  std::unique_ptr<SheetOf> m_pSheet;
  CGPSDevice m_Device;
};

// The visible tab is the argument: 0 Main, 1 Signal, 2 Position, 3 NMEA data, 4 Settings.
void BM_PagesUnder115200BaudStream(benchmark::State& state) {
  Application();
  StreamedPages pages(static_cast<int>(state.range(0)), false);
  pages.Open(nullptr);
  const std::string bytes = StreamBytes();
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    const double cpuStart = ThreadCpuSeconds();
    const auto wallStart = Clock::now();
    pages.RunWhile([&] { WriteAtLineRate(pages.Terminal(), bytes); });
    cpu += ThreadCpuSeconds() - cpuStart;
    wall += std::chrono::duration<double>(Clock::now() - wallStart).count();
  }
  state.counters["ui_cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
  state.counters["nmea_entries"] = pages.m_Nmea.ListCount(IDC_NMEA_LIST);
}
BENCHMARK(BM_PagesUnder115200BaudStream)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Iterations(1)->Unit(benchmark::kSecond);

// A modern u-blox at 10 Hz tracking four systems, as the simulator sends it:
// a solution every tenth of a second, the GSV cycles with the new second, and
// each satellite's C/N0 moving by a dB-Hz from one second to the next, as a
// real sky does.
struct Solution {
  std::string bytes;
  std::string rmc;  // the solution's first sentence, with its line end
  std::string lastGsv;  // the sentence that completes the sky; empty: no GSV this time
  bool newSecond;   // its UTC second differs from the last solution's
};

void WobbleCn0EverySecond(sim::Scenario& scenario) {
  for (sim::SimSatellite& satellite : scenario.satellites) {
    if (satellite.snr == 0) continue;
    for (int second = 0; second <= kGnssSeconds; ++second)
      satellite.changes.push_back({kGnssStart + second, {}, {}, satellite.snr + second % 2, {}});
  }
}

std::vector<Solution> TenHertzFourSystems() {
  sim::Scenario scenario = sim::DefaultScenario();
  sim::UseGnssSystems(scenario, {GnssSystem::Gps, GnssSystem::Glonass, GnssSystem::Galileo, GnssSystem::BeiDou});
  WobbleCn0EverySecond(scenario);
  scenario.rateHz = kGnssRateHz;
  std::vector<Solution> solutions;
  for (int k = 0; k < kGnssSeconds * kGnssRateHz; ++k) {
    const double t = kGnssStart + static_cast<double>(k) / kGnssRateHz;
    std::string bytes = sim::BuildEpoch(scenario, sim::ScenarioEpoch(scenario, t, 0.0));
    std::string rmc = bytes.substr(0, bytes.find('\n') + 1);
    std::string lastGsv;
    if (const size_t gsv = bytes.rfind("GSV,"); gsv != std::string::npos) {
      const size_t start = bytes.rfind('$', gsv);
      lastGsv = bytes.substr(start, bytes.find('\n', gsv) + 1 - start);
    }
    solutions.push_back({std::move(bytes), std::move(rmc), std::move(lastGsv), k % kGnssRateHz == 0});
  }
  return solutions;
}

using TimePoint = Clock::time_point;

// What a tab's paint is measured from: the Main page's UTC label changes
// with a new second's RMC; the Signal and Position pages change with the sky,
// which the last GSV of a second completes; the NMEA data list shows every RMC.
enum class Shows { NewSecond, Sky, EveryRmc };

// The sentence of the solution that a paint of the tab shows; empty: none.
const std::string& Marker(const Solution& solution, Shows shows) {
  static const std::string kNone;
  switch (shows) {
    case Shows::NewSecond: return solution.newSecond ? solution.rmc : kNone;
    case Shows::Sky: return solution.lastGsv;
    case Shows::EveryRmc: return solution.rmc;
  }
  return kNone;
}

// When each marked sentence was written, decoded and shown.
class LatencyProbe : public CGPSListener, public QObject {
 public:
  LatencyProbe(QWidget* shows, Shows what) : m_pShows(shows), m_What(what) {}
  Shows What() const { return m_What; }

  // Writer thread: the marker's last byte is about to go on the line.
  void Written(TimePoint at, const std::string& marker) {
    std::lock_guard lock(m_Mutex);
    m_Pending.push_back({at, marker});
  }
  // Device thread, after every page heard of the record: the markers it completed are decoded.
  void OnGPSData(CGPSDevice* device, GpsPosition) override {
    const std::string raw = device->CopyRawText();
    std::lock_guard lock(m_Mutex);
    m_Raw += raw;
    for (size_t at = 0; m_Decoded < m_Pending.size(); ++m_Decoded) {
      if ((at = m_Raw.find(m_Pending[m_Decoded].marker)) == std::string::npos) break;
      m_Raw.erase(0, at + m_Pending[m_Decoded].marker.size());
    }
  }
  // UI thread: a paint of the widget that shows the marked sentences shows
  // every decoded one. The Main page's UTC label changes with a new second
  // alone, and a change of its text means that second's RMC was decoded (the
  // probe, the last listener, may hear of it after the page has painted it).
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() != QEvent::Paint || object != m_pShows) return false;
    const TimePoint now = Clock::now();
    std::lock_guard lock(m_Mutex);
    ++m_Paints;
    if (m_What != Shows::NewSecond) {
      for (; m_Shown < std::min(m_Decoded, m_Pending.size()); ++m_Shown) Sample(m_Pending[m_Shown], now);
      return false;
    }
    const QString text = static_cast<QLabel*>(m_pShows)->text();
    if (text == m_LastText) return false;
    m_LastText = text;
    if (m_Shown < m_Pending.size()) Sample(m_Pending[m_Shown++], now);
    return false;
  }
  std::vector<double> Latencies() {
    std::lock_guard lock(m_Mutex);
    return m_LatenciesMs;
  }
  size_t Paints() {
    std::lock_guard lock(m_Mutex);
    return m_Paints;
  }

 private:
  struct Pending {
    TimePoint written;
    std::string marker;
  };
  void Sample(const Pending& pending, TimePoint shown) {
    m_LatenciesMs.push_back(std::chrono::duration<double, std::milli>(shown - pending.written).count());
  }
  QWidget* m_pShows;
  const Shows m_What;
  QString m_LastText;
  std::mutex m_Mutex;
  std::vector<Pending> m_Pending;
  std::string m_Raw;
  size_t m_Decoded = 0;
  size_t m_Shown = 0;
  size_t m_Paints = 0;
  std::vector<double> m_LatenciesMs;
};

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Each solution at its time, its bytes paced at the line's rate in FIFO-sized pieces.
double WriteSolutions(const sim::PseudoTerminal& terminal, const std::vector<Solution>& solutions, LatencyProbe& probe) {
  const double cpuStart = ThreadCpuSeconds();
  const auto start = Clock::now();
  for (size_t k = 0; k < solutions.size(); ++k) {
    const auto due = start + std::chrono::microseconds(k * 1000000 / kGnssRateHz);
    const Solution& solution = solutions[k];
    const std::string& marker = Marker(solution, probe.What());
    const size_t markerEnd = marker.empty() ? 0 : solution.bytes.find(marker) + marker.size();
    for (size_t sent = 0; sent < solution.bytes.size(); sent += kUartFifo) {
      std::this_thread::sleep_until(due + std::chrono::microseconds(sent * 1000000 / kLineBytesPerSecond));
      const size_t piece = std::min(kUartFifo, solution.bytes.size() - sent);
      // Noted before the write: the reader may decode and the page paint before a write returns.
      if (sent < markerEnd && sent + piece >= markerEnd) probe.Written(Clock::now(), marker);
      if (!terminal.WriteToSlave(std::string_view(solution.bytes).substr(sent, piece))) return 0;
    }
  }
  return ThreadCpuSeconds() - cpuStart;
}

// The widget whose paint shows a solution on the tab: the Main page's UTC
// label (a new second), the Signal and Position pages, the NMEA data list.
QWidget* ShowingWidget(StreamedPages& pages, int tab) {
  switch (tab) {
    case 0: return pages.m_Main.Item(IDC_MAIN_UTC);
    case 1: return pages.m_Signal.Window();
    case 2: return pages.m_Sky.Window();
    default: return pages.m_Nmea.Item(IDC_NMEA_LIST);
  }
}

// The figures of a modern receiver: the process's CPU (the writer's own
// excepted) and the UI thread's while the tab is in view, and the delay from
// the last byte of a sentence the tab shows to the paint that shows it.
void BM_PagesUnderTenHertzFourSystems(benchmark::State& state) {
  const int tab = static_cast<int>(state.range(0));
  Application();
  StreamedPages pages(tab, true);
  QWidget* shows = ShowingWidget(pages, tab);
  if (tab == 3) shows = static_cast<QAbstractScrollArea*>(shows)->viewport();
  LatencyProbe probe(shows, tab == 0 ? Shows::NewSecond : tab == 3 ? Shows::EveryRmc : Shows::Sky);
  qApp->installEventFilter(&probe);
  pages.Open(&probe);
  const std::vector<Solution> solutions = TenHertzFourSystems();
  size_t bytes = 0;
  for (const Solution& solution : solutions) bytes += solution.bytes.size();

  double processCpu = 0, uiCpu = 0, wall = 0;
  for (auto _ : state) {
    double writerCpu = 0;
    const double processStart = ProcessCpuSeconds();
    const double uiStart = ThreadCpuSeconds();
    const auto wallStart = Clock::now();
    pages.RunWhile([&] { writerCpu = WriteSolutions(pages.Terminal(), solutions, probe); });
    wall += std::chrono::duration<double>(Clock::now() - wallStart).count();
    uiCpu += ThreadCpuSeconds() - uiStart;
    processCpu += ProcessCpuSeconds() - processStart - writerCpu;
  }
  pages.Close();
  qApp->removeEventFilter(&probe);
  std::vector<double> latencies = probe.Latencies();
  std::sort(latencies.begin(), latencies.end());
  state.counters["process_cpu_percent"] = wall > 0 ? 100.0 * processCpu / wall : 0;
  state.counters["ui_cpu_percent"] = wall > 0 ? 100.0 * uiCpu / wall : 0;
  state.counters["line_load_percent"] = 100.0 * static_cast<double>(bytes) / (kGnssSeconds * kLineBytesPerSecond);
  state.counters["shown"] = static_cast<double>(latencies.size());
  state.counters["paints_per_second"] = wall > 0 ? static_cast<double>(probe.Paints()) / wall : 0;
  state.counters["delay_median_ms"] = latencies.empty() ? 0 : latencies[latencies.size() / 2];
  state.counters["delay_max_ms"] = latencies.empty() ? 0 : latencies.back();
}
BENCHMARK(BM_PagesUnderTenHertzFourSystems)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
