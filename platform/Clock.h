#pragma once
// UTC time as the handheld keeps it: FILETIME (100-ns ticks since 1601-01-01)
// and SYSTEMTIME, with a clock that tests can replace.

#include <atomic>
#include <cstdint>

struct SYSTEMTIME {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16);

using FILETIME = uint64_t;

constexpr FILETIME kFileTimeTicksPerMs = 10'000;

// Both return false for a date or time the platform would refuse
// (month 13, day 32, 29 February of a common year, hour 24, year before 1601 ...).
bool SystemTimeToFileTime(const SYSTEMTIME& systemTime, FILETIME& fileTime);
bool FileTimeToSystemTime(FILETIME fileTime, SYSTEMTIME& systemTime);

namespace platform {

class UtcClock {
 public:
  virtual ~UtcClock() = default;
  virtual FILETIME Now() const = 0;
};

// The current UTC time from the installed clock (the system clock unless a test installed one).
FILETIME GetUtcFileTime();

// Installs a clock for the whole process; nullptr restores the system clock.
void SetUtcClock(const UtcClock* clock);

// A clock that stands still until told to move; for tests of freshness rules.
class ManualClock final : public UtcClock {
 public:
  explicit ManualClock(FILETIME start = 0) : m_Now(start) {}
  FILETIME Now() const override { return m_Now.load(std::memory_order_relaxed); }
  void Set(FILETIME now) { m_Now.store(now, std::memory_order_relaxed); }
  void AdvanceMs(uint64_t ms) { m_Now.fetch_add(ms * kFileTimeTicksPerMs, std::memory_order_relaxed); }

 private:
  std::atomic<FILETIME> m_Now;
};

// Installs a clock for one scope.
class ScopedUtcClock {
 public:
  explicit ScopedUtcClock(const UtcClock& clock) { SetUtcClock(&clock); }
  ~ScopedUtcClock() { SetUtcClock(nullptr); }
  ScopedUtcClock(const ScopedUtcClock&) = delete;
  ScopedUtcClock& operator=(const ScopedUtcClock&) = delete;
};

}  // namespace platform
