#pragma once
// The host side of a simulated receiver's line, with plain termios: what a
// program sees when it opens the receiver's terminal.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "nmea/NmeaParser.h"
#include "platform/Time.h"
#include "sim/Scenario.h"
#include "support/TestTime.h"

namespace navlume_test {

inline speed_t SpeedOf(uint32_t baud) {
  switch (baud) {
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
  }
}

class HostPort {
 public:
  explicit HostPort(const std::string& path, uint32_t baud = 9600)
      : m_Fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    SetLine(baud);
    if (m_Fd >= 0) tcflush(m_Fd, TCIOFLUSH);
  }
  ~HostPort() {
    if (m_Fd >= 0) close(m_Fd);
  }
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  bool IsOpen() const { return m_Fd >= 0; }

  void SetLine(uint32_t baud, tcflag_t size = CS8, tcflag_t parity = 0) {
    termios settings{};
    if (m_Fd < 0 || tcgetattr(m_Fd, &settings) != 0) return;
    cfmakeraw(&settings);
    settings.c_cflag = (settings.c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB)) | size | parity | CLOCAL | CREAD;
    cfsetispeed(&settings, SpeedOf(baud));
    cfsetospeed(&settings, SpeedOf(baud));
    tcsetattr(m_Fd, TCSANOW, &settings);
  }

  bool Write(const std::string& bytes) {
    return write(m_Fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Reads into Received() until `done` holds or `ms` scaled milliseconds pass.
  bool ReadUntil(const std::function<bool(const std::string&)>& done, uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + platform::ScaledDuration(ms);
    while (!done(m_Received)) {
      // At the deadline, one last look takes what already arrived.
      const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
      const bool last = left.count() <= 0;
      pollfd fd{m_Fd, POLLIN, 0};
      if (poll(&fd, 1, last ? 0 : static_cast<int>(left.count() / 1000) + 1) <= 0) {
        if (last) return false;
        continue;
      }
      if (fd.revents & (POLLHUP | POLLERR)) m_bHungUp = true;
      char buffer[4096];
      const ssize_t count = read(m_Fd, buffer, sizeof buffer);
      if (count > 0) {
        m_Received.append(buffer, static_cast<size_t>(count));
      } else if (m_bHungUp || (count < 0 && errno != EAGAIN)) {
        m_bHungUp = true;
        return done(m_Received);
      }
    }
    return true;
  }
  bool ReadUntilContains(const std::string& text, uint32_t ms) {
    return ReadUntil([&](const std::string& r) { return r.find(text) != std::string::npos; }, ms);
  }
  // Everything that arrives within `ms` scaled milliseconds.
  std::string ReadFor(uint32_t ms) {
    ReadUntil([](const std::string&) { return false; }, ms);
    return Take();
  }
  bool WaitHangup(uint32_t ms) {
    ReadUntil([&](const std::string&) { return m_bHungUp; }, ms);
    return m_bHungUp;
  }

  std::string& Received() { return m_Received; }
  std::string Take() {
    std::string taken;
    taken.swap(m_Received);
    return taken;
  }

 private:
  int m_Fd;
  std::string m_Received;
  bool m_bHungUp = false;
};

// The complete lines of a stream (ending in LF, LF kept).
inline std::vector<std::string> Lines(const std::string& stream) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = stream.find('\n'); end != std::string::npos; end = stream.find('\n', start)) {
    lines.push_back(stream.substr(start, end + 1 - start));
    start = end + 1;
  }
  return lines;
}

// True when the line is "$body*hh\r\n" with the right checksum.
inline bool ChecksumMatches(const std::string& line) {
  const size_t star = line.rfind('*');
  if (line.empty() || line[0] != '$' || star == std::string::npos || star + 5 != line.size()) return false;
  return std::stoul(line.substr(star + 1, 2), nullptr, 16) == NmeaChecksum(line.data() + 1, star - 1);
}

// Counts the complete GGA sentences with a given fix quality character.
inline int CountGga(const std::string& stream, char quality) {
  int count = 0;
  for (const auto& line : Lines(stream)) {
    if (line.rfind("$GPGGA,", 0) != 0) continue;
    size_t field = 0, at = 0;
    while (field < 6 && (at = line.find(',', at) + 1) != 0) ++field;
    if (field == 6 && line[at] == quality) ++count;
  }
  return count;
}

inline std::string TwoDigits(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

// The default scenario with its first fix `ttff` scenario seconds after power-on.
inline sim::Scenario WithTtff(double ttff) {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.ttff = ttff;
  return scenario;
}

}  // namespace navlume_test
