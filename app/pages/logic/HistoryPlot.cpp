#include "app/pages/logic/HistoryPlot.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kHistoryColumnSeconds = kHistoryWindowSeconds / static_cast<double>(kHistoryColumns);
// Columns a line bridges: a 1 Hz receiver's epochs can straddle a column.
constexpr int64_t kJoinedColumns = 3;
constexpr int kGap = 3;  // between the lines and their labels
constexpr int kSeparatedRowHeight = 3;
constexpr int kSecondsPerMinute = 60;
constexpr int kWindowMinutes = static_cast<int>(kHistoryWindowSeconds) / kSecondsPerMinute;
constexpr uint32_t kUnknownSystemBit = 1u << static_cast<unsigned>(GnssSystem::Unknown);
constexpr const char* kNowText = "now";

// Maps the window's columns and C/N0 onto the lines' rectangle.
class PlotScale {
 public:
  PlotScale(const PixelRect& lines, int64_t newestColumn) : m_Lines(lines), m_Newest(newestColumn) {}

  int64_t NewestColumn() const { return m_Newest; }
  int64_t OldestColumn() const { return m_Newest - static_cast<int64_t>(kHistoryColumns) + 1; }
  int X(int64_t column) const {
    const double share = static_cast<double>(column - OldestColumn()) / static_cast<double>(kHistoryColumns - 1);
    return m_Lines.left + static_cast<int>(std::lround(share * (m_Lines.right - 1 - m_Lines.left)));
  }
  int Y(double cn0) const {
    const double share = (std::clamp(cn0, double{kHistoryLowestCn0}, double{kHistoryHighestCn0}) - kHistoryLowestCn0) /
                         (kHistoryHighestCn0 - kHistoryLowestCn0);
    return m_Lines.bottom - 1 - static_cast<int>(std::lround(share * (m_Lines.bottom - 1 - m_Lines.top)));
  }
  bool Recent(int64_t column) const { return column >= m_Newest - kJoinedColumns; }

 private:
  PixelRect m_Lines;
  int64_t m_Newest;
};

PixelRect TextBox(int left, int right, int centreY, int height) {
  return {left, centreY - height / 2, right, centreY - height / 2 + height};
}

std::vector<std::vector<PixelPoint>> Polylines(const MinMaxSeries& series, const PlotScale& scale) {
  std::vector<std::vector<PixelPoint>> polylines;
  int64_t previous = 0;
  for (const MinMaxSeries::Column& column : series.Columns()) {
    if (column.index < scale.OldestColumn()) continue;
    if (polylines.empty() || column.index - previous > kJoinedColumns) polylines.emplace_back();
    const double middle = (static_cast<double>(column.min) + column.max) / 2;
    polylines.back().push_back({scale.X(column.index), scale.Y(middle)});
    previous = column.index;
  }
  return polylines;
}

// Moves the labels apart, in their order from the top, within `top`..`bottom`.
void SpreadLabels(std::vector<HistoryLabel*>& labels, int top, int bottom, int height) {
  if (labels.empty()) return;
  std::sort(labels.begin(), labels.end(), [](const HistoryLabel* a, const HistoryLabel* b) { return a->box.top < b->box.top; });
  const int step = std::min(height, (bottom - top) / static_cast<int>(labels.size()));
  int next = top;
  for (HistoryLabel* label : labels) {
    const int moved = std::max(label->box.top, next);
    label->box.bottom += moved - label->box.top;
    label->box.top = moved;
    next = moved + step;
  }
  int last = bottom;
  for (auto it = labels.rbegin(); it != labels.rend(); ++it) {
    HistoryLabel& label = **it;
    const int moved = std::min(label.box.top, last - height);
    label.box.bottom += moved - label.box.top;
    label.box.top = moved;
    last = moved + height - step;
  }
}

void AddAxes(HistoryPlot& plot, const PlotScale& scale, const PixelRect& area, const HistoryText& text) {
  for (int cn0 = kHistoryLowestCn0; cn0 <= kHistoryHighestCn0; cn0 += kHistoryGridStep) {
    const int y = scale.Y(cn0);
    plot.gridRows.push_back(y);
    plot.axisLabels.push_back(
        {TextBox(area.left, plot.lines.left - kGap, y, text.height), std::to_string(cn0), HistoryLabel::Align::Right});
  }
  const int64_t columnsPerMinute = std::lround(kSecondsPerMinute / kHistoryColumnSeconds);
  for (int minute = 1; minute < kWindowMinutes; ++minute)
    plot.minuteColumns.push_back(scale.X(scale.NewestColumn() - minute * columnsPerMinute));
  const PixelRect timeRow{plot.lines.left, plot.lines.bottom + kGap, plot.lines.right, plot.lines.bottom + kGap + text.height};
  plot.axisLabels.push_back({timeRow, "-" + std::to_string(kWindowMinutes) + " min", HistoryLabel::Align::Left});
  plot.axisLabels.push_back({timeRow, kNowText, HistoryLabel::Align::Right});
}

