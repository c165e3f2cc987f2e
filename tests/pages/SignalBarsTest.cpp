// Signal bars: fill height from the SNR, what an empty channel and an SNR out
// of range show, and the colour of the fix.

#include <gtest/gtest.h>

#include "app/pages/logic/SignalBars.h"

namespace {

constexpr PixelRect kFrame{10, 100, 30, 200};

TEST(SignalBarsTest, FillRisesFromTheBottomToTheSnrInPercent) {
  const SignalBar bar = MakeSignalBar(kFrame, 17, 45);
  ASSERT_TRUE(bar.filled);
  EXPECT_EQ(bar.fill, (PixelRect{11, 155, 29, 199}));
  EXPECT_EQ(bar.snrTextBox, (PixelRect{11, 135, 29, 155}));
  EXPECT_EQ(bar.snrText, "45");
  EXPECT_EQ(bar.prnText, "17");
}

TEST(SignalBarsTest, FullAndEmptySignals) {
  const SignalBar full = MakeSignalBar(kFrame, 3, 100);
  EXPECT_EQ(full.fill.top, kFrame.top);
  const SignalBar silent = MakeSignalBar(kFrame, 12, 0);
  ASSERT_TRUE(silent.filled);
  EXPECT_EQ(silent.fill.top, kFrame.bottom);  // nothing to fill, the "0" sits on the bottom edge
  EXPECT_EQ(silent.snrText, "0");
  EXPECT_EQ(silent.snrTextBox.bottom, kFrame.bottom);
  EXPECT_EQ(silent.prnText, "12");
}

TEST(SignalBarsTest, EmptyChannelShowsDashesWhateverItsSnr) {
  const SignalBar bar = MakeSignalBar(kFrame, 0, 40);
  EXPECT_FALSE(bar.filled);
  EXPECT_EQ(bar.prnText, "--");
  EXPECT_EQ(bar.frame, kFrame);
}

TEST(SignalBarsTest, SnrAbove100DrawsNeitherFillNorNumber) {
  const SignalBar bar = MakeSignalBar(kFrame, 5, 101);
  EXPECT_FALSE(bar.filled);
  EXPECT_TRUE(bar.snrText.empty());
  EXPECT_EQ(bar.prnText, "5");
}

TEST(SignalBarsTest, GreenOnlyForAGpsOrDifferentialFix) {
  EXPECT_FALSE(ShowsFix(0));
  EXPECT_TRUE(ShowsFix(1));
  EXPECT_TRUE(ShowsFix(2));
  EXPECT_FALSE(ShowsFix(3));
  EXPECT_EQ(FixColour(2).green, 255);
  EXPECT_EQ(FixColour(0).red, 255);
}

}  // namespace
