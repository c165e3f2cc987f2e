// CPortConf::SetRegistryKey: receiver options between the registry and a device.

#include <string>

#include "device/GPSDevice.h"
#include "prodtest/DeviceRootFixture.h"
#include "prodtest/PortConf.h"

namespace {

class SetRegistryKeyTest : public navlume_test::DeviceRootTest {
 protected:
  CPortConf m_Conf;
  CGPSDevice m_Device;
};

TEST_F(SetRegistryKeyTest, NormalModeLoadsTheOptions) {
  SetRilDword("SaveNMEAData", 1);
  SetRilDword("ExportToUart", 0);
  SetRilDword("ExtGpsTestMode", 7);
  m_Device.m_bExportToUart = 1;
  m_Conf.SetRegistryKey(m_Device, 0);
  EXPECT_EQ(m_Device.m_bSaveNMEAData, 1);
  EXPECT_EQ(m_Device.m_bExportToUart, 0);
  EXPECT_EQ(m_Device.m_bColdStart, 1);
  EXPECT_TRUE(SavedRilDwordIs("EnableGPSPort", 1));
  EXPECT_TRUE(SavedRilDwordIs("ExtGpsTestMode", 7));
}

TEST_F(SetRegistryKeyTest, MissingValuesLeaveTheOptions) {
  SetRilDword("StartOptions", 1);
  m_Device.m_bSaveNMEAData = 1;
  m_Device.m_bColdStart = 1;
  m_Conf.SetRegistryKey(m_Device, 0);
  EXPECT_EQ(m_Device.m_bSaveNMEAData, 1);
  EXPECT_EQ(m_Device.m_bExportToUart, 0);
  EXPECT_EQ(m_Device.m_bColdStart, 1);
}

TEST_F(SetRegistryKeyTest, ValuesThatAreNotFourBytesAreIgnored) {
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::RegRoot::LocalMachine, kRilRegistryKey, key), platform::kRegSuccess);
  platform::RegSetString(key, "SaveNMEAData", "1");
  platform::RegCloseKey(key);
  m_Conf.SetRegistryKey(m_Device, 0);
  EXPECT_EQ(m_Device.m_bSaveNMEAData, 0);
}

TEST_F(SetRegistryKeyTest, ProductionModeForcesAndKeepsColdStart) {
  SetRilDword("ExtGpsTestMode", 0);
  SetRilDword("ExportToUart", 1);
  m_Conf.SetRegistryKey(m_Device, 1);
  EXPECT_EQ(m_Device.m_bColdStart, 1);
  EXPECT_EQ(m_Device.m_bExportToUart, 1);
  EXPECT_TRUE(SavedRilDwordIs("ExtGpsTestMode", 1));
  EXPECT_TRUE(SavedRilDwordIs("EnableGPSPort", 1));
}

TEST_F(SetRegistryKeyTest, UnopenableKeyLeavesTheDeviceFlags) {
  m_Device.m_bSaveNMEAData = 1;
  m_Device.m_bColdStart = 1;
  m_Conf.SetRegistryKey(m_Device, 1);
  EXPECT_EQ(m_Device.m_bSaveNMEAData, 1);
  EXPECT_EQ(m_Device.m_bExportToUart, 0);
  EXPECT_EQ(m_Device.m_bColdStart, 1);
  EXPECT_TRUE(m_Capture.Contains("[Navlume]CPortConf::SetRegistryKey : Can't open registry key!"));
  EXPECT_FALSE(m_Capture.Contains("key!\\r"));  // the line ends there, not in a backslash and r
  EXPECT_TRUE(m_Capture.Contains("ERROR: PortConfRegistry.cpp line "));
  uint32_t value = 0;
  EXPECT_FALSE(SavedRilDword("EnableGPSPort", value));
}

TEST_F(SetRegistryKeyTest, FailedWritesAreLoggedAndTheOptionsStillRead) {
  SetRilDword("SaveNMEAData", 1);
  // Every save takes a lock on "<file>.lock"; a folder in its place makes every save fail.
  std::filesystem::remove(Root() / "registry.reg.lock");
  std::filesystem::create_directory(Root() / "registry.reg.lock");
  m_Conf.SetRegistryKey(m_Device, 1);
  EXPECT_EQ(m_Capture.Count("[Navlume]CPortConf::SetRegistryKey : Can't set registry key!"), 2u);
  EXPECT_FALSE(m_Capture.Contains("key!\\r"));
  EXPECT_EQ(m_Device.m_bSaveNMEAData, 1);
  EXPECT_EQ(m_Device.m_bColdStart, 1);
}

}  // namespace
