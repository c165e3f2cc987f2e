#pragma once
// Shared pieces of the device suites: a fresh device root with the trace
// captured quietly and a headless user interface, a time scale that makes
// the system's seconds short, a listener that keeps what it hears, and
// helpers for the far end of a pseudo-terminal.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "nmea/NmeaParser.h"
#include "platform/Debug.h"
#include "platform/DeviceApi.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"
#include "sim/NmeaSentences.h"
#include "support/TempFolder.h"
#include "support/TestTime.h"

namespace device_test {

// Real time allowed for anything a test waits for; far beyond what it needs.
constexpr auto kPatience = std::chrono::seconds(20);
constexpr double kDeviceTestScale = 0.02;
constexpr uint32_t kPatienceMs = static_cast<uint32_t>(20'000 / kDeviceTestScale);  // kPatience in scaled ms

using navlume_test::ReadText;
using navlume_test::TempFolder;

inline std::string Gga(int quality, const std::string& time = "123519") {
  return sim::NmeaSentence("GPGGA," + time + ",4916.45,N,12311.12,W," + std::to_string(quality) + ",08,0.9,70.0,M,-17.0,M,,");
}

// Reads from `fd` until `done(text)` holds or patience runs out; returns what was read.
inline std::string ReadUntil(int fd, const std::function<bool(const std::string&)>& done) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!done(text) && std::chrono::steady_clock::now() < deadline) {
    pollfd in{fd, POLLIN, 0};
    if (::poll(&in, 1, 50) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// Keeps every record and the raw text published with it.
class RecordingListener : public CGPSListener {
 public:
  void OnGPSData(CGPSDevice* device, GpsPosition record) override {
    std::string raw = device->CopyRawText();
    std::lock_guard lock(m_Mutex);
    m_Records.push_back(record);
    m_Raw.push_back(std::move(raw));
    m_Changed.notify_all();
  }

  // Waits until `condition` holds over the records and raw texts so far.
  bool WaitFor(const std::function<bool(const std::vector<GpsPosition>&, const std::vector<std::string>&)>& condition) {
    std::unique_lock lock(m_Mutex);
    return m_Changed.wait_for(lock, kPatience, [&] { return condition(m_Records, m_Raw); });
  }
  bool WaitForRaw(const std::string& expected) {
    return WaitFor([&](const auto&, const auto& raw) { return Joined(raw) == expected; });
  }

  std::vector<GpsPosition> Records() const {
    std::lock_guard lock(m_Mutex);
    return m_Records;
  }
  std::vector<std::string> Raw() const {
    std::lock_guard lock(m_Mutex);
    return m_Raw;
  }
  size_t Count() const {
    std::lock_guard lock(m_Mutex);
    return m_Records.size();
  }

  static std::string Joined(const std::vector<std::string>& raw) {
    std::string all;
    for (const auto& text : raw) all += text;
    return all;
  }

 private:
  mutable std::mutex m_Mutex;
  std::condition_variable m_Changed;
  std::vector<GpsPosition> m_Records;
  std::vector<std::string> m_Raw;
};

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Capture.SetEcho(false);
    ResetPortNames();
    platform::ClearPortDevicePaths();
    platform::ResetGpsPower();
    ASSERT_TRUE(platform::SetDeviceRoot(m_Root.Path()));
    m_Ui.SetQuiet(true);
    platform::SetUserInterface(&m_Ui);
  }
  void TearDown() override {
    platform::SetUserInterface(nullptr);
    platform::ClearPortDevicePaths();
    ResetPortNames();
  }

  std::filesystem::path LogFile(const std::string& name) const {
    return m_Root.Path() / "files" / "Temp" / ("NMEADATA_" + name + ".LOG");
  }

  navlume_test::TestTimeScale m_Scale{kDeviceTestScale};
  TempFolder m_Root;
  platform::DebugCapture m_Capture;
  platform::HeadlessUserInterface m_Ui;
};

}  // namespace device_test
