#include <gtest/gtest.h>

#include "platform/Time.h"

namespace {

using namespace platform;

TEST(ScaledTime, NeverRunsBackwardsWhenTheScaleChanges) {
  uint64_t last = ScaledNowMs();
  for (double scale : {0.001, 1.0, 0.01, 1000.0, 0.5}) {
    ScopedTimeScale scoped(scale);
    const uint64_t now = ScaledNowMs();
    EXPECT_GE(now, last) << scale;
    last = now;
  }
  EXPECT_GE(ScaledNowMs(), last);
}

TEST(ScaledTime, DurationsFollowTheScale) {
  ScopedTimeScale scoped(0.01);
  EXPECT_EQ(ScaledDuration(3000), std::chrono::milliseconds(30));
  SetTimeScale(0);  // not a usable scale: back to real time
  EXPECT_EQ(TimeScale(), 1.0);
}

TEST(ScaledTime, AFloorKeepsShortWaitsLongEnoughButNeverBeyondTheirOwnLength) {
  using std::chrono::milliseconds;
  {
    ScopedTimeScale scoped(0.01, milliseconds(30));
    EXPECT_EQ(ScaledDuration(6000), milliseconds(60));
    EXPECT_EQ(ScaledDuration(1000), milliseconds(30));
    EXPECT_EQ(ScaledDuration(20), milliseconds(20));
    EXPECT_EQ(ScaledDuration(0), milliseconds(0));
  }
  EXPECT_EQ(MinimumWait(), milliseconds(0));
  EXPECT_EQ(ScaledDuration(1000), milliseconds(1000));
}

}  // namespace
