#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Debug.h"
#include "platform/DeviceProfile.h"
#include "platform/Event.h"
#include "platform/Time.h"
#include "serial/Serial.h"
#include "sim/PseudoTerminal.h"
#include "support/TestTime.h"

namespace {

constexpr const char* kPort = "COM7:";
constexpr uint32_t kPatience = 50000;  // system ms: 5 s of real time at the test scale

size_t CountEntries(const char* folder) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

bool WaitUntil(const std::function<bool()>& condition, uint32_t ms = kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + platform::ScaledDuration(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::SleepMs(10);
  }
  return true;
}

class SerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Capture.SetEcho(false);
    ASSERT_TRUE(m_Pty->Valid());
    platform::SetPortDevicePath(kPort, m_Pty->SlavePath());
  }
  void TearDown() override { platform::ClearPortDevicePaths(); }

  void WriteMaster(const std::string& text) { ASSERT_TRUE(m_Pty->WriteToSlave(text)); }

  std::string ReadMaster(size_t count) {
    std::string text;
    char buffer[256];
    pollfd master{m_Pty->MasterFd(), POLLIN, 0};
    while (text.size() < count && poll(&master, 1, 5000) > 0) {
      const ssize_t n = read(m_Pty->MasterFd(), buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
    }
    return text;
  }

  termios LineSettings() {
    termios t{};
    EXPECT_EQ(tcgetattr(m_Pty->MasterFd(), &t), 0);
    return t;
  }

  static std::string Drain(CSerial& serial) {
    std::string text;
    uint8_t byte = 0;
    while (serial.Queue().Get(byte)) text.push_back(static_cast<char>(byte));
    return text;
  }

  navlume_test::TestTimeScale m_Scale{0.1};
  platform::DebugCapture m_Capture;
  std::unique_ptr<sim::PseudoTerminal> m_Pty = std::make_unique<sim::PseudoTerminal>();
  platform::Event m_Notify;
};

TEST_F(SerialTest, OpenReceivesLinesAndWrites) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  EXPECT_TRUE(serial.IsOpen());
  EXPECT_EQ(serial.PortName(), kPort);
  EXPECT_TRUE(m_Capture.Contains("CSerial::Open - COM7: port opened"));
  ASSERT_TRUE(WaitUntil([&] { return m_Capture.Contains("SerialThread started"); }));

  WriteMaster("$GPGGA,1*00\r\n");
  ASSERT_TRUE(m_Notify.Wait(kPatience));
  std::string received = Drain(serial);
  ASSERT_TRUE(WaitUntil([&] { return (received += Drain(serial)).size() >= 13; }));
  EXPECT_EQ(received, "$GPGGA,1*00\r\n");

  uint32_t written = 99;
  EXPECT_EQ(serial.Write("freset\r\n", 8, &written), 0u);
  EXPECT_EQ(written, 8u);
  EXPECT_EQ(ReadMaster(8), "freset\r\n");
  EXPECT_EQ(serial.Purge(), 0u);

  EXPECT_EQ(serial.Close(), 0u);
  EXPECT_FALSE(serial.IsOpen());
  EXPECT_TRUE(m_Capture.Contains("CSerial::Close - COM7: port closed"));
}

TEST_F(SerialTest, OpenOnAnOpenPortChangesOnlyTheEvent) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, nullptr), 0u);
  ASSERT_TRUE(WaitUntil([&] { return m_Capture.Contains("SerialThread started"); }));  // its last line
  m_Capture.Clear();
  EXPECT_EQ(serial.Open("COM9:", &m_Notify), kErrorAlreadyInitialized);
  EXPECT_EQ(serial.LastError(), kErrorAlreadyInitialized);
  EXPECT_TRUE(m_Capture.Lines().empty());
  EXPECT_EQ(serial.PortName(), kPort);
  WriteMaster("[COM1]");
  EXPECT_TRUE(m_Notify.Wait(kPatience));
}

