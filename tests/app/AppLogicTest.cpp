// The shell's rules that need no window: scroll requests, layout codes,
// the version label, sheet captions and screen sizes.

#include <gtest/gtest.h>

#include "app/ScreenLayout.h"
#include "app/Screenshots.h"
#include "app/ScrollModel.h"
#include "app/Version.h"
#include "app/WinMain.h"
#include "device/PortNames.h"
#include "prodtest/PortConf.h"

namespace {

TEST(ScrollModelTest, EveryRequestCodeMovesWithinTheRange) {
  const ScrollInfo info{0, 258, 180, 40};  // largest position 79
  ASSERT_EQ(info.LargestPosition(), 79);
  EXPECT_EQ(NewScrollPosition(info, kSbLineUp, 0), 39);
  EXPECT_EQ(NewScrollPosition(info, kSbLineDown, 0), 41);
  EXPECT_EQ(NewScrollPosition(info, kSbPageUp, 0), 0);
  EXPECT_EQ(NewScrollPosition(info, kSbPageDown, 0), 79);
  EXPECT_EQ(NewScrollPosition(info, kSbThumbTrack, 12), 12);
  EXPECT_EQ(NewScrollPosition(info, kSbTop, 0), 0);
  EXPECT_EQ(NewScrollPosition(info, kSbBottom, 0), 79);
  EXPECT_EQ(NewScrollPosition(info, kSbThumbPosition, 12), std::nullopt);
  EXPECT_EQ(NewScrollPosition(info, kSbEndScroll, 0), std::nullopt);
  EXPECT_EQ(NewScrollPosition(info, 99, 0), std::nullopt);
}

TEST(ScrollModelTest, EdgesHoldTheirPosition) {
  const ScrollInfo bottom{0, 516, 200, 317};
  EXPECT_EQ(NewScrollPosition(bottom, kSbLineDown, 0), 317);
  EXPECT_EQ(NewScrollPosition(bottom, kSbPageDown, 0), 317);
  const ScrollInfo top{0, 516, 200, 0};
  EXPECT_EQ(NewScrollPosition(top, kSbLineUp, 0), 0);
  EXPECT_EQ(NewScrollPosition(top, kSbPageUp, 0), 0);
}

TEST(ScreenLayoutTest, LayoutCodesAndScrollRangesForEveryWidth) {
  EXPECT_EQ(LayoutCodeFor(240, 320), 0);
  EXPECT_EQ(LayoutCodeFor(320, 240), 1);
  EXPECT_EQ(LayoutCodeFor(480, 640), 2);
  EXPECT_EQ(LayoutCodeFor(480, 854), 4);
  EXPECT_EQ(LayoutCodeFor(640, 480), 3);
  EXPECT_EQ(LayoutCodeFor(854, 480), 5);
  EXPECT_EQ(LayoutCodeFor(1024, 768), 0);
  EXPECT_EQ(ScrollRangeFor(0), std::nullopt);
  EXPECT_EQ(ScrollRangeFor(1), 258);
  EXPECT_EQ(ScrollRangeFor(2), std::nullopt);
  EXPECT_EQ(ScrollRangeFor(3), 516);
  EXPECT_EQ(ScrollRangeFor(4), std::nullopt);
  EXPECT_EQ(ScrollRangeFor(5), 516);
}

TEST(ScreenLayoutTest, ScreenSizeTextIsWidthByHeight) {
  int width = 0;
  int height = 0;
  EXPECT_TRUE(ParseScreenSize("320x240", width, height));
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  for (const char* bad : {"", "320", "320x", "x240", "320x240x1", "0x240", "-320x240", "320x240 ", "99999x1"})
    EXPECT_FALSE(ParseScreenSize(bad, width, height)) << bad;
}

TEST(VersionLabelTest, ReadsTheFirstThreeParts) {
  EXPECT_EQ(VersionLabel("3,6,13,0"), "(v3.6.13)");
  EXPECT_EQ(VersionLabel("1,2,3,4"), "(v1.2.3)");
  EXPECT_EQ(VersionLabel("1, 2, 3, 4"), "(v1.2.3)");
  EXPECT_EQ(VersionLabel("   1,  2,3"), "(v1.2.3)");
}

TEST(VersionLabelTest, LongPartsAreCutAndMissingPartsEmpty) {
  EXPECT_EQ(VersionLabel("123456789,2,3,4"), "(v1234567.2.3)");
  EXPECT_EQ(VersionLabel("1,2"), "(v1.2.)");
  EXPECT_EQ(VersionLabel(""), "(v..)");
}

TEST(SheetCaptionTest, AllFourCaptions) {
  ResetPortNames();
  CPortConf conf;
  conf.m_PortNames[0] = "COM2:";
  conf.m_GpsType = kGpsTypeUblox;
  EXPECT_EQ(SheetCaption(conf), "U-BLOX");
  conf.m_GpsType = kGpsTypeOem615;
  EXPECT_EQ(SheetCaption(conf), "OEM615");
  conf.m_GpsType = 0;
  EXPECT_EQ(SheetCaption(conf), "Navlume");
  conf.m_PortNames[0] = AgpsPortName;
  conf.m_GpsType = kGpsTypeUblox;
  EXPECT_EQ(SheetCaption(conf), "A-GPS");
  conf.m_bPrdMode = 1;
  EXPECT_EQ(SheetCaption(conf), "Navlume");
}

TEST(ScreenshotNameTest, NumberedLowerCaseWithDashes) {
  EXPECT_EQ(ScreenshotName(0, "Main"), "01-main.png");
  EXPECT_EQ(ScreenshotName(3, "NMEA data"), "04-nmea-data.png");
  EXPECT_EQ(ScreenshotName(5, "PRD Settings"), "06-prd-settings.png");
}

}  // namespace
