#include "platform/Event.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/Time.h"

namespace platform {
namespace {

// One lock for every event keeps waits for several events simple and free of
// lock-order problems; it is held only for a few instructions.
std::mutex g_EventLock;

std::mutex g_NamedLock;
std::map<std::string, std::weak_ptr<Event>> g_NamedEvents;

}  // namespace

Event::Event(bool manualReset, bool initialState) : m_bManualReset(manualReset), m_bSignalled(initialState) {}

Event::~Event() = default;

void Event::Set() {
  std::lock_guard lock(g_EventLock);
  m_bSignalled = true;
  for (auto* waiter : m_Waiters) waiter->notify_one();
}

void Event::Reset() {
  std::lock_guard lock(g_EventLock);
  m_bSignalled = false;
}

bool Event::IsSet() const {
  std::lock_guard lock(g_EventLock);
  return m_bSignalled;
}

bool Event::TryConsumeLocked() {
  if (!m_bSignalled) return false;
  if (!m_bManualReset) m_bSignalled = false;
  return true;
}

bool Event::Wait(uint32_t ms) { return WaitForAny({this}, ms) == 0; }

int WaitForAny(std::initializer_list<Event*> events, uint32_t ms) {
  std::unique_lock lock(g_EventLock);
  auto firstSignalled = [&]() -> int {
    int index = 0;
    for (Event* event : events) {
      if (event->TryConsumeLocked()) return index;
      ++index;
    }
    return kWaitTimeout;
  };
  int result = firstSignalled();
  if (result != kWaitTimeout || ms == 0) return result;

  std::condition_variable waiter;
  for (Event* event : events) event->m_Waiters.push_back(&waiter);
  const bool forever = ms == kInfinite;
  const auto deadline = std::chrono::steady_clock::now() + ScaledDuration(forever ? 0 : ms);
  while ((result = firstSignalled()) == kWaitTimeout) {
    if (forever) {
      waiter.wait(lock);
    } else if (waiter.wait_until(lock, deadline) == std::cv_status::timeout) {
      result = firstSignalled();
      break;
    }
  }
  for (Event* event : events) std::erase(event->m_Waiters, &waiter);
  return result;
}

std::shared_ptr<Event> CreateNamedEvent(const std::string& name, bool manualReset, bool initialState) {
  std::lock_guard lock(g_NamedLock);
  if (auto existing = g_NamedEvents[name].lock()) return existing;
  auto event = std::make_shared<Event>(manualReset, initialState);
  g_NamedEvents[name] = event;
  return event;
}

std::shared_ptr<Event> OpenNamedEvent(const std::string& name) {
  std::lock_guard lock(g_NamedLock);
  const auto it = g_NamedEvents.find(name);
  return it == g_NamedEvents.end() ? nullptr : it->second.lock();
}

}  // namespace platform