TEST_F(SerialTest, EveryMethodOnAClosedPortReportsInvalidHandle) {
  CSerial serial;
  char buffer[8];
  uint32_t count = 5;
  EXPECT_EQ(serial.Setup(9600), kErrorInvalidHandle);
  EXPECT_EQ(serial.SetMask(kEvRxChar), kErrorInvalidHandle);
  EXPECT_EQ(serial.SetupHandshaking(HandshakeOff), kErrorInvalidHandle);
  EXPECT_EQ(serial.SetupReadTimeouts(ReadTimeoutBlocking), kErrorInvalidHandle);
  EXPECT_EQ(serial.Write("x", 1, &count), kErrorInvalidHandle);
  EXPECT_EQ(count, 0u);
  count = 5;
  EXPECT_EQ(serial.Read(buffer, sizeof buffer, &count), kErrorInvalidHandle);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(serial.Purge(), kErrorInvalidHandle);
  EXPECT_EQ(serial.LastError(), kErrorInvalidHandle);
  EXPECT_EQ(serial.Close(), 0u);
  EXPECT_EQ(m_Capture.Lines(), (std::vector<std::string>{
                                   "CSerial::Setup - Device is not opened",
                                   "CSerial::SetMask - Device is not opened",
                                   "CSerial::SetupHandshaking - Device is not opened",
                                   "CSerial::SetupReadTimeouts - Device is not opened",
                                   "CSerial::Write - Device is not opened",
                                   "CSerial::Read - Device is not opened",
                                   "CSerial::Purge - Device is not opened",
                                   "CSerial::Close - Method called when device is not open",
                               }));
}

TEST_F(SerialTest, InvalidModesAreRefusedWithoutALogLine) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, nullptr), 0u);
  ASSERT_EQ(serial.SetupHandshaking(HandshakeSoftware), 0u);
  m_Capture.Clear();
  EXPECT_EQ(serial.SetupHandshaking(3), kEInvalidArg);
  EXPECT_EQ(serial.SetupReadTimeouts(2), kEInvalidArg);
  EXPECT_EQ(serial.SetupHandshaking(-1), kEInvalidArg);
  EXPECT_EQ(serial.LastError(), kEInvalidArg);
  EXPECT_TRUE(m_Capture.Lines().empty());
  EXPECT_TRUE(LineSettings().c_iflag & IXON);  // the line kept its settings
}

TEST_F(SerialTest, OpeningAnUnmappedOrBusyPortFails) {
  CSerial serial;
  EXPECT_NE(serial.Open("COM42:", nullptr), 0u);
  EXPECT_FALSE(serial.IsOpen());
  EXPECT_TRUE(m_Capture.Contains("CSerial::Open - Unable to open port"));

  ASSERT_EQ(serial.Open(kPort, nullptr), 0u);
  CSerial second;
  m_Capture.Clear();
  EXPECT_NE(second.Open(kPort, nullptr), 0u);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_TRUE(m_Capture.Contains("CSerial::Open - Unable to open port"));
}

TEST_F(SerialTest, AnOpenPortIsHeldExclusivelyUntilItCloses) {
  const auto exclusive = [this] {
    const int fd = open(m_Pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    int flag = -1;
    ioctl(fd, TIOCGEXCL, &flag);
    close(fd);
    return flag;
  };
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, nullptr), 0u);
  EXPECT_EQ(exclusive(), 1);  // another program's open is refused (as root it may still open, as here)
  CSerial second;
  EXPECT_NE(second.Open(kPort, nullptr), 0u);
  EXPECT_EQ(exclusive(), 1);  // a refused open leaves the holder's claim
  serial.Close();
  EXPECT_EQ(exclusive(), 0);
}

TEST_F(SerialTest, LineSettingsReachTheLine) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, nullptr), 0u);
  termios t = LineSettings();
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));  // a raw line

  // A pseudo-terminal always keeps 8 data bits and no parity bit; the rest shows.
  ASSERT_EQ(serial.Setup(115200, 7, 1, 2), 0u);
  t = LineSettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
  EXPECT_TRUE(t.c_cflag & PARODD);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_iflag & INPCK);

  ASSERT_EQ(serial.Setup(9600, 8, 0, 0), 0u);
  t = LineSettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & (PARENB | PARODD | CSTOPB));
  EXPECT_FALSE(t.c_iflag & INPCK);

  for (uint32_t rate : {50u, 4800u, 57600u, 230400u, 460800u, 921600u}) EXPECT_EQ(serial.Setup(rate), 0u) << rate;
  EXPECT_EQ(cfgetospeed(&(t = LineSettings())), static_cast<speed_t>(B921600));

  m_Capture.Clear();
  EXPECT_EQ(serial.Setup(14400), static_cast<uint32_t>(EINVAL));
  EXPECT_EQ(serial.Setup(9600, 9), static_cast<uint32_t>(EINVAL));
  EXPECT_EQ(serial.Setup(9600, 8, 5), static_cast<uint32_t>(EINVAL));
  EXPECT_EQ(serial.Setup(9600, 8, 0, 1), static_cast<uint32_t>(EINVAL));
  EXPECT_EQ(m_Capture.Count("CSerial::Setup - Unable to set DCB information"), 4u);
  EXPECT_EQ(cfgetospeed(&(t = LineSettings())), static_cast<speed_t>(B921600));
}

