#include "device/EventSlot.h"

void CEventSlot::Create() {
  auto event = std::make_shared<platform::Event>();
  std::lock_guard lock(m_Lock);
  m_pEvent = std::move(event);
}

void CEventSlot::Close() {
  std::shared_ptr<platform::Event> closing;
  std::lock_guard lock(m_Lock);
  closing.swap(m_pEvent);
}

bool CEventSlot::Exists() const { return Current() != nullptr; }

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
