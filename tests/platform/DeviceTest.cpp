#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/Debug.h"
#include "platform/DeviceApi.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/HardwareSerial.h"
#include "platform/Registry.h"
#include "support/TempFolder.h"

namespace {

using namespace platform;
using navlume_test::ReadText;
using navlume_test::TempFolder;
using navlume_test::WriteText;

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_Name(name) {
    if (const char* old = std::getenv(name)) m_Old = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { m_Old ? setenv(m_Name, m_Old->c_str(), 1) : unsetenv(m_Name); }

 private:
  const char* m_Name;
  std::optional<std::string> m_Old;
};

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { m_Capture.SetEcho(false); }
  void TearDown() override {
    SetCurrentDeviceProfile({});
    ClearPortDevicePaths();
    ResetGpsPower();
    OpenRegistryFile({});
  }

  std::filesystem::path Ini(const std::string& text) const {
    const auto file = m_Folder.Path() / "device.ini";
    WriteText(file, text);
    return file;
  }

  TempFolder m_Folder;
  DebugCapture m_Capture;
};

TEST_F(DeviceTest, RootComesFromOptionThenEnvironment) {
  ScopedEnv root("NAVLUME_ROOT", "/srv/navlume");
  ScopedEnv data("XDG_DATA_HOME", "/data");
  ScopedEnv home("HOME", "/home/tester");
  EXPECT_EQ(ResolveDeviceRoot("/opt/unit"), "/opt/unit");
  EXPECT_EQ(ResolveDeviceRoot(), "/srv/navlume");
  {
    ScopedEnv noRoot("NAVLUME_ROOT", nullptr);
    EXPECT_EQ(ResolveDeviceRoot(), "/data/navlume");
    ScopedEnv noData("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(ResolveDeviceRoot(), "/home/tester/.local/share/navlume");
  }
}

TEST_F(DeviceTest, FirstUseCreatesTheRootWithACommentedProfileWithoutHardware) {
  const auto root = m_Folder.Path() / "unit";
  ASSERT_TRUE(SetDeviceRoot(root));
  EXPECT_EQ(DeviceRoot(), root);
  EXPECT_TRUE(std::filesystem::is_directory(root / "files" / "Temp"));
  const std::string ini = ReadText(root / "device.ini");
  EXPECT_NE(ini.find("[ports]"), std::string::npos);
  EXPECT_NE(ini.find("COM2: = /dev/ttyACM0"), std::string::npos);
  EXPECT_TRUE(m_Capture.Lines().empty());  // the commented file parses cleanly

  uint32_t type = 99;
  EXPECT_NE(DeviceApiGet(kDevApiGpsHardwareType, 0, 0, 0, &type), 0);
  EXPECT_EQ(type, 0u);
  EXPECT_NE(DeviceApiGet(kDevApiWwanHardwareType, 0, 0, 0, &type), 0);
  EXPECT_EQ(type, 0u);
  EXPECT_FALSE(PortDevicePath("COM2:"));

  // The registry is bound to the root.
  RegKey key;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, "Software\\Microsoft\\RIL", key), kRegSuccess);
  ASSERT_EQ(RegSetDword(key, "StartOptions", 1), kRegSuccess);
  EXPECT_TRUE(std::filesystem::exists(root / "registry.reg"));

  // A second use keeps an edited profile.
  WriteText(root / "device.ini", "[hardware]\ngps_type=3\n");
  ASSERT_TRUE(SetDeviceRoot(root));
  EXPECT_EQ(CurrentDeviceProfile().gpsType, 3u);
}

TEST_F(DeviceTest, RootThatCannotBeCreatedFails) {
  WriteText(m_Folder.Path() / "plain", "a file, not a folder");
  EXPECT_FALSE(SetDeviceRoot(m_Folder.Path() / "plain" / "unit"));
  EXPECT_FALSE(m_Capture.Lines().empty());
}

TEST_F(DeviceTest, HandheldPathsMapBelowFiles) {
  ASSERT_TRUE(SetDeviceRoot(m_Folder.Path()));
  const auto files = m_Folder.Path() / "files";
  EXPECT_EQ(MapHandheldPath("\\Temp\\NMEADATA_COM4.LOG"), files / "Temp" / "NMEADATA_COM4.LOG");
  EXPECT_EQ(MapHandheldPath("\\Storage Card\\Navlume.ini"), files / "Storage Card" / "Navlume.ini");
  EXPECT_EQ(MapHandheldPath("\\Navlume.ini"), files / "Navlume.ini");
  EXPECT_EQ(MapHandheldPath("\\..\\..\\etc\\passwd"), files / "etc" / "passwd");

  EXPECT_FALSE(StorageCardPresent());
  std::filesystem::create_directory(files / "Storage Card");
  EXPECT_TRUE(StorageCardPresent());
}

