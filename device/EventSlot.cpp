#include "device/EventSlot.h"

#include <atomic>

namespace {
std::atomic<uint64_t> g_LastEventId{0};
}  // namespace

void CEventSlot::Create() {
  auto event = std::make_shared<platform::Event>();
  std::lock_guard lock(m_Lock);
  m_pEvent = std::move(event);
  m_Id = ++g_LastEventId;
}

void CEventSlot::Close() {
  std::shared_ptr<platform::Event> closing;
  std::lock_guard lock(m_Lock);
  closing.swap(m_pEvent);
  m_Id = 0;
}

uint64_t CEventSlot::Id() const {
  std::lock_guard lock(m_Lock);
  return m_Id;
}

bool CEventSlot::Set() {
  const auto event = Current();
  if (!event) return false;
  event->Set();
  return true;
}

bool CEventSlot::Wait(uint32_t ms, platform::Event* stop) {
  const auto event = Current();
  if (!event) return false;
  if (stop == nullptr) return event->Wait(ms);
  return platform::WaitForAny({stop, event.get()}, ms) == 1;
}

void CEventSlot::Reset() {
  if (const auto event = Current()) event->Reset();
}

std::shared_ptr<platform::Event> CEventSlot::Current() const {
  std::lock_guard lock(m_Lock);
  return m_pEvent;
}
