// Power and backlight timeouts on the real registry file of a temporary root.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "app/PowerTimeouts.h"
#include "platform/Debug.h"
#include "platform/DeviceRoot.h"
#include "platform/Event.h"
#include "platform/Registry.h"
#include "support/TempFolder.h"

namespace {

using platform::RegRoot;

constexpr const char* kBackLight = "ControlPanel\\BackLight";
constexpr const char* kTimeouts = "SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts";

class PowerTimeoutsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Capture.SetEcho(false);
    ResetPowerTimeouts();
    ASSERT_TRUE(platform::SetDeviceRoot(m_Root.Path()));
  }
  void TearDown() override { ResetPowerTimeouts(); }

  static void Set(RegRoot root, const char* key, const char* name, uint32_t value) {
    platform::RegKey handle;
    ASSERT_EQ(platform::RegCreateKey(root, key, handle), platform::kRegSuccess);
    ASSERT_EQ(platform::RegSetDword(handle, name, value), platform::kRegSuccess);
    platform::RegCloseKey(handle);
  }
  // As a fresh start reads it from the file.
  std::optional<uint32_t> Saved(RegRoot root, const char* key, const char* name) {
    platform::OpenRegistryFile(m_Root.Path() / "registry.reg");
    platform::RegKey handle;
    if (platform::RegOpenKey(root, key, handle) != platform::kRegSuccess) return std::nullopt;
    uint32_t value = 0;
    uint32_t size = sizeof value;
    const long result = platform::RegQueryValue(handle, name, nullptr, &value, size);
    platform::RegCloseKey(handle);
    return result == platform::kRegSuccess ? std::optional<uint32_t>(value) : std::nullopt;
  }
  void SeedAll() {
    Set(RegRoot::CurrentUser, kBackLight, "BatteryTimeout", 30);
    Set(RegRoot::CurrentUser, kBackLight, "ACTimeout", 60);
    Set(RegRoot::LocalMachine, kTimeouts, "BattSuspendTimeout", 120);
    Set(RegRoot::LocalMachine, kTimeouts, "ACSuspendTimeout", 600);
  }
  void ExpectValues(uint32_t battery, uint32_t ac, uint32_t battSuspend, uint32_t acSuspend) {
    EXPECT_EQ(Saved(RegRoot::CurrentUser, kBackLight, "BatteryTimeout"), battery);
    EXPECT_EQ(Saved(RegRoot::CurrentUser, kBackLight, "ACTimeout"), ac);
    EXPECT_EQ(Saved(RegRoot::LocalMachine, kTimeouts, "BattSuspendTimeout"), battSuspend);
    EXPECT_EQ(Saved(RegRoot::LocalMachine, kTimeouts, "ACSuspendTimeout"), acSuspend);
  }

  navlume_test::TempFolder m_Root;
  platform::DebugCapture m_Capture;
};

TEST_F(PowerTimeoutsTest, SaveZeroesAllFourAndRestoreBringsThemBack) {
  SeedAll();
  const auto reload = platform::CreateNamedEvent("PowerManager/ReloadActivityTimeouts");
  ASSERT_TRUE(SetPowerTimeouts(true));
  ExpectValues(0, 0, 0, 0);
  EXPECT_TRUE(reload->Wait(0));
  ASSERT_TRUE(SetPowerTimeouts(false));
  ExpectValues(30, 60, 120, 600);
  EXPECT_TRUE(reload->Wait(0));
}

TEST_F(PowerTimeoutsTest, MissingReloadEventIsNoFailure) {
  SeedAll();
  EXPECT_TRUE(SetPowerTimeouts(true));
  EXPECT_TRUE(SetPowerTimeouts(false));
}

TEST_F(PowerTimeoutsTest, MissingBatteryTimeoutFailsSaveAndTouchesNothing) {
  Set(RegRoot::CurrentUser, kBackLight, "ACTimeout", 60);
  Set(RegRoot::LocalMachine, kTimeouts, "BattSuspendTimeout", 120);
  Set(RegRoot::LocalMachine, kTimeouts, "ACSuspendTimeout", 600);
  EXPECT_FALSE(SetPowerTimeouts(true));
  EXPECT_TRUE(m_Capture.Contains("[Navlume] Can't open ControlPanel\\BackLight\\BatteryTimeout registry key!"));
  EXPECT_TRUE(SetPowerTimeouts(false));
  EXPECT_EQ(Saved(RegRoot::CurrentUser, kBackLight, "BatteryTimeout"), std::nullopt);
  EXPECT_EQ(Saved(RegRoot::CurrentUser, kBackLight, "ACTimeout"), 60u);
  EXPECT_EQ(Saved(RegRoot::LocalMachine, kTimeouts, "BattSuspendTimeout"), 120u);
  EXPECT_EQ(Saved(RegRoot::LocalMachine, kTimeouts, "ACSuspendTimeout"), 600u);
}

TEST_F(PowerTimeoutsTest, RestoreAfterPartialSaveWritesOnlyWhatWasSaved) {
  Set(RegRoot::CurrentUser, kBackLight, "BatteryTimeout", 30);
  Set(RegRoot::CurrentUser, kBackLight, "ACTimeout", 60);
  Set(RegRoot::LocalMachine, kTimeouts, "ACSuspendTimeout", 600);  // no BattSuspendTimeout
  EXPECT_FALSE(SetPowerTimeouts(true));
  EXPECT_TRUE(m_Capture.Contains(
      "[Navlume] Can't open SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts\\BattSuspendTimeout registry key!"));
  EXPECT_EQ(Saved(RegRoot::CurrentUser, kBackLight, "BatteryTimeout"), 0u);
  EXPECT_TRUE(SetPowerTimeouts(false));
  EXPECT_EQ(Saved(RegRoot::CurrentUser, kBackLight, "BatteryTimeout"), 30u);
  EXPECT_EQ(Saved(RegRoot::CurrentUser, kBackLight, "ACTimeout"), 60u);
  EXPECT_EQ(Saved(RegRoot::LocalMachine, kTimeouts, "BattSuspendTimeout"), std::nullopt);
  EXPECT_EQ(Saved(RegRoot::LocalMachine, kTimeouts, "ACSuspendTimeout"), 600u);  // never zeroed for good
}

TEST_F(PowerTimeoutsTest, MissingBackLightKeyFailsAtTheStart) {
  EXPECT_FALSE(SetPowerTimeouts(true));
  EXPECT_TRUE(m_Capture.Contains("[Navlume] Can't open ControlPanel\\BackLight registry key!"));
}

}  // namespace
