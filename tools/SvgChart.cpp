#include "tools/SvgChart.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>
#include <tuple>

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
constexpr double kControlFractionStep = 0.01;  // a yield axis steps by 1 % at least
constexpr double kHalfSample = 0.5;  // a limit spans its sample's width
constexpr double kControlPointRadius = 2.5;
constexpr double kFlaggedHalf = 4;

constexpr const char* kTextColour = "#000";
constexpr const char* kGridColour = "#d0d0d0";
constexpr const char* kBarFill = "#9db0c8";
constexpr const char* kBarStroke = "#2f3e52";
constexpr const char* kMarkerColour = "#a00018";

std::string Num(double value) { return FormatText("%.1f", value); }

// Maps chart values to the chart's units.
struct Frame {
  double xFrom, xTo, yTop;
  double yFrom = 0;  // a bar chart's y axis starts at 0
  double Left() const { return kLeft; }
  double Right() const { return kWidth - kRight; }
  double Top() const { return kTop; }
  double Bottom() const { return kHeight - kBottom; }
  double X(double x) const { return Left() + (x - xFrom) / (xTo - xFrom) * (Right() - Left()); }
  double Y(double y) const { return Bottom() - (y - yFrom) / (yTop - yFrom) * (Bottom() - Top()); }
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

std::string GridAndYLabels(const Frame& frame, ChartScale scale, double step) {
  std::string svg;
  const std::string grid = std::string("stroke=\"") + kGridColour + "\"";
  for (double y = frame.yFrom; y <= frame.yTop + step / 2; y += step) {
    svg += Line(frame.Left(), frame.Y(y), frame.Right(), frame.Y(y), grid);
    svg += Text(frame.Left() - kTickLength - 2, frame.Y(y) + kFontSize / 3, "end", YLabel(y, scale));
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

std::string AxesAndXTicks(const Frame& frame, const std::vector<ChartTick>& xTicks) {
  const std::string ink = std::string("stroke=\"") + kTextColour + "\"";
  std::string svg = "<path d=\"M" + Num(frame.Left()) + " " + Num(frame.Top()) + "V" + Num(frame.Bottom()) + "H" +
                    Num(frame.Right()) + "\" fill=\"none\" " + ink + "/>\n";
  for (const ChartTick& tick : xTicks) {
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

std::string Titles(const Frame& frame, const std::string& title, const std::string& xTitle,
                   const std::string& yTitle) {
  const double middleY = (frame.Top() + frame.Bottom()) / 2;
  return Text(frame.Left(), kFontSize + 4, "start", title, " font-weight=\"bold\"") +
         Text((frame.Left() + frame.Right()) / 2, kHeight - 8, "middle", xTitle) +
         Text(kFontSize, middleY, "middle", yTitle,
              " transform=\"rotate(-90 " + Num(kFontSize) + " " + Num(middleY) + ")\"");
}

// The y range that shows every point and every limit, on round steps.
std::tuple<double, double, double> ControlYAxis(const ControlChart& chart) {
  double low = chart.centre;
  double high = chart.centre;
  for (const ControlChartPoint& point : chart.points) {
    low = std::min({low, point.value, chart.limited ? point.lower : point.value});
    high = std::max({high, point.value, chart.limited ? point.upper : point.value});
  }
  if (chart.scale == ChartScale::Fraction) {
    low = std::max(0.0, low);
    high = std::min(1.0, high);
  }
  const double least = chart.scale == ChartScale::Fraction ? kControlFractionStep : 1;
  const double step = RoundStep(std::max(high - low, least), kMostYTicks, least);
  return {std::floor(low / step) * step, std::max(std::ceil(high / step), std::floor(low / step) + 1) * step, step};
}

std::string ControlLimitsPath(const Frame& frame, const ControlChart& chart) {
  std::string lower;
  std::string upper;
  for (const ControlChartPoint& point : chart.points) {
    const std::string from = Num(frame.X(point.at - kHalfSample));
    const std::string to = Num(frame.X(point.at + kHalfSample));
    lower += "M" + from + " " + Num(frame.Y(point.lower)) + "H" + to;
    upper += "M" + from + " " + Num(frame.Y(point.upper)) + "H" + to;
  }
  return "<path d=\"" + lower + upper + "\" fill=\"none\" stroke=\"" + kMarkerColour +
         "\" stroke-width=\"1.5\" stroke-dasharray=\"5 3\"/>\n";
}

std::string ControlPoints(const Frame& frame, const ControlChart& chart) {
  std::string line;
  std::string marks;
  for (const ControlChartPoint& point : chart.points) {
    const double x = frame.X(point.at);
    const double y = frame.Y(point.value);
    line += (line.empty() ? "M" : "L") + Num(x) + " " + Num(y);
    const std::string title = "<title>" + XmlEscaped(point.tip) + "</title>";
    if (point.flagged) {
      marks += "<rect x=\"" + Num(x - kFlaggedHalf) + "\" y=\"" + Num(y - kFlaggedHalf) + "\" width=\"" +
               Num(2 * kFlaggedHalf) + "\" height=\"" + Num(2 * kFlaggedHalf) + "\" fill=\"" + kMarkerColour +
               "\">" + title + "</rect>\n";
    } else {
      marks += "<circle cx=\"" + Num(x) + "\" cy=\"" + Num(y) + "\" r=\"" + Num(kControlPointRadius) + "\" fill=\"" +
               kBarStroke + "\">" + title + "</circle>\n";
    }
  }
  return "<path d=\"" + line + "\" fill=\"none\" stroke=\"" + kBarStroke + "\" stroke-width=\"1\"/>\n" + marks;
}

// The <svg> element's start with its title.
std::string SvgStart(const std::string& title) {
  return "<svg viewBox=\"0 0 " + Num(kWidth) + " " + Num(kHeight) + "\" role=\"img\" font-family=\"sans-serif\" " +
         "font-size=\"" + Num(kFontSize) + "\" fill=\"" + kTextColour + "\">\n<title>" + XmlEscaped(title) +
         "</title>\n";
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
  return SvgStart(chart.title) + GridAndYLabels(frame, chart.scale, yStep) + Bars(frame, chart) +
         AxesAndXTicks(frame, chart.xTicks) + Markers(frame, chart) +
         Titles(frame, chart.title, chart.xTitle, chart.yTitle) + "</svg>\n";
}

std::string ControlChartSvg(const ControlChart& chart) {
  const auto [yFrom, yTo, yStep] = ControlYAxis(chart);
  const Frame frame{chart.xFrom, chart.xTo > chart.xFrom ? chart.xTo : chart.xFrom + 1, yTo, yFrom};
  const std::string centre = std::string("stroke=\"") + kTextColour + "\" stroke-width=\"1.5\"";
  return SvgStart(chart.title) + GridAndYLabels(frame, chart.scale, yStep) +
         Line(frame.Left(), frame.Y(chart.centre), frame.Right(), frame.Y(chart.centre), centre) +
         (chart.limited ? ControlLimitsPath(frame, chart) : "") + ControlPoints(frame, chart) +
         AxesAndXTicks(frame, chart.xTicks) + Titles(frame, chart.title, chart.xTitle, chart.yTitle) + "</svg>\n";
}

namespace {

constexpr double kLineChartRight = 70;  // room for the lines' labels
constexpr double kLineWidth = 1.2;
constexpr double kLabelGap = 3;
constexpr double kScatterSize = 400;
constexpr double kScatterMargin = 40;
constexpr double kScatterPointRadius = 1.5;
constexpr int kMostScatterTicks = 4;
constexpr const char* kGreyLine = "#9a9a9a";
// Dark enough to tell apart on paper, and each other.
constexpr const char* kLinePalette[] = {"#1f4e9a", "#b2182b", "#1b7837", "#8c510a", "#5e3c99",
                                         "#01665e", "#c51b7d", "#4d4d4d"};

struct PlotArea {
  double left, right, top, bottom;
  double xFrom, xTo, yTo;
  double X(double x) const { return left + (x - xFrom) / (xTo - xFrom) * (right - left); }
  double Y(double y) const { return bottom - y / yTo * (bottom - top); }
};

double LineChartTop(const LineChart& chart) {
  if (chart.yTo > 0) return chart.yTo;
  double highest = 1;
  for (const ChartSeries& series : chart.series) {
    for (const ChartColumn& column : series.columns) highest = std::max(highest, column.max);
  }
  const double step = RoundStep(highest, kMostYTicks, 1);
  return std::ceil(highest / step) * step;
}

// One column per pixel, each with the minimum and maximum of the columns drawn there.
std::vector<ChartColumn> PixelColumns(const PlotArea& area, const std::vector<ChartColumn>& columns, double breakAfter,
                                      std::vector<bool>& breaksBefore) {
  std::vector<ChartColumn> pixels;
  breaksBefore.clear();
  double lastX = 0;
  for (const ChartColumn& column : columns) {
    const double pixel = std::floor(area.X(column.x));
    const bool broken = pixels.empty() || (breakAfter > 0 && column.x - lastX > breakAfter);
    lastX = column.x;
    if (!broken && pixels.back().x == pixel) {
      pixels.back().min = std::min(pixels.back().min, column.min);
      pixels.back().max = std::max(pixels.back().max, column.max);
      continue;
    }
    pixels.push_back({pixel, column.min, column.max});
    breaksBefore.push_back(broken);
  }
  return pixels;
}

std::string SeriesPath(const PlotArea& area, const ChartSeries& series, double breakAfter, const char* colour) {
  std::vector<bool> breaks;
  const std::vector<ChartColumn> pixels = PixelColumns(area, series.columns, breakAfter, breaks);
  if (pixels.empty()) return "";
  std::string path;
  for (size_t i = 0; i < pixels.size(); ++i) {
    const ChartColumn& p = pixels[i];
    path += (breaks[i] ? "M" : "L") + Num(p.x) + " " + Num(area.Y(p.max));
    if (p.min != p.max) path += "V" + Num(area.Y(p.min));
    // A lone column is a short stroke, so that it shows.
    if (breaks[i] && (i + 1 == pixels.size() || breaks[i + 1])) path += "h1";
  }
  const ChartColumn& last = pixels.back();
  return "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"" + Num(kLineWidth) +
         "\" stroke-linejoin=\"round\"><title>" + XmlEscaped(series.label) + "</title></path>\n" +
         Text(last.x + kLabelGap, area.Y(last.max) + kFontSize / 3, "start", series.label,
              std::string(" fill=\"") + colour + "\"");
}

std::string LineAxes(const PlotArea& area, const LineChart& chart, double yStep) {
  const std::string grid = std::string("stroke=\"") + kGridColour + "\"";
  const std::string ink = std::string("stroke=\"") + kTextColour + "\"";
  std::string svg;
  for (double y = 0; y <= area.yTo + yStep / 2; y += yStep) {
    svg += Line(area.left, area.Y(y), area.right, area.Y(y), grid);
    svg += Text(area.left - kTickLength - 2, area.Y(y) + kFontSize / 3, "end", FormatText("%g", y));
  }
  svg += "<path d=\"M" + Num(area.left) + " " + Num(area.top) + "V" + Num(area.bottom) + "H" + Num(area.right) +
         "\" fill=\"none\" " + ink + "/>\n";
  for (const ChartTick& tick : chart.xTicks) {
    const double x = area.X(tick.at);
    svg += Line(x, area.bottom, x, area.bottom + kTickLength, ink);
    svg += Text(x, area.bottom + kTickLength + kFontSize, "middle", tick.label);
  }
  const double middleY = (area.top + area.bottom) / 2;
  svg += Text(area.left, kFontSize + 4, "start", chart.title, " font-weight=\"bold\"") +
         Text((area.left + area.right) / 2, kHeight - 8, "middle", chart.xTitle) +
         Text(kFontSize, middleY, "middle", chart.yTitle,
              " transform=\"rotate(-90 " + Num(kFontSize) + " " + Num(middleY) + ")\"");
  return svg;
}

std::string SvgOpening(double width, double height, const std::string& title) {
  return "<svg viewBox=\"0 0 " + Num(width) + " " + Num(height) + "\" role=\"img\" font-family=\"sans-serif\" " +
         "font-size=\"" + Num(kFontSize) + "\" fill=\"" + kTextColour + "\">\n<title>" + XmlEscaped(title) + "</title>\n";
}

}  // namespace

std::string LineChartSvg(const LineChart& chart) {
  const double yTop = LineChartTop(chart);
  const PlotArea area{kLeft, kWidth - kLineChartRight, kTop, kHeight - kBottom,
                      chart.xFrom, chart.xTo > chart.xFrom ? chart.xTo : chart.xFrom + 1, yTop};
  std::string svg = SvgOpening(kWidth, kHeight, chart.title) + LineAxes(area, chart, RoundStep(yTop, kMostYTicks, 1));
  size_t colour = 0;
  // Grey lines first, so that the emphasised ones lie on top.
  for (const bool emphasised : {false, true}) {
    for (const ChartSeries& series : chart.series) {
      if (series.emphasised != emphasised) continue;
      const char* ink = emphasised ? kLinePalette[colour++ % std::size(kLinePalette)] : kGreyLine;
      svg += SeriesPath(area, series, chart.breakAfter, ink);
    }
  }
  return svg + "</svg>\n";
}

std::string ScatterChartSvg(const ScatterChart& chart) {
  double reach = 1;
  for (const ScatterCircle& circle : chart.circles) reach = std::max(reach, circle.radius);
  for (const ScatterPoint& point : chart.points) reach = std::max({reach, std::fabs(point.east), std::fabs(point.north)});
  const double step = RoundStep(reach, kMostScatterTicks, 0.001);
  reach = std::ceil(reach / step) * step;
  const double side = kScatterSize - 2 * kScatterMargin;
  const double centre = kScatterMargin + side / 2;
  const double scale = side / (2 * reach);
  const auto x = [&](double east) { return centre + east * scale; };
  const auto y = [&](double north) { return centre - north * scale; };

  std::string svg = SvgOpening(kScatterSize, kScatterSize, chart.title);
  const std::string grid = std::string("stroke=\"") + kGridColour + "\"";
  for (double at = -reach; at <= reach + step / 2; at += step) {
    svg += Line(x(at), y(-reach), x(at), y(reach), grid) + Line(x(-reach), y(at), x(reach), y(at), grid);
    svg += Text(x(at), y(-reach) + kFontSize + kTickLength, "middle", FormatText("%g", at));
    svg += Text(x(-reach) - kTickLength, y(at) + kFontSize / 3, "end", FormatText("%g", at));
  }
  std::set<std::pair<long, long>> drawn;
  std::string dots = std::string("<g fill=\"") + kBarStroke + "\">\n";
  for (const ScatterPoint& point : chart.points) {
    const std::pair<long, long> pixel{std::lround(x(point.east)), std::lround(y(point.north))};
    if (!drawn.insert(pixel).second) continue;
    dots += "<circle cx=\"" + Num(x(point.east)) + "\" cy=\"" + Num(y(point.north)) + "\" r=\"" + Num(kScatterPointRadius) + "\"/>\n";
  }
  svg += dots + "</g>\n";
  // Labels on alternate sides, so that close circles keep them apart.
  double above = 1;
  for (const ScatterCircle& circle : chart.circles) {
    const double offset = circle.radius * scale * std::sqrt(0.5);
    svg += "<circle cx=\"" + Num(centre) + "\" cy=\"" + Num(centre) + "\" r=\"" + Num(circle.radius * scale) +
           "\" fill=\"none\" stroke=\"" + kMarkerColour + "\" stroke-width=\"1.5\" stroke-dasharray=\"6 3\"/>\n";
    svg += Text(centre + offset + kLabelGap, centre - above * offset + (above < 0 ? kFontSize : 0), "start", circle.label,
                std::string(" fill=\"") + kMarkerColour + "\" font-weight=\"bold\"");
    above = -above;
  }
  svg += Text(kScatterMargin, kFontSize + 4, "start", chart.title, " font-weight=\"bold\"");
  svg += Text(centre, kScatterSize - 4, "middle", "east of the mean, m");
  svg += Text(kFontSize, centre, "middle", "north of the mean, m",
              " transform=\"rotate(-90 " + Num(kFontSize) + " " + Num(centre) + ")\"");
  return svg + "</svg>\n";
}
