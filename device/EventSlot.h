#pragma once
// An event that exists only while a receiver start-up waits for its reply.
// The start-up (user-interface thread) creates, waits on and closes it; the
// parse thread tests whether it exists and signals it. Both sides may act at
// the same time, so the slot guards the event it holds.

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/Event.h"

class CEventSlot {
 public:
  // Creates an auto-reset, unsignalled event (replacing one that exists).
  void Create();
  void Close();
  // Tells one created event from every other this process created; 0 when none exists.
  uint64_t Id() const;
  // Signals the event; false when none exists.
  bool Set();
  // True when the event was signalled within `ms`; false on time-out, when none
  // exists, or when `stop` (if given) is signalled first.
  bool Wait(uint32_t ms, platform::Event* stop = nullptr);
  void Reset();

 private:
  std::shared_ptr<platform::Event> Current() const;

  mutable std::mutex m_Lock;
  std::shared_ptr<platform::Event> m_pEvent;
  uint64_t m_Id = 0;
};
