// The signal history: scatter statistics on hand-made points, C/N0 ranks,
// thinned series, and whole logs fed through the decoder (TTFF, fix time and
// gaps, the time line past midnight, one series per signal).

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "nmea/HistoryFeed.h"
#include "nmea/SignalHistory.h"
#include "NmeaTestSupport.h"

namespace {

// Metres per degree on the equator, WGS 84: along the meridian a(1-e²), along it a.
constexpr double kNorthMetresPerDegree = 6378137.0 * (1 - 6.69437999014e-3) * std::numbers::pi / 180;
constexpr double kEastMetresPerDegree = 6378137.0 * std::numbers::pi / 180;
constexpr double kGridTolerance = 0.01;

struct Metres {
  double east, north;
};

struct ScatterCase {
  const char* name;
  std::vector<Metres> points;
  double cep50, cep95, drms2;
};

TEST(SignalHistoryTest, ScatterStatisticsAroundTheMean) {
  const std::vector<Metres> rings = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {2, 0}, {0, 2}, {-2, 0}, {0, -2}, {3, 0}, {-3, 0}};
  std::vector<Metres> shifted;
  for (const Metres& p : rings) shifted.push_back({p.east + 5, p.north - 3});
  const ScatterCase cases[] = {
      // Nearest rank: the 5th and the 10th of ten distances; 2DRMS = 2 sqrt((4·1 + 4·4 + 2·9) / 10).
      {"rings around the first point", rings, 2, 3, 2 * std::sqrt(3.8)},
      {"the same rings away from the first point", shifted, 2, 3, 2 * std::sqrt(3.8)},
      {"one position", {{0, 0}}, 0, 0, 0},
      {"two positions 4 m apart", {{0, 0}, {4, 0}}, 2, 2, 4},
  };
  for (const ScatterCase& c : cases) {
    PositionScatter scatter;
    for (const Metres& p : c.points) scatter.Add(p.north / kNorthMetresPerDegree, p.east / kEastMetresPerDegree);
    EXPECT_NEAR(c.cep50, scatter.Radius(0.5), kGridTolerance) << c.name;
    EXPECT_NEAR(c.cep95, scatter.Radius(0.95), kGridTolerance) << c.name;
    EXPECT_NEAR(c.drms2, scatter.Drms2(), 1e-6) << c.name;
  }
}

TEST(SignalHistoryTest, ScatterMeanAndCoarserGridForManyCells) {
  PositionScatter scatter;
  // 300 x 300 centimetre cells overflow the grid, which doubles its cells until they fit.
  for (int east = 0; east < 300; ++east) {
    for (int north = 0; north < 300; ++north) {
      scatter.Add(north * 0.01 / kNorthMetresPerDegree, east * 0.01 / kEastMetresPerDegree);
    }
  }
  EXPECT_EQ(90000u, scatter.Count());
  EXPECT_GT(scatter.CellSize(), 0.01);
  EXPECT_LE(scatter.Cells().size(), size_t{1} << 15);
  EXPECT_NEAR(1.495 / kNorthMetresPerDegree, scatter.MeanLatitude(), 1e-12);
  EXPECT_NEAR(1.495 / kEastMetresPerDegree, scatter.MeanLongitude(), 1e-12);
}

TEST(SignalHistoryTest, Cn0RanksAreNearestRank) {
  struct Case {
    std::vector<uint32_t> values;
    uint32_t min, p50, max;
  } const cases[] = {
      {{40}, 40, 40, 40},
      {{30, 40, 35, 45}, 30, 35, 45},
      {{20, 21, 22, 23, 24}, 20, 22, 24},
      {{150, 10}, 10, 10, 99},  // beyond the scale counts at its top
  };
  for (const Case& c : cases) {
    Cn0Counts counts;
    for (const uint32_t value : c.values) counts.Add(value);
    EXPECT_EQ(c.min, counts.Min());
    EXPECT_EQ(c.p50, counts.Percentile(0.5));
    EXPECT_EQ(c.max, counts.Max());
  }
}

