#pragma once
// Bar charts as inline SVG for the reports navlume-cli writes: bars over a
// numeric x axis, a y axis of counts or of fractions shown in percent, and
// vertical markers with labels (a timeout, a pass level). The result is the
// text of one <svg> element that needs no script, font or file: black text,
// grey bars and dashed dark markers, so that it reads the same when printed
// in black and white.

#include <string>
#include <string_view>
#include <vector>

struct ChartBar {
  double from = 0;  // x range of the bar
  double to = 0;
  double height = 0;
  std::string tip;  // shown on hover, read by screen readers
};

struct ChartTick {
  double at = 0;
  std::string label;
};

struct ChartMarker {
  double at = 0;
  std::string label;
};

enum class ChartScale { Count, Fraction };

struct BarChart {
  std::string title;
  std::string xTitle;
  std::string yTitle;
  double xFrom = 0;
  double xTo = 1;
  ChartScale scale = ChartScale::Count;  // Fraction: heights from 0 to 1, labelled in percent
  std::vector<ChartBar> bars;
  std::vector<ChartTick> xTicks;
  std::vector<ChartMarker> markers;
};

std::string BarChartSvg(const BarChart& chart);

// A round step (1, 2 or 5 times a power of ten, at least `least`) that cuts
// `span` into at most `most` pieces.
double RoundStep(double span, int most, double least);

// The text with &, <, > and quotes written as entities, for HTML and SVG.
std::string XmlEscaped(std::string_view text);

// Lines over a numeric x axis, for series that the caller thinned to columns
// with their minimum and maximum. The chart thins them again to one column
// per drawn pixel, keeping the minimum and maximum of each, and breaks a line
// where its columns lie further apart than `breakAfter`. Each line is labelled
// at its end; emphasised lines are drawn in colour, the others in grey.
struct ChartColumn {
  double x = 0;
  double min = 0;
  double max = 0;
};

struct ChartSeries {
  std::string label;
  std::vector<ChartColumn> columns;
  bool emphasised = true;
};

struct LineChart {
  std::string title;
  std::string xTitle;
  std::string yTitle;
  double xFrom = 0;
  double xTo = 1;
  double yTo = 0;  // 0: a round number at or above the highest value
  double breakAfter = 0;  // 0: never break
  std::vector<ChartTick> xTicks;
  std::vector<ChartSeries> series;
};

std::string LineChartSvg(const LineChart& chart);

// Points in metres east and north of a centre, drawn to scale with circles
// around the centre (CEP50, CEP95); points closer than a pixel are drawn once.
struct ScatterPoint {
  double east = 0;
  double north = 0;
};

struct ScatterCircle {
  double radius = 0;
  std::string label;
};

struct ScatterChart {
  std::string title;
  std::vector<ScatterPoint> points;
  std::vector<ScatterCircle> circles;
};

std::string ScatterChartSvg(const ScatterChart& chart);

// A control chart: one point per sample over a numeric x axis, the centre
// line, and limits that may step from point to point (a p chart's limits
// follow each sample's size). Points outside their limits are drawn as
// squares in the marker colour, so that they stand out in black and white too.
struct ControlChartPoint {
  double at = 0;
  double value = 0;
  double lower = 0;
  double upper = 0;
  bool flagged = false;
  std::string tip;
};

struct ControlChart {
  std::string title;
  std::string xTitle;
  std::string yTitle;
  double xFrom = 0;
  double xTo = 1;
  ChartScale scale = ChartScale::Count;  // Fraction: values from 0 to 1, labelled in percent
  double centre = 0;
  bool limited = true;  // false: no limits are drawn
  std::vector<ControlChartPoint> points;
  std::vector<ChartTick> xTicks;
};

std::string ControlChartSvg(const ControlChart& chart);
