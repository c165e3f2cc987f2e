#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "platform/Event.h"
#include "platform/Time.h"
#include "support/TestTime.h"

namespace {

using platform::Event;

// A wait long enough for any loaded machine: 20 s of real time at the tests' scale.
constexpr double kScale = 0.001;
constexpr uint32_t kPatienceMs = 20'000'000;

// True once thread `tid` sleeps. A thread that does nothing but wait for an
// event then sleeps inside that wait, so a Set wakes it instead of being
// found before the wait starts.
bool WaitUntilAsleep(pid_t tid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t nameEnd = text.rfind(')');
    if (nameEnd != std::string::npos && nameEnd + 2 < text.size() && text[nameEnd + 2] == 'S') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// A thread that waits for events with `wait` and tells when it is asleep in that wait.
class Waiter {
 public:
  explicit Waiter(std::function<int()> wait)
      : m_Thread([this, wait = std::move(wait)] {
          m_Tid = gettid();
          m_Result = wait();
          m_bDone = true;
        }) {}
  ~Waiter() {
    if (m_Thread.joinable()) m_Thread.join();
  }
  bool Asleep() const {
    while (m_Tid == 0) std::this_thread::yield();
    return WaitUntilAsleep(m_Tid);
  }
  bool Done() const { return m_bDone; }
  int Result() {
    m_Thread.join();
    return m_Result;
  }

 private:
  std::atomic<pid_t> m_Tid{0};
  std::atomic<int> m_Result{platform::kWaitTimeout};
  std::atomic<bool> m_bDone{false};
  std::thread m_Thread;
};

class EventTest : public ::testing::Test {
  navlume_test::TestTimeScale m_Scale{kScale};
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
  EXPECT_FALSE(event.Wait(2000));  // 2 ms of real time at this scale, raised to the tests' least wait
  EXPECT_GE(std::chrono::steady_clock::now() - start, navlume_test::kMinimumTestWait);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(EventTest, SetWakesAWaiterThatIsAlreadyWaiting) {
  Event event;
  Waiter waiter([&] { return event.Wait(platform::kInfinite) ? 0 : platform::kWaitTimeout; });
  ASSERT_TRUE(waiter.Asleep());
  event.Set();
  EXPECT_EQ(waiter.Result(), 0);
  EXPECT_FALSE(event.IsSet());  // consumed by the waiter it released
}

TEST_F(EventTest, WaitForAnyReportsTheFirstSignalledInArgumentOrder) {
  Event serial, terminate;
  terminate.Set();
  serial.Set();
  EXPECT_EQ(platform::WaitForAny({&serial, &terminate}, 0), 0);
  EXPECT_EQ(platform::WaitForAny({&serial, &terminate}, 0), 1);
  EXPECT_EQ(platform::WaitForAny({&serial, &terminate}, 10), platform::kWaitTimeout);
}

TEST_F(EventTest, WaitForAnyWakesOnTheLaterEventWhileWaiting) {
  Event serial, terminate;
  Waiter waiter([&] { return platform::WaitForAny({&serial, &terminate}, kPatienceMs); });
  ASSERT_TRUE(waiter.Asleep());
  terminate.Set();
  EXPECT_EQ(waiter.Result(), 1);
  EXPECT_FALSE(serial.IsSet());
}

TEST_F(EventTest, AutoResetEventReleasesExactlyOneOfTwoWaiters) {
  Event event;
  const auto wait = [&] { return event.Wait(kPatienceMs) ? 0 : platform::kWaitTimeout; };
  Waiter first(wait), second(wait);
  ASSERT_TRUE(first.Asleep());
  ASSERT_TRUE(second.Asleep());
  event.Set();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!first.Done() && !second.Done() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  Waiter& left = first.Done() ? second : first;
  ASSERT_TRUE(left.Asleep());  // woken with the other, found nothing and waits on
  EXPECT_FALSE(left.Done());
  EXPECT_FALSE(event.IsSet());
  event.Set();
  EXPECT_EQ(first.Result(), 0);
  EXPECT_EQ(second.Result(), 0);
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