TEST(SignalHistoryTest, SeriesKeepMinimumAndMaximumInBoundedColumns) {
  MinMaxSeries whole(MinMaxSeries::Keep::Whole, 10, 1);
  MinMaxSeries window(MinMaxSeries::Keep::Window, 5, 1);
  for (int second = 0; second < 25; ++second) {
    const double value = second == 7 ? -50 : second == 13 ? 90 : second;  // one dip and one spike
    whole.Add(second, value);
    window.Add(second, value);
  }
  EXPECT_EQ(4, whole.Width());
  ASSERT_EQ(7u, whole.Columns().size());
  EXPECT_EQ(-50, whole.Columns()[1].min);  // seconds 4-7
  EXPECT_EQ(90, whole.Columns()[3].max);   // seconds 12-15
  ASSERT_EQ(5u, window.Columns().size());
  EXPECT_EQ(20, window.Columns().front().index);
  EXPECT_EQ(24, window.Columns().back().max);
}

// A log fed through the decoder, every talker.
struct LogHistory {
  explicit LogHistory(const std::string& log) {
    platform::ManualClock clock(kTestStart);
    platform::ScopedUtcClock scoped(clock);
    NmeaParser parser;
    parser.SetTalkers(NmeaTalkers::Any);
    parser.SetObserver(&feed);
    parser.Feed(log.data(), static_cast<uint32_t>(log.size()));
    feed.Finish();
  }
  SignalHistory history;
  HistoryFeed feed{history};
};

std::string Rmc(const char* time, bool fix) {
  return Nmea(std::string("GNRMC,") + time + (fix ? ",A" : ",V") + ",4807.038,N,01131.000,E,0.0,0.0,311225,,,A");
}

TEST(SignalHistoryTest, FixTimesFromLogs) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, bool>> epochs;  // time, fix
    bool hasFix;
    double ttff, fix, gap;
    const char* endText;
  } const cases[] = {
      {"fix after three seconds",
       {{"000000", false}, {"000001", false}, {"000002", false}, {"000003", true}, {"000004", true}, {"000005", true}},
       true, 3, 3, 3, "2025-12-31T00:00:06.000Z"},
      {"a silent log is a gap", {{"000000", true}, {"000001", true}, {"000010", true}, {"000011", true}}, true, 0, 4, 8,
       "2025-12-31T00:00:12.000Z"},
      {"past midnight", {{"235958", true}, {"235959", true}, {"000000", true}, {"000001", false}}, true, 0, 3, 1,
       "2026-01-01T00:00:02.000Z"},
      {"ten a second", {{"000000.0", true}, {"000000.1", true}, {"000000.2", true}, {"000000.3", false}}, true, 0, 0.3,
       0.1, "2025-12-31T00:00:00.400Z"},
      {"never a fix", {{"000000", false}, {"000001", false}}, false, 0, 0, 2, "2025-12-31T00:00:02.000Z"},
  };
  for (const Case& c : cases) {
    std::string log = "# a capture note\r\n";
    for (const auto& [time, fix] : c.epochs) log += Rmc(time, fix);
    LogHistory logged(log);
    const SignalHistory& h = logged.history;
    EXPECT_EQ(c.epochs.size(), h.Epochs()) << c.name;
    EXPECT_EQ(c.hasFix, h.HasFix()) << c.name;
    if (c.hasFix) {
      EXPECT_NEAR(c.ttff, h.TtffSeconds(), 1e-9) << c.name;
    }
    EXPECT_NEAR(c.fix, h.FixSeconds(), 1e-9) << c.name;
    EXPECT_NEAR(c.gap, h.GapSeconds(), 1e-9) << c.name;
    EXPECT_EQ(c.endText, logged.feed.TimeText(h.End())) << c.name;
  }
}

