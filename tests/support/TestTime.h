#pragma once
// The suites' time scale: the system's seconds pass in milliseconds, but no
// wait lasts less real time than a loaded 2-core machine can honour, where a
// woken thread may wait tens of milliseconds for a core.

#include <chrono>

#include "platform/Time.h"

namespace navlume_test {

constexpr std::chrono::milliseconds kMinimumTestWait{100};

class TestTimeScale : public platform::ScopedTimeScale {
 public:
  explicit TestTimeScale(double scale) : ScopedTimeScale(scale, kMinimumTestWait) {}
};

}  // namespace navlume_test
