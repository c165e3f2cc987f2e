#include "serial/Serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

#include "platform/Debug.h"
#include "platform/DeviceApi.h"
#include "platform/DeviceProfile.h"
#include "platform/Time.h"
#include "serial/LineSettings.h"

namespace {

constexpr size_t kPortNameKept = 9;  // 10 characters with the terminator
constexpr uint32_t kOpenMask = kEvRxChar | kEvBreak | kEvErr;
constexpr uint32_t kBlockingReadMs = 0xFFFFFFFE;
constexpr uint32_t kWriteTimeoutMs = 3000;

constexpr uint8_t kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4;
constexpr uint8_t kOneStopBit = 0, kOneAndHalfStopBits = 1, kTwoStopBits = 2;

bool SetByteSize(termios& t, uint8_t byteSize) {
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  if (byteSize < 5 || byteSize > 8) return false;
  t.c_cflag = (t.c_cflag & ~CSIZE) | kSizes[byteSize - 5];
  return true;
}

// Parity generation and, as with the DCB's fParity, parity checking whenever parity is on.
bool SetParity(termios& t, uint8_t parity) {
  t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
  t.c_iflag &= ~INPCK;
  switch (parity) {
    case kParityNone: return true;
    case kParityOdd: t.c_cflag |= PARENB | PARODD; break;
    case kParityEven: t.c_cflag |= PARENB; break;
    case kParityMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case kParitySpace: t.c_cflag |= PARENB | CMSPAR; break;
    default: return false;
  }
  t.c_iflag |= INPCK;
  return true;
}

// One and a half stop bits exist only with 5 data bits, where CSTOPB means them.
bool SetStopBits(termios& t, uint8_t stopBits, uint8_t byteSize) {
  if (stopBits == kOneStopBit) {
    t.c_cflag &= ~CSTOPB;
  } else if (stopBits == kTwoStopBits || (stopBits == kOneAndHalfStopBits && byteSize == 5)) {
    t.c_cflag |= CSTOPB;
  } else {
    return false;
  }
  return true;
}

timespec ToTimespec(std::chrono::nanoseconds duration) {
  if (duration.count() < 0) duration = {};
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
  return timespec{static_cast<time_t>(seconds.count()), static_cast<long>((duration - seconds).count())};
}

}  // namespace

CSerial::CSerial() { DeviceApiInit(); }

CSerial::~CSerial() {
  if (IsOpen()) Close();
  DeviceApiDeinit();
}

uint32_t CSerial::Fail(uint32_t error, const char* message) {
  m_LastError = error;
  platform::DebugPrint("%s", message);
  return error;
}

uint32_t CSerial::Open(const std::string& name, platform::Event* notifyEvent, uint32_t, uint32_t, bool,
                       SerialThreadRoutine threadRoutine) {
  m_LastError = 0;
  m_NotifyEvent.store(notifyEvent);
  if (IsOpen()) return m_LastError = kErrorAlreadyInitialized;

  // The driver's own queues serve for the queue sizes; the port is always synchronous.
  const std::optional<std::string> path = platform::PortDevicePath(name);
  int error = ENOENT;
  int fd = path ? open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
  if (path && fd < 0) error = errno;
  if (fd >= 0 && (error = HoldLine(fd)) == 0 && !MakeRawLine(fd)) {
    error = errno;
    ReleaseLine(fd);
  }
  if (fd >= 0 && error != 0) {
    close(fd);
    fd = -1;
  }
  const int wakeFd = fd >= 0 ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
  if (fd >= 0 && wakeFd < 0) {
    error = errno;
    ReleaseLine(fd);
    close(fd);
    fd = -1;
  }
  if (fd < 0) return Fail(static_cast<uint32_t>(error), "CSerial::Open - Unable to open port\n");

  m_Fd = fd;
  m_WakeFd = wakeFd;
  m_bClosing.store(false);
  m_PortName = name.substr(0, kPortNameKept);
  SetMask(kOpenMask);
  SetupReadTimeouts(ReadTimeoutBlocking);
  const uint32_t setupResult = m_LastError;
  try {
    m_Thread = std::thread(threadRoutine ? threadRoutine : SerialThread, this);
  } catch (const std::system_error& e) {
    Close();
    return Fail(static_cast<uint32_t>(e.code().value()), "CSerial::Open - Unable to start the reader thread\n");
  }
  platform::DebugPrint("CSerial::Open - %s port opened\r\n", m_PortName.c_str());
  return m_LastError = setupResult;
}

