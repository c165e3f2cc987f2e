// Main page texts: absent values, coordinates with hemispheres, DOP bands and
// the time to fix.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/pages/logic/MainPageText.h"
#include "pages/PageRecords.h"

namespace {

using page_test::EmptyRecord;

TEST(MainPageTextTest, RecordWithoutValidBitsShowsPlaceholders) {
  CFixClock clock;
  GpsPosition record = EmptyRecord();
  record.latitude = 12.0;
  record.hdop = 1.0f;
  record.satelliteCount = 9;
  record.fixQuality = kGpsFixQualityGps;
  const MainPageTexts texts = MakeMainPageTexts(record, clock);
  EXPECT_EQ(texts.utcTime, "00:00:00");
  EXPECT_EQ(texts.latitude, "0000.0000");
  EXPECT_EQ(texts.longitude, "0000.0000");
  EXPECT_EQ(texts.satellitesUsed, "00");
  EXPECT_EQ(texts.pdop, "None");
  EXPECT_EQ(texts.hdop, "None");
  EXPECT_EQ(texts.vdop, "None");
  EXPECT_EQ(texts.fix, "Valid SPS(00:00)");
}

TEST(MainPageTextTest, ValidValuesAreFormatted) {
  CFixClock clock;
  GpsPosition record = EmptyRecord();
  record.validFields = kGpsValidUtcTime | kGpsValidLatitude | kGpsValidLongitude | kGpsValidSatelliteCount |
                       kGpsValidPdop | kGpsValidHdop | kGpsValidVdop;
  record.utcTime.wHour = 9;
  record.utcTime.wMinute = 5;
  record.utcTime.wSecond = 3;
  record.latitude = 48.1173;
  record.longitude = -122.25;
  record.satelliteCount = 7;
  record.pdop = 2.5f;
  record.hdop = 0.8f;
  record.vdop = 8.0f;
  const MainPageTexts texts = MakeMainPageTexts(record, clock);
  EXPECT_EQ(texts.utcTime, "09:05:03");
  EXPECT_EQ(texts.latitude, "48\u00B0 7.038000 N");
  EXPECT_EQ(texts.longitude, "122\u00B0 15.000000 W");
  EXPECT_EQ(texts.satellitesUsed, "07");
  EXPECT_EQ(texts.pdop, "2.5 = Excellent");
  EXPECT_EQ(texts.hdop, "0.8 = Ideal");
  EXPECT_EQ(texts.vdop, "8.0 = Moderate");
}

TEST(MainPageTextTest, HemisphereTellsOppositeCoordinatesApart) {
  EXPECT_EQ(FormatDegreesMinutes(37.5, 'N', 'S'), "37\u00B0 30.000000 N");
  EXPECT_EQ(FormatDegreesMinutes(-37.5, 'N', 'S'), "37\u00B0 30.000000 S");
  EXPECT_EQ(FormatDegreesMinutes(0.0, 'E', 'W'), "00\u00B0 0.000000 E");
  EXPECT_EQ(FormatDegreesMinutes(-5.75, 'E', 'W'), "05\u00B0 45.000000 W");
  EXPECT_EQ(FormatDegreesMinutes(179.999, 'E', 'W'), "179\u00B0 59.940000 E");
}

TEST(MainPageTextTest, ValuesThatAreNoCoordinateShowThePlaceholder) {
  EXPECT_EQ(FormatDegreesMinutes(std::numeric_limits<double>::quiet_NaN(), 'N', 'S'), "0000.0000");
  EXPECT_EQ(FormatDegreesMinutes(std::numeric_limits<double>::infinity(), 'N', 'S'), "0000.0000");
  EXPECT_EQ(FormatDegreesMinutes(-1e300, 'N', 'S'), "0000.0000");
}

TEST(MainPageTextTest, DopBandsIncludeTheirLowerBound) {
  struct Case {
    float dop;
    const char* text;
  };
  const Case cases[] = {
      {0.0f, "0.0 = Ideal"},      {0.8f, "0.8 = Ideal"},       {1.9f, "1.9 = Ideal"},
      {2.0f, "2.0 = Excellent"},  {3.9f, "3.9 = Excellent"},   {4.0f, "4.0 = Good"},
      {7.0f, "7.0 = Moderate"},   {9.0f, "9.0 = Fair"},        {20.9f, "20.9 = Fair"},
      {21.0f, "21.0 = Bad"},      {50.9f, "50.9 = Bad"},       {51.0f, "None"},
      {60.0f, "None"},            {-0.1f, "None"},             {std::nanf(""), "None"},
  };
  for (const Case& c : cases) EXPECT_EQ(RateDop(c.dop), c.text) << c.dop;
}

TEST(MainPageTextTest, FixLineCountsTheSecondsToTheFixAndRestartsAfterALoss) {
  CFixClock clock;
  EXPECT_EQ(clock.FixText(kGpsFixQualityUnknown), "Invalid");
  for (int i = 0; i < 75; ++i) clock.Tick();
  EXPECT_EQ(clock.FixText(kGpsFixQualityDgps), "Valid DGPS(01:15)");
  for (int i = 0; i < 10; ++i) clock.Tick();
  EXPECT_EQ(clock.FixText(kGpsFixQualityDgps), "Valid DGPS(01:15)");
  EXPECT_EQ(clock.Seconds(), 75);

  EXPECT_EQ(clock.FixText(kGpsFixQualityUnknown), "Invalid");
  EXPECT_EQ(clock.Seconds(), 0);
  for (int i = 0; i < 3; ++i) clock.Tick();
  EXPECT_EQ(clock.FixText(6), "Invalid");  // not a fix: the count goes on
  clock.Tick();
  EXPECT_EQ(clock.FixText(kGpsFixQualityGps), "Valid SPS(00:04)");
}

TEST(MainPageTextTest, FixLineShowsLongWaitsInWholeMinutes) {
  CFixClock clock;
  for (int i = 0; i < 6005; ++i) clock.Tick();
  EXPECT_EQ(clock.FixText(kGpsFixQualityGps), "Valid SPS(100:05)");
}

}  // namespace
