#pragma once
// How often a page may show what changed: at most `count` times in any span
// of `spanMs`. A change within that allowance shows at once, so a burst of a
// few (the GSV cycles of four systems) costs no delay; one beyond it waits
// until the oldest of the last `count` showings has left the span.

#include <cstddef>
#include <cstdint>
#include <vector>

class CRepaintPacer {
 public:
  CRepaintPacer(size_t count, uint64_t spanMs);

  // Milliseconds from `nowMs` until a showing is allowed; 0: now.
  uint64_t WaitMs(uint64_t nowMs) const;
  // Notes a showing at `nowMs`.
  void Shown(uint64_t nowMs);

 private:
  size_t m_Count;
  uint64_t m_SpanMs;
  std::vector<uint64_t> m_Shown;  // the last showings, a ring; m_Oldest is next to go
  size_t m_Oldest = 0;
};
