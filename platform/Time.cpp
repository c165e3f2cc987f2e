#include "platform/Time.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

double RealMs(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::atomic<double> g_Scale{1.0};
std::atomic<int64_t> g_MinimumWaitNs{0};

// Scaled time continues from where it stood when the scale changes, so that it
// never runs backwards for a thread that measures across the change.
std::mutex g_AnchorMutex;
Clock::time_point g_AnchorReal = Clock::now();
double g_AnchorScaledMs = RealMs(g_AnchorReal.time_since_epoch());

double ScaledNowLocked(Clock::time_point now) {
  return g_AnchorScaledMs + RealMs(now - g_AnchorReal) / g_Scale.load(std::memory_order_relaxed);
}

}  // namespace

void SetTimeScale(double scale) {
  std::lock_guard lock(g_AnchorMutex);
  const auto now = Clock::now();
  g_AnchorScaledMs = ScaledNowLocked(now);
  g_AnchorReal = now;
  g_Scale.store(scale > 0 ? scale : 1.0, std::memory_order_relaxed);
}

double TimeScale() { return g_Scale.load(std::memory_order_relaxed); }

void SetMinimumWait(std::chrono::nanoseconds minimum) {
  g_MinimumWaitNs.store(std::max<int64_t>(0, minimum.count()), std::memory_order_relaxed);
}

std::chrono::nanoseconds MinimumWait() { return std::chrono::nanoseconds(g_MinimumWaitNs.load(std::memory_order_relaxed)); }

std::chrono::nanoseconds ScaledDuration(uint32_t ms) {
  const auto scaled = static_cast<int64_t>(static_cast<double>(ms) * 1e6 * TimeScale());
  const int64_t unscaled = static_cast<int64_t>(ms) * 1'000'000;
  return std::chrono::nanoseconds(std::max(scaled, std::min(unscaled, g_MinimumWaitNs.load(std::memory_order_relaxed))));
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(ScaledDuration(ms)); }

uint64_t ScaledNowMs() {
  std::lock_guard lock(g_AnchorMutex);
  return static_cast<uint64_t>(ScaledNowLocked(Clock::now()));
}

}  // namespace platform
