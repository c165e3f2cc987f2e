#include <gtest/gtest.h>

#include "platform/Clock.h"

namespace {

SYSTEMTIME Date(uint16_t year, uint16_t month, uint16_t day, uint16_t hour = 0, uint16_t minute = 0,
                uint16_t second = 0, uint16_t ms = 0) {
  return SYSTEMTIME{year, month, 0, day, hour, minute, second, ms};
}

TEST(SystemTimeConversion, RoundTripsAndComputesDayOfWeek) {
  FILETIME ft = 0;
  ASSERT_TRUE(SystemTimeToFileTime(Date(2026, 12, 8, 2, 39, 20, 125), ft));
  SYSTEMTIME back{};
  ASSERT_TRUE(FileTimeToSystemTime(ft, back));
  EXPECT_EQ(back.wYear, 2026);
  EXPECT_EQ(back.wMonth, 12);
  EXPECT_EQ(back.wDay, 8);
  EXPECT_EQ(back.wDayOfWeek, 2);  // Tuesday
  EXPECT_EQ(back.wHour, 2);
  EXPECT_EQ(back.wMinute, 39);
  EXPECT_EQ(back.wSecond, 20);
  EXPECT_EQ(back.wMilliseconds, 125);
}

TEST(SystemTimeConversion, EpochIsFirstOfJanuary1601AndUnixEpochMatches) {
  FILETIME ft = 1;
  ASSERT_TRUE(SystemTimeToFileTime(Date(1601, 1, 1), ft));
  EXPECT_EQ(ft, 0u);
  ASSERT_TRUE(SystemTimeToFileTime(Date(1970, 1, 1), ft));
  EXPECT_EQ(ft, 116444736000000000ULL);
}

TEST(SystemTimeConversion, RefusesDatesThePlatformRefuses) {
  FILETIME ft = 0;
  EXPECT_FALSE(SystemTimeToFileTime(Date(2024, 13, 1), ft));
  EXPECT_FALSE(SystemTimeToFileTime(Date(2024, 0, 1), ft));
  EXPECT_FALSE(SystemTimeToFileTime(Date(2024, 1, 32), ft));
  EXPECT_FALSE(SystemTimeToFileTime(Date(2024, 1, 0), ft));
  EXPECT_FALSE(SystemTimeToFileTime(Date(2023, 2, 29), ft));
  EXPECT_TRUE(SystemTimeToFileTime(Date(2024, 2, 29), ft));
  EXPECT_FALSE(SystemTimeToFileTime(Date(2024, 1, 1, 24), ft));
  EXPECT_FALSE(SystemTimeToFileTime(Date(2024, 1, 1, 0, 60), ft));
  EXPECT_FALSE(SystemTimeToFileTime(Date(1600, 12, 31), ft));
}

TEST(UtcClock, InstalledClockIsReadAndSystemClockComesBack) {
  platform::ManualClock manual(1234);
  {
    platform::ScopedUtcClock scoped(manual);
    EXPECT_EQ(platform::GetUtcFileTime(), 1234u);
    manual.AdvanceMs(5);
    EXPECT_EQ(platform::GetUtcFileTime(), 1234u + 5 * kFileTimeTicksPerMs);
  }
  EXPECT_GT(platform::GetUtcFileTime(), 116444736000000000ULL);
}

}  // namespace
