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

// Every constellation talker.
class AnyTalkerTest : public NmeaParserTest {
 protected:
  void SetUp() override { m_Parser.SetTalkers(NmeaTalkers::Any); }

  SatelliteSystems Systems() const {
    SatelliteSystems systems;
    m_Parser.GetInViewSystems(Position(), systems);
    return systems;
  }

  // The record that a GGA and an RMC of `talker` give, NMEA 4.10 fields included.
  static GpsPosition GgaAndRmcOf(const std::string& talker, NmeaTalkers talkers) {
    NmeaParser parser;
    parser.SetTalkers(talkers);
    const std::string sentences = Nmea(talker + "GGA,123519,4916.45,N,12311.12,W,2,08,0.9,545.4,M,46.9,M,,") +
                                  Nmea(talker + "RMC,225446.33,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A,V");
    EXPECT_EQ(2, parser.Feed(sentences.data(), static_cast<uint32_t>(sentences.size()))) << talker;
    return PositionOf(parser);
  }
};

TEST_F(AnyTalkerTest, PositionSentencesOfEveryConstellationTalkerFillTheRecordAsGpOnesDo) {
  const GpsPosition expected = GgaAndRmcOf("GP", NmeaTalkers::Gps);
  for (const char* talker : {"GN", "GP", "GL", "GA", "GB", "BD", "GQ", "QZ", "GI"}) {
    const GpsPosition got = GgaAndRmcOf(talker, NmeaTalkers::Any);
    EXPECT_EQ(0, std::memcmp(&expected, &got, sizeof got)) << talker;
  }
  for (const char* other : {"II", "IN", "PS", "GX"})
    EXPECT_EQ(0, Feed(Nmea(std::string(other) + "GLL,4916.45,N,12311.12,W,225444,A"))) << other;
  EXPECT_EQ(0u, Position().validFields);
}

TEST_F(AnyTalkerTest, GsaSentencesOfOneEpochAddUpAndTheRecordShowsWholeEpochsOnly) {
  // u-blox 8: GN for each system, GPS numbers 1-32 and GLONASS 65-96.
  ASSERT_EQ(1, Feed(Nmea("GNGSA,A,3,23,09,,16,07,26,03,27,22,,,,1.71,1.01,1.38")));
  ASSERT_EQ(1, Feed(Nmea("GNGSA,A,3,80,70,73,79,69,71,,,,,,,1.71,1.01,1.38")));
  const GpsPosition record = Position();
  EXPECT_EQ(14u, record.satelliteCount);
  EXPECT_EQ((std::vector<uint32_t>{23, 9, 0, 16, 7, 26, 3, 27, 22, 80, 70, 73}), Values(record.usedPrns));
  EXPECT_EQ(kGpsFix3D, record.fixType);

  // A position sentence ends the epoch, and so does a system that reports a
  // second time (NMEA 4.10 names it by id: 1 GPS, 2 GLONASS, 4 BeiDou). The
  // record keeps the last whole epoch until each of its systems reported again.
  const struct {
    const char* sentence;
    uint32_t used;
  } steps[] = {
      {"GNGGA,000942.00,4404.13401,N,12118.85633,W,1,12,1.01,1144.9,M,-21.4,M,,", 14},
      {"GNGSA,A,3,23,09,,,,,,,,,,,1.71,1.01,1.38", 14},  // GLONASS still to come
      {"GNGSA,A,3,80,,,,,,,,,,,,1.71,1.01,1.38", 3},
      {"GNGSA,A,3,13,27,37,,,,,,,,,,1.5,0.9,1.2,4", 6},  // a system more joins at once
      {"GNGSA,A,3,14,,,,,,,,,,,,1.5,0.9,1.2,4", 6},      // a new epoch: GPS and GLONASS still to come
      {"GNGSA,A,3,01,,,,,,,,,,,,1.5,0.9,1.2,1", 6},
      {"GNGSA,A,3,65,,,,,,,,,,,,1.5,0.9,1.2,2", 3},
  };
  for (const auto& step : steps) {
    ASSERT_EQ(1, Feed(Nmea(step.sentence))) << step.sentence;
    EXPECT_EQ(step.used, Position().satelliteCount) << step.sentence;
  }
  EXPECT_EQ(0, Feed(Nmea("GNGSA,A,3,14,,,,,,,,,,,,1.5,0.9,1.2,x")));  // an unreadable system id refuses
}

class AnyTalkerSkyTest : public AnyTalkerTest {
 protected:
  // A whole cycle of `talker`; satellite i gets PRN first + i, elevation 10 + i,
  // azimuth 100 + i and the given SNR; `tail` follows every message's satellites.
  void FeedCycle(const std::string& talker, uint32_t first, const std::vector<uint32_t>& snrs,
                 const std::string& tail = "") {
    const size_t total = std::max<size_t>(1, (snrs.size() + 3) / 4);
    for (size_t message = 0; message < total; ++message) {
      std::string body = talker + "GSV," + std::to_string(total) + "," + std::to_string(message + 1) + "," +
                         std::to_string(snrs.size());
      for (size_t i = message * 4; i < std::min(snrs.size(), message * 4 + 4); ++i) {
        body += "," + std::to_string(first + i) + "," + std::to_string(10 + i) + "," + std::to_string(100 + i) + ",";
        if (snrs[i] != 0) body += std::to_string(snrs[i]);
      }
      ASSERT_EQ(1, Feed(Nmea(body + tail))) << body;
    }
  }
};

