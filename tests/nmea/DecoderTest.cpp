// The sentence decoders, through Feed: what each stores, and what refuses it.

#include <algorithm>
#include <cstring>
#include <vector>

#include "NmeaTestSupport.h"

namespace {

std::vector<uint32_t> Values(const uint32_t (&values)[kGpsMaxSatellites]) {
  return std::vector<uint32_t>(std::begin(values), std::end(values));
}

using GgaTest = NmeaParserTest;

TEST_F(GgaTest, StoresPositionQualityHdopAltitudeAndSeparation) {
  ASSERT_EQ(1, Feed(Nmea("GPGGA,123519,4916.45,N,12311.12,W,2,08,0.9,545.4,M,46.9,M,,")));
  const GpsPosition record = Position();
  EXPECT_EQ(kGpsValidLatitude | kGpsValidLongitude | kGpsValidHdop | kGpsValidAltitudeSeaLevel |
                kGpsValidAltitudeEllipsoid,
            record.validFields);
  EXPECT_EQ(49.27416666666666, record.latitude);
  EXPECT_EQ(-123.18533333333335, record.longitude);
  EXPECT_EQ(kGpsFixQualityDgps, record.fixQuality);
  EXPECT_EQ(0.9f, record.hdop);
  EXPECT_EQ(545.4f, record.altitudeSeaLevel);
  EXPECT_EQ(46.9f, record.altitudeEllipsoid);
}

TEST_F(GgaTest, NoFixOrAnUnknownQualityIsAcceptedAndChangesNothing) {
  ASSERT_EQ(1, Feed(Nmea("GPGGA,123519,4916.45,N,12311.12,W,1,08,0.9,545.4,M,46.9,M,,")));
  const GpsPosition before = Position();
  EXPECT_EQ(1, Feed(Nmea("GPGGA,123520,1000.00,S,01000.00,E,0,08,5.0,1.0,M,2.0,M,,")));
  EXPECT_EQ(1, Feed(Nmea("GPGGA,123521,1000.00,S,01000.00,E,6,08,5.0,1.0,M,2.0,M,,")));
  const GpsPosition after = Position();
  EXPECT_EQ(0, std::memcmp(&before, &after, sizeof after));
  EXPECT_EQ(kGpsFixQualityGps, after.fixQuality);
}

TEST_F(GgaTest, AnEmptyQualityStoresEverythingElse) {
  ASSERT_EQ(1, Feed(Nmea("GPGGA,123519,4916.45,N,12311.12,W,,08,0.9,545.4,F,,,,")));
  const GpsPosition record = Position();
  EXPECT_EQ(kGpsValidLatitude | kGpsValidLongitude | kGpsValidHdop | kGpsValidAltitudeSeaLevel, record.validFields);
  EXPECT_EQ(0u, record.fixQuality);
  EXPECT_EQ(static_cast<float>(545.4 * 0.30480000376701355), record.altitudeSeaLevel);
}

TEST_F(GgaTest, ASentenceCutShortOrWithAnUnreadableFieldIsRefusedAsAWhole) {
  EXPECT_EQ(0, Feed(Nmea("GPGGA,123519,4916.45,N,12311.12,W,1,08,0.9,545.4,M")));
  EXPECT_EQ(0, Feed(Nmea("GPGGA,123519,4916.45,N,12311.12,W,1,08,0.9,545.4,M,46.9,M,")));
  EXPECT_EQ(0, Feed(Nmea("GPGGA,123519,4916.45,N,12311.12,W,1,8.5,0.9,545.4,M,46.9,M,,")));
  EXPECT_EQ(0, Feed(Nmea("GPGGA,123519,4916.45,N,12311.12,W,1,08,0.9,545.4,M,46.9,M,,x")));
  EXPECT_EQ(0u, Position().validFields);
  EXPECT_EQ(0u, Position().fixQuality);
}

using RmcTest = NmeaParserTest;

const char kRmcBody[] = "GPRMC,225446.33,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E";

TEST_F(RmcTest, AValidSentenceStoresTimePositionSpeedCourseAndVariation) {
  ASSERT_EQ(1, Feed(Nmea(kRmcBody)));
  const GpsPosition record = Position();
  EXPECT_EQ(kGpsValidUtcTime | kGpsValidLatitude | kGpsValidLongitude | kGpsValidSpeed | kGpsValidHeading |
                kGpsValidMagneticVariation,
            record.validFields);
  const SYSTEMTIME& t = record.utcTime;
  EXPECT_EQ(2094, t.wYear);
  EXPECT_EQ(11, t.wMonth);
  EXPECT_EQ(19, t.wDay);
  EXPECT_EQ(5, t.wDayOfWeek);  // 19 November 2094 is a Friday
  EXPECT_EQ(22, t.wHour);
  EXPECT_EQ(54, t.wMinute);
  EXPECT_EQ(46, t.wSecond);
  EXPECT_EQ(0, t.wMilliseconds);
  EXPECT_EQ(49.27416666666666, record.latitude);
  EXPECT_EQ(0.5f, record.speed);
  EXPECT_EQ(54.7f, record.heading);
  EXPECT_EQ(20.3, record.magneticVariation);
}

TEST_F(RmcTest, AVoidSentenceIsAcceptedAndStoresNothing) {
  std::string body = kRmcBody;
  body.replace(body.find(",A,"), 3, ",V,");
  EXPECT_EQ(1, Feed(Nmea(body)));
  EXPECT_EQ(0u, Position().validFields);
}

TEST_F(RmcTest, AShortDateRefusesTheSentenceAnImpossibleOneOnlyTheTime) {
  std::string shortDate = kRmcBody;
  shortDate.replace(shortDate.find("191194"), 6, "1911");
  EXPECT_EQ(0, Feed(Nmea(shortDate)));
  EXPECT_EQ(0u, Position().validFields);

  for (const char* date : {"191394", "321194", "290223"}) {
    std::string impossible = kRmcBody;
    impossible.replace(impossible.find("191194"), 6, date);
    EXPECT_EQ(1, Feed(Nmea(impossible))) << date;
    EXPECT_FALSE(Position().validFields & kGpsValidUtcTime) << date;
    EXPECT_TRUE(Position().validFields & kGpsValidLatitude) << date;
  }
  std::string badHour = kRmcBody;
  badHour.replace(badHour.find("225446.33"), 9, "655360000");
  EXPECT_EQ(1, Feed(Nmea(badHour)));
  EXPECT_FALSE(Position().validFields & kGpsValidUtcTime);
}

using GllTest = NmeaParserTest;

TEST_F(GllTest, StoresThePositionUnlessVoid) {
  EXPECT_EQ(1, Feed(Nmea("GPGLL,4916.45,N,12311.12,W,225444,V")));
  EXPECT_EQ(0u, Position().validFields);
  EXPECT_EQ(1, Feed(Nmea("GPGLL,4916.45,N,12311.12,W,225444,A")));
  EXPECT_EQ(kGpsValidLatitude | kGpsValidLongitude, Position().validFields);
  EXPECT_EQ(1, Feed(Nmea("GPGLL,4916.45,N,12311.12,W,225444,")));  // an empty status counts as valid
  EXPECT_EQ(0, Feed(Nmea("GPGLL,4916.45,N,12311.12,W,225444")));  // a missing one refuses
}

using GsaTest = NmeaParserTest;

TEST_F(GsaTest, StoresModesDopsAndTheUsedSatellitesWithTheirGaps) {
  ASSERT_EQ(1, Feed(Nmea("GPGSA,A,3,04,05,,09,,,,,,,,,2.5,1.3,2.1")));
  const GpsPosition record = Position();
  EXPECT_EQ(kGpsValidPdop | kGpsValidHdop | kGpsValidVdop | kGpsValidSatelliteCount | kGpsValidUsedPrns,
            record.validFields);
  EXPECT_EQ(kGpsFixSelectionAuto, record.selectionType);
  EXPECT_EQ(kGpsFix3D, record.fixType);
  EXPECT_EQ(3u, record.satelliteCount);
  EXPECT_EQ((std::vector<uint32_t>{4, 5, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0}), Values(record.usedPrns));
  EXPECT_EQ(2.5f, record.pdop);
  EXPECT_EQ(1.3f, record.hdop);
  EXPECT_EQ(2.1f, record.vdop);
}

TEST_F(GsaTest, EmptyPrnFieldsStillStampTheCountAndTheSlots) {
  ASSERT_EQ(1, Feed(Nmea("GPGSA,A,3,04,05,,09,,,,,,,,,2.5,1.3,2.1")));
  ASSERT_EQ(1, Feed(Nmea("GPGSA,A,1,,,,,,,,,,,,,,,")));
  const GpsPosition record = Position();
  EXPECT_EQ(0u, record.satelliteCount);
  EXPECT_EQ(std::vector<uint32_t>(12, 0), Values(record.usedPrns));
  EXPECT_TRUE(record.validFields & kGpsValidUsedPrns);
  EXPECT_EQ(0u, record.fixType);  // '1' means no fix
  EXPECT_EQ(2.5f, record.pdop);   // empty DOPs keep the earlier ones
}

TEST_F(GsaTest, GgaAndGsaShareTheHdopAndTheLaterWins) {
  ASSERT_EQ(1, Feed(Nmea("GPGSA,A,3,04,05,,09,,,,,,,,,2.5,1.3,2.1")));
  ASSERT_EQ(1, Feed(Nmea("GPGGA,123519,4916.45,N,12311.12,W,1,08,0.9,545.4,M,46.9,M,,")));
  EXPECT_EQ(0.9f, Position().hdop);
  ASSERT_EQ(1, Feed(Nmea("GPGSA,A,3,04,05,,09,,,,,,,,,2.5,1.3,2.1")));
  EXPECT_EQ(1.3f, Position().hdop);
}

TEST_F(GsaTest, TooFewPrnFieldsRefuseTheSentence) {
  EXPECT_EQ(0, Feed(Nmea("GPGSA,A,3,04,05,09,2.5,1.3,2.1")));
  EXPECT_EQ(0u, Position().validFields);
  EXPECT_EQ(0u, Position().fixType);
}

class GsvTest : public NmeaParserTest {
 protected:
  // Satellite n (from 1) of a cycle: PRN n, elevation 10 + n, azimuth 100 + n, SNR 30 + n.
  static std::string Message(int total, int number, int inView, int first, int count) {
    std::string body = "GPGSV," + std::to_string(total) + "," + std::to_string(number) + "," + std::to_string(inView);
    for (int n = first; n < first + count; ++n) {
      body += "," + std::to_string(n) + "," + std::to_string(10 + n) + "," + std::to_string(100 + n) + "," +
              std::to_string(30 + n);
    }
    return Nmea(body);
  }

