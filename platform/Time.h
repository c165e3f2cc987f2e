#pragma once
// The one time source for every wait and period of the system. Durations are
// written in the code as the system states them (1000 ms, 5000 ms ...); the
// process-wide scale shrinks them in tests and simulations (1 in the product).

#include <chrono>
#include <cstdint>

namespace platform {

constexpr uint32_t kInfinite = 0xFFFFFFFF;

void SetTimeScale(double scale);
double TimeScale();

// The least real time a scaled wait lasts (a wait shorter than that unscaled
// keeps its unscaled length). None by default; suites that shrink the
// system's seconds set one, since a loaded machine cannot honour a wait of a
// millisecond.
void SetMinimumWait(std::chrono::nanoseconds minimum);
std::chrono::nanoseconds MinimumWait();

// A duration of `ms` system milliseconds in real time, after scaling.
std::chrono::nanoseconds ScaledDuration(uint32_t ms);

// Blocks the calling thread for `ms` system milliseconds (scaled).
void SleepMs(uint32_t ms);

// Steady time measured in system milliseconds (real elapsed time divided by the scale).
uint64_t ScaledNowMs();

class ScopedTimeScale {
 public:
  explicit ScopedTimeScale(double scale, std::chrono::nanoseconds minimumWait = MinimumWait())
      : m_Previous(TimeScale()), m_PreviousMinimum(MinimumWait()) {
    SetTimeScale(scale);
    SetMinimumWait(minimumWait);
  }
  ~ScopedTimeScale() {
    SetTimeScale(m_Previous);
    SetMinimumWait(m_PreviousMinimum);
  }
  ScopedTimeScale(const ScopedTimeScale&) = delete;
  ScopedTimeScale& operator=(const ScopedTimeScale&) = delete;

 private:
  double m_Previous;
  std::chrono::nanoseconds m_PreviousMinimum;
};

}  // namespace platform