TEST_F(DeviceTest, ProfileReadsEverySection) {
  const auto profile = LoadDeviceProfile(Ini(
      "; unit 17\n"
      "[hardware]\r\n"
      "gps_type = 4\r\n"
      "WWAN_TYPE=0x2 ; PHS8\n"
      "colour = blue\n"
      "[ports]\n"
      "COM2: = /dev/ttyACM0\n"
      "COM3 = /dev/serial/by-id/usb-NovAtel_615-if00\n"
      "[power]\n"
      "gps = \"/sys/class/gpio/gpio17/value\"\n"
      "[gpsd]\n"
      "host = gps.local\n"
      "port = 3000\n"
      "[NMEA]\n"
      "talkers = Any\n"
      "[Results]\n"
      "database = host=db.example dbname=line user=navlume_station sslmode=verify-full ; the line's\n"
      "[future]\n"
      "anything = at all\n"));
  EXPECT_EQ(profile.gpsType, 4u);
  EXPECT_EQ(profile.wwanType, 2u);
  EXPECT_EQ(profile.ports.at("COM2:"), "/dev/ttyACM0");
  EXPECT_EQ(profile.ports.at("COM3:"), "/dev/serial/by-id/usb-NovAtel_615-if00");
  EXPECT_EQ(profile.powerFile, "/sys/class/gpio/gpio17/value");
  EXPECT_EQ(profile.gpsdHost, "gps.local");
  EXPECT_EQ(profile.gpsdPort, 3000);
  EXPECT_TRUE(profile.anyTalker);
  EXPECT_EQ(profile.resultsDatabase, "host=db.example dbname=line user=navlume_station sslmode=verify-full");
  EXPECT_TRUE(m_Capture.Lines().empty());
}

TEST_F(DeviceTest, MalformedProfileLinesAreLoggedWithTheirNumberAndSkipped) {
  const auto profile = LoadDeviceProfile(Ini(
      "[hardware]\n"
      "gps_type = three\n"
      "wwan_type = 2\n"
      "just some words\n"
      "[ports\n"
      "= /dev/ttyS0\n"
      "[gpsd]\n"
      "port = 70000\n"
      "[hardware]\n"
      "gps_type = 3\n"));
  EXPECT_EQ(profile.gpsType, 3u);
  EXPECT_EQ(profile.wwanType, 2u);
  EXPECT_EQ(profile.gpsdPort, 2947);
  const auto lines = m_Capture.Lines();
  ASSERT_EQ(lines.size(), 5u);
  for (const char* number : {"line 2:", "line 4:", "line 5:", "line 6:", "line 8:"}) EXPECT_TRUE(m_Capture.Contains(number)) << number;
}

TEST_F(DeviceTest, TalkersAreGpOrAnyAndAnythingElseKeepsGp) {
  for (const auto& [value, any, logged] : {std::tuple{"GP", false, false}, {"gp", false, false}, {"any", true, false},
                                           {"ANY", true, false}, {"GN", false, true}, {"", false, true}}) {
    m_Capture.Clear();
    const auto profile = LoadDeviceProfile(Ini(std::string("[nmea]\ntalkers = ") + value + "\n"));
    EXPECT_EQ(profile.anyTalker, any) << value;
    EXPECT_EQ(m_Capture.Contains("line 2:"), logged) << value;
  }
}

TEST_F(DeviceTest, StationNamedFromTheHostOrTheHardwareSerial) {
  for (const auto& [value, source, logged] : {std::tuple{"hostname", StationNameSource::Hostname, false},
                                              {"Serial", StationNameSource::Serial, false},
                                              {"mac", StationNameSource::Hostname, true}}) {
    m_Capture.Clear();
    const auto profile = LoadDeviceProfile(Ini(std::string("[station]\nname_from = ") + value + "\n"));
    EXPECT_EQ(profile.stationNameFrom, source) << value;
    EXPECT_EQ(m_Capture.Contains("line 2:"), logged) << value;
  }
}

TEST_F(DeviceTest, HistoryPageIsOnWithOneAndAnythingElseKeepsItOff) {
  for (const auto& [text, on, logged] : {std::tuple{"[pages]\nhistory = 1\n", true, false},
                                         {"[Pages]\nHISTORY=0\n", false, false},
                                         {"[pages]\nhistory = yes\n", false, true},
                                         {"[hardware]\ngps_type = 4\n", false, false}}) {
    m_Capture.Clear();
    EXPECT_EQ(LoadDeviceProfile(Ini(text)).historyPage, on) << text;
    EXPECT_EQ(m_Capture.Contains("line 2:"), logged) << text;
  }
}

