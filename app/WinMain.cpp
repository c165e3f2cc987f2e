#include "app/WinMain.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "app/PageSet.h"
#include "app/PowerTimeouts.h"
#include "app/PropertySheet.h"
#include "app/SingleInstance.h"
#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/Debug.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/StopRequest.h"
#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"
#include "prodtest/ProductionStation.h"
#include "results/Forwarder.h"

CPortConf* g_pPortConf = nullptr;

namespace {

constexpr const char* kCannotOpenGpsPort = "Can't open GPS port";
constexpr const char* kCaptionProduction = "Navlume";
constexpr const char* kCaptionAgps = "A-GPS";
constexpr const char* kCaptionUblox = "U-BLOX";
constexpr const char* kCaptionOem615 = "OEM615";

// The pages and devices of one run, destroyed in the teardown order. The
// production station owns the receivers under test; normal mode has its one
// device here. The forwarder outlives the station, which tells it of the
// lines it journals until its end.
struct Program {
  std::unique_ptr<CPortConf> conf;
  std::unique_ptr<CGPSPage> mainPage, signalPage, nmeaPage, skyViewPage, historyPage, settingsPage, prdTestPage,
      prdConfig;
  std::unique_ptr<results::CResultForwarder> forwarder;
  std::unique_ptr<CProductionStation> station;
  std::unique_ptr<CGPSDevice> device;
  bool fullScreen = false;
};
Program* g_pProgram = nullptr;
// A stop request comes from another thread: it meets the program's station
// and device either whole or not at all.
std::mutex g_StopLock;

bool RunSheet(std::vector<SheetTab> tabs) {
  return RunPropertySheet(QString::fromStdString(SheetCaption(*g_pPortConf)), std::move(tabs), g_pProgram->fullScreen);
}

// Production mode; true when the sheet ran, false after a device failure. A
// file whose pass level cannot be used is refused with a box naming its
// line; the sheet then offers only "PRD Settings" to mend it.
bool RunProduction(Program& program) {
  CPortConf& conf = *program.conf;
  program.prdConfig = NewPrdConfig(conf);
  const std::string problem = conf.FileProblem();
  if (!problem.empty()) platform::ShowError(problem);
  if (conf.m_PortCount == 0 || !problem.empty()) {
    CreatePrdSheet(true);
    return true;
  }
  {
    std::lock_guard lock(g_StopLock);
    program.station = std::make_unique<CProductionStation>(conf);
  }
  std::function<uint64_t()> resultsWaiting;
  if (const std::string database = platform::CurrentDeviceProfile().resultsDatabase; !database.empty()) {
    program.forwarder = std::make_unique<results::CResultForwarder>(database, platform::DeviceRoot(), nullptr);
    program.station->SetResultListener(program.forwarder.get());
    program.forwarder->Start();
    resultsWaiting = [&forwarder = *program.forwarder] { return forwarder.Waiting(); };
  }
  program.prdTestPage = NewPrdTestPage(*program.station, std::move(resultsWaiting));
  if (!program.station->Start(program.prdTestPage.get())) return false;
  CreatePrdSheet(false);
  return true;
}

// Normal mode, both ways of reaching the receiver; true when the sheet ran,
// false after a device failure.
bool RunNormal(Program& program, const WinMainOptions& options) {
  CPortConf& conf = *program.conf;
  {
    std::lock_guard lock(g_StopLock);
    program.device = std::make_unique<CGPSDevice>();
  }
  CGPSDevice& device = *program.device;
  program.prdConfig = NewPrdConfig(conf);
  conf.SetRegistryKey(device, 0);
  const std::string& port = conf.m_PortNames[0];
  const uint32_t passLevel = conf.PassLevel(0);
  const uint32_t type = conf.ReceiverType(port);
  if (conf.m_bDirectAccess) {
    platform::DebugPrint("[Navlume] GPS Direct Access!\r\n");
    if (!device.Create(port, passLevel, type, conf.m_BaudRates[0])) {
      platform::ShowError(kCannotOpenGpsPort);
      return false;
    }
    if (!device.Open()) {
      if (!device.StartUpCancelled()) platform::ShowError("Can't activate " + port + " devices");
      return false;
    }
  } else {
    platform::DebugPrint("[Navlume] GPS Multiplexer!\r\n");
    if (options.startMultiplexer && !options.startMultiplexer(port)) return false;
    if (!device.CreateEX(port, passLevel, type, conf.m_BaudRates[0])) {
      platform::ShowError(kCannotOpenGpsPort);
      return false;
    }
  }
  program.mainPage = NewMainPage();
  program.signalPage = NewSignalPage();
  if (conf.m_bDirectAccess) program.nmeaPage = NewNmeaPage();
  program.skyViewPage = NewSkyViewPage();
  if (options.historyPage || platform::CurrentDeviceProfile().historyPage) program.historyPage = NewHistoryPage();
  program.settingsPage = NewSettingsPage(conf);
  for (CGPSPage* page : {program.mainPage.get(), program.signalPage.get(), program.nmeaPage.get(),
                         program.skyViewPage.get(), program.historyPage.get(), program.settingsPage.get()})
    if (page != nullptr) device.AddListener(page);
  CreateMainSheet();
  return true;
}

void TearDown(Program& program) {
  {
    std::lock_guard lock(g_StopLock);
    program.station.reset();  // journals what is left, then closes its receivers
    program.device.reset();
  }
  program.forwarder.reset();  // what is still waiting goes on the next start
  for (auto* page : {&program.mainPage, &program.signalPage, &program.nmeaPage, &program.skyViewPage,
                     &program.historyPage, &program.settingsPage, &program.prdTestPage})
    page->reset();
  g_pPortConf = nullptr;
  program.conf.reset();
  program.prdConfig.reset();
  SetPowerTimeouts(false);
}

// A first start without a receiver: where to find one and map it.
void PointAtDetect() {
  const std::filesystem::path root = platform::DeviceRoot();
  std::string command = "navlume-cli detect --write";
  if (root != std::filesystem::absolute(platform::ResolveDeviceRoot())) command += " --root '" + root.string() + "'";
  std::fprintf(stderr, "navlume: no receiver is mapped in %s; to find one and map it, run: %s\n",
               (root / "device.ini").c_str(), command.c_str());
}

// The message loop after the sheet: the pages posted the quit message when it closed.
int RunMessageLoop() {
  QCoreApplication::processEvents();
  return QuitPosted() ? QuitExitCode() : 0;
}

}  // namespace

