#pragma once
// A request that the whole process stop, made once (on SIGINT or SIGTERM, read
// by CStopSignals) and kept: whatever waits for the user or for a receiver gives
// way (boxes and dialogs close as Cancel, receivers' start-ups give up), and
// the program tears down as after Cancel.

#include <functional>

namespace platform {

void RequestStop();
bool StopRequested();

// Calls `onStop` once a stop is requested: on the requesting thread, or at
// once on this one when it was requested before. The call must be short and
// must not block, nor make or end a StopListener. Ending the listener waits
// for a call under way.
class StopListener {
 public:
  explicit StopListener(std::function<void()> onStop);
  ~StopListener();
  StopListener(const StopListener&) = delete;
  StopListener& operator=(const StopListener&) = delete;

 private:
  friend void RequestStop();
  std::function<void()> m_OnStop;
};

}  // namespace platform
