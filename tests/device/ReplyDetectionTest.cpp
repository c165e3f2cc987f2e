// Recognition of the receivers' short replies: the matcher byte by byte, the
// UBX messages the device sends, and the parse thread dropping the batch that
// held the OEM615 prompt while a start-up waits (the test plays the receiver
// on a bare pseudo-terminal).

#include <algorithm>
#include <future>
#include <thread>

#include "DeviceTestSupport.h"
#include "device/ReplyMatcher.h"
#include "device/UbloxProtocol.h"
#include "sim/PseudoTerminal.h"

namespace device_test {
namespace {

using Outcome = CReplyMatcher::Outcome;

std::vector<Outcome> TakeAll(CReplyMatcher& matcher, const std::string& bytes, AwaitedReply awaited) {
  std::vector<Outcome> outcomes;
  for (char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    outcomes.push_back(matcher.Take(byte, matcher.NeedsAwaited(byte) ? awaited : AwaitedReply::None));
  }
  return outcomes;
}

class ReplyMatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { m_Capture.SetEcho(false); }
  platform::DebugCapture m_Capture;
  CReplyMatcher m_Matcher;
};

TEST_F(ReplyMatcherTest, PromptMatchesAtItsLastByteAndLogsEachComparedByte) {
  const auto outcomes = TakeAll(m_Matcher, "x[COM1]", AwaitedReply::Oem615Prompt);
  EXPECT_EQ(outcomes, (std::vector<Outcome>{Outcome::Ordinary, Outcome::Ordinary, Outcome::Consumed, Outcome::Consumed,
                                            Outcome::Consumed, Outcome::Consumed, Outcome::Matched}));
  EXPECT_EQ(m_Capture.Lines(), (std::vector<std::string>{"[43]", "[4f]", "[4d]", "[31]", "[5d]", ""}));
}

TEST_F(ReplyMatcherTest, OtherPortIsAMismatchAtItsFifthByte) {
  const auto outcomes = TakeAll(m_Matcher, "[COM2]", AwaitedReply::Oem615Prompt);
  // '[' stays in the batch, "COM2" is consumed, ']' is an ordinary byte again.
  EXPECT_EQ(outcomes, (std::vector<Outcome>{Outcome::Ordinary, Outcome::Consumed, Outcome::Consumed, Outcome::Consumed,
                                            Outcome::Consumed, Outcome::Ordinary}));
  const auto lines = m_Capture.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string()), 1);
}

TEST_F(ReplyMatcherTest, UbxAcknowledgementIgnoresItsSecondChecksumByte) {
  const std::string ack("\xB5\x62\x05\x01\x02\x00\x06\x04\x12", 9);
  const auto outcomes = TakeAll(m_Matcher, ack + "\x3B", AwaitedReply::UbxAck);
  EXPECT_EQ(outcomes[8], Outcome::Matched);
  EXPECT_EQ(outcomes[9], Outcome::Ordinary);
  // An acknowledgement of another message does not match.
  const std::string otherAck("\xB5\x62\x05\x01\x02\x00\x06\x00\x0E", 9);
  for (const auto outcome : TakeAll(m_Matcher, otherAck, AwaitedReply::UbxAck)) EXPECT_NE(outcome, Outcome::Matched);
}

TEST_F(ReplyMatcherTest, MarkersAreOrdinaryWhenNothingOrSomethingElseIsAwaited) {
  for (const auto outcome : TakeAll(m_Matcher, "[COM1]", AwaitedReply::None)) EXPECT_EQ(outcome, Outcome::Ordinary);
  for (const auto outcome : TakeAll(m_Matcher, "[COM1]", AwaitedReply::UbxAck)) EXPECT_EQ(outcome, Outcome::Ordinary);
  EXPECT_TRUE(m_Capture.Lines().empty());
}

TEST_F(ReplyMatcherTest, ComparisonGoesOnAcrossDrains) {
  TakeAll(m_Matcher, "[CO", AwaitedReply::Oem615Prompt);
  EXPECT_FALSE(m_Matcher.NeedsAwaited('['));  // still comparing
  const auto outcomes = TakeAll(m_Matcher, "M1]", AwaitedReply::None);
  EXPECT_EQ(outcomes.back(), Outcome::Matched);
}

