#include "serial/ProbePort.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "serial/LineSettings.h"

namespace {

constexpr size_t kReadChunk = 2048;

// Milliseconds to the deadline for poll(), rounded up so that a wait never ends early.
int PollTimeout(CProbePort::Deadline deadline) {
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace

CProbePort::~CProbePort() { Close(); }

int CProbePort::Open(const std::string& devicePath) {
  Close();
  const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = HoldLine(fd);
  if (error == 0 && (tcgetattr(fd, &m_Saved) != 0 || !MakeRawLine(fd))) {
    error = errno;
    ReleaseLine(fd);
  }
  if (error != 0) {
    close(fd);
    return error;
  }
  m_Fd = fd;
  return 0;
}

void CProbePort::Close() {
  if (m_Fd < 0) return;
  // What is still unsent is dropped: restoring must not wait on a stalled line.
  tcflush(m_Fd, TCIOFLUSH);
  tcsetattr(m_Fd, TCSANOW, &m_Saved);
  ReleaseLine(m_Fd);
  close(m_Fd);
  m_Fd = -1;
}

int CProbePort::SetBaudRate(uint32_t baudRate) {
  const std::optional<speed_t> speed = BaudConstant(baudRate);
  termios t{};
  if (!speed) return EINVAL;
  if (tcgetattr(m_Fd, &t) != 0) return errno;
  t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | CSTOPB | CRTSCTS)) | CS8;
  cfsetispeed(&t, *speed);
  cfsetospeed(&t, *speed);
  if (tcsetattr(m_Fd, TCSANOW, &t) != 0) return errno;
  tcflush(m_Fd, TCIFLUSH);
  return 0;
}

bool CProbePort::Write(std::string_view bytes, Deadline deadline) {
  while (!bytes.empty()) {
    const ssize_t n = write(m_Fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd port{m_Fd, POLLOUT, 0};
    const int timeout = PollTimeout(deadline);
    if (timeout == 0 || (poll(&port, 1, timeout) < 0 && errno != EINTR)) return false;
  }
  return true;
}

bool CProbePort::Read(std::string& received, Deadline deadline) {
  pollfd port{m_Fd, POLLIN, 0};
  const int ready = poll(&port, 1, PollTimeout(deadline));
  if (ready < 0) return errno == EINTR;
  if (ready == 0) return true;
  char buffer[kReadChunk];
  const ssize_t n = read(m_Fd, buffer, sizeof buffer);
  if (n > 0) received.append(buffer, static_cast<size_t>(n));
  // A raw line reads nothing only once it has hung up.
  return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
}
