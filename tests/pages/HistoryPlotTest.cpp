// The History page's geometry: lines in the window of the last five minutes,
// broken where a satellite was not tracked, used ones on top, names apart,
// and the strip's cells.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/pages/logic/HistoryPlot.h"

namespace {

const PixelRect kPlotArea{0, 0, 340, 200};
const PixelRect kStripArea{0, 210, 340, 250};

struct Span {  // one epoch a second over [from, to) with these satellites
  int from, to;
  std::vector<SignalObservation> sky;
};

HistoryPlot Plot(const std::vector<Span>& spans) {
  SignalHistory history(HistoryPageOptions());
  for (const Span& span : spans)
    for (int second = span.from; second < span.to; ++second)
      history.Add({.time = static_cast<double>(second), .fix = true, .observations = span.sky});
  return MakeHistoryPlot(history, kPlotArea, kStripArea, {12, 16, 30});
}

TEST(HistoryPlotTest, LinesNamesAndStripFromTheWindow) {
  const SignalObservation g5{{GnssSystem::Gps, 5}, 40, true}, g5free{{GnssSystem::Gps, 5}, 40, false},
      g9{{GnssSystem::Gps, 9}, 40, false}, g9lost{{GnssSystem::Gps, 9}, 0, false}, r74{{GnssSystem::Glonass, 74}, 40, false};
  struct {
    const char* name;
    std::vector<Span> spans;
    std::vector<std::string> names;  // unused first
    std::vector<size_t> polylines;
    std::vector<bool> labelled;
    size_t usedCells;
  } const cases[] = {
      {"one system: plain numbers, used last", {{0, 300, {g5, g9}}}, {"9", "5"}, {1, 1}, {true, true}, 1},
      {"two systems: letters", {{0, 300, {g5, r74}}}, {"R74", "G5"}, {1, 1}, {true, true}, 1},
      {"untracked a minute: two pieces", {{0, 100, {g5, g9}}, {100, 160, {g5, g9lost}}, {160, 300, {g5, g9}}},
       {"9", "5"}, {2, 1}, {true, true}, 1},
      {"lost a minute ago: no name", {{0, 240, {g5, g9}}, {240, 300, {g5}}}, {"9", "5"}, {1, 1}, {false, true}, 1},
      {"used, then not", {{0, 150, {g5}}, {150, 300, {g5free}}}, {"5"}, {1}, {true}, 1},
      {"ten minutes: the last five", {{0, 600, {g5}}}, {"5"}, {1}, {true}, 1},
  };
  for (const auto& c : cases) {
    const HistoryPlot plot = Plot(c.spans);
    ASSERT_EQ(c.names.size(), plot.satellites.size()) << c.name;
    for (size_t i = 0; i < c.names.size(); ++i) {
      const HistoryLine& line = plot.satellites[i];
      EXPECT_EQ(c.names[i], line.name) << c.name;
      EXPECT_EQ(c.polylines[i], line.polylines.size()) << c.name << " " << line.name;
      EXPECT_EQ(c.labelled[i], line.labelled) << c.name << " " << line.name;
      EXPECT_EQ(plot.lines.left, line.polylines.front().front().x) << c.name;  // five minutes ago
    }
    EXPECT_EQ(c.usedCells, plot.usedCells.size()) << c.name;
  }
}

TEST(HistoryPlotTest, TimeAndCn0MapOntoTheLinesRectangle) {
  const HistoryPlot plot = Plot({{0, 150, {{{GnssSystem::Gps, 5}, 10, true}}}, {150, 300, {{{GnssSystem::Gps, 5}, 60, false}}}});
  const std::vector<PixelPoint>& points = plot.satellites.at(0).polylines.at(0);
  EXPECT_EQ((PixelPoint{plot.lines.left, plot.lines.bottom - 1}), points.front());  // 10 dB-Hz five minutes ago
  EXPECT_EQ((PixelPoint{plot.lines.right - 1, plot.lines.top}), points.back());    // 60 dB-Hz now
  EXPECT_EQ(6u, plot.gridRows.size());
  EXPECT_EQ(4u, plot.minuteColumns.size());
  ASSERT_EQ(1u, plot.usedCells.size());  // used for the first half, a line of background under the row
  EXPECT_EQ((PixelRect{plot.lines.left, kStripArea.top, plot.usedCells[0].right, kStripArea.bottom - 1}), plot.usedCells[0]);
  EXPECT_NEAR((plot.lines.left + plot.lines.right) / 2, plot.usedCells[0].right, 2);
}

TEST(HistoryPlotTest, NamesOfEqualLinesDoNotOverlap) {
  std::vector<SignalObservation> sky;
  for (uint32_t prn = 1; prn <= 12; ++prn) sky.push_back({{GnssSystem::Gps, prn}, 40, prn % 2 == 0});
  std::vector<PixelRect> boxes;
  for (const HistoryLine& line : Plot({{0, 10, sky}}).satellites) boxes.push_back(line.label.box);
  std::sort(boxes.begin(), boxes.end(), [](const PixelRect& a, const PixelRect& b) { return a.top < b.top; });
  for (size_t i = 1; i < boxes.size(); ++i) EXPECT_GE(boxes[i].top, boxes[i - 1].bottom) << i;
  EXPECT_GE(boxes.front().top, kPlotArea.top);
  EXPECT_LE(boxes.back().bottom, kPlotArea.bottom);
}

}  // namespace
