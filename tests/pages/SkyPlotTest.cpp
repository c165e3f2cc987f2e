// Sky view geometry: the bitmap by layout, its placement, and satellites with
// the zenith at the centre and the horizon on the plot's radius.

#include <gtest/gtest.h>

#include "nmea/SatelliteNames.h"
#include "app/pages/logic/SkyPlot.h"
#include "pages/PageRecords.h"

namespace {

constexpr int kSmallWidth = 231;
constexpr int kSmallHeight = 239;
constexpr int kLargeWidth = 462;
constexpr int kLargeHeight = 478;

TEST(SkyPlotTest, LargeBitmapOnlyOnTheWideLayouts) {
  EXPECT_EQ(SkyBitmapId(0), 502);
  EXPECT_EQ(SkyBitmapId(1), 502);
  EXPECT_EQ(SkyBitmapId(2), 503);
  EXPECT_EQ(SkyBitmapId(3), 503);
  EXPECT_EQ(SkyBitmapId(4), 502);
  EXPECT_EQ(SkyBitmapId(5), 502);
}

TEST(SkyPlotTest, BitmapIsCentredInThePortraitPlotArea) {
  const SkyScreen screen{480, 640, 2, 30, 0};
  EXPECT_EQ(SkyBitmapOrigin(screen, kLargeWidth, kLargeHeight), (PixelPoint{9, 2}));
  const SkyScreen small{240, 320, 0, 20, 55};  // no scrolling here: the offset is not used
  EXPECT_EQ(SkyBitmapOrigin(small, kSmallWidth, kSmallHeight), (PixelPoint{4, -1}));
}

TEST(SkyPlotTest, LandscapeBitmapFollowsTheScroll) {
  const SkyScreen screen{320, 240, 1, 30, -40};
  EXPECT_EQ(SkyBitmapOrigin(screen, kSmallWidth, kSmallHeight), (PixelPoint{44, -54}));
}

TEST(SkyPlotTest, ZenithInTheCentreHorizonOnTheRadius) {
  const SkyPlotFrame frame = MakeSkyPlotFrame({9, 2}, kLargeWidth, kLargeHeight);
  EXPECT_DOUBLE_EQ(frame.radius, 185.0);
  EXPECT_DOUBLE_EQ(frame.centreX, 240.0);
  EXPECT_DOUBLE_EQ(frame.centreY, 239.0);
  EXPECT_EQ(SatellitePosition(frame, 90, 123), (PixelPoint{240, 239}));
  // Integer parts of the exact positions (the angle's pi is 3.1416, so a
  // quarter turn lands a hair short of the axis).
  EXPECT_EQ(SatellitePosition(frame, 0, 90), (PixelPoint{424, 239}));
  EXPECT_EQ(SatellitePosition(frame, 0, 0), (PixelPoint{240, 54}));
  EXPECT_EQ(SatellitePosition(frame, 0, 180), (PixelPoint{239, 423}));
  EXPECT_EQ(SatellitePosition(frame, 0, 270), (PixelPoint{55, 238}));
  EXPECT_EQ(SatellitePosition(frame, 45, 90).x, 332);  // half way out
}

TEST(SkyPlotTest, ElevationsOutsideTheSkyAreClamped) {
  const SkyPlotFrame frame = MakeSkyPlotFrame({4, 0}, kSmallWidth, kSmallHeight);
  EXPECT_EQ(SatellitePosition(frame, 200, 90), SatellitePosition(frame, 90, 90));
  EXPECT_EQ(SatellitePosition(frame, static_cast<uint32_t>(-5), 90), SatellitePosition(frame, 0, 90));
}

TEST(SkyPlotTest, MarkerAndLabel) {
  EXPECT_EQ(SkyMarkerRect({100, 50}), (PixelRect{100, 50, 102, 52}));
  EXPECT_EQ(SkyLabelBox({100, 50}), (PixelRect{103, 45, 113, 55}));
  EXPECT_EQ(SatelliteLabel(23, 45, 270), "23(E:45,A:270)");
}

TEST(SkyPlotTest, NoMoreThanTheRecordsTwelveSlots) {
  GpsPosition record = page_test::SkyRecord(1, {{1, 10, 20, 30}});
  EXPECT_EQ(SatellitesToDraw(record), 1u);
  record.satellitesInView = 40;
  EXPECT_EQ(SatellitesToDraw(record), 12u);
}

TEST(SkyPlotTest, ASkyOfSeveralSystemsMarksEachSatellitesSystem) {
  using G = GnssSystem;
  const GpsPosition record = page_test::SkyRecord(1, {{5, 40, 90, 30}, {5, 60, 270, 31}, {70, 20, 0, 32}, {7, 10, 10, 0}});
  struct Case {
    SatelliteSystems systems;
    const char* names;  // of the four slots, as the Signal page shows them
  };
  for (const Case& c : {Case{{G::Gps, G::Galileo, G::Glonass, G::Unknown}, "G5 E5 R70 7"},
                        Case{{G::Gps, G::Gps, G::Gps, G::Gps}, "5 5 70 7"},        // one system: plain numbers
                        Case{{G::Unknown, G::Sbas, G::Unknown, G::Unknown}, "5 5 70 7"},
                        Case{{G::Qzss, G::BeiDou, G::NavIC, G::Sbas}, "J5 C5 I70 S7"},
                        Case{{}, "5 5 70 7"}}) {
    const SystemLetters letters = SatelliteSystemLetters(record, c.systems);
    std::string names;
    for (size_t slot = 0; slot < 4; ++slot)
      names += (slot ? " " : "") + MakeSignalBar({0, 0, 20, 100}, record.inViewPrns[slot], 40, letters[slot]).prnText;
    EXPECT_EQ(names, c.names);
  }
  const SystemLetters mixed = SatelliteSystemLetters(record, {G::Gps, G::Galileo});
  EXPECT_EQ(SkyLabel(record, 1, mixed[1], kSkyBitmapLarge), "E5(E:60,A:270)");
  EXPECT_EQ(SkyLabel(record, 1, mixed[1], kSkyBitmapSmall), "E5");  // twelve full labels do not fit the small plot
  EXPECT_EQ(SkyLabel(record, 1, 0, kSkyBitmapSmall), "5(E:60,A:270)");
}

}  // namespace
