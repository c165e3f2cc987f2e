#include "app/WinMain.h"

#include <QCoreApplication>
#include <QString>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/PageSet.h"
#include "app/PowerTimeouts.h"
#include "app/PropertySheet.h"
#include "app/SingleInstance.h"
#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/Debug.h"
#include "platform/DeviceRoot.h"
#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"

CPortConf* g_pPortConf = nullptr;

namespace {

constexpr uint32_t kDefaultPassLevel = 35;
constexpr int32_t kProductionBaudRate = 9600;
constexpr int32_t kTestTypeTogether = 1;
constexpr const char* kCannotOpenGpsPort = "Can't open GPS port";
constexpr const char* kCaptionProduction = "Navlume";
constexpr const char* kCaptionAgps = "A-GPS";
constexpr const char* kCaptionUblox = "U-BLOX";
constexpr const char* kCaptionOem615 = "OEM615";

// The pages and devices of one run, destroyed in the teardown order.
struct Program {
  std::unique_ptr<CPortConf> conf;
  std::unique_ptr<CGPSPage> mainPage, signalPage, nmeaPage, skyViewPage, settingsPage, prdTestPage, prdConfig;
  std::array<std::unique_ptr<CGPSDevice>, kMaxConfiguredPorts> devices;
  bool fullScreen = false;
};
Program* g_pProgram = nullptr;

uint32_t PassLevel(uint32_t configured) { return configured != 0 ? configured : kDefaultPassLevel; }

uint32_t ReceiverType(const std::string& port, const CPortConf& conf) {
  return port == AgpsPortName ? kGpsTypeAgps : static_cast<uint32_t>(conf.m_GpsType);
}

bool RunSheet(std::vector<SheetTab> tabs) {
  return RunPropertySheet(QString::fromStdString(SheetCaption(*g_pPortConf)), std::move(tabs), g_pProgram->fullScreen);
}

// Production mode; true when the sheet ran, false after a device failure.
bool RunProduction(Program& program) {
  CPortConf& conf = *program.conf;
  program.prdConfig = NewPrdConfig(conf);
  if (conf.m_PortCount == 0) {
    CreatePrdSheet(true);
    return true;
  }
  program.prdTestPage = NewPrdTestPage(conf);
  for (uint32_t i = 0; i < conf.m_PortCount; ++i) {
    program.devices[i] = std::make_unique<CGPSDevice>();
    CGPSDevice& device = *program.devices[i];
    conf.SetRegistryKey(device, 1);
    const std::string& port = conf.m_PortNames[i];
    if (!device.Create(port, PassLevel(conf.m_PassLevels[i]), ReceiverType(port, conf), kProductionBaudRate))
      return false;
    if (conf.m_TestType == kTestTypeTogether && !device.Open()) return false;
    device.AddListener(program.prdTestPage.get());
    AddDeviceToPrdTestPage(*program.prdTestPage, device);
  }
  if (conf.m_TestType != kTestTypeTogether && !program.devices[0]->Open()) return false;
  CreatePrdSheet(false);
  return true;
}

// Normal mode, both ways of reaching the receiver; true when the sheet ran,
// false after a device failure.
bool RunNormal(Program& program, const WinMainOptions& options) {
  CPortConf& conf = *program.conf;
  program.devices[0] = std::make_unique<CGPSDevice>();
  CGPSDevice& device = *program.devices[0];
  program.prdConfig = NewPrdConfig(conf);
  conf.SetRegistryKey(device, 0);
  const std::string& port = conf.m_PortNames[0];
  const uint32_t passLevel = PassLevel(conf.m_PassLevels[0]);
  const uint32_t type = ReceiverType(port, conf);
  if (conf.m_bDirectAccess) {
    platform::DebugPrint("[Navlume] GPS Direct Access!\r\n");
    if (!device.Create(port, passLevel, type, conf.m_BaudRates[0])) {
      platform::ShowError(kCannotOpenGpsPort);
      return false;
    }
    if (!device.Open()) {
      platform::ShowError("Can't activate " + port + " devices");
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
  program.settingsPage = NewSettingsPage(conf);
  for (CGPSPage* page : {program.mainPage.get(), program.signalPage.get(), program.nmeaPage.get(),
                         program.skyViewPage.get(), program.settingsPage.get()})
    if (page != nullptr) device.AddListener(page);
  CreateMainSheet();
  return true;
}

void TearDown(Program& program) {
  for (uint32_t i = 0; i < program.devices.size(); ++i) program.devices[i].reset();
  for (auto* page : {&program.mainPage, &program.signalPage, &program.nmeaPage, &program.skyViewPage,
                     &program.settingsPage, &program.prdTestPage})
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
  if (conf.m_GpsType == kGpsHardwareUblox) return kCaptionUblox;
  if (conf.m_GpsType == kGpsHardwareOem615) return kCaptionOem615;
  return kCaptionProduction;
}

std::vector<std::string> MainSheetTitles(bool directAccess) {
  std::vector<std::string> titles{"Main", "Signal", "Position"};
  if (directAccess) titles.push_back("NMEA data");
  titles.insert(titles.end(), {"Settings", "PRD Settings"});
  return titles;
}

bool CreateMainSheet() {
  Program& program = *g_pProgram;
  const bool directAccess = program.conf->m_bDirectAccess != 0;
  std::vector<CGPSPage*> pages{program.mainPage.get(), program.signalPage.get(), program.skyViewPage.get()};
  if (directAccess) pages.push_back(program.nmeaPage.get());
  pages.insert(pages.end(), {program.settingsPage.get(), program.prdConfig.get()});
  const std::vector<std::string> titles = MainSheetTitles(directAccess);
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
  if (g_pProgram == nullptr || index < 0 || index >= static_cast<int>(kMaxConfiguredPorts)) return nullptr;
  return g_pProgram->devices[static_cast<size_t>(index)].get();
}

int WinMain(const WinMainOptions& options) {
  platform::DebugPrint("*********************************************************\r\n");
  platform::DebugPrint("*****                   NAVLUME                  ****\r\n");
  platform::DebugPrint("*********************************************************\r\n");

  CSingleInstance instance(options.instanceFolder);
  switch (instance.Claim()) {
    case InstanceClaim::Failed:
      return 0;
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
    platform::ShowError("GPS port configuration is failed!!");
    if (program.conf->m_GpsType == 0 && program.conf->m_WwanType == 0) PointAtDetect();
    return kExitConfigurationFailed;
  }
  g_pPortConf = program.conf.get();
  g_pProgram = &program;
  SetPowerTimeouts(true);

  const bool sheetRan = program.conf->m_bPrdMode ? RunProduction(program) : RunNormal(program, options);
  const int exitCode = sheetRan ? RunMessageLoop() : kExitDeviceFailed;
  TearDown(program);
  g_pProgram = nullptr;
  return exitCode;
}
