#pragma once
// Follows a GPS power file ("1" on, anything else or no file off) with
// inotify on its folder, so that a program in another process switches the
// simulated receivers as it would switch a handheld's GPS.

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

namespace sim {

class CPowerFileWatcher {
 public:
  using Listener = std::function<void(bool on)>;
  CPowerFileWatcher(std::filesystem::path file, Listener listener);
  ~CPowerFileWatcher();
  CPowerFileWatcher(const CPowerFileWatcher&) = delete;
  CPowerFileWatcher& operator=(const CPowerFileWatcher&) = delete;

  // Reports the current state, then every change; false when the folder
  // cannot be watched.
  bool Start();
  void Stop();

  static bool ReadPowerFile(const std::filesystem::path& file);

 private:
  void Run();
  void Check();

  const std::filesystem::path m_File;
  const Listener m_Listener;
  int m_InotifyFd = -1;
  int m_WakeFd = -1;
  std::atomic<bool> m_bStop{false};
  bool m_bOn = false;
  std::thread m_Thread;
};

}  // namespace sim