void AddStrip(HistoryPlot& plot, const SignalHistory& history, const PlotScale& scale, const PixelRect& strip) {
  std::vector<const MinMaxSeries*> rows;
  for (const auto& [key, track] : history.Tracks()) {
    const auto& columns = track.usedSeries.Columns();
    if (std::any_of(columns.begin(), columns.end(), [&scale](const MinMaxSeries::Column& c) {
          return c.index >= scale.OldestColumn() && c.max > 0;
        }))
      rows.push_back(&track.usedSeries);
  }
  const int height = strip.bottom - strip.top;
  const int cellWidth = std::max(1, scale.X(1) - scale.X(0));
  for (size_t row = 0; row < rows.size(); ++row) {
    const int top = strip.top + static_cast<int>(row) * height / static_cast<int>(rows.size());
    const int next = strip.top + static_cast<int>(row + 1) * height / static_cast<int>(rows.size());
    // Rows tall enough keep a line of background between them, so that each satellite shows.
    const int bottom = std::max(top + 1, next - (next - top >= kSeparatedRowHeight ? 1 : 0));
    bool open = false;
    int64_t previous = 0;
    for (const MinMaxSeries::Column& column : rows[row]->Columns()) {
      if (column.index < scale.OldestColumn()) continue;
      const bool used = column.max > 0;
      if (used && open && column.index - previous <= kJoinedColumns) {
        plot.usedCells.back().right = scale.X(column.index) + cellWidth;
      } else if (used) {
        plot.usedCells.push_back({scale.X(column.index), top, scale.X(column.index) + cellWidth, bottom});
      }
      open = used;
      previous = column.index;
    }
  }
}

}  // namespace

SignalHistory::Options HistoryPageOptions() {
  return {MinMaxSeries::Keep::Window, kHistoryColumns, kHistoryColumnSeconds};
}

Rgb HistoryLineColour(bool used, uint32_t fixQuality) { return used ? FixColour(fixQuality) : kHistoryUnused; }

HistoryPlot MakeHistoryPlot(const SignalHistory& history, const PixelRect& plotArea, const PixelRect& stripArea,
                            const HistoryText& text) {
  HistoryPlot plot;
  plot.lines = {plotArea.left + text.axisWidth + kGap, plotArea.top + text.height / 2,
                plotArea.right - text.nameWidth - 2 * kGap, plotArea.bottom - text.height - kGap};
  const auto newest = static_cast<int64_t>(std::floor((history.Newest() - history.Start()) / kHistoryColumnSeconds));
  const PlotScale scale(plot.lines, newest);
  AddAxes(plot, scale, plotArea, text);
  if (history.Empty()) return plot;

  const bool letters = std::popcount(history.Systems() & ~kUnknownSystemBit) > 1;
  for (const auto& [key, track] : history.Tracks()) {
    HistoryLine line;
    line.polylines = Polylines(track.cn0Series, scale);
    if (line.polylines.empty()) continue;
    line.name = TrackName(key, letters);
    const auto& used = track.usedSeries.Columns();
    line.used = !used.empty() && scale.Recent(used.back().index) && used.back().max > 0;
    const PixelPoint end = line.polylines.back().back();
    line.labelled = scale.Recent(track.cn0Series.Columns().back().index);
    line.label = {TextBox(plot.lines.right + kGap, plotArea.right, end.y, text.height), line.name};
    plot.satellites.push_back(std::move(line));
  }
  std::stable_partition(plot.satellites.begin(), plot.satellites.end(), [](const HistoryLine& l) { return !l.used; });
  std::vector<HistoryLabel*> labels;
  for (HistoryLine& line : plot.satellites)
    if (line.labelled) labels.push_back(&line.label);
  SpreadLabels(labels, plotArea.top, plot.lines.bottom + text.height / 2, text.height);
  AddStrip(plot, history, scale, stripArea);
  return plot;
}