TEST_F(DeviceTest, HardwareSerialFromDmiThenDeviceTreeThenMachineId) {
  const auto system = m_Folder.Path() / "system";
  const auto dmi = system / "sys/class/dmi/id/product_serial";
  const auto deviceTree = system / "proc/device-tree/serial-number";
  const auto machineId = system / "etc/machine-id";
  const struct {
    std::optional<std::string> dmi, deviceTree, machineId;
    std::string serial;
  } cases[] = {
      {"PF2K9XQ1\n", std::string("10000000d8a7f3c2\0", 17), "5f1c0e7a\n", "PF2K9XQ1"},
      {"To be filled by O.E.M.\n", std::string("10000000d8a7f3c2\0", 17), "5f1c0e7a\n", "10000000d8a7f3c2"},
      {"  \n", std::nullopt, "5f1c0e7a\n", "5f1c0e7a"},
      {std::nullopt, std::nullopt, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(system);
    for (const auto& [file, text] : {std::pair{dmi, c.dmi}, {deviceTree, c.deviceTree}, {machineId, c.machineId}}) {
      if (!text) continue;
      std::filesystem::create_directories(file.parent_path());
      WriteText(file, *text);
    }
    EXPECT_EQ(c.serial, HardwareSerial(system));
  }
}

TEST_F(DeviceTest, MissingProfileGivesDefaults) {
  const auto profile = LoadDeviceProfile(m_Folder.Path() / "none.ini");
  EXPECT_EQ(profile.gpsType, 0u);
  EXPECT_EQ(profile.gpsdHost, "127.0.0.1");
  EXPECT_EQ(profile.gpsdPort, 2947);
  EXPECT_TRUE(m_Capture.Lines().empty());
}

TEST_F(DeviceTest, ProfileValuesChangeOnlyTheirLines) {
  const struct {
    std::string text;
    ProfileSetting setting;
    std::string expected;
  } kCases[] = {
      {"; unit 7\n[hardware]\ngps_type = 0   ; none\n", {"hardware", "gps_type", "3"},
       "; unit 7\n[hardware]\ngps_type = 3   ; none\n"},
      {"[ports]\r\n; map here\r\n\r\n[power]\r\n", {"ports", "COM2:", "/dev/x"},
       "[ports]\r\n; map here\r\nCOM2: = /dev/x\r\n\r\n[power]\r\n"},
      {"[ports]\nCOM9:=/dev/a", {"nmea", "talkers", "any"}, "[ports]\nCOM9:=/dev/a\n\n[nmea]\ntalkers = any\n"},
      {"[Ports]\ncom2=/dev/old\n", {"ports", "COM2:", "/dev/new"}, "[Ports]\ncom2=/dev/new\n"},
      {"[hardware]\ngps_type=4\ngps_type=4\n", {"hardware", "gps_type", "3"}, "[hardware]\ngps_type=4\ngps_type=3\n"},
      {"[gpsd]\ngps_type = 1\n[hardware]\n", {"hardware", "gps_type", "3"},
       "[gpsd]\ngps_type = 1\n[hardware]\ngps_type = 3\n"},
      {"", {"hardware", "wwan_type", "2"}, "[hardware]\nwwan_type = 2\n"},
      // A comment after an empty value stays a comment, as the reader takes it.
      {"[ports]\nCOM2: =   ; u-blox goes here\n", {"ports", "COM2:", "/dev/ttyACM0"},
       "[ports]\nCOM2: =   /dev/ttyACM0 ; u-blox goes here\n"},
      {"[ports]\nCOM2:=\t# later\r\n", {"ports", "COM2:", "/dev/a"}, "[ports]\nCOM2:=\t/dev/a # later\r\n"},
  };
  for (const auto& c : kCases) EXPECT_EQ(SetProfileValues(c.text, {c.setting}), c.expected) << c.text;

  const auto file = m_Folder.Path() / "new" / "device.ini";
  std::filesystem::create_directories(file.parent_path());
  ASSERT_EQ(WriteProfileValues(file, {{"hardware", "gps_type", "4"}, {"ports", "COM3", "/dev/ttyUSB0"}}), 0);
  const DeviceProfile profile = LoadDeviceProfile(file);
  EXPECT_EQ(profile.gpsType, 4u);
  EXPECT_EQ(profile.ports.at("COM3:"), "/dev/ttyUSB0");
  EXPECT_NE(WriteProfileValues(m_Folder.Path() / "missing" / "device.ini", {{"hardware", "gps_type", "4"}}), 0);
}

TEST_F(DeviceTest, RewritingAProfileWritesThroughItsLinkAndKeepsItsMode) {
  namespace fs = std::filesystem;
  const fs::path shared = m_Folder.Path() / "shared" / "device.ini";
  const fs::path station = m_Folder.Path() / "station";
  fs::create_directories(shared.parent_path());
  fs::create_directories(station);
  const struct {
    const char* name;
    std::vector<fs::path> links;  // each pointing at the next, the last at the shared file
  } kCases[] = {
      {"plain file", {}},
      {"relative link", {station / "device.ini"}},
      {"absolute link to a relative one", {station / "device.ini", station / "hop.ini"}},
  };
  for (const auto& c : kCases) {
    fs::remove(station / "device.ini");
    fs::remove(station / "hop.ini");
    WriteText(shared, "[hardware]\ngps_type = 0\n");
    fs::permissions(shared, fs::perms(0664));
    fs::path target = shared;
    for (auto link = c.links.rbegin(); link != c.links.rend(); ++link) {
      fs::create_symlink(link == c.links.rbegin() ? fs::path("../shared/device.ini") : fs::absolute(target), *link);
      target = *link;
    }
    ASSERT_EQ(WriteProfileValues(target, {{"hardware", "gps_type", "3"}}), 0) << c.name;
    for (const fs::path& link : c.links) EXPECT_TRUE(fs::is_symlink(link)) << c.name;
    EXPECT_EQ(LoadDeviceProfile(shared).gpsType, 3u) << c.name;
    EXPECT_EQ(static_cast<int>(fs::status(shared).permissions()), 0664) << c.name;
  }
}

TEST_F(DeviceTest, PortMapSetInCodeWinsOverTheProfile) {
  DeviceProfile profile;
  profile.ports["COM2:"] = "/dev/ttyACM0";
  SetCurrentDeviceProfile(profile);
  EXPECT_EQ(PortDevicePath("COM2:"), "/dev/ttyACM0");
  EXPECT_EQ(PortDevicePath("com2:"), "/dev/ttyACM0");
  EXPECT_FALSE(PortDevicePath("COM3:"));
  SetPortDevicePath("COM2:", "/dev/pts/7");
  EXPECT_EQ(PortDevicePath("COM2:"), "/dev/pts/7");
  ClearPortDevicePaths();
  EXPECT_EQ(PortDevicePath("COM2:"), "/dev/ttyACM0");
}

TEST_F(DeviceTest, DeviceControlSwitchesPowerAndAnswersTypes) {
  DeviceProfile profile;
  profile.gpsType = 3;
  profile.wwanType = 5;
  profile.powerFile = (m_Folder.Path() / "gps_power").string();
  SetCurrentDeviceProfile(profile);
  DeviceApiInit();

  std::vector<bool> seen;
  const int id = AddGpsPowerListener([&](bool on) { seen.push_back(on); });
  uint32_t value = 7;
  ASSERT_NE(DeviceApiGet(kDevApiGpsPower, 0, 0, 0, &value), 0);
  EXPECT_EQ(value, 0u);
  DeviceApiSet(kDevApiGpsPower, 0, 0, 1);
  EXPECT_TRUE(GpsPowerOn());
  ASSERT_NE(DeviceApiGet(kDevApiGpsPower, 0, 0, 0, &value), 0);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(ReadText(profile.powerFile), "1");
  DeviceApiSet(kDevApiGpsPower, 0, 0, 0);
  EXPECT_FALSE(GpsPowerOn());
  EXPECT_EQ(ReadText(profile.powerFile), "0");
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));

  RemoveGpsPowerListener(id);
  DeviceApiSet(kDevApiGpsPower, 0, 0, 1);
  EXPECT_EQ(seen.size(), 2u);

  ASSERT_NE(DeviceApiGet(kDevApiGpsHardwareType, 0, 0, 0, &value), 0);
  EXPECT_EQ(value, 3u);
  ASSERT_NE(DeviceApiGet(kDevApiWwanHardwareType, 0, 0, 0, &value), 0);
  EXPECT_EQ(value, 5u);
  value = 42;
  EXPECT_EQ(DeviceApiGet(0x00030017, 0, 0, 0, &value), 0);
  EXPECT_EQ(value, 42u);
  EXPECT_EQ(DeviceApiSet(0x00030016, 0, 0, 1), 0);
  DeviceApiDeinit();
}

TEST_F(DeviceTest, UnwritablePowerFileIsLoggedAndPowerStillSwitches) {
  DeviceProfile profile;
  profile.powerFile = (m_Folder.Path() / "missing" / "value").string();
  SetCurrentDeviceProfile(profile);
  DeviceApiSet(kDevApiGpsPower, 0, 0, 1);
  EXPECT_TRUE(GpsPowerOn());
  EXPECT_TRUE(m_Capture.Contains("Can't write the GPS power file"));
}

TEST_F(DeviceTest, ListenerMayRemoveItself) {
  int calls = 0;
  int id = 0;
  id = AddGpsPowerListener([&](bool) {
    ++calls;
    RemoveGpsPowerListener(id);
  });
  DeviceApiSet(kDevApiGpsPower, 0, 0, 1);
  DeviceApiSet(kDevApiGpsPower, 0, 0, 0);
  EXPECT_EQ(calls, 1);
}

}  // namespace
