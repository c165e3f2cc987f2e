// WinMain's paths on simulated receivers in a temporary device root: the
// sheet per mode, the failures with their messages and exit codes, and the
// power timeouts around the run.

#include <gtest/gtest.h>

#include <QTimer>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/PowerTimeouts.h"
#include "app/PropertySheet.h"
#include "app/WinMain.h"
#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/Debug.h"
#include "platform/DeviceApi.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/Registry.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"
#include "prodtest/RegGetDword.h"
#include "prodtest/StartOptionsIds.h"
#include "sim/GpsdServer.h"
#include "sim/SimulationRoot.h"
#include "support/GpsdAvailable.h"
#include "support/TempFolder.h"

namespace {

using platform::RegRoot;

constexpr const char* kBackLight = "ControlPanel\\BackLight";
constexpr uint32_t kBatteryTimeout = 30;
constexpr const char* kGpsDriversKey = "System\\CurrentControlSet\\GPS Intermediate Driver\\Drivers";

// What the sheet showed while it ran.
struct SheetSeen {
  bool shown = false;
  std::string caption;
  std::vector<std::string> tabs;
  std::vector<int> deviceStates;  // -1: no device in that entry
  std::optional<uint32_t> batteryTimeout;
};

class WinMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Capture.SetEcho(false);
    ResetPortNames();
    platform::ClearPortDevicePaths();
    platform::ResetGpsPower();
    ResetPowerTimeouts();
    m_Ui.SetQuiet(true);
    platform::SetUserInterface(&m_Ui);
  }
  void TearDown() override {
    SetSheetShownHook(nullptr);
    m_Simulation.Stop();
    platform::SetUserInterface(nullptr);
    platform::ClearPortDevicePaths();
    ResetPortNames();
    ResetPowerTimeouts();
  }

  void Simulate(const std::string& profile, uint32_t startOption = 1) {
    sim::SimulationOptions options;
    options.profile = profile;
    options.root = m_Root.Path();
    options.power = sim::PowerSource::Platform;
    std::string error;
    ASSERT_TRUE(m_Simulation.Start(options, error)) << error;
    SeedRegistry(startOption);
  }
  // A root whose profile is written by the test (no receivers).
  void Hardware(const std::string& profile, uint32_t startOption = 1) {
    std::ofstream(m_Root.Path() / "device.ini") << profile;
    ASSERT_TRUE(platform::SetDeviceRoot(m_Root.Path()));
    SeedRegistry(startOption);
  }
  void SeedRegistry(uint32_t startOption) {
    SetDword(RegRoot::LocalMachine, std::string(kRilRegistryKey), "StartOptions", startOption);
    SetDword(RegRoot::CurrentUser, kBackLight, "BatteryTimeout", kBatteryTimeout);
    SetDword(RegRoot::CurrentUser, kBackLight, "ACTimeout", 60);
    const char* timeouts = "SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts";
    SetDword(RegRoot::LocalMachine, timeouts, "BattSuspendTimeout", 120);
    SetDword(RegRoot::LocalMachine, timeouts, "ACSuspendTimeout", 600);
  }
  static void SetDword(RegRoot root, const std::string& key, const char* name, uint32_t value) {
    platform::RegKey handle;
    ASSERT_EQ(platform::RegCreateKey(root, key, handle), platform::kRegSuccess);
    ASSERT_EQ(platform::RegSetDword(handle, name, value), platform::kRegSuccess);
    platform::RegCloseKey(handle);
  }
  std::optional<uint32_t> BatteryTimeout() const {
    platform::OpenRegistryFile(m_Root.Path() / "registry.reg");
    platform::RegKey handle;
    if (platform::RegOpenKey(RegRoot::CurrentUser, kBackLight, handle) != platform::kRegSuccess) return std::nullopt;
    uint32_t value = 0;
    uint32_t size = sizeof value;
    const long result = platform::RegQueryValue(handle, "BatteryTimeout", nullptr, &value, size);
    platform::RegCloseKey(handle);
    return result == platform::kRegSuccess ? std::optional<uint32_t>(value) : std::nullopt;
  }
  void WriteTestConfiguration(const std::string& text) {
    std::ofstream(m_Root.Path() / "files" / "Navlume.ini", std::ios::binary) << text;
  }

  // Runs WinMain; the sheet is looked at and left with OK (apply) or Cancel.
  int Run(bool apply = false, WinMainOptions options = {}) {
    SetSheetShownHook([this, apply](CPropertySheet& sheet) {
      m_Seen.shown = true;
      m_Seen.caption = sheet.Caption().toStdString();
      for (int i = 0; i < sheet.TabCount(); ++i) m_Seen.tabs.push_back(sheet.TabTitle(i).toStdString());
      for (int i = 0; i < 2; ++i)
        m_Seen.deviceStates.push_back(WinMainDevice(i) ? WinMainDevice(i)->m_State.load() : -1);
      m_Seen.batteryTimeout = BatteryTimeout();
      QTimer::singleShot(0, &sheet, [&sheet, apply] { apply ? sheet.Apply() : sheet.Cancel(); });
    });
    options.instanceFolder = m_Root.Path();
    return WinMain(options);
  }

  platform::ScopedTimeScale m_Scale{0.02};
  navlume_test::TempFolder m_Root;
  platform::DebugCapture m_Capture;
  platform::HeadlessUserInterface m_Ui;
  sim::CSimulationRoot m_Simulation;
  sim::CGpsdServer m_Gpsd;  // stopped after the simulation's receivers
  SheetSeen m_Seen;
};

