#pragma once
// SIGINT and SIGTERM as a stop request. They are blocked in the calling
// thread, and so in every thread it starts afterwards, and read through a
// descriptor: by the caller itself, or by a watcher thread that calls a
// function when the first one arrives.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {

// Blocks SIGINT and SIGTERM in the calling thread (and so in the threads it
// starts afterwards); false when they cannot be blocked.
bool BlockStopSignals();
// A descriptor that reads the blocked stop signals; -1 when there is none.
int StopSignalDescriptor();

class CStopSignals {
 public:
  // `onStop` runs on the watcher thread, once, when the first signal arrives.
  explicit CStopSignals(std::function<void()> onStop);
  ~CStopSignals();  // stops watching
  CStopSignals(const CStopSignals&) = delete;
  CStopSignals& operator=(const CStopSignals&) = delete;

  // Blocks the signals and starts watching; false when they cannot be caught.
  bool Start();
  bool Requested() const { return m_bRequested.load(); }
  // Waits up to `seconds` of wall-clock time (for ever without) for a stop request.
  void WaitFor(std::optional<double> seconds);

 private:
  void Watch();

  std::function<void()> m_OnStop;
  int m_SignalFd = -1;
  int m_WakeFd = -1;
  std::thread m_Watcher;
  std::atomic<bool> m_bRequested{false};
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
};

}  // namespace platform