uint32_t CSerial::Close() {
  m_LastError = 0;
  if (!IsOpen()) {
    platform::DebugPrint("CSerial::Close - Method called when device is not open\n");
    return m_LastError;
  }
  if (m_Thread.joinable()) {
    m_bClosing.store(true);
    WakeReader();
    // A reader routine that closes its own port cannot wait for itself.
    if (m_Thread.get_id() == std::this_thread::get_id()) {
      m_Thread.detach();
    } else {
      m_Thread.join();
    }
  }
  // Unsent output is dropped: closing must not wait for a stalled line to drain.
  tcflush(m_Fd, TCIOFLUSH);
  m_RxQueue.Reset();
  ReleaseLine(m_Fd);
  close(m_Fd);
  close(m_WakeFd);
  m_Fd = -1;
  m_WakeFd = -1;
  platform::DebugPrint("CSerial::Close - %s port closed\r\n", m_PortName.c_str());
  return m_LastError;
}

uint32_t CSerial::Setup(uint32_t baudRate, uint8_t byteSize, uint8_t parity, uint8_t stopBits) {
  m_LastError = 0;
  if (!IsOpen()) return Fail(kErrorInvalidHandle, "CSerial::Setup - Device is not opened\n");
  termios t{};
  if (tcgetattr(m_Fd, &t) != 0) return Fail(static_cast<uint32_t>(errno), "CSerial::Setup - Unable to obtain DCB information\n");
  const std::optional<speed_t> speed = BaudConstant(baudRate);
  if (!speed || !SetByteSize(t, byteSize) || !SetParity(t, parity) || !SetStopBits(t, stopBits, byteSize)) {
    return Fail(EINVAL, "CSerial::Setup - Unable to set DCB information\n");
  }
  cfsetispeed(&t, *speed);
  cfsetospeed(&t, *speed);
  if (tcsetattr(m_Fd, TCSANOW, &t) != 0) return Fail(static_cast<uint32_t>(errno), "CSerial::Setup - Unable to set DCB information\n");
  return m_LastError;
}

uint32_t CSerial::SetMask(uint32_t mask) {
  m_LastError = 0;
  if (!IsOpen()) return Fail(kErrorInvalidHandle, "CSerial::SetMask - Device is not opened\n");
  m_Mask.store(mask);
  WakeReader();  // the reader's next wait follows the new mask
  return m_LastError;
}

void CSerial::WakeReader() {
  const uint64_t wake = 1;
  [[maybe_unused]] const ssize_t n = write(m_WakeFd, &wake, sizeof wake);
}

uint32_t CSerial::SetupHandshaking(int mode) {
  m_LastError = 0;
  if (!IsOpen()) return Fail(kErrorInvalidHandle, "CSerial::SetupHandshaking - Device is not opened\n");
  termios t{};
  if (tcgetattr(m_Fd, &t) != 0) {
    return Fail(static_cast<uint32_t>(errno), "CSerial::SetupHandshaking - Unable to obtain DCB information\n");
  }
  t.c_cflag &= ~CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | IXANY);
  switch (mode) {
    case HandshakeOff: break;
    case HandshakeHardware: t.c_cflag |= CRTSCTS; break;
    case HandshakeSoftware: t.c_iflag |= IXON | IXOFF; break;
    default: return m_LastError = kEInvalidArg;
  }
  if (tcsetattr(m_Fd, TCSANOW, &t) != 0) {
    return Fail(static_cast<uint32_t>(errno), "CSerial::SetupHandshaking - Unable to set DCB information\n");
  }
  SetModemLines(mode == HandshakeHardware);
  return m_LastError;
}

// DTR and RTS follow the handshake mode where the device has modem lines; a
// pseudo-terminal has none, which is not a failure.
void CSerial::SetModemLines(bool raised) {
  const int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(m_Fd, raised ? TIOCMBIS : TIOCMBIC, &lines);
}

