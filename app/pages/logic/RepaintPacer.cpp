#include "app/pages/logic/RepaintPacer.h"

#include <algorithm>

CRepaintPacer::CRepaintPacer(size_t count, uint64_t spanMs) : m_Count(std::max<size_t>(count, 1)), m_SpanMs(spanMs) {
  m_Shown.reserve(count);
}

uint64_t CRepaintPacer::WaitMs(uint64_t nowMs) const {
  if (m_Shown.size() < m_Count) return 0;
  const uint64_t allowedAt = m_Shown[m_Oldest] + m_SpanMs;
  return nowMs >= allowedAt ? 0 : allowedAt - nowMs;
}

void CRepaintPacer::Shown(uint64_t nowMs) {
  if (m_Shown.size() < m_Count) {
    m_Shown.push_back(nowMs);
    return;
  }
  m_Shown[m_Oldest] = nowMs;
  m_Oldest = (m_Oldest + 1) % m_Shown.size();
}
