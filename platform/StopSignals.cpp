#include "platform/StopSignals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace platform {

namespace {

sigset_t StopSignalSet() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

bool BlockStopSignals() {
  const sigset_t signals = StopSignalSet();
  return pthread_sigmask(SIG_BLOCK, &signals, nullptr) == 0;
}

int StopSignalDescriptor() {
  const sigset_t signals = StopSignalSet();
  return signalfd(-1, &signals, SFD_CLOEXEC);
}

CStopSignals::CStopSignals(std::function<void()> onStop) : m_OnStop(std::move(onStop)) {}

CStopSignals::~CStopSignals() {
  if (m_Watcher.joinable()) {
    const uint64_t one = 1;
    (void)!write(m_WakeFd, &one, sizeof one);
    m_Watcher.join();
  }
  if (m_SignalFd >= 0) close(m_SignalFd);
  if (m_WakeFd >= 0) close(m_WakeFd);
}

bool CStopSignals::Start() {
  if (!BlockStopSignals()) return false;
  m_SignalFd = StopSignalDescriptor();
  m_WakeFd = eventfd(0, EFD_CLOEXEC);
  if (m_SignalFd < 0 || m_WakeFd < 0) return false;
  m_Watcher = std::thread([this] { Watch(); });
  return true;
}

void CStopSignals::WaitFor(std::optional<double> seconds) {
  std::unique_lock lock(m_Mutex);
  const auto requested = [this] { return m_bRequested.load(); };
  if (seconds) {
    m_Changed.wait_for(lock, std::chrono::duration<double>(*seconds), requested);
  } else {
    m_Changed.wait(lock, requested);
  }
}

void CStopSignals::Watch() {
  pollfd fds[2] = {{m_SignalFd, POLLIN, 0}, {m_WakeFd, POLLIN, 0}};
  while (poll(fds, 2, -1) < 0 && errno == EINTR) {
  }
  if (!(fds[0].revents & POLLIN)) return;
  {
    std::lock_guard lock(m_Mutex);
    m_bRequested = true;
  }
  if (m_OnStop) m_OnStop();
  m_Changed.notify_all();
}

}  // namespace platform
