#pragma once
// A fresh device root per test: device profile, registry file and handheld
// files in a temporary folder, the program-wide port names at their defaults,
// and the trace captured quietly.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "device/PortNames.h"
#include "platform/DeviceRoot.h"
#include "platform/Debug.h"
#include "platform/Registry.h"
#include "platform/UserInterface.h"
#include "prodtest/RegGetDword.h"
#include "support/TempFolder.h"

namespace navlume_test {

constexpr const char* kCardFile = "files/Storage Card/Navlume.ini";
constexpr const char* kRootFile = "files/Navlume.ini";

class DeviceRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Capture.SetEcho(false);
    ResetPortNames();
    ASSERT_TRUE(platform::SetDeviceRoot(m_Dir.Path()));
  }
  void TearDown() override {
    platform::SetUserInterface(nullptr);
    ResetPortNames();
  }

  const std::filesystem::path& Root() const { return m_Dir.Path(); }

  // Rewrites the device profile with these hardware types and reloads the root.
  void Hardware(uint32_t gpsType, uint32_t wwanType) {
    std::ofstream(Root() / "device.ini") << "[hardware]\ngps_type = " << gpsType << "\nwwan_type = " << wwanType << "\n";
    ASSERT_TRUE(platform::SetDeviceRoot(Root()));
  }

  void WriteFile(const std::string& relative, const std::string& bytes) { WriteText(Root() / relative, bytes); }

  void SetRilDword(const std::string& name, uint32_t value) {
    platform::RegKey key;
    ASSERT_EQ(platform::RegCreateKey(platform::RegRoot::LocalMachine, kRilRegistryKey, key), platform::kRegSuccess);
    ASSERT_EQ(platform::RegSetDword(key, name, value), platform::kRegSuccess);
    platform::RegCloseKey(key);
  }

  // The value as a fresh start would see it: the registry file is read again.
  bool SavedRilDword(const std::string& name, uint32_t& value) {
    platform::OpenRegistryFile(Root() / "registry.reg");
    return RegGetDword(platform::RegRoot::LocalMachine, kRilRegistryKey, name, &value) == 1;
  }
  ::testing::AssertionResult SavedRilDwordIs(const std::string& name, uint32_t expected) {
    uint32_t value = 0;
    if (!SavedRilDword(name, value)) return ::testing::AssertionFailure() << name << " is not saved";
    if (value != expected) return ::testing::AssertionFailure() << name << " is saved as " << value << ", not " << expected;
    return ::testing::AssertionSuccess();
  }

  TempFolder m_Dir;
  platform::DebugCapture m_Capture;
};

}  // namespace navlume_test
