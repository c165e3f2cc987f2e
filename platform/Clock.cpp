#include "platform/Clock.h"

#include <chrono>
#include <ctime>

namespace {

using namespace std::chrono;

constexpr int64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifferenceSeconds = 11'644'473'600LL;
constexpr uint16_t kFirstYear = 1601;
constexpr uint16_t kLastYear = 30827;

class SystemUtcClock final : public platform::UtcClock {
 public:
  FILETIME Now() const override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<FILETIME>((ts.tv_sec + kEpochDifferenceSeconds) * kTicksPerSecond + ts.tv_nsec / 100);
  }
};

const SystemUtcClock g_SystemClock;
std::atomic<const platform::UtcClock*> g_pClock{&g_SystemClock};

const year_month_day kFileTimeEpoch{year{1601}, January, day{1}};

}  // namespace

bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME& fileTime) {
  if (st.wYear < kFirstYear || st.wYear > kLastYear) return false;
  if (st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999) return false;
  const year_month_day date{year{st.wYear}, month{st.wMonth}, day{st.wDay}};
  if (!date.ok()) return false;
  const int64_t days = (sys_days{date} - sys_days{kFileTimeEpoch}).count();
  const int64_t ms = ((days * 24 + st.wHour) * 60 + st.wMinute) * 60'000LL + st.wSecond * 1000LL + st.wMilliseconds;
  fileTime = static_cast<FILETIME>(ms) * kFileTimeTicksPerMs;
  return true;
}

bool FileTimeToSystemTime(FILETIME fileTime, SYSTEMTIME& st) {
  if (fileTime >= 0x8000000000000000ULL) return false;
  const int64_t totalMs = static_cast<int64_t>(fileTime / kFileTimeTicksPerMs);
  const int64_t days = totalMs / 86'400'000LL;
  int64_t msOfDay = totalMs % 86'400'000LL;
  const sys_days date = sys_days{kFileTimeEpoch} + std::chrono::days{days};
  const year_month_day ymd{date};
  st.wYear = static_cast<uint16_t>(static_cast<int>(ymd.year()));
  st.wMonth = static_cast<uint16_t>(static_cast<unsigned>(ymd.month()));
  st.wDay = static_cast<uint16_t>(static_cast<unsigned>(ymd.day()));
  st.wDayOfWeek = static_cast<uint16_t>(weekday{date}.c_encoding());
  st.wHour = static_cast<uint16_t>(msOfDay / 3'600'000);
  msOfDay %= 3'600'000;
  st.wMinute = static_cast<uint16_t>(msOfDay / 60'000);
  msOfDay %= 60'000;
  st.wSecond = static_cast<uint16_t>(msOfDay / 1000);
  st.wMilliseconds = static_cast<uint16_t>(msOfDay % 1000);
  return true;
}

namespace platform {

FILETIME GetUtcFileTime() { return g_pClock.load(std::memory_order_acquire)->Now(); }

void SetUtcClock(const UtcClock* clock) {
  g_pClock.store(clock ? clock : &g_SystemClock, std::memory_order_release);
}

}  // namespace platform