using Tabs = std::vector<std::string>;

TEST_F(WinMainTest, ConfigurationFailureExitsMinusOneAndLeavesTheTimeouts) {
  Hardware("[hardware]\ngps_type=0\nwwan_type=0\n");
  EXPECT_EQ(Run(), kExitConfigurationFailed);
  EXPECT_FALSE(m_Seen.shown);
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"GPS port configuration is failed!!"});
  EXPECT_EQ(BatteryTimeout(), kBatteryTimeout);
  EXPECT_TRUE(m_Capture.Contains("*****                   NAVLUME                  ****"));
}

TEST_F(WinMainTest, DirectAccessShowsSixTabsWithTheUbloxCaption) {
  Simulate("ublox");
  EXPECT_EQ(Run(), 0);
  ASSERT_TRUE(m_Seen.shown);
  EXPECT_EQ(m_Seen.caption, "U-BLOX");
  EXPECT_EQ(m_Seen.tabs, (Tabs{"Main", "Signal", "Position", "NMEA data", "Settings", "PRD Settings"}));
  EXPECT_EQ(m_Seen.deviceStates, (std::vector<int>{kDeviceOpen, -1}));
  EXPECT_EQ(m_Seen.batteryTimeout, 0u);  // overridden while running
  EXPECT_EQ(BatteryTimeout(), kBatteryTimeout);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] GPS Direct Access!"));
  EXPECT_TRUE(m_Ui.MessageBoxes().empty());
}

TEST_F(WinMainTest, HistoryTabFollowsPositionOnlyWhenTurnedOn) {
  const Tabs without{"Main", "Signal", "Position", "NMEA data", "Settings", "PRD Settings"};
  const Tabs with{"Main", "Signal", "Position", "History", "NMEA data", "Settings", "PRD Settings"};
  for (const auto& [inProfile, byOption, tabs] :
       {std::tuple{false, false, without}, {true, false, with}, {false, true, with}}) {
    Simulate("ublox");
    platform::DeviceProfile profile = platform::CurrentDeviceProfile();
    profile.historyPage = inProfile;
    platform::SetCurrentDeviceProfile(profile);
    WinMainOptions options;
    options.historyPage = byOption;
    m_Seen = {};
    EXPECT_EQ(Run(false, options), 0);
    EXPECT_EQ(m_Seen.tabs, tabs) << inProfile << byOption;
    m_Simulation.Stop();
  }
}

TEST_F(WinMainTest, OkEndsTheProgramToo) {
  Simulate("ublox");
  EXPECT_EQ(Run(true), 0);
  EXPECT_TRUE(m_Seen.shown);
  EXPECT_TRUE(QuitPosted());
}

