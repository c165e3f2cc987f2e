#include "tools/SvgChart.h"

#include <algorithm>
#include <cmath>

#include "prodtest/FormatText.h"

namespace {

// The chart's own units; the page scales it to its width.
constexpr double kWidth = 640;
constexpr double kHeight = 260;
constexpr double kLeft = 58;
constexpr double kRight = 18;
constexpr double kTop = 30;
constexpr double kBottom = 50;
constexpr double kFontSize = 12;
constexpr double kTickLength = 4;
constexpr double kMarkerLabelGap = 4;
constexpr double kMarkerLabelRow = 14;  // markers' labels step down so that close markers stay readable
constexpr double kRoomForLabelRight = 140;
constexpr double kThinnestOutlinedBar = 4;  // thinner bars go without an outline, which would hide their fill
constexpr int kMostYTicks = 5;
constexpr double kFractionStep = 0.25;
constexpr double kPercent = 100;

constexpr const char* kTextColour = "#000";
constexpr const char* kGridColour = "#d0d0d0";
constexpr const char* kBarFill = "#9db0c8";
constexpr const char* kBarStroke = "#2f3e52";
constexpr const char* kMarkerColour = "#a00018";

std::string Num(double value) { return FormatText("%.1f", value); }

// Maps chart values to the chart's units.
struct Frame {
  double xFrom, xTo, yTop;
  double Left() const { return kLeft; }
  double Right() const { return kWidth - kRight; }
  double Top() const { return kTop; }
  double Bottom() const { return kHeight - kBottom; }
  double X(double x) const { return Left() + (x - xFrom) / (xTo - xFrom) * (Right() - Left()); }
  double Y(double y) const { return Bottom() - y / yTop * (Bottom() - Top()); }
};

std::string Text(double x, double y, const char* anchor, std::string_view text, const std::string& extra = "") {
  return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" +
         XmlEscaped(text) + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, const std::string& style) {
  return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" + Num(y2) + "\" " +
         style + "/>\n";
}

std::string YLabel(double value, ChartScale scale) {
  if (scale == ChartScale::Fraction) return FormatText("%.0f %%", value * kPercent);
  return FormatText("%.0f", value);
}

// The y axis's top and step: a round number at or above the highest bar.
std::pair<double, double> YAxis(const BarChart& chart) {
  if (chart.scale == ChartScale::Fraction) return {1.0, kFractionStep};
  double highest = 1;
  for (const ChartBar& bar : chart.bars) highest = std::max(highest, bar.height);
  const double step = RoundStep(highest, kMostYTicks, 1);
  return {std::ceil(highest / step) * step, step};
}

std::string GridAndYLabels(const Frame& frame, const BarChart& chart, double step) {
  std::string svg;
  const std::string grid = std::string("stroke=\"") + kGridColour + "\"";
  for (double y = 0; y <= frame.yTop + step / 2; y += step) {
    svg += Line(frame.Left(), frame.Y(y), frame.Right(), frame.Y(y), grid);
    svg += Text(frame.Left() - kTickLength - 2, frame.Y(y) + kFontSize / 3, "end", YLabel(y, chart.scale));
  }
  return svg;
}

std::string Bars(const Frame& frame, const BarChart& chart) {
  const bool outlined = std::all_of(chart.bars.begin(), chart.bars.end(), [&frame](const ChartBar& bar) {
    return frame.X(bar.to) - frame.X(bar.from) >= kThinnestOutlinedBar;
  });
  std::string svg = std::string("<g fill=\"") + kBarFill + "\"" +
                    (outlined ? std::string(" stroke=\"") + kBarStroke + "\" stroke-width=\"0.6\"" : "") + ">\n";
  for (const ChartBar& bar : chart.bars) {
    if (bar.height <= 0) continue;
    const double top = frame.Y(bar.height);
    svg += "<rect x=\"" + Num(frame.X(bar.from)) + "\" y=\"" + Num(top) + "\" width=\"" +
           Num(frame.X(bar.to) - frame.X(bar.from)) + "\" height=\"" + Num(frame.Bottom() - top) + "\"><title>" +
           XmlEscaped(bar.tip) + "</title></rect>\n";
  }
  return svg + "</g>\n";
}

std::string AxesAndXTicks(const Frame& frame, const BarChart& chart) {
  const std::string ink = std::string("stroke=\"") + kTextColour + "\"";
  std::string svg = "<path d=\"M" + Num(frame.Left()) + " " + Num(frame.Top()) + "V" + Num(frame.Bottom()) + "H" +
                    Num(frame.Right()) + "\" fill=\"none\" " + ink + "/>\n";
  for (const ChartTick& tick : chart.xTicks) {
    const double x = frame.X(tick.at);
    svg += Line(x, frame.Bottom(), x, frame.Bottom() + kTickLength, ink);
    svg += Text(x, frame.Bottom() + kTickLength + kFontSize, "middle", tick.label);
  }
  return svg;
}

std::string Markers(const Frame& frame, const BarChart& chart) {
  std::string svg;
  const std::string colour = std::string("\"") + kMarkerColour + "\"";
  const auto rows = static_cast<size_t>((frame.Bottom() - frame.Top()) / kMarkerLabelRow);
  for (size_t i = 0; i < chart.markers.size(); ++i) {
    const ChartMarker& marker = chart.markers[i];
    const double labelY = frame.Top() + kFontSize + static_cast<double>(i % rows) * kMarkerLabelRow;
    const double x = frame.X(marker.at);
    svg += Line(x, frame.Top(), x, frame.Bottom(), "stroke=" + colour + " stroke-width=\"2\" stroke-dasharray=\"6 3\"");
    const bool roomRight = x + kRoomForLabelRight < frame.Right();
    svg += Text(roomRight ? x + kMarkerLabelGap : x - kMarkerLabelGap, labelY, roomRight ? "start" : "end",
                marker.label, " fill=" + colour + " font-weight=\"bold\"");
  }
  return svg;
}

std::string Titles(const Frame& frame, const BarChart& chart) {
  const double middleY = (frame.Top() + frame.Bottom()) / 2;
  return Text(frame.Left(), kFontSize + 4, "start", chart.title, " font-weight=\"bold\"") +
         Text((frame.Left() + frame.Right()) / 2, kHeight - 8, "middle", chart.xTitle) +
         Text(kFontSize, middleY, "middle", chart.yTitle,
              " transform=\"rotate(-90 " + Num(kFontSize) + " " + Num(middleY) + ")\"");
}

}  // namespace

double RoundStep(double span, int most, double least) {
  double step = least;
  for (double scale = least; span / step > most; scale *= 10) {
    for (const double factor : {1.0, 2.0, 5.0}) {
      step = scale * factor;
      if (span / step <= most) break;
    }
  }
  return step;
}

std::string XmlEscaped(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string BarChartSvg(const BarChart& chart) {
  const auto [yTop, yStep] = YAxis(chart);
  const Frame frame{chart.xFrom, chart.xTo > chart.xFrom ? chart.xTo : chart.xFrom + 1, yTop};
  return "<svg viewBox=\"0 0 " + Num(kWidth) + " " + Num(kHeight) + "\" role=\"img\" font-family=\"sans-serif\" " +
         "font-size=\"" + Num(kFontSize) + "\" fill=\"" + kTextColour + "\">\n<title>" + XmlEscaped(chart.title) +
         "</title>\n" + GridAndYLabels(frame, chart, yStep) + Bars(frame, chart) + AxesAndXTicks(frame, chart) +
         Markers(frame, chart) + Titles(frame, chart) + "</svg>\n";
}