uint32_t CSerial::SetupReadTimeouts(int mode) {
  m_LastError = 0;
  if (!IsOpen()) return Fail(kErrorInvalidHandle, "CSerial::SetupReadTimeouts - Device is not opened\n");
  switch (mode) {
    case ReadTimeoutNonBlocking:
      m_bReadBlocking = false;
      break;
    case ReadTimeoutBlocking:
      m_bReadBlocking = true;
      m_WriteTimeoutMultiplier = 0;
      m_WriteTimeoutConstant = kWriteTimeoutMs;
      break;
    default:
      return m_LastError = kEInvalidArg;
  }
  return m_LastError;
}

uint32_t CSerial::Write(const void* bytes, uint32_t count, uint32_t* written) {
  m_LastError = 0;
  if (written) *written = 0;
  if (!IsOpen()) return Fail(kErrorInvalidHandle, "CSerial::Write - Device is not opened\n");
  const uint64_t timeoutMs = uint64_t{m_WriteTimeoutMultiplier} * count + m_WriteTimeoutConstant;
  const bool limited = timeoutMs != 0;
  const auto deadline =
      std::chrono::steady_clock::now() + platform::ScaledDuration(static_cast<uint32_t>(std::min<uint64_t>(timeoutMs, 0xFFFFFFFF)));
  const auto* data = static_cast<const uint8_t*>(bytes);
  uint32_t done = 0;
  int error = 0;
  while (done < count && error == 0) {
    const ssize_t n = write(m_Fd, data + done, count - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      error = errno;
      continue;
    }
    // The line is full: wait for room until the write time-out.
    pollfd port{m_Fd, POLLOUT, 0};
    const auto left = deadline - std::chrono::steady_clock::now();
    if (limited && left <= std::chrono::nanoseconds::zero()) {
      error = ETIMEDOUT;
      continue;
    }
    const timespec wait = ToTimespec(std::chrono::duration_cast<std::chrono::nanoseconds>(left));
    if (ppoll(&port, 1, limited ? &wait : nullptr, nullptr) < 0 && errno != EINTR) {
      error = errno;
    } else if ((port.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(port.revents & POLLOUT)) {
      error = EIO;
    }
  }
  if (written) *written = done;
  if (error != 0) return Fail(static_cast<uint32_t>(error), "CSerial::Write - Unable to write the data\n");
  return m_LastError;
}

uint32_t CSerial::Read(void* buffer, uint32_t capacity, uint32_t* read) {
  m_LastError = 0;
  if (read) *read = 0;
  if (!IsOpen()) return Fail(kErrorInvalidHandle, "CSerial::Read - Device is not opened\n");
  uint32_t n = 0;
  m_LastError = ReadAvailable(static_cast<uint8_t*>(buffer), capacity, n);
  if (m_bReadBlocking && capacity > 0) {
    // Returns as soon as one byte is there (or the device is gone), else after the blocking
    // time-out. The port's reader thread may take the bytes that woke this read: wait on.
    const auto deadline = std::chrono::steady_clock::now() + platform::ScaledDuration(kBlockingReadMs);
    while (m_LastError == 0 && n == 0) {
      const auto left = deadline - std::chrono::steady_clock::now();
      if (left <= std::chrono::nanoseconds::zero()) break;
      pollfd port{m_Fd, POLLIN, 0};
      const timespec wait = ToTimespec(std::chrono::duration_cast<std::chrono::nanoseconds>(left));
      if (ppoll(&port, 1, &wait, nullptr) < 0 && errno != EINTR) break;
      if (port.revents != 0) m_LastError = ReadAvailable(static_cast<uint8_t*>(buffer), capacity, n);
    }
  }
  if (read) *read = n;
  return m_LastError;
}

uint32_t CSerial::ReadAvailable(uint8_t* buffer, uint32_t capacity, uint32_t& read) {
  read = 0;
  if (capacity == 0) return 0;
  ssize_t n;
  do {
    n = ::read(m_Fd, buffer, capacity);
  } while (n < 0 && errno == EINTR);
  if (n > 0) {
    read = static_cast<uint32_t>(n);
    return 0;
  }
  if (n < 0 && errno == EAGAIN) return 0;
  // A raw line reads 0 bytes only once it has hung up.
  const int error = n == 0 ? EIO : errno;
  platform::DebugPrint("[%s]CSerial::Read:- %x - Unable to read the data: %x\n", m_PortName.c_str(),
                       static_cast<unsigned>(m_Fd), static_cast<unsigned>(error));
  return static_cast<uint32_t>(error);
}

uint32_t CSerial::Purge() {
  m_LastError = 0;
  if (!IsOpen()) return Fail(kErrorInvalidHandle, "CSerial::Purge - Device is not opened\n");
  if (tcflush(m_Fd, TCIOFLUSH) != 0) return Fail(static_cast<uint32_t>(errno), "CSerial::Purge - Overlapped completed without result\n");
  return m_LastError;
}

uint32_t CSerial::WaitCommEvent(uint32_t& events) {
  events = 0;
  if (m_Fd < 0) return 0;
  for (;;) {
    // The owner's mask as it is now: SetMask wakes this wait to take a new one.
    const bool rx = (m_Mask.load() & kEvRxChar) != 0;
    pollfd fds[2] = {{m_WakeFd, POLLIN, 0}, {m_Fd, static_cast<short>(rx ? POLLIN : 0), 0}};
    int ready;
    do {
      ready = poll(fds, 2, -1);
      m_Wakeups.fetch_add(1, std::memory_order_relaxed);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return static_cast<uint32_t>(errno);
    if (fds[0].revents != 0) {
      uint64_t wakes = 0;
      [[maybe_unused]] const ssize_t n = ::read(m_WakeFd, &wakes, sizeof wakes);
      if (m_bClosing.load()) return 0;  // Close is under way
      continue;
    }
    // A device that went away (unplugged, far end of a pseudo-terminal closed) stays hung up.
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) return EIO;
    if (fds[1].revents & POLLIN) events = kEvRxChar;
    return 0;
  }
}

void CSerial::QueueChunk(const uint8_t* bytes, uint32_t count) {
  bool lineEnd = false;
  uint32_t dropped = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!m_RxQueue.Put(bytes[i])) ++dropped;
    lineEnd = lineEnd || bytes[i] == '\r' || bytes[i] == ']';
  }
  NoteOverflow(dropped);
  platform::Event* notify = m_NotifyEvent.load();
  if (lineEnd && notify) notify->Set();
}