TEST_F(WinMainTest, CaptionsOfTheOtherReceivers) {
  Simulate("oem615");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(m_Seen.caption, "OEM615");
  m_Simulation.Stop();
  m_Seen = {};
  ResetPortNames();
  platform::ResetGpsPower();
  Simulate("agps");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(m_Seen.caption, "A-GPS");
}

TEST_F(WinMainTest, MultiplexerServedByGpsdRunsTheSheetWithoutNmeaTabOrOpen) {
  NAVLUME_REQUIRE_GPSD();
  Simulate("ublox", 0);
  std::string error;
  ASSERT_TRUE(m_Simulation.ServeThroughGpsd(sim::kSimUbloxPort, m_Gpsd, error)) << error;
  EXPECT_EQ(Run(), 0);
  ASSERT_TRUE(m_Seen.shown);
  EXPECT_EQ(m_Seen.caption, "U-BLOX");
  EXPECT_EQ(m_Seen.tabs, (Tabs{"Main", "Signal", "Position", "Settings", "PRD Settings"}));
  EXPECT_TRUE(m_Capture.Contains("[Navlume] GPS Multiplexer!"));
  EXPECT_FALSE(m_Capture.Contains("[Navlume] GPS Direct Access!"));
  EXPECT_FALSE(m_Capture.Contains("port opened"));  // no Open in this mode
  EXPECT_TRUE(m_Ui.MessageBoxes().empty());
  EXPECT_EQ(m_Seen.batteryTimeout, 0u);
  EXPECT_EQ(BatteryTimeout(), kBatteryTimeout);
}

TEST_F(WinMainTest, MultiplexerWithNoGpsdAnsweringShowsCantOpenAndExitsOne) {
  Simulate("ublox", 0);
  platform::DeviceProfile profile = platform::CurrentDeviceProfile();
  profile.gpsdPort = 1;  // nothing listens there
  platform::SetCurrentDeviceProfile(profile);
  EXPECT_EQ(Run(), kExitDeviceFailed);
  EXPECT_FALSE(m_Seen.shown);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] GPS Multiplexer!"));
  EXPECT_FALSE(m_Capture.Contains("port opened"));
  const std::vector<std::string> boxes = m_Ui.MessageBoxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back(), "Can't open GPS port");
  EXPECT_EQ(BatteryTimeout(), kBatteryTimeout);
}

TEST_F(WinMainTest, MultiplexerThatCannotBeStartedEndsBeforeCreateEX) {
  Simulate("oem615", 0);
  std::string askedFor;
  WinMainOptions options;
  options.startMultiplexer = [&askedFor](const std::string& portName) {
    askedFor = portName;
    return false;
  };
  EXPECT_EQ(Run(false, options), kExitDeviceFailed);
  EXPECT_EQ(askedFor, "COM3:");
  EXPECT_FALSE(m_Seen.shown);
  platform::RegKey drivers;  // CreateEX names the driver first; it never ran
  EXPECT_NE(platform::RegOpenKey(RegRoot::LocalMachine, kGpsDriversKey, drivers), platform::kRegSuccess);
  EXPECT_FALSE(platform::GpsPowerOn());
  EXPECT_TRUE(m_Ui.MessageBoxes().empty());  // the starter says why itself
  EXPECT_EQ(BatteryTimeout(), kBatteryTimeout);
}

TEST_F(WinMainTest, MainSheetOfTheMultiplexerHasNoNmeaTab) {
  EXPECT_EQ(MainSheetTitles(false), (Tabs{"Main", "Signal", "Position", "Settings", "PRD Settings"}));
  EXPECT_EQ(MainSheetTitles(true), (Tabs{"Main", "Signal", "Position", "NMEA data", "Settings", "PRD Settings"}));
  EXPECT_EQ(MainSheetTitles(false, true), (Tabs{"Main", "Signal", "Position", "History", "Settings", "PRD Settings"}));
}

