#include "serial/LineSettings.h"

#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>

std::optional<speed_t> BaudConstant(uint32_t baudRate) {
  static constexpr struct {
    uint32_t rate;
    speed_t constant;
  } kRates[] = {
      {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
      {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
      {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
      {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
      {576000, B576000}, {921600, B921600},
  };
  for (const auto& entry : kRates) {
    if (entry.rate == baudRate) return entry.constant;
  }
  return std::nullopt;
}

bool MakeRawLine(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

int HoldLine(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) return errno;  // the lock goes with the descriptor
  return 0;
}

void ReleaseLine(int fd) { ioctl(fd, TIOCNXCL); }