TEST_F(SerialTest, HandshakingModesSetFlowControl) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, nullptr), 0u);
  ASSERT_EQ(serial.SetupHandshaking(HandshakeHardware), 0u);  // no modem lines on a pty: still fine
  termios t = LineSettings();
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
  ASSERT_EQ(serial.SetupHandshaking(HandshakeSoftware), 0u);
  t = LineSettings();
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF));
  ASSERT_EQ(serial.SetupHandshaking(HandshakeOff), 0u);
  t = LineSettings();
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
}

TEST_F(SerialTest, ChunkWithoutLineEndSetsNoEventAndTheNextLineEndSetsItOnce) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  WriteMaster(std::string(CSerial::kReadChunk, 'A'));
  ASSERT_TRUE(WaitUntil([&] { return serial.Queue().Count() == CSerial::kReadChunk; }));
  EXPECT_FALSE(m_Notify.Wait(0));
  WriteMaster("\r");
  EXPECT_TRUE(m_Notify.Wait(kPatience));
  ASSERT_TRUE(WaitUntil([&] { return serial.Queue().Count() == CSerial::kReadChunk + 1; }));
  EXPECT_FALSE(m_Notify.Wait(0));

  Drain(serial);
  WriteMaster("<OK]");  // the end of a bracketed answer
  EXPECT_TRUE(m_Notify.Wait(kPatience));
}

TEST_F(SerialTest, FullQueueDropsNewBytesAndKeepsTheQueuedOnes) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  std::string data;
  for (int i = 0; i < 5000; ++i) data.push_back(static_cast<char>('a' + i % 26));
  WriteMaster(data);
  ASSERT_TRUE(WaitUntil([&] { return serial.DroppedBytes() == 5000 - RxQueue::kSize; }));
  EXPECT_GE(m_Capture.Count("[COM7:]SerialThread - receive queue full"), 1u);
  EXPECT_EQ(Drain(serial), data.substr(0, RxQueue::kSize));

  WriteMaster("$GPRMC\r\n");  // the queue takes bytes again once drained
  ASSERT_TRUE(m_Notify.Wait(kPatience));
  std::string received;
  ASSERT_TRUE(WaitUntil([&] { return (received += Drain(serial)).size() >= 8; }));
  EXPECT_EQ(received, "$GPRMC\r\n");
}

TEST_F(SerialTest, WriteGivesUpAfterItsTimeOutWhenNobodyReads) {
  platform::ScopedTimeScale fast(0.01);  // 3000 ms -> 30 ms
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, nullptr), 0u);
  const std::string block(1 << 20, 'x');
  uint32_t written = 0;
  EXPECT_EQ(serial.Write(block.data(), static_cast<uint32_t>(block.size()), &written), static_cast<uint32_t>(ETIMEDOUT));
  EXPECT_LT(written, block.size());
  EXPECT_TRUE(m_Capture.Contains("CSerial::Write - Unable to write the data"));
  EXPECT_EQ(serial.Close(), 0u);  // closing drops the stalled output instead of waiting
}

TEST_F(SerialTest, ReadHonoursTheTimeoutMode) {
  CSerial serial;
  // A routine that leaves the port to the owner's reads.
  ASSERT_EQ(serial.Open(kPort, nullptr, 0, 0, false, [](CSerial*) {}), 0u);
  char buffer[16] = {};
  uint32_t n = 99;
  ASSERT_EQ(serial.SetupReadTimeouts(ReadTimeoutNonBlocking), 0u);
  EXPECT_EQ(serial.Read(buffer, sizeof buffer, &n), 0u);
  EXPECT_EQ(n, 0u);

  ASSERT_EQ(serial.SetupReadTimeouts(ReadTimeoutBlocking), 0u);
  std::thread far([&] { WriteMaster("[COM1]"); });
  std::string text;
  while (text.size() < 6 && serial.Read(buffer, sizeof buffer, &n) == 0 && n > 0) text.append(buffer, n);
  far.join();
  EXPECT_EQ(text, "[COM1]");
}

