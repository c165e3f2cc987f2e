#pragma once
// Events as the handheld's threads use them: auto-reset (one waiter is
// released and the event clears) or manual-reset, waits with a time-out in
// system milliseconds (scaled by the time source), and a wait for the first of
// several events. Named events live in a process-wide table.

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/Time.h"

namespace platform {

constexpr int kWaitTimeout = -1;

class Event {
 public:
  explicit Event(bool manualReset = false, bool initialState = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when the event was signalled within `ms` (kInfinite waits for ever).
  bool Wait(uint32_t ms = kInfinite);
  bool IsSet() const;

 private:
  friend int WaitForAny(std::initializer_list<Event*> events, uint32_t ms);
  bool TryConsumeLocked();

  const bool m_bManualReset;
  bool m_bSignalled;
  std::vector<std::condition_variable*> m_Waiters;  // guarded by the events' common lock
};

// Index of the first signalled event (in argument order), or kWaitTimeout.
int WaitForAny(std::initializer_list<Event*> events, uint32_t ms);

// Named events: creating a name that exists returns the existing event.
std::shared_ptr<Event> CreateNamedEvent(const std::string& name, bool manualReset = false,
                                        bool initialState = false);
// nullptr when no one created that name (or every creator released it).
std::shared_ptr<Event> OpenNamedEvent(const std::string& name);

}  // namespace platform
