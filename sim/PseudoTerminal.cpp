#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace sim {

PseudoTerminal::PseudoTerminal() {
  char name[PATH_MAX] = {};
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  if (openpty(&m_MasterFd, &m_SlaveFd, name, &raw, nullptr) != 0) {
    m_MasterFd = m_SlaveFd = -1;
    return;
  }
  fcntl(m_MasterFd, F_SETFD, FD_CLOEXEC);
  fcntl(m_SlaveFd, F_SETFD, FD_CLOEXEC);
  m_SlavePath = name;
}

PseudoTerminal::~PseudoTerminal() {
  CloseMaster();
  if (m_SlaveFd >= 0) close(m_SlaveFd);
}

bool PseudoTerminal::WriteToSlave(std::string_view bytes) const {
  if (m_MasterFd < 0) return false;
  while (!bytes.empty()) {
    const ssize_t written = write(m_MasterFd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<size_t>(written));
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A master made non-blocking: wait until the line takes more.
      pollfd out{m_MasterFd, POLLOUT, 0};
      if (poll(&out, 1, -1) < 0 && errno != EINTR) return false;
    } else if (written == 0 || errno != EINTR) {
      return false;
    }
  }
  return true;
}

bool PseudoTerminal::ReportSettingChanges() {
  termios settings{};
  if (m_MasterFd < 0 || tcgetattr(m_SlaveFd, &settings) != 0) return false;
  // With external processing set, the kernel tells the master about every
  // settings change, not only about flow-control ones.
  settings.c_lflag |= EXTPROC;
  const int on = 1;
  return tcsetattr(m_SlaveFd, TCSANOW, &settings) == 0 && ioctl(m_MasterFd, TIOCPKT, &on) == 0;
}

void PseudoTerminal::CloseMaster() {
  if (m_MasterFd >= 0) close(m_MasterFd);
  m_MasterFd = -1;
}

size_t PseudoTerminal::PendingInput() const {
  int pending = 0;
  if (m_SlaveFd < 0 || ioctl(m_SlaveFd, FIONREAD, &pending) != 0) return 0;
  return static_cast<size_t>(pending);
}

void PseudoTerminal::DropPendingInput() {
  if (m_SlaveFd >= 0) tcflush(m_SlaveFd, TCIFLUSH);
}

}  // namespace sim
