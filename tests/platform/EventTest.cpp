#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Event.h"
#include "platform/Time.h"

namespace {

using platform::Event;

class EventTest : public ::testing::Test {
  platform::ScopedTimeScale m_Scale{0.001};
};

TEST_F(EventTest, AutoResetReleasesOneWaitAndClears) {
  Event event;
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
}

TEST_F(EventTest, ManualResetStaysSignalledUntilReset) {
  Event event(true);
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
}

TEST_F(EventTest, WaitTimesOutOnTheScaledClock) {
  Event event;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.Wait(2000));  // 2 ms of real time at this scale
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(EventTest, SetFromAnotherThreadWakesTheWaiter) {
  Event event;
  std::thread setter([&] { event.Set(); });
  EXPECT_TRUE(event.Wait(platform::kInfinite));
  setter.join();
}

TEST_F(EventTest, WaitForAnyReportsTheFirstSignalledInArgumentOrder) {
  Event serial, terminate;
  terminate.Set();
  serial.Set();
  EXPECT_EQ(platform::WaitForAny({&serial, &terminate}, 0), 0);
  EXPECT_EQ(platform::WaitForAny({&serial, &terminate}, 0), 1);
  EXPECT_EQ(platform::WaitForAny({&serial, &terminate}, 10), platform::kWaitTimeout);
}

TEST_F(EventTest, WaitForAnyWakesOnTheLaterEvent) {
  Event serial, terminate;
  std::thread setter([&] { terminate.Set(); });
  EXPECT_EQ(platform::WaitForAny({&serial, &terminate}, platform::kInfinite), 1);
  setter.join();
}

TEST_F(EventTest, AutoResetEventReleasesExactlyOneOfTwoWaiters) {
  Event event;
  std::atomic<int> released{0};
  auto wait = [&] { released += event.Wait(200) ? 1 : 0; };
  std::thread a(wait), b(wait);
  event.Set();
  a.join();
  b.join();
  EXPECT_EQ(released.load(), 1);
}

TEST(NamedEvents, OpenFindsOnlyWhatWasCreated) {
  EXPECT_EQ(platform::OpenNamedEvent("PowerManager/ReloadActivityTimeouts"), nullptr);
  auto created = platform::CreateNamedEvent("Navlume/Test");
  auto opened = platform::OpenNamedEvent("Navlume/Test");
  EXPECT_EQ(created, opened);
  created.reset();
  opened.reset();
  EXPECT_EQ(platform::OpenNamedEvent("Navlume/Test"), nullptr);
}

}  // namespace
