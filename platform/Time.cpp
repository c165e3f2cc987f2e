#include "platform/Time.h"

#include <atomic>
#include <thread>

namespace platform {
namespace {
std::atomic<double> g_Scale{1.0};
}

void SetTimeScale(double scale) { g_Scale.store(scale > 0 ? scale : 1.0, std::memory_order_relaxed); }

double TimeScale() { return g_Scale.load(std::memory_order_relaxed); }

std::chrono::nanoseconds ScaledDuration(uint32_t ms) {
  return std::chrono::nanoseconds(static_cast<int64_t>(static_cast<double>(ms) * 1e6 * TimeScale()));
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(ScaledDuration(ms)); }

uint64_t ScaledNowMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const double realMs = std::chrono::duration<double, std::milli>(now).count();
  return static_cast<uint64_t>(realMs / TimeScale());
}

}  // namespace platform