  // Feeds a whole cycle; returns what each message's Feed returned.
  std::vector<int> Cycle(int total, int inView) {
    std::vector<int> results;
    for (int number = 1; number <= total; ++number) {
      const int first = 4 * (number - 1) + 1;
      results.push_back(Feed(Message(total, number, inView, first, std::clamp(inView - first + 1, 0, 4))));
    }
    return results;
  }

  void ExpectSatellites(int stored) {
    const GpsPosition record = Position();
    ASSERT_TRUE(record.validFields & kGpsValidSatellitesInView);
    EXPECT_EQ(static_cast<uint32_t>(stored), record.satellitesInView);
    const uint32_t arrays =
        kGpsValidInViewPrns | kGpsValidInViewElevation | kGpsValidInViewAzimuth | kGpsValidInViewSnr;
    EXPECT_EQ(arrays, record.validFields & arrays);
    for (int i = 0; i < 12; ++i) {
      const uint32_t n = i < stored ? static_cast<uint32_t>(i + 1) : 0;
      EXPECT_EQ(n, record.inViewPrns[i]) << i;
      EXPECT_EQ(n ? 10 + n : 0, record.inViewElevation[i]) << i;
      EXPECT_EQ(n ? 100 + n : 0, record.inViewAzimuth[i]) << i;
      EXPECT_EQ(n ? 30 + n : 0, record.inViewSnr[i]) << i;
    }
  }
};

TEST_F(GsvTest, ACycleStoresItsSatellitesOnlyWithItsLastMessage) {
  ASSERT_EQ(1, Feed(Message(3, 1, 11, 1, 4)));
  ASSERT_EQ(1, Feed(Message(3, 2, 11, 5, 4)));
  EXPECT_EQ(0u, Position().validFields);
  ASSERT_EQ(1, Feed(Message(3, 3, 11, 9, 3)));
  ExpectSatellites(11);
}

TEST_F(GsvTest, AtMostTwelveSatellitesAreStored) {
  EXPECT_EQ((std::vector<int>{1, 1, 1, 1}), Cycle(4, 16));
  ExpectSatellites(12);
  // Messages past the third are counted but not read.
  for (const std::string& message : {Message(5, 1, 20, 1, 4), Message(5, 2, 20, 5, 4), Message(5, 3, 20, 9, 4),
                                     Nmea("GPGSV,5,4,20,x"), Nmea("GPGSV,5,5,20")}) {
    EXPECT_EQ(1, Feed(message));
  }
  ExpectSatellites(12);
}

TEST_F(GsvTest, ImpossibleCountsAreRefused) {
  EXPECT_EQ(0, Feed(Message(9, 1, 40, 1, 4)));
  EXPECT_EQ(0, Feed(Message(10, 1, 12, 1, 4)));
  EXPECT_EQ(0, Feed(Message(2, 1, 9, 1, 4)));  // more than 4 per message
  EXPECT_EQ(0, Feed(Message(2, 3, 8, 1, 4)));  // number past the total
  EXPECT_EQ(0, Feed(Message(2, 2, 8, 5, 4)));  // a cycle starts with message 1
  EXPECT_EQ(0, Feed(Nmea("GPGSV,,1,4")));
  EXPECT_EQ(0, Feed(Nmea("GPGSV,1,1")));
  EXPECT_EQ(0, Feed(Message(1, 1, 4, 1, 3)));  // a satellite missing
  EXPECT_EQ(0u, Position().validFields);
}

TEST_F(GsvTest, ALostMessageEndsTheCycleAndMessage1StartsANewOne) {
  ASSERT_EQ(1, Feed(Message(3, 1, 11, 1, 4)));
  EXPECT_EQ(0, Feed(Message(3, 3, 11, 9, 3)));
  EXPECT_EQ(0u, Position().validFields);
  EXPECT_EQ((std::vector<int>{1, 1, 1}), Cycle(3, 11));
  ExpectSatellites(11);
}

TEST_F(GsvTest, AMessage1InsideAnOpenCycleIsRefusedAndSoAreItsFollowers) {
  ASSERT_EQ(1, Feed(Message(3, 1, 11, 1, 4)));
  EXPECT_EQ(0, Feed(Message(3, 1, 11, 1, 4)));
  EXPECT_EQ(0, Feed(Message(3, 2, 11, 5, 4)));
  EXPECT_EQ(0, Feed(Message(3, 3, 11, 9, 3)));
  EXPECT_EQ(0u, Position().validFields);
  EXPECT_EQ((std::vector<int>{1, 1, 1}), Cycle(3, 11));
  ExpectSatellites(11);
}

TEST_F(GsvTest, ALaterMessageMustRepeatTheSatellitesInView) {
  ASSERT_EQ(1, Feed(Message(2, 1, 8, 1, 4)));
  EXPECT_EQ(0, Feed(Message(2, 2, 7, 5, 3)));
  EXPECT_EQ(0u, Position().validFields);
}

TEST_F(GsvTest, ACycleWithoutSatellitesWithdrawsTheInViewArrays) {
  Cycle(2, 6);
  ExpectSatellites(6);
  EXPECT_EQ((std::vector<int>{1, 1, 1}), Cycle(3, 0));
  const GpsPosition record = Position();
  EXPECT_EQ(kGpsValidSatellitesInView, record.validFields);
  EXPECT_EQ(0u, record.satellitesInView);
  EXPECT_EQ(std::vector<uint32_t>(12, 0), Values(record.inViewPrns));
}

TEST_F(GsvTest, EmptySatelliteFieldsReadAsZero) {
  ASSERT_EQ(1, Feed(Nmea("GPGSV,1,1,02,07,,,,08,45,,")));
  const GpsPosition record = Position();
  EXPECT_EQ(2u, record.satellitesInView);
  EXPECT_EQ((std::vector<uint32_t>{7, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), Values(record.inViewPrns));
  EXPECT_EQ((std::vector<uint32_t>{0, 45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), Values(record.inViewElevation));
  EXPECT_EQ(std::vector<uint32_t>(12, 0), Values(record.inViewSnr));
}

}  // namespace