TEST_F(WinMainTest, PortThatNeverOpensShowsCantActivateAndExitsOne) {
  Hardware("[hardware]\ngps_type=3\nwwan_type=0\n[ports]\nCOM2:=" + (m_Root.Path() / "no-such-tty").string() + "\n");
  EXPECT_EQ(Run(), kExitDeviceFailed);
  EXPECT_FALSE(m_Seen.shown);
  const std::vector<std::string> boxes = m_Ui.MessageBoxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back(), "Can't activate COM2: devices");
  EXPECT_EQ(BatteryTimeout(), kBatteryTimeout);
}

TEST_F(WinMainTest, ProductionWithTwoPortsTestedTogetherOpensBoth) {
  Simulate("ublox+agps");
  WriteTestConfiguration("TESTTYPE: 1\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\nPORT2: A-GPS\r\nLEVEL2: 30\r\n");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(m_Seen.caption, "Navlume");
  EXPECT_EQ(m_Seen.tabs, (Tabs{"Main", "PRD Settings"}));
  EXPECT_EQ(m_Seen.deviceStates, (std::vector<int>{kDeviceOpen, kDeviceOpen}));
  EXPECT_TRUE(m_Capture.Contains("Make property sheet for PRD(0)"));
}

TEST_F(WinMainTest, ProductionOneByOneOpensOnlyTheFirst) {
  Simulate("ublox+agps");
  WriteTestConfiguration("TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\nPORT2: A-GPS\r\nLEVEL2: 30\r\n");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(m_Seen.deviceStates, (std::vector<int>{kDeviceOpen, kDeviceCreated}));
}

TEST_F(WinMainTest, ProductionWithOnePort) {
  Simulate("ublox");
  WriteTestConfiguration("TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\n");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(m_Seen.tabs, (Tabs{"Main", "PRD Settings"}));
  EXPECT_EQ(m_Seen.deviceStates, (std::vector<int>{kDeviceOpen, -1}));
}

TEST_F(WinMainTest, ProductionWithoutPortsShowsOnlyPrdSettings) {
  Simulate("ublox+agps");
  m_Ui.SetDialogAnswer([](platform::DialogModel& dialog) {
    dialog.OnCommand(IDC_START_PRD);
    dialog.OnCommand(IDC_START_OK);
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(m_Ui.ModalDialogsShown(), 1);
  EXPECT_EQ(m_Seen.caption, "Navlume");
  EXPECT_EQ(m_Seen.tabs, (Tabs{"PRD Settings"}));
  EXPECT_EQ(m_Seen.deviceStates, (std::vector<int>{-1, -1}));
  EXPECT_TRUE(m_Capture.Contains("Make property sheet for PRD(1)"));
}

// A file whose pass level is outside 10..50 is refused at start with a box
// naming its line; the sheet then offers only "PRD Settings" to mend it.
TEST_F(WinMainTest, ProductionFileWithAPassLevelOutsideTheRangeIsRefused) {
  Simulate("ublox+agps");
  WriteTestConfiguration("TESTTYPE: 1\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: -1\r\n");
  EXPECT_EQ(Run(), 0);
  const std::vector<std::string> boxes = m_Ui.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("line 4: \"LEVEL1: -1\""), std::string::npos) << boxes[0];
  EXPECT_EQ(m_Seen.tabs, (Tabs{"PRD Settings"}));
  EXPECT_EQ(m_Seen.deviceStates, (std::vector<int>{-1, -1}));
}

TEST_F(WinMainTest, ProductionDeviceFailureShowsNothingAndExitsOne) {
  Hardware("[hardware]\ngps_type=3\nwwan_type=0\n[ports]\nCOM2:=" + (m_Root.Path() / "no-such-tty").string() + "\n");
  WriteTestConfiguration("TESTTYPE: 1\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\n");
  EXPECT_EQ(Run(), kExitDeviceFailed);
  EXPECT_FALSE(m_Seen.shown);
  for (const std::string& box : m_Ui.MessageBoxes()) EXPECT_NE(box, "Can't open GPS port");
  EXPECT_EQ(BatteryTimeout(), kBatteryTimeout);
}

}  // namespace
