// Freshness of stamped values and the record GetPosition builds from them.

#include <cstring>

#include "NmeaTestSupport.h"

namespace {

const std::string kGga = Nmea("GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,");
const std::string kRmc = Nmea("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");

using PositionStoreTest = NmeaParserTest;

TEST_F(PositionStoreTest, BeforeAnyDecodingTheRecordIsEmptyButKeepsVersionAndSize) {
  GpsPosition record;
  std::memset(&record, 0xAB, sizeof record);
  record.version = kGpsPositionVersion;
  record.size = kGpsPositionSize;
  m_Parser.GetPosition(record, kNmeaMaxAgeMs);

  GpsPosition expected{};
  expected.version = kGpsPositionVersion;
  expected.size = kGpsPositionSize;
  EXPECT_EQ(0, std::memcmp(&expected, &record, sizeof record));
}

TEST_F(PositionStoreTest, AValueIsFreshUpToExactlyTheMaximumAge) {
  ASSERT_EQ(1, Feed(kGga));
  m_Clock.AdvanceMs(100000);
  EXPECT_TRUE(Position().validFields & kGpsValidLatitude);
  // Ages are compared in whole milliseconds.
  m_Clock.Set(m_Clock.Now() + kFileTimeTicksPerMs - 1);
  EXPECT_TRUE(Position().validFields & kGpsValidLatitude);
  m_Clock.Set(m_Clock.Now() + 1);
  EXPECT_FALSE(Position().validFields & kGpsValidLatitude);
}

TEST_F(PositionStoreTest, AStampInTheFutureIsAbsentUntilTheClockPassesIt) {
  ASSERT_EQ(1, Feed(kGga));
  m_Clock.Set(kTestStart - 1);
  EXPECT_EQ(0u, Position().validFields);
  EXPECT_EQ(0u, Position().fixQuality);
  m_Clock.Set(kTestStart);
  EXPECT_NE(0u, Position().validFields & kGpsValidLatitude);
}

TEST_F(PositionStoreTest, StaleFixQualityReadsZeroWithoutAValidBit) {
  ASSERT_EQ(1, Feed(kGga));
  GpsPosition fresh = Position();
  EXPECT_EQ(kGpsFixQualityDgps, fresh.fixQuality);
  m_Clock.AdvanceMs(100001);
  GpsPosition stale = Position();
  EXPECT_EQ(0u, stale.fixQuality);
  EXPECT_EQ(0u, stale.validFields);
}

TEST_F(PositionStoreTest, EachItemIsJudgedByItsOwnAge) {
  ASSERT_EQ(1, Feed(kRmc));
  m_Clock.AdvanceMs(50000);
  ASSERT_EQ(1, Feed(Nmea("GPGGA,123609,4808.000,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")));
  m_Clock.AdvanceMs(50001);
  GpsPosition record = Position();
  EXPECT_FALSE(record.validFields & kGpsValidUtcTime);
  EXPECT_FALSE(record.validFields & kGpsValidSpeed);
  ASSERT_TRUE(record.validFields & kGpsValidLatitude);
  EXPECT_DOUBLE_EQ(48.0 + 8.0 / 60.0, record.latitude);
}

TEST_F(PositionStoreTest, OtherRecordVersionsAndSizesNeverGetTheVersion2Bits) {
  ASSERT_EQ(1, Feed(kGga));
  for (uint32_t version : {1u, 2u}) {
    for (uint32_t size : {344u, 376u}) {
      GpsPosition record{};
      record.version = version;
      record.size = size;
      m_Parser.GetPosition(record, kNmeaMaxAgeMs);
      EXPECT_EQ(version, record.version);
      EXPECT_EQ(size, record.size);
      EXPECT_EQ(0u, record.validFields & (kGpsValidPositionError | kGpsValidFixMode | kGpsValidFixError));
      EXPECT_TRUE(record.validFields & kGpsValidLatitude);
    }
  }
}

TEST_F(PositionStoreTest, ACallersSizeLargerThanTheRecordClearsOnlyTheRecord) {
  struct {
    GpsPosition record;
    unsigned char after[64];
  } guarded;
  std::memset(&guarded, 0x5A, sizeof guarded);
  guarded.record.version = kGpsPositionVersion;
  guarded.record.size = 1000;
  m_Parser.GetPosition(guarded.record, kNmeaMaxAgeMs);
  EXPECT_EQ(0u, guarded.record.validFields);
  EXPECT_EQ(1000u, guarded.record.size);
  for (unsigned char byte : guarded.after) EXPECT_EQ(0x5A, byte);
}

TEST(IsFreshTest, ZeroStampsAndNegativeAgesAreNeverFresh) {
  EXPECT_FALSE(IsFresh(kNmeaMaxAgeMs, 0, 0));
  EXPECT_FALSE(IsFresh(UINT32_MAX, 0, kTestStart));
  EXPECT_FALSE(IsFresh(UINT32_MAX, kTestStart + 1, kTestStart));
  EXPECT_TRUE(IsFresh(0, kTestStart, kTestStart + kFileTimeTicksPerMs - 1));
  EXPECT_FALSE(IsFresh(0, kTestStart, kTestStart + kFileTimeTicksPerMs));
}

}  // namespace
