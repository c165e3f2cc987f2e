// The History page's geometry: lines mapped into the window of the last five
// minutes, broken where a satellite was not tracked, the used ones coloured
// and on top, names with their system letters, and the strip's cells.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/pages/logic/HistoryPlot.h"

namespace {

const PixelRect kPlotArea{0, 0, 340, 200};
const PixelRect kStripArea{0, 210, 340, 250};
const HistoryText kText{12, 16, 30};

struct Sighting {
  GnssSystem system;
  uint32_t prn;
  uint32_t cn0;
  bool used;
};

// One epoch a second over [from, to).
void Feed(SignalHistory& history, int from, int to, const std::vector<Sighting>& sky) {
  for (int second = from; second < to; ++second) {
    HistoryEpoch epoch;
    epoch.time = second;
    epoch.fix = true;
    for (const Sighting& s : sky) epoch.observations.push_back({{s.system, s.prn, 0}, s.cn0, s.used});
    history.Add(epoch);
  }
}

struct Span {
  int from, to;
  std::vector<Sighting> sky;
};

struct PlotCase {
  const char* name;
  std::vector<Span> spans;
  std::vector<std::string> names;  // unused first
  std::vector<size_t> polylines;
  std::vector<bool> labelled;
  size_t usedCells;
};

TEST(HistoryPlotTest, LinesNamesAndStripFromTheWindow) {
  const Sighting g5{GnssSystem::Gps, 5, 40, true}, g9{GnssSystem::Gps, 9, 30, false},
      r74{GnssSystem::Glonass, 74, 35, false}, g9lost{GnssSystem::Gps, 9, 0, false};
  const PlotCase cases[] = {
      {"one system: plain numbers, used last", {{0, 300, {g5, g9}}}, {"9", "5"}, {1, 1}, {true, true}, 1},
      {"two systems: letters", {{0, 300, {g5, r74}}}, {"R74", "G5"}, {1, 1}, {true, true}, 1},
      {"untracked a minute: two pieces", {{0, 100, {g5, g9}}, {100, 160, {g5, g9lost}}, {160, 300, {g5, g9}}},
       {"9", "5"}, {2, 1}, {true, true}, 1},
      {"lost a minute ago: no name at its end", {{0, 240, {g5, g9}}, {240, 300, {g5}}}, {"9", "5"}, {1, 1},
       {false, true}, 1},
      {"used, then not: a cell that ends", {{0, 150, {g5}}, {150, 300, {{GnssSystem::Gps, 5, 40, false}}}}, {"5"},
       {1}, {true}, 1},
      {"ten minutes: only the last five", {{0, 600, {g5}}}, {"5"}, {1}, {true}, 1},
  };
  for (const PlotCase& c : cases) {
    SignalHistory history(HistoryPageOptions());
    for (const Span& span : c.spans) Feed(history, span.from, span.to, span.sky);
    const HistoryPlot plot = MakeHistoryPlot(history, kPlotArea, kStripArea, kText);
    ASSERT_EQ(c.names.size(), plot.satellites.size()) << c.name;
    for (size_t i = 0; i < c.names.size(); ++i) {
      const HistoryLine& line = plot.satellites[i];
      EXPECT_EQ(c.names[i], line.name) << c.name;
      EXPECT_EQ(c.polylines[i], line.polylines.size()) << c.name << " " << line.name;
      EXPECT_EQ(c.labelled[i], line.labelled) << c.name << " " << line.name;
      for (const auto& points : line.polylines)
        for (const PixelPoint p : points) {
          EXPECT_GE(p.x, plot.lines.left) << c.name;
          EXPECT_LT(p.x, plot.lines.right) << c.name;
        }
    }
    EXPECT_EQ(c.usedCells, plot.usedCells.size()) << c.name;
  }
}

TEST(HistoryPlotTest, TimeAndCn0MapOntoTheLinesRectangle) {
  SignalHistory history(HistoryPageOptions());
  Feed(history, 0, 150, {{GnssSystem::Gps, 5, 10, true}});
  Feed(history, 150, 300, {{GnssSystem::Gps, 5, 60, false}});
  const HistoryPlot plot = MakeHistoryPlot(history, kPlotArea, kStripArea, kText);
  const std::vector<PixelPoint>& points = plot.satellites.at(0).polylines.at(0);
  EXPECT_EQ(plot.lines.left, points.front().x);  // five minutes ago
  EXPECT_EQ(plot.lines.right - 1, points.back().x);  // now
  EXPECT_EQ(plot.lines.bottom - 1, points.front().y);  // the lowest grid line
  EXPECT_EQ(plot.lines.top, points.back().y);  // the highest
  EXPECT_EQ(6u, plot.gridRows.size());
  EXPECT_EQ(4u, plot.minuteColumns.size());
  // The strip: used for the first half of the window.
  ASSERT_EQ(1u, plot.usedCells.size());
  EXPECT_EQ(kStripArea.top, plot.usedCells[0].top);
  EXPECT_EQ(kStripArea.bottom - 1, plot.usedCells[0].bottom);  // a line of background under each row
  EXPECT_NEAR((plot.lines.left + plot.lines.right) / 2, plot.usedCells[0].right, 2);
}

TEST(HistoryPlotTest, NamesOfEqualLinesDoNotOverlap) {
  SignalHistory history(HistoryPageOptions());
  std::vector<Sighting> sky;
  for (uint32_t prn = 1; prn <= 12; ++prn) sky.push_back({GnssSystem::Gps, prn, 40, prn % 2 == 0});
  Feed(history, 0, 10, sky);
  const HistoryPlot plot = MakeHistoryPlot(history, kPlotArea, kStripArea, kText);
  std::vector<PixelRect> boxes;
  for (const HistoryLine& line : plot.satellites) boxes.push_back(line.label.box);
  std::sort(boxes.begin(), boxes.end(), [](const PixelRect& a, const PixelRect& b) { return a.top < b.top; });
  for (size_t i = 1; i < boxes.size(); ++i) EXPECT_GE(boxes[i].top, boxes[i - 1].bottom) << i;
  EXPECT_GE(boxes.front().top, kPlotArea.top);
  EXPECT_LE(boxes.back().bottom, kPlotArea.bottom);
}

}  // namespace
