// Settings page options in a real registry file and the log path shown.

#include <gtest/gtest.h>

#include "app/pages/logic/SettingsOptions.h"
#include "prodtest/DeviceRootFixture.h"

namespace {

class SettingsOptionsTest : public navlume_test::DeviceRootTest {};

TEST_F(SettingsOptionsTest, MissingOrMalformedValueReadsZero) {
  EXPECT_EQ(ReadRilOption(kSaveNmeaDataValue), 0u);
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::RegRoot::LocalMachine, kRilRegistryKey, key), platform::kRegSuccess);
  platform::RegSetString(key, kExportToUartValue, "1");
  platform::RegCloseKey(key);
  EXPECT_EQ(ReadRilOption(kExportToUartValue), 0u);
  SetRilDword("ExtGpsTestMode", 1);
  EXPECT_EQ(ReadRilOption(kExtGpsTestModeValue), 1u);
}

TEST_F(SettingsOptionsTest, WrittenValuesAreSaved) {
  WriteRilOption(kStartOptionsValue, kStartOptionDirectAccess);
  WriteRilOption(kExportToUartValue, 0);
  EXPECT_TRUE(SavedRilDwordIs("StartOptions", 1));
  EXPECT_TRUE(SavedRilDwordIs("ExportToUart", 0));
}

TEST_F(SettingsOptionsTest, LogPathIsOnTheCardOnlyWhenItsFileOpens) {
  EXPECT_EQ(ProbeLogPath(), "\\Temp\\NMEADATA.LOG");
  std::filesystem::create_directories(Root() / "files/Storage Card");
  EXPECT_EQ(ProbeLogPath(), "\\Temp\\NMEADATA.LOG");
  WriteFile("files/Storage Card/NMEADATA.LOG", "");
  EXPECT_EQ(ProbeLogPath(), "\\Storage Card\\NMEADATA.LOG");
}

}  // namespace