TEST_F(SerialTest, FarEndClosingEndsTheReaderAndLeavesThePortUsable) {
  const size_t tasks = CountEntries("/proc/self/task");
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  WriteMaster("$GPGGA\r\n$GPGSA");
  ASSERT_TRUE(m_Notify.Wait(kPatience));
  m_Pty->CloseMaster();
  ASSERT_TRUE(WaitUntil([&] { return m_Capture.Contains(" SerialThread :  ERROR WaitCommEvent"); }));
  EXPECT_TRUE(m_Capture.Contains("ERROR: Serial.cpp line "));
  ASSERT_TRUE(WaitUntil([&] { return CountEntries("/proc/self/task") == tasks; }));  // the reader ended
  const uint64_t wakeups = serial.ReaderWakeups();
  EXPECT_LE(wakeups, 5u);

  EXPECT_TRUE(serial.IsOpen());
  EXPECT_NE(serial.Write("x", 1), 0u);
  EXPECT_EQ(serial.Close(), 0u);
  EXPECT_TRUE(m_Capture.Contains("CSerial::Close - COM7: port closed"));

  // The device comes back (here: a new line under the same port name).
  m_Pty = std::make_unique<sim::PseudoTerminal>();
  platform::SetPortDevicePath(kPort, m_Pty->SlavePath());
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  WriteMaster("$GPRMC\r\n");
  EXPECT_TRUE(m_Notify.Wait(kPatience));
}

TEST_F(SerialTest, CloseWhileTheReaderWaitsJoinsIt) {
  const size_t tasks = CountEntries("/proc/self/task");
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  ASSERT_TRUE(WaitUntil([&] { return m_Capture.Contains("SerialThread started"); }));
  EXPECT_EQ(CountEntries("/proc/self/task"), tasks + 1);
  WriteMaster("$GP");
  ASSERT_TRUE(WaitUntil([&] { return serial.Queue().Count() == 3; }));
  EXPECT_EQ(serial.Close(), 0u);
  EXPECT_EQ(CountEntries("/proc/self/task"), tasks);  // joined, not left running
  EXPECT_EQ(serial.Queue().Count(), 0u);
  EXPECT_FALSE(m_Capture.Contains("ERROR"));

  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);  // a reopen starts a new reader
  WriteMaster("GGA\r\n");
  ASSERT_TRUE(m_Notify.Wait(kPatience));
}

// A leak of one descriptor or thread per cycle shows after any number of
// cycles; a hundred keep the test quick under a sanitizer on a busy machine.
TEST_F(SerialTest, HundredOpenCloseCyclesLeakNothing) {
  const size_t fds = CountEntries("/proc/self/fd");
  const size_t tasks = CountEntries("/proc/self/task");
  {
    CSerial serial;
    for (int i = 0; i < 100; ++i) {
      ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u) << i;
      if (i % 10 == 0) WriteMaster("$GPGLL\r\n");
      ASSERT_EQ(serial.Close(), 0u) << i;
      if (i % 10 == 0) m_Capture.Clear();
    }
    ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  }  // the destructor closes the open port
  EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
  EXPECT_EQ(CountEntries("/proc/self/task"), tasks);
  EXPECT_FALSE(m_Capture.Contains("ERROR"));
}

TEST_F(SerialTest, SilentPortKeepsTheReaderAsleep) {
  CSerial serial;
  ASSERT_EQ(serial.Open(kPort, &m_Notify), 0u);
  WriteMaster("$GPGGA\r\n");
  ASSERT_TRUE(m_Notify.Wait(kPatience));
  const uint64_t before = serial.ReaderWakeups();
  EXPECT_FALSE(m_Notify.Wait(2000));  // 200 ms of silence
  EXPECT_EQ(serial.ReaderWakeups(), before);
}

}  // namespace
