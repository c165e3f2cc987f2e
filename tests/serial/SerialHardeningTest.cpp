// CSerial on a pseudo-terminal where its owner and its reader thread meet:
// blocking reads racing the reader, masks changed while the reader waits,
// a queue nobody drains, and a port whose owner only writes.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/Debug.h"
#include "platform/DeviceProfile.h"
#include "platform/Event.h"
#include "platform/Time.h"
#include "serial/Serial.h"
#include "sim/PseudoTerminal.h"

namespace {

constexpr const char* kPort = "COM7:";
constexpr uint32_t kPatience = 50000;  // system ms: 5 s of real time at the test scale

bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + platform::ScaledDuration(kPatience);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::SleepMs(10);
  }
  return true;
}

std::string Drain(CSerial& serial) {
  std::string text;
  uint8_t byte = 0;
  while (serial.Queue().Get(byte)) text.push_back(static_cast<char>(byte));
  return text;
}

class SerialHardeningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Capture.SetEcho(false);
    ASSERT_TRUE(m_Pty.Valid());
    platform::SetPortDevicePath(kPort, m_Pty.SlavePath());
  }
  void TearDown() override { platform::ClearPortDevicePaths(); }

  void WriteMaster(const std::string& text) { ASSERT_TRUE(m_Pty.WriteToSlave(text)); }

  platform::ScopedTimeScale m_Scale{0.1};
  platform::DebugCapture m_Capture;
  sim::PseudoTerminal m_Pty;
  platform::Event m_Notify;
};

TEST_F(SerialHardeningTest, BlockingReadWaitsOnWhenTheReaderThreadTakesTheBytes) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);  // its reader thread competes for every byte
  std::atomic<bool> done{false};
  std::thread far([&] {
    while (!done) {
      if (!m_Pty.WriteToSlave("x")) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int i = 0; i < 200; ++i) {
    char buffer[8];
    uint32_t n = 0;
    EXPECT_EQ(serial.Read(buffer, sizeof buffer, &n), 0u);
    EXPECT_GE(n, 1u) << "read " << i << " came back empty before its time-out";
  }
  done = true;
  far.join();
}

TEST_F(SerialHardeningTest, ReceptionFollowsTheOwnersMaskAndResumesWhenItIsSetBack) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  ASSERT_EQ(serial.SetMask(kEvBreak | kEvErr), 0u);  // no receive event
  const std::string masked = "$GPGGA,masked\r\n";
  WriteMaster(masked);
  EXPECT_FALSE(m_Notify.Wait(500));  // 50 ms in which nothing is received
  EXPECT_EQ(m_Pty.PendingInput(), masked.size());
  ASSERT_EQ(serial.SetMask(kEvRxChar | kEvBreak | kEvErr), 0u);
  WriteMaster("$GPRMC,unmasked\r\n");
  std::string received;
  EXPECT_TRUE(WaitUntil([&] { return (received += Drain(serial)) == "$GPGGA,masked\r\n$GPRMC,unmasked\r\n"; }))
      << received;
  EXPECT_EQ(serial.Close(), 0u);
}

TEST_F(SerialHardeningTest, AFullQueueLogsOncePerOverflowAndItsCountWhenItEnds) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  const std::string first(5000, 'a');
  const std::string second(3000, 'b');
  WriteMaster(first);
  WriteMaster(second);
  const uint64_t dropped = first.size() + second.size() - RxQueue::kSize;
  ASSERT_TRUE(WaitUntil([&] { return serial.DroppedBytes() == dropped; }));
  EXPECT_EQ(m_Capture.Count("[COM7:]SerialThread - receive queue full"), 1u);
  EXPECT_FALSE(m_Capture.Contains("overflow ended"));

  EXPECT_EQ(Drain(serial), first.substr(0, RxQueue::kSize));
  WriteMaster("$GPRMC\r\n");
  ASSERT_TRUE(m_Notify.Wait(kPatience));
  EXPECT_TRUE(m_Capture.Contains("[COM7:]SerialThread - receive queue overflow ended, " + std::to_string(dropped) +
                                 " bytes dropped"));
  EXPECT_EQ(m_Capture.Count("[COM7:]SerialThread - receive queue full"), 1u);
}

TEST_F(SerialHardeningTest, APortWhoseOwnerOnlyWritesDiscardsWhatItReceives) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, nullptr, 0, 0, false, DiscardingSerialThread), 0u);
  for (int i = 0; i < 4; ++i) WriteMaster(std::string(RxQueue::kSize, 'e') + "\r\n");  // a far end that echoes
  ASSERT_TRUE(WaitUntil([&] { return m_Pty.PendingInput() == 0; }));
  EXPECT_EQ(serial.Queue().Count(), 0u);
  EXPECT_EQ(serial.DroppedBytes(), 0u);
  EXPECT_FALSE(m_Capture.Contains("receive queue"));
  EXPECT_EQ(serial.Write("$GPGGA\r\n", 8), 0u);
}

}  // namespace