// One line when the queue starts refusing bytes and one with the count when a
// chunk fits again (or the reader ends), however many chunks come between.
void CSerial::NoteOverflow(uint32_t dropped) {
  if (dropped != 0) {
    m_DroppedBytes.fetch_add(dropped, std::memory_order_relaxed);
    if (m_OverflowDropped == 0) {
      platform::DebugPrint("[%s]SerialThread - receive queue full, received bytes are dropped\r\n", m_PortName.c_str());
    }
    m_OverflowDropped += dropped;
  } else if (m_OverflowDropped != 0) {
    platform::DebugPrint("[%s]SerialThread - receive queue overflow ended, %llu bytes dropped\r\n",
                         m_PortName.c_str(), static_cast<unsigned long long>(m_OverflowDropped));
    m_OverflowDropped = 0;
  }
}

namespace {

// The reader loop: waits for comm events and hands each received chunk on.
template <typename ChunkHandler>
void RunReader(CSerial* serial, ChunkHandler handleChunk) {
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[CSerial::kReadChunk]);
  if (!buffer) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("Can't create heap memory !\r\n");
    return;
  }
  platform::DebugPrint("SerialThread started\r\n");
  for (;;) {
    uint32_t events = 0;
    if (serial->WaitCommEvent(events) != 0) {
      NAVLUME_ERROR_LOCATION();
      platform::DebugPrint(" SerialThread :  ERROR WaitCommEvent\r\n");
      break;
    }
    if (events == 0) break;  // the port is being closed
    if (events != kEvRxChar) continue;
    uint32_t n = 0;
    if (serial->ReadAvailable(buffer.get(), CSerial::kReadChunk, n) != 0 || n == 0) continue;
    handleChunk(buffer.get(), n);
  }
}

}  // namespace

void SerialThread(CSerial* serial) {
  RunReader(serial, [serial](const uint8_t* bytes, uint32_t count) { serial->QueueChunk(bytes, count); });
  serial->NoteOverflow(0);
}

void DiscardingSerialThread(CSerial* serial) {
  RunReader(serial, [](const uint8_t*, uint32_t) {});
}