TEST(SignalHistoryTest, EachSignalOfASatelliteIsItsOwnSeries) {
  std::string log;
  for (const char* time : {"120000", "120001", "120002"}) {
    log += Rmc(time, true);
    log += Nmea("GNGSA,A,3,05,,,,,,,,,,,,1.5,0.9,1.2,1");
    log += Nmea("GNGSA,A,3,74,,,,,,,,,,,,1.5,0.9,1.2,2");
    log += Nmea("GPGSV,1,1,02,05,40,100,44,12,20,200,31,1");  // L1 C/A
    log += Nmea("GPGSV,1,1,01,05,40,100,36,7");                // L5-I: weaker
    log += Nmea("GLGSV,1,1,01,74,30,050,,1");                  // in view, not tracked
  }
  LogHistory logged(log);
  const auto& tracks = logged.history.Tracks();
  ASSERT_EQ(4u, tracks.size());
  const TrackHistory& l1 = tracks.at({GnssSystem::Gps, 5, 1});
  const TrackHistory& l5 = tracks.at({GnssSystem::Gps, 5, 7});
  const TrackHistory& g12 = tracks.at({GnssSystem::Gps, 12, 1});
  const TrackHistory& r74 = tracks.at({GnssSystem::Glonass, 74, 1});
  EXPECT_EQ(44u, l1.cn0.Max());
  EXPECT_EQ(36u, l5.cn0.Max());
  EXPECT_EQ("L5-I", SignalName({GnssSystem::Gps, 5, 7}));
  EXPECT_EQ("G5", TrackName({GnssSystem::Gps, 5, 7}, true));
  EXPECT_DOUBLE_EQ(3, l1.trackedSeconds);
  EXPECT_DOUBLE_EQ(3, l1.usedSeconds);
  EXPECT_DOUBLE_EQ(3, g12.trackedSeconds);
  EXPECT_DOUBLE_EQ(0, g12.usedSeconds);
  EXPECT_DOUBLE_EQ(0, r74.trackedSeconds);  // used, but never with a C/N0
  EXPECT_EQ(0u, r74.cn0.Count());
  EXPECT_EQ(2u, logged.history.UsedSeries().Columns().back().max);
  EXPECT_EQ(3u, logged.history.InViewSeries().Columns().back().max);
}

// A record with a 3D fix and these satellites in view: prn, C/N0, used.
GpsPosition SkyRecord(uint32_t validFields, std::vector<std::array<uint32_t, 3>> satellites) {
  GpsPosition record{};
  record.validFields = validFields;
  record.fixQuality = kGpsFixQualityGps;
  record.fixType = kGpsFix3D;
  record.hdop = 0.9f;
  for (const auto& [prn, cn0, used] : satellites) {
    record.inViewPrns[record.satellitesInView] = prn;
    record.inViewSnr[record.satellitesInView++] = cn0;
    if (used != 0) record.usedPrns[record.satelliteCount++] = prn;
  }
  return record;
}

TEST(SignalHistoryTest, EpochFromARecord) {
  constexpr uint32_t kSky = kGpsValidInViewPrns | kGpsValidInViewSnr | kGpsValidUsedPrns | kGpsValidHdop;
  const SatelliteSystems systems{GnssSystem::Gps, GnssSystem::Glonass, GnssSystem::BeiDou};
  struct Case {
    const char* name;
    GpsPosition record;
    size_t signals;
    uint32_t firstCn0;
    bool firstUsed;
    uint32_t used;
    bool hdopShown;
  } const cases[] = {
      {"three systems, two used", SkyRecord(kSky, {{5, 44, 1}, {74, 30, 0}, {5, 38, 1}}), 3, 44, true, 2, true},
      {"an empty slot is skipped", SkyRecord(kSky, {{0, 20, 0}, {74, 30, 1}}), 1, 30, true, 1, true},
      {"no C/N0 reported: in view only", SkyRecord(kSky & ~kGpsValidInViewSnr, {{5, 44, 1}}), 1, 0, true, 1, true},
      {"no used list: none used", SkyRecord(kGpsValidInViewPrns | kGpsValidInViewSnr, {{5, 44, 1}}), 1, 44, false, 0,
       false},
      {"no satellites reported", SkyRecord(kGpsValidHdop, {{5, 44, 1}}), 0, 0, false, 0, true},
  };
  for (const Case& c : cases) {
    const HistoryEpoch epoch = EpochFromRecord(c.record, systems, 12.5);
    EXPECT_EQ(12.5, epoch.time) << c.name;
    EXPECT_TRUE(epoch.fix) << c.name;
    EXPECT_EQ(3u, epoch.fixMode) << c.name;
    EXPECT_EQ(c.hdopShown, !std::isnan(epoch.hdop)) << c.name;
    EXPECT_EQ(c.used, epoch.used) << c.name;
    ASSERT_EQ(c.signals, epoch.observations.size()) << c.name;
    if (c.signals == 0) continue;
    EXPECT_EQ(c.firstCn0, epoch.observations[0].cn0) << c.name;
    EXPECT_EQ(c.firstUsed, epoch.observations[0].used) << c.name;
    EXPECT_EQ(0u, epoch.observations[0].key.signal) << c.name;
  }
  const HistoryEpoch mixed = EpochFromRecord(cases[0].record, systems, 0);
  EXPECT_EQ((TrackKey{GnssSystem::BeiDou, 5, 0}), mixed.observations[2].key);
}

}  // namespace
