// Receiver start-ups against the simulated u-blox 7 and OEM615 on
// pseudo-terminals: what the receiver records is what it was sent, at the
// line rate it was listening on (a wrong rate garbles the commands).

#include <cstring>
#include <future>
#include <thread>

#include "DeviceTestSupport.h"
#include "device/Oem615Protocol.h"
#include "device/UbloxProtocol.h"
#include "sim/Oem615Receiver.h"
#include "sim/PseudoTerminal.h"
#include "sim/UbloxReceiver.h"

namespace device_test {
namespace {

sim::Scenario QuickFix() {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.ttff = 2;
  return scenario;
}

std::vector<std::string> LogCommandLines() {
  std::vector<std::string> lines;
  for (const char* command : kOem615LogCommands) lines.emplace_back(command, std::strlen(command) - 1);
  return lines;
}

bool HasFix(const std::vector<GpsPosition>& records) {
  return !records.empty() && records.back().fixQuality == 1;
}

class UbloxTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_TRUE(m_Receiver.Start());
    platform::SetPortDevicePath(UbloxPortName, m_Receiver.SlavePath());
  }

  sim::CUbloxReceiver m_Receiver{QuickFix()};
  RecordingListener m_Listener;  // outlives the device that calls it
  CGPSDevice m_Device;
};

TEST_F(UbloxTest, At9600NoRateChangeIsSentAndFixesArrive) {
  ASSERT_EQ(m_Device.Create(UbloxPortName, 0, kGpsTypeUblox, 9600), 1);
  ASSERT_EQ(m_Device.Open(), 1);
  m_Device.AddListener(&m_Listener);
  ASSERT_TRUE(m_Listener.WaitFor([](const auto& records, const auto&) { return HasFix(records); }));
  EXPECT_TRUE(m_Receiver.Recording().Commands().empty());
  EXPECT_EQ(m_Device.m_bFixed, 1);
}

TEST_F(UbloxTest, At115200OnePortMessageIsSentThenTheStreamIsClean) {
  ASSERT_EQ(m_Device.Create(UbloxPortName, 0, kGpsTypeUblox, 115200), 1);
  ASSERT_EQ(m_Device.Open(), 1);
  m_Device.AddListener(&m_Listener);
  ASSERT_TRUE(m_Listener.WaitFor([](const auto& records, const auto&) { return HasFix(records); }));
  EXPECT_EQ(m_Receiver.Recording().Commands(), std::vector<std::string>{"CFG-PRT 115200"});
  EXPECT_EQ(m_Receiver.BaudRate(), 115200u);
}

TEST_F(UbloxTest, ColdStartAcknowledgedAtOnceSendsOneReset) {
  m_Device.m_bColdStart = 1;
  ASSERT_EQ(m_Device.Create(UbloxPortName, 0, kGpsTypeUblox, 9600), 1);
  ASSERT_EQ(m_Device.Open(), 1);
  EXPECT_EQ(m_Receiver.Recording().Commands(), std::vector<std::string>{"CFG-RST"});
  EXPECT_EQ(m_Capture.Count("[GPSPort] ___ Sent UBX module cold start"), 1u);
  EXPECT_TRUE(m_Capture.Contains("[GPSPort] ___ UBX module cold start done"));
}

TEST_F(UbloxTest, ColdStartIsOnlyForTheUbloxType) {
  m_Device.m_bColdStart = 1;
  ASSERT_EQ(m_Device.Create(UbloxPortName, 0, kGpsTypeAgps, 9600), 1);
  ASSERT_EQ(m_Device.Open(), 1);
  EXPECT_FALSE(m_Capture.Contains("Sent UBX module cold start"));
}

TEST_F(UbloxTest, VanishedReceiverIsTriedElevenTimes) {
  m_Receiver.Vanish();
  ASSERT_EQ(m_Device.Create(UbloxPortName, 0, kGpsTypeUblox, 9600), 1);
  EXPECT_EQ(m_Device.Open(), 0);
  EXPECT_EQ(m_Capture.Count("CSerial::Open - Unable to open port"), 11u);
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Can't activate COM2: devices"});
}

// A u-blox that never acknowledges, played by the test on a bare terminal.
class SilentUbloxTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_TRUE(m_Terminal.Valid());
    platform::SetPortDevicePath(UbloxPortName, m_Terminal.SlavePath());
    m_Device.m_bColdStart = 1;
    ASSERT_EQ(m_Device.Create(UbloxPortName, 0, kGpsTypeUblox, 9600), 1);
  }

  size_t ResetsIn(const std::string& bytes) const {
    const std::vector<uint8_t> reset = UbxColdStartMessage();
    const std::string pattern(reset.begin(), reset.end());
    size_t count = 0;
    for (size_t at = bytes.find(pattern); at != std::string::npos; at = bytes.find(pattern, at + 1)) ++count;
    return count;
  }

  sim::PseudoTerminal m_Terminal;
  CGPSDevice m_Device;
};