std::string SheetCaption(const CPortConf& conf) {
  if (conf.m_bPrdMode) return kCaptionProduction;
  if (conf.m_PortNames[0] == AgpsPortName) return kCaptionAgps;
  if (conf.m_GpsType == kGpsTypeUblox) return kCaptionUblox;
  if (conf.m_GpsType == kGpsTypeOem615) return kCaptionOem615;
  return kCaptionProduction;
}

std::vector<std::string> MainSheetTitles(bool directAccess, bool history) {
  std::vector<std::string> titles{"Main", "Signal", "Position"};
  if (history) titles.push_back("History");
  if (directAccess) titles.push_back("NMEA data");
  titles.insert(titles.end(), {"Settings", "PRD Settings"});
  return titles;
}

bool CreateMainSheet() {
  Program& program = *g_pProgram;
  const bool directAccess = program.conf->m_bDirectAccess != 0;
  const bool history = program.historyPage != nullptr;
  std::vector<CGPSPage*> pages{program.mainPage.get(), program.signalPage.get(), program.skyViewPage.get()};
  if (history) pages.push_back(program.historyPage.get());
  if (directAccess) pages.push_back(program.nmeaPage.get());
  pages.insert(pages.end(), {program.settingsPage.get(), program.prdConfig.get()});
  const std::vector<std::string> titles = MainSheetTitles(directAccess, history);
  std::vector<SheetTab> tabs;
  for (size_t i = 0; i < pages.size(); ++i) tabs.push_back({QString::fromStdString(titles[i]), pages[i]});
  return RunSheet(std::move(tabs));
}

bool CreatePrdSheet(bool noPorts) {
  platform::DebugPrint("Make property sheet for PRD(%d)\r\n", noPorts ? 1 : 0);
  Program& program = *g_pProgram;
  std::vector<SheetTab> tabs;
  if (!noPorts) tabs.push_back({"Main", program.prdTestPage.get()});
  tabs.push_back({"PRD Settings", program.prdConfig.get()});
  return RunSheet(std::move(tabs));
}

CGPSDevice* WinMainDevice(int index) {
  if (g_pProgram == nullptr) return nullptr;
  if (g_pProgram->station) return g_pProgram->station->Device(index);
  return index == 0 ? g_pProgram->device.get() : nullptr;
}

void StopWinMain() {
  std::lock_guard lock(g_StopLock);
  if (g_pProgram == nullptr) return;
  if (g_pProgram->station) g_pProgram->station->Stop();  // every device's start-up gives way to the stop by itself
}

int WinMain(const WinMainOptions& options) {
  platform::DebugPrint("*********************************************************\r\n");
  platform::DebugPrint("*****                   NAVLUME                  ****\r\n");
  platform::DebugPrint("*********************************************************\r\n");

  CSingleInstance instance(options.instanceFolder);
  switch (instance.Claim()) {
    case InstanceClaim::Failed:
      std::fprintf(stderr, "navlume: %s\n", instance.ClaimFailure().c_str());
      return kExitInstanceFailed;
    case InstanceClaim::OtherCopy:
      instance.ReportOtherCopy();
      return 0;
    case InstanceClaim::Owner:
      break;
  }
  instance.Listen();
  ClearQuitMessage();

  Program program;
  program.fullScreen = options.fullScreen;
  program.conf = std::make_unique<CPortConf>();
  if (!program.conf->Initialize()) {
    if (platform::StopRequested()) return kExitStopped;  // the start-options dialog was closed by a stop
    platform::ShowError("GPS port configuration is failed!!");
    if (program.conf->m_GpsType == 0 && program.conf->m_WwanType == 0) PointAtDetect();
    return kExitConfigurationFailed;
  }
  g_pPortConf = program.conf.get();
  {
    std::lock_guard lock(g_StopLock);
    g_pProgram = &program;
  }
  SetPowerTimeouts(true);

  // A stop that came meanwhile ends the run as Cancel, before any device.
  const bool stopped = platform::StopRequested();
  const bool sheetRan = !stopped && (program.conf->m_bPrdMode ? RunProduction(program) : RunNormal(program, options));
  const int exitCode = stopped ? kExitStopped : sheetRan ? RunMessageLoop() : kExitDeviceFailed;
  TearDown(program);
  std::lock_guard lock(g_StopLock);
  g_pProgram = nullptr;
  return exitCode;
}
