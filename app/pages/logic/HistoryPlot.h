#pragma once
// Geometry of the History page: the last five minutes of each satellite's
// C/N0 as one line, dB-Hz up the left with labelled grid lines, time running
// to the newest epoch at the right, the satellite's name at its line's end,
// and below the lines a strip with one row per satellite the fix used,
// filled where it used it.

#include <cstddef>
#include <string>
#include <vector>

#include "app/pages/logic/SignalBars.h"
#include "app/pages/logic/SkyPlot.h"
#include "nmea/SignalHistory.h"

constexpr double kHistoryWindowSeconds = 300;
constexpr size_t kHistoryColumns = 300;
// The C/N0 the plot's height spans, with a grid line every step.
constexpr int kHistoryLowestCn0 = 10;
constexpr int kHistoryHighestCn0 = 60;
constexpr int kHistoryGridStep = 10;

constexpr Rgb kHistoryBackground{0x20, 0x20, 0x20};
constexpr Rgb kHistoryGrid{0x55, 0x55, 0x55};
constexpr Rgb kHistoryText{0xE0, 0xE0, 0xE0};
constexpr Rgb kHistoryUnused{0x9A, 0x9A, 0x9A};

// The history the page keeps: a sliding window of one-second columns.
SignalHistory::Options HistoryPageOptions();

// Text sizes the page measured in its font.
struct HistoryText {
  int height = 0;     // one line
  int axisWidth = 0;  // the widest dB-Hz label
  int nameWidth = 0;  // the widest satellite name
};

struct HistoryLabel {
  enum class Align { Left, Right };
  PixelRect box;
  std::string text;
  Align align = Align::Left;  // in its box, centred vertically
};

struct HistoryLine {
  std::string name;
  bool used = false;  // in the newest columns: drawn in the fix colour, over the others
  std::vector<std::vector<PixelPoint>> polylines;  // broken where the satellite was not tracked
  bool labelled = false;  // still tracked now: its name is at the line's end
  HistoryLabel label;
};

struct HistoryPlot {
  PixelRect lines;  // where the lines are drawn
  std::vector<int> gridRows;     // a y per dB-Hz grid line
  std::vector<int> minuteColumns;  // an x per whole minute back from now, inside the lines' rectangle
  std::vector<HistoryLabel> axisLabels;  // dB-Hz, and the time under the lines
  std::vector<HistoryLine> satellites;  // unused ones first
  std::vector<PixelRect> usedCells;     // the strip's filled cells
};

// The plot of `history` in `plotArea` with the strip in `stripArea`.
HistoryPlot MakeHistoryPlot(const SignalHistory& history, const PixelRect& plotArea, const PixelRect& stripArea,
                            const HistoryText& text);

// What the strip's and the used lines' colour is: the fix colour.
Rgb HistoryLineColour(bool used, uint32_t fixQuality);
