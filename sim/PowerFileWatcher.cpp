#include "sim/PowerFileWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace sim {

CPowerFileWatcher::CPowerFileWatcher(std::filesystem::path file, Listener listener)
    : m_File(std::move(file)), m_Listener(std::move(listener)) {}

CPowerFileWatcher::~CPowerFileWatcher() { Stop(); }

bool CPowerFileWatcher::ReadPowerFile(const std::filesystem::path& file) {
  std::ifstream stream(file);
  char state = 0;
  return stream >> state && state == '1';
}

bool CPowerFileWatcher::Start() {
  m_InotifyFd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  m_WakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_InotifyFd < 0 || m_WakeFd < 0 ||
      inotify_add_watch(m_InotifyFd, m_File.parent_path().c_str(),
                        IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE) < 0) {
    Stop();
    return false;
  }
  m_bOn = ReadPowerFile(m_File);
  m_Listener(m_bOn);
  m_Thread = std::thread([this] { Run(); });
  return true;
}

void CPowerFileWatcher::Stop() {
  if (m_Thread.joinable()) {
    m_bStop = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_WakeFd, &one, sizeof one);
    m_Thread.join();
  }
  for (int* fd : {&m_InotifyFd, &m_WakeFd}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

void CPowerFileWatcher::Run() {
  const std::string name = m_File.filename().string();
  alignas(inotify_event) char buffer[4096];
  while (!m_bStop) {
    pollfd fds[2] = {{m_InotifyFd, POLLIN, 0}, {m_WakeFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (!(fds[0].revents & POLLIN)) continue;
    const ssize_t count = read(m_InotifyFd, buffer, sizeof buffer);
    bool ours = false;
    for (ssize_t at = 0; at < count;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len > 0 && name == event->name) ours = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    if (ours) Check();
  }
}

void CPowerFileWatcher::Check() {
  const bool on = ReadPowerFile(m_File);
  if (on == m_bOn) return;
  m_bOn = on;
  m_Listener(on);
}

}  // namespace sim