TEST(UbxMessageTest, ColdStartIsTheTwelveByteCfgRst) {
  EXPECT_EQ(UbxColdStartMessage(),
            (std::vector<uint8_t>{0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0xFF, 0xFF, 0x02, 0x00, 0x0E, 0x61}));
}

TEST(UbxMessageTest, PortRateMessagesCarryTheirChecksums) {
  const std::vector<std::pair<int32_t, std::pair<uint8_t, uint8_t>>> expected = {
      {4800, {0xCF, 0xE4}},  {9600, {0xA2, 0xB5}},  {19200, {0x48, 0x57}},
      {38400, {0x93, 0x90}}, {57600, {0xDE, 0xC9}}, {115200, {0xC0, 0x7E}}};
  for (const auto& [rate, checksum] : expected) {
    const auto message = UbxPortRateMessage(rate);
    ASSERT_EQ(message.size(), 28u) << rate;
    EXPECT_EQ((std::vector<uint8_t>(message.begin(), message.begin() + 6)),
              (std::vector<uint8_t>{0xB5, 0x62, 0x06, 0x00, 0x14, 0x00}));
    EXPECT_EQ(message[26], checksum.first) << rate;
    EXPECT_EQ(message[27], checksum.second) << rate;
  }
  EXPECT_TRUE(UbxPortRateMessage(230400).empty());
}

// The test answers an OEM615 start-up on COM3: itself.
class PromptDetectionTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_TRUE(m_Terminal.Valid());
    platform::SetPortDevicePath(Oem615PortName, m_Terminal.SlavePath());
    ASSERT_EQ(m_Device.Create(Oem615PortName, 0, kGpsTypeOem615, 9600), 1);
    m_Device.AddListener(&m_Listener);
    m_Open = std::async(std::launch::async, [this] { return m_Device.Open(); });
    // The port is open once the first published batch can arrive: wait for its open line.
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!m_Capture.Contains("[Navlume] COM3: device open success!") &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    ASSERT_TRUE(m_Capture.Contains("[Navlume] COM3: device open success!")) << "the port never opened";
  }
  void TearDown() override {
    if (m_Open.valid()) m_Open.wait();
    m_Device.Close();
    DeviceTest::TearDown();
  }

  sim::PseudoTerminal m_Terminal;
  RecordingListener m_Listener;  // outlives the device that calls it
  CGPSDevice m_Device;
  std::future<int> m_Open;
};

TEST_F(PromptDetectionTest, BatchHoldingThePromptIsDropped) {
  ASSERT_TRUE(m_Terminal.WriteToSlave(Gga(1) + "[COM1]"));
  EXPECT_EQ(m_Open.get(), 1);
  EXPECT_FALSE(m_Capture.Contains("[GPSPort] ___ OEM615 module Init Response Fail"));
  EXPECT_TRUE(m_Capture.Contains("[GPSPort] ___ OEM615 module Init done"));
  for (const auto& raw : m_Listener.Raw()) EXPECT_EQ(raw.find("GPGGA"), std::string::npos);
  // The dropped fix never reached the parser: the next record has none.
  const std::string after = "$GPTXT,after\r\n";
  ASSERT_TRUE(m_Terminal.WriteToSlave(after));
  ASSERT_TRUE(m_Listener.WaitFor([&](const auto&, const auto& raw) { return RecordingListener::Joined(raw).ends_with(after); }));
  EXPECT_EQ(m_Listener.Records().back().fixQuality, 0u);
  EXPECT_EQ(m_Device.m_bFixed, 0);
}

TEST_F(PromptDetectionTest, OtherPortPromptIsAMismatch) {
  ASSERT_TRUE(m_Terminal.WriteToSlave("[COM2]\r\n"));
  ASSERT_TRUE(m_Listener.WaitForRaw("[]\r\n"));
  EXPECT_EQ(m_Open.get(), 1);
  EXPECT_TRUE(m_Capture.Contains("[GPSPort] ___ OEM615 module Init Response Fail"));
  // A silent receiver costs every command its wait, and the list still ends.
  EXPECT_EQ(m_Capture.Count("[GPSPort] ___ OEM615 module Command Response Fail"), 17u);
  EXPECT_TRUE(m_Capture.Contains("[GPSPort] ___ OEM615 module Init done"));
}

}  // namespace
}  // namespace device_test