TEST_F(AnyTalkerSkyTest, AllSystemsFillTheChannelsUsedFirstThenStrongestInTheOrderReported) {
  ASSERT_EQ(1, Feed(Nmea("GNGSA,A,3,01,02,03,,,,,,,,,,1.5,0.9,1.2,1")));
  ASSERT_EQ(1, Feed(Nmea("GNGSA,A,3,65,,,,,,,,,,,,1.5,0.9,1.2,2")));
  // GPS 1-21 (SNR 20, 1 and 2 weak), GLONASS 65-72, Galileo 1-6 with the strongest signals.
  std::vector<uint32_t> gps(21, 20);
  gps[0] = gps[1] = 5;
  gps[20] = 44;
  FeedCycle("GP", 1, gps, ",1");
  FeedCycle("GL", 65, {0, 30, 30, 30, 30, 30, 30, 30}, ",1");
  FeedCycle("GA", 1, {45, 46, 47, 48, 49, 50}, ",7");
  const GpsPosition record = Position();
  EXPECT_EQ(35u, record.satellitesInView);
  // Used: GPS 1, 2, 3 and GLONASS 65 (SNR 0); then the eight strongest: Galileo
  // 1-6, GPS 21 and the first GLONASS at 30 (report order breaks the tie).
  EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 21, 65, 66, 1, 2, 3, 4, 5, 6}), Values(record.inViewPrns));
  EXPECT_EQ((std::vector<uint32_t>{5, 5, 20, 44, 0, 30, 45, 46, 47, 48, 49, 50}), Values(record.inViewSnr));
  EXPECT_EQ(30u, record.inViewElevation[3]);
  const SatelliteSystems systems = Systems();
  using G = GnssSystem;
  EXPECT_EQ((SatelliteSystems{G::Gps, G::Gps, G::Gps, G::Gps, G::Glonass, G::Glonass, G::Galileo, G::Galileo,
                              G::Galileo, G::Galileo, G::Galileo, G::Galileo}),
            systems);
}

TEST_F(AnyTalkerSkyTest, ANewEpochKeepsTheLastSystemsUntilTheyReportAgainAndSignalsCountOnce) {
  FeedCycle("GP", 1, {30, 31}, ",1");
  FeedCycle("GB", 11, {40}, ",1");
  ASSERT_EQ(3u, Position().satellitesInView);
  ASSERT_EQ(1, Feed(Nmea("GNRMC,055234.200,A,4739.71890,N,12219.58362,W,0.00,286.35,050826,,,A,V")));
  // The next epoch's GPS cycle: BeiDou of the last epoch still shows.
  FeedCycle("GP", 1, {32, 33, 34}, ",1");
  GpsPosition record = Position();
  EXPECT_EQ(4u, record.satellitesInView);
  EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 11, 0, 0, 0, 0, 0, 0, 0, 0}), Values(record.inViewPrns));
  // The same GPS satellites on a second signal (L5, id 7) count once, with their strongest SNR.
  FeedCycle("GP", 1, {20, 45}, ",7");
  FeedCycle("GB", 12, {41}, ",1");
  record = Position();
  EXPECT_EQ(4u, record.satellitesInView);
  EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 12, 0, 0, 0, 0, 0, 0, 0, 0}), Values(record.inViewPrns));
  EXPECT_EQ((std::vector<uint32_t>{32, 45, 34, 41, 0, 0, 0, 0, 0, 0, 0, 0}), Values(record.inViewSnr));
  EXPECT_EQ(GnssSystem::BeiDou, Systems()[3]);
}

TEST_F(AnyTalkerSkyTest, ASystemThatSkipsEpochsStaysUntilItReportsAgainOrFiveSecondsPass) {
  // Each step: seconds later, an epoch's position sentence (or none, inside
  // an epoch), the cycle of one system, then the PRNs the channels show.
  const struct {
    uint32_t afterMs;
    bool newEpoch;
    const char* talker;
    uint32_t first;
    size_t satellites;
    std::vector<uint32_t> shown;
  } kSteps[] = {
      {0, true, "GP", 1, 2, {1, 2}},
      {0, false, "GL", 65, 2, {1, 2, 65, 66}},
      {1000, true, "GP", 1, 3, {1, 2, 3, 65, 66}},  // GLONASS skips an epoch
      {1000, true, "GP", 1, 3, {1, 2, 3, 65, 66}},  // and another
      {0, false, "GL", 67, 1, {1, 2, 3, 67}},       // it reports again
      {4000, true, "GP", 1, 3, {1, 2, 3, 67}},
      {1100, true, "GP", 1, 3, {1, 2, 3}},          // five seconds without a GLONASS report
  };
  for (const auto& step : kSteps) {
    m_Clock.AdvanceMs(step.afterMs);
    if (step.newEpoch) {
      ASSERT_EQ(1, Feed(Nmea("GNRMC,055234.200,A,4739.71890,N,12219.58362,W,0.00,286.35,050826,,,A,V")));
    }
    FeedCycle(step.talker, step.first, std::vector<uint32_t>(step.satellites, 30));
    std::vector<uint32_t> shown = Values(Position().inViewPrns);
    shown.resize(step.shown.size());
    EXPECT_EQ(step.shown, shown) << step.talker << " after " << step.afterMs;
    EXPECT_EQ(step.shown.size(), Position().satellitesInView) << step.talker << " after " << step.afterMs;
  }
}

TEST_F(AnyTalkerSkyTest, AnotherSystemsCycleEndsACycleWhoseLastMessageWasLost) {
  ASSERT_EQ(1, Feed(Nmea("GPGSV,2,1,05,01,10,100,30,02,11,101,31,03,12,102,32,04,13,103,33")));
  FeedCycle("GL", 70, {25, 26});
  const GpsPosition record = Position();
  EXPECT_EQ(2u, record.satellitesInView);
  EXPECT_EQ((std::vector<uint32_t>{70, 71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), Values(record.inViewPrns));
}

}  // namespace