TEST_F(SilentUbloxTest, ColdStartNeverAcknowledgedSendsFiveResets) {
  const uint64_t start = platform::ScaledNowMs();
  EXPECT_EQ(m_Device.Open(), 1);  // an unanswered cold start does not fail Open
  EXPECT_GE(platform::ScaledNowMs() - start, 5u * 2000u);
  const std::string sent = ReadUntil(m_Terminal.MasterFd(), [this](const std::string& text) { return ResetsIn(text) >= 5; });
  EXPECT_EQ(sent.size(), 5u * 12u);
  EXPECT_EQ(ResetsIn(sent), 5u);
  EXPECT_FALSE(m_Capture.Contains("cold start done"));
}

TEST_F(SilentUbloxTest, CloseDuringTheColdStartEndsTheStartUp) {
  auto open = std::async(std::launch::async, [this] { return m_Device.Open(); });
  ReadUntil(m_Terminal.MasterFd(), [this](const std::string& text) { return ResetsIn(text) >= 1; });
  m_Device.Close();
  EXPECT_EQ(open.get(), 0);
  EXPECT_EQ(m_Device.m_State, kDeviceClosed);
  EXPECT_TRUE(m_Ui.MessageBoxes().empty());
}

class Oem615Test : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_TRUE(m_Receiver.Start());
    platform::SetPortDevicePath(Oem615PortName, m_Receiver.SlavePath());
  }

  std::string Received() { return m_Receiver.Recording().Bytes(); }

  sim::COem615Receiver m_Receiver{QuickFix()};
  RecordingListener m_Listener;  // outlives the device that calls it
  CGPSDevice m_Device;
};

TEST_F(Oem615Test, At9600TheSeventeenLogCommandsAreSentInOrder) {
  ASSERT_EQ(m_Device.Create(Oem615PortName, 0, kGpsTypeOem615, 9600), 1);
  ASSERT_EQ(m_Device.Open(), 1);
  // Open may return before the receiver took the last command (its prompt wait can end first).
  m_Receiver.Recording().WaitForCommands(LogCommandLines().size(), kPatienceMs);
  EXPECT_EQ(m_Receiver.Recording().Commands(), LogCommandLines());
  EXPECT_EQ(Received().find("serialconfig"), std::string::npos);
  EXPECT_TRUE(m_Capture.Contains("[GPSPort] ___ OEM615 module Init done"));
  m_Device.AddListener(&m_Listener);
  ASSERT_TRUE(m_Listener.WaitFor([](const auto& records, const auto&) { return HasFix(records); }));
}

TEST_F(Oem615Test, At115200SerialconfigGoesFirstAtTheFactoryRate) {
  ASSERT_EQ(m_Device.Create(Oem615PortName, 0, kGpsTypeOem615, 115200), 1);
  ASSERT_EQ(m_Device.Open(), 1);
  std::vector<std::string> expected{"serialconfig com1 115200 n 8 1 n"};
  for (const auto& line : LogCommandLines()) expected.push_back(line);
  m_Receiver.Recording().WaitForCommands(expected.size(), kPatienceMs);
  EXPECT_EQ(m_Receiver.Recording().Commands(), expected);
  EXPECT_EQ(Received().rfind(std::string("serialconfig com1 115200 n 8 1 n\n\0", 34), 0), 0u);
  EXPECT_EQ(m_Receiver.BaudRate(), 115200u);
}

TEST_F(Oem615Test, ColdStartResetsThenConfiguresAt9600) {
  m_Device.m_bColdStart = 1;
  ASSERT_EQ(m_Device.Create(Oem615PortName, 0, kGpsTypeOem615, 115200), 1);
  ASSERT_EQ(m_Device.Open(), 1);
  std::vector<std::string> expected{"serialconfig com1 115200 n 8 1 n", "freset"};
  for (const auto& line : LogCommandLines()) expected.push_back(line);
  m_Receiver.Recording().WaitForCommands(expected.size(), kPatienceMs);
  EXPECT_EQ(m_Receiver.Recording().Commands(), expected);
  EXPECT_NE(Received().find(std::string("freset\n\0", 8)), std::string::npos);
  EXPECT_EQ(m_Receiver.BaudRate(), 9600u);
  EXPECT_TRUE(m_Capture.Contains("[GPSPort] ___ OEM615 module cold start done"));
}

TEST_F(Oem615Test, CloseDuringTheCommandSequenceEndsTheStartUp) {
  ASSERT_EQ(m_Device.Create(Oem615PortName, 0, kGpsTypeOem615, 9600), 1);
  auto open = std::async(std::launch::async, [this] { return m_Device.Open(); });
  ASSERT_TRUE(m_Receiver.Recording().WaitForCommands(3, kPatienceMs));
  m_Device.Close();
  EXPECT_EQ(open.get(), 0);
  EXPECT_EQ(m_Device.m_State, kDeviceClosed);
  EXPECT_LT(m_Receiver.Recording().Commands().size(), LogCommandLines().size());
  EXPECT_TRUE(m_Ui.MessageBoxes().empty());
}

TEST_F(Oem615Test, ClosePortSwitchesTheOem615Off) {
  ASSERT_EQ(m_Device.Create(Oem615PortName, 0, kGpsTypeOem615, 9600), 1);
  ASSERT_EQ(m_Device.Open(), 1);
  EXPECT_TRUE(platform::GpsPowerOn());
  m_Device.ClosePort();
  EXPECT_FALSE(platform::GpsPowerOn());
  EXPECT_EQ(m_Device.m_State, kDevicePortClosed);
}

}  // namespace
}  // namespace device_test
