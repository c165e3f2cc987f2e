#include "tools/JournalReport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "prodtest/FormatText.h"
#include "prodtest/JournalFigures.h"
#include "tools/ReportHtml.h"
#include "tools/SvgChart.h"

namespace {

constexpr uint32_t kP10 = 10;
constexpr uint32_t kP50 = 50;
constexpr uint32_t kP90 = 90;
constexpr uint32_t kSmallest = 0;
constexpr uint32_t kLargest = 100;
constexpr double kPercent = 100;
constexpr const char* kNoValue = "-";
constexpr int kMostBins = 40;
constexpr int kMostValueTicks = 10;
constexpr int kMostDayTicks = 6;
constexpr size_t kYieldCell = 4;  // in a table row; the HTML table puts the failures and the units after it
constexpr size_t kSnrP90Cell = 11;  // the HTML table puts the Cpks after it
constexpr size_t kMostListedSignals = 12;  // the table and the report list the worst; JSON has them all

// The spread of a group's values, as the table, JSON and HTML show it.
struct Spread {
  std::optional<uint32_t> min, p10, p50, p90, max;
};

Spread SpreadOf(const CountHistogram& values) {
  return {values.Percentile(kSmallest), values.Percentile(kP10), values.Percentile(kP50), values.Percentile(kP90),
          values.Percentile(kLargest)};
}

std::string Shown(std::optional<uint32_t> value) { return value ? std::to_string(*value) : kNoValue; }

std::string YieldText(double yield) { return FormatText("%.1f %%", yield * kPercent); }
std::string SnrText(double snr) { return FormatText("%.1f dB-Hz", snr); }

std::string TotalsText(const CJournalSummary& summary, const JournalTotals& totals) {
  std::string text = FormatText("journals read: %llu; lines summarised: %llu; malformed lines: %llu",
                                static_cast<unsigned long long>(totals.files),
                                static_cast<unsigned long long>(summary.Lines()),
                                static_cast<unsigned long long>(totals.malformed));
  if (!summary.Since().empty()) text += "; results since " + summary.Since();
  return text;
}

// "timeout 8, fix 2"
std::string FailuresText(const JournalGroup& group) {
  std::string text;
  for (const auto& [reason, count] : group.failuresByReason) {
    text += (text.empty() ? "" : ", ") + reason + " " + std::to_string(count);
  }
  return text;
}

std::string UnitsText(const JournalGroup& group) {
  const UnitYields units = UnitYieldsOf(group);
  return FormatText("units %llu, retests %llu; first-pass yield %s, final yield %s",
                    static_cast<unsigned long long>(units.units), static_cast<unsigned long long>(units.retests),
                    YieldText(units.firstPass).c_str(), YieldText(units.final).c_str());
}

std::string Decimal(std::optional<double> value, const char* format) {
  return value ? FormatText(format, *value) : kNoValue;
}

const char* RatingText(CpkRating rating) {
  switch (rating) {
    case CpkRating::NotCapable: return " not capable";
    case CpkRating::BelowOne: return " not capable, below 1.0";
    default: return "";
  }
}

// "1.52", "0.87 not capable", or why there is none.
std::string CpkText(const Capability& capability) {
  if (capability.cpk) return FormatText("%.2f", *capability.cpk) + RatingText(RatingOf(*capability.cpk));
  if (!capability.limit) return "none, no limit";
  if (capability.n < kFewestForCpk) return "too few";
  return "none, no spread";
}

// A table cell's short form: "1.52", "1.21 (< 1.33)", "0.87 (< 1.0)", "too few".
std::string CpkCellText(const Capability& capability) {
  if (!capability.cpk) return CpkText(capability);
  switch (RatingOf(*capability.cpk)) {
    case CpkRating::NotCapable: return FormatText("%.2f (< %.2f)", *capability.cpk, kCapableCpk);
    case CpkRating::BelowOne: return FormatText("%.2f (< %.1f)", *capability.cpk, kLeastCpk);
    default: return FormatText("%.2f", *capability.cpk);
  }
}

// The HTML class of a Cpk's cell or line: "bad" below 1.0, "warn" below 1.33.
const char* CpkClass(const Capability& capability) {
  if (!capability.cpk) return "n";
  switch (RatingOf(*capability.cpk)) {
    case CpkRating::NotCapable: return "n warn";
    case CpkRating::BelowOne: return "n bad";
    default: return "n";
  }
}

std::string SnrLimitText(const GroupCapability& capability) {
  if (!capability.averageSnr.limit) return "no pass level";
  return FormatText(capability.mixedPassLevels ? "the lowest of its pass levels, %.0f, over the tests of that level"
                                               : "pass level %.0f",
                    *capability.averageSnr.limit);
}

std::string TimeoutText(const GroupCapability& capability) {
  switch (capability.ttffLimitFrom) {
    case TimeoutSource::Option: return FormatText("timeout %.0f s of --timeout", *capability.ttff.limit);
    case TimeoutSource::TimedOutTests:
      return FormatText(capability.mixedTimeouts ? "timeout %.0f s, the lowest count of the timed-out tests"
                                                 : "timeout %.0f s, the count of the timed-out tests",
                        *capability.ttff.limit);
    default: return "no timeout (no test timed out; --timeout S gives one)";
  }
}

// "SNR Cpk 1.52: mean 41.2 dB-Hz, sigma 4.80, against pass level 35; 600 tests"
std::string CapabilityText(const char* name, const Capability& capability, const char* unit,
                           const std::string& limit, const char* counted) {
  return std::string(name) + " Cpk " + CpkText(capability) + ": mean " + Decimal(capability.mean, "%.1f") + unit +
         ", sigma " + Decimal(capability.sigma, "%.2f") + ", against " + limit + "; " +
         std::to_string(capability.n) + " " + counted;
}

std::string SnrCapabilityText(const GroupCapability& capability) {
  return CapabilityText("SNR", capability.averageSnr, " dB-Hz", SnrLimitText(capability), "tests");
}

std::string TtffCapabilityText(const GroupCapability& capability) {
  return CapabilityText("TTFF", capability.ttff, " s", TimeoutText(capability), "tests with a fix");
}

// JSON's name of where a TTFF limit came from; null without one.
nlohmann::ordered_json TimeoutSourceName(TimeoutSource source) {
  switch (source) {
    case TimeoutSource::Option: return "option";
    case TimeoutSource::TimedOutTests: return "timedOutTests";
    default: return nullptr;
  }
}

bool IsYieldRule(SignalRule rule) {
  switch (rule) {
    case SignalRule::SnrBelowLimit:
    case SignalRule::SnrAboveLimit:
    case SignalRule::SnrRunBelow:
    case SignalRule::SnrRunAbove: return false;
    default: return true;
  }
}

std::string SignalValueText(SignalRule rule, double value) {
  return IsYieldRule(rule) ? YieldText(value) : SnrText(value);
}

// "2026-02-14: daily yield below its lower limit: 61.2 % against 78.3 %", after the group's name.
std::string SignalText(const JournalSignal& signal) {
  return signal.day + ": " + SignalRuleText(signal.rule) + ": " + SignalValueText(signal.rule, signal.value) +
         " against " + SignalValueText(signal.rule, signal.limit);
}

std::string MoreSignalsText(size_t signals) {
  return "  and " + std::to_string(signals - kMostListedSignals) + " more signals, all in the --json summary";
}

// ---- text table ----

std::vector<std::string> TableRow(const std::string& key, const JournalGroup& group) {
  const Spread ttff = SpreadOf(group.ttffSeconds);
  const Spread snr = SpreadOf(group.averageSnr);
  return {key,           std::to_string(group.tests), std::to_string(group.passed), std::to_string(group.Failed()),
          YieldText(group.Yield()), Shown(ttff.min), Shown(ttff.p50), Shown(ttff.p90), Shown(ttff.max),
          Shown(snr.p10), Shown(snr.p50), Shown(snr.p90)};
}

std::string PaddedRow(const std::vector<std::string>& cells, const std::vector<size_t>& widths) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    const std::string padding(widths[i] - cells[i].size(), ' ');
    line += i == 0 ? cells[i] + padding : "  " + padding + cells[i];  // the key left, numbers right
  }
  return line + "\n";
}

// ---- HTML ----

std::chrono::sys_days DayOf(std::string_view day) {
  const auto number = [day](size_t at, size_t length) { return std::stoi(std::string(day.substr(at, length))); };
  return std::chrono::year_month_day{std::chrono::year{number(0, 4)},
                                     std::chrono::month{static_cast<unsigned>(number(5, 2))},
                                     std::chrono::day{static_cast<unsigned>(number(8, 2))}};
}

std::string DayText(std::chrono::sys_days day) {
  const std::chrono::year_month_day date{day};
  return FormatText("%04d-%02u-%02u", static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                    static_cast<unsigned>(date.day()));
}

// Ticks at round steps of days from `first`, in the middle of each day, before `xTo` days.
std::vector<ChartTick> DayTicks(std::chrono::sys_days first, double xTo) {
  std::vector<ChartTick> ticks;
  const double step = RoundStep(xTo, kMostDayTicks, 1);
  for (double at = 0; at < xTo; at += step) {
    ticks.push_back({at + 0.5, DayText(first + std::chrono::days{static_cast<int>(at)})});
  }
  return ticks;
}

// Counts of the values from `low` to `high` in at most kMostBins bars.
BarChart Histogram(const CountHistogram& values, uint32_t low, uint32_t high, const std::string& unit) {
  BarChart chart;
  const double width = RoundStep(high - low + 1.0, kMostBins, 1);
  const double from = std::floor(low / width) * width;
  const auto bins = static_cast<size_t>(std::floor((high - from) / width)) + 1;
  std::vector<uint64_t> counts(bins);
  values.ForEach([&](uint32_t value, uint64_t count) {
    counts[std::min(bins - 1, static_cast<size_t>((value - from) / width))] += count;
  });
  for (size_t i = 0; i < bins; ++i) {
    const double binFrom = from + static_cast<double>(i) * width;
    const std::string range = width == 1 ? FormatText("%.0f", binFrom)
                                         : FormatText("%.0f to %.0f", binFrom, binFrom + width - 1);
    chart.bars.push_back({binFrom, binFrom + width, static_cast<double>(counts[i]),
                          range + " " + unit + ": " + std::to_string(counts[i]) + " tests"});
  }
  chart.xFrom = from;
  chart.xTo = from + static_cast<double>(bins) * width;
  const double step = RoundStep(chart.xTo - from, kMostValueTicks, width);
  for (double at = from; at <= chart.xTo; at += step) chart.xTicks.push_back({at, FormatText("%.0f", at)});
  chart.yTitle = "tests";
  return chart;
}

BarChart TtffChart(const std::string& key, const JournalGroup& group) {
  const Spread ttff = SpreadOf(group.ttffSeconds);
  const uint32_t high = std::max(ttff.max.value_or(0), group.testTimeouts.Percentile(kLargest).value_or(0));
  BarChart chart = Histogram(group.ttffSeconds, 0, high, "s");
  chart.title = "TTFF of " + key + (ttff.max ? "" : ": no test got a fix");
  chart.xTitle = "seconds to the first fix";
  group.testTimeouts.ForEach([&chart](uint32_t timeout, uint64_t) {
    chart.markers.push_back({static_cast<double>(timeout), FormatText("timeout %u s", timeout)});
  });
  return chart;
}

BarChart SnrChart(const std::string& key, const JournalGroup& group) {
  const Spread snr = SpreadOf(group.averageSnr);
  const Spread levels = SpreadOf(group.passLevels);
  BarChart chart = Histogram(group.averageSnr, std::min(*snr.min, *levels.min), std::max(*snr.max, *levels.max),
                             "dB-Hz");
  chart.title = "Average SNR of " + key;
  chart.xTitle = "average SNR (dB-Hz)";
  group.passLevels.ForEach([&chart](uint32_t level, uint64_t) {
    chart.markers.push_back({static_cast<double>(level), FormatText("pass level %u", level)});
  });
  return chart;
}

BarChart YieldChart(const std::string& title, const JournalDays& days) {
  BarChart chart;
  chart.title = title;
  chart.scale = ChartScale::Fraction;
  chart.xTitle = "day (UTC); a day without tests has no bar";
  chart.yTitle = "yield";
  const std::chrono::sys_days first = DayOf(days.begin()->first);
  for (const auto& [day, tally] : days) {
    const auto at = static_cast<double>((DayOf(day) - first).count());
    const double yield = static_cast<double>(tally.passed) / static_cast<double>(tally.tests);
    chart.bars.push_back({at, at + 1, yield, day + ": " + YieldText(yield) + " of " + std::to_string(tally.tests) +
                                                 " tests"});
  }
  chart.xTo = chart.bars.back().to;
  chart.xTicks = DayTicks(first, chart.xTo);
  return chart;
}

// A control chart over the days of `days`, one unit of x per day from the first.
ControlChart DayControlChart(const DayChart& days, ChartScale scale,
                             const std::function<std::string(double)>& shown) {
  ControlChart chart;
  chart.scale = scale;
  chart.centre = days.centre;
  chart.limited = days.limited;
  chart.xTitle = "day (UTC)";
  const std::chrono::sys_days first = DayOf(days.days.front());
  for (size_t i = 0; i < days.days.size(); ++i) {
    const ChartPoint& point = days.points[i];
    const bool outside = point.value < point.limits.lower || point.value > point.limits.upper;
    const std::string limits = days.limited ? " (limits " + shown(point.limits.lower) + " to " +
                                                  shown(point.limits.upper) + ")"
                                            : "";
    chart.points.push_back({static_cast<double>((DayOf(days.days[i]) - first).count()) + 0.5, point.value,
                            point.limits.lower, point.limits.upper, outside,
                            days.days[i] + ": " + shown(point.value) + limits});
  }
  chart.xTo = chart.points.back().at + 0.5;
  chart.xTicks = DayTicks(first, chart.xTo);
  return chart;
}

std::string ControlFigure(const ControlChart& chart, const std::string& caption) {
  return "<figure>\n" + ControlChartSvg(chart) + "<figcaption>" + XmlEscaped(caption) + "</figcaption>\n</figure>\n";
}

std::string ControlCharts(const std::string& key, const JournalGroup& group) {
  const DayChart yield = YieldDayChart(group);
  ControlChart yieldChart = DayControlChart(yield, ChartScale::Fraction, YieldText);
  yieldChart.title = "Daily yield of " + key + " (p chart)";
  yieldChart.yTitle = "yield";
  const DayChart snr = SnrDayChart(group);
  ControlChart snrChart = DayControlChart(snr, ChartScale::Count, SnrText);
  snrChart.title = "Daily mean average SNR of " + key + " (individuals chart)";
  snrChart.yTitle = "mean average SNR (dB-Hz)";
  return ControlFigure(yieldChart, "Passed / tests of each day with tests. Centre line: the group's yield, " +
                                       YieldText(yield.centre) +
                                       "; dashed: 3 sigma of the binomial for each day's count of tests. "
                                       "Squares: days outside their limits.") +
         ControlFigure(snrChart, "The mean average SNR of each day with tests. Centre line: their mean, " +
                                     SnrText(snr.centre) +
                                     "; dashed: 3 sigma from the mean moving range of consecutive days. "
                                     "Squares: days outside the limits.");
}

std::string Figure(const BarChart& chart, const std::string& caption) {
  return "<figure>\n" + BarChartSvg(chart) + "<figcaption>" + XmlEscaped(caption) + "</figcaption>\n</figure>\n";
}

std::string Cell(const std::string& text, const char* kind = "n") {
  return std::string("<td class=\"") + kind + "\">" + XmlEscaped(text) + "</td>";
}

// A time stamp that may break between its date and its time of day, so that the table fits a page.
std::string TimeCell(const std::string& utc) {
  std::string html = XmlEscaped(utc);
  if (const size_t time = html.find('T'); time != std::string::npos) html.insert(time, "<wbr>");
  return "<td class=\"time\">" + html + "</td>";
}

std::string HtmlTable(const CJournalSummary& summary, std::optional<uint32_t> timeout) {
  std::string html =
      "<table>\n<thead><tr><th rowspan=\"2\">" + std::string(JournalGroupingName(summary.Grouping())) +
      "</th><th rowspan=\"2\">tests</th><th rowspan=\"2\">passed</th><th rowspan=\"2\">failed</th>"
      "<th rowspan=\"2\">yield</th><th rowspan=\"2\">failures by reason</th><th colspan=\"4\">units</th>"
      "<th colspan=\"4\">TTFF (s)</th><th colspan=\"3\">average SNR</th><th colspan=\"2\">Cpk</th>"
      "<th rowspan=\"2\">first</th><th rowspan=\"2\">last</th></tr>\n"
      "<tr><th>units</th><th>retests</th><th>first pass</th><th>final</th><th>min</th><th>p50</th><th>p90</th>"
      "<th>max</th><th>p10</th><th>p50</th><th>p90</th><th>SNR</th><th>TTFF</th></tr></thead>\n"
      "<tbody>\n";
  for (const auto& [key, group] : summary.Groups()) {
    const std::vector<std::string> row = TableRow(key, group);
    html += "<tr>" + Cell(row[0], "key");
    const UnitYields units = UnitYieldsOf(group);
    const GroupCapability capability = CapabilityOfGroup(group, timeout);
    for (size_t i = 1; i < row.size(); ++i) {
      html += Cell(row[i]);
      if (i == kYieldCell) {
        html += Cell(FailuresText(group), "wrap") + Cell(std::to_string(units.units)) +
                Cell(std::to_string(units.retests)) + Cell(YieldText(units.firstPass)) + Cell(YieldText(units.final));
      }
      if (i == kSnrP90Cell) {
        html += Cell(CpkCellText(capability.averageSnr), CpkClass(capability.averageSnr)) +
                Cell(CpkCellText(capability.ttff), CpkClass(capability.ttff));
      }
    }
    html += TimeCell(group.first) + TimeCell(group.last) + "</tr>\n";
  }
  return html + "</tbody>\n</table>\n";
}

// A figure whose caption ends with the capability line under its chart.
std::string CapabilityFigure(const BarChart& chart, const std::string& caption, const Capability& capability,
                             const std::string& capabilityText) {
  return "<figure>\n" + BarChartSvg(chart) + "<figcaption>" + XmlEscaped(caption) + "<br><span class=\"" +
         CpkClass(capability) + "\">" + XmlEscaped(capabilityText) + "</span></figcaption>\n</figure>\n";
}

std::string GroupSection(const std::string& key, const JournalGroup& group, std::optional<uint32_t> timeout) {
  const GroupCapability capability = CapabilityOfGroup(group, timeout);
  std::string html = "<section>\n<h2>" + XmlEscaped(key) + "</h2>\n<p>" + XmlEscaped(UnitsText(group)) +
                     "</p>\n<div class=\"charts\">\n";
  html += CapabilityFigure(TtffChart(key, group),
                           group.testTimeouts.Count() != 0
                               ? "Tests that got a fix. Marked: the counts at which tests timed out, their test "
                                 "timeouts."
                               : "Tests that got a fix. No test timed out, so no timeout is marked.",
                           capability.ttff, TtffCapabilityText(capability));
  html += CapabilityFigure(SnrChart(key, group), "Every test, with the pass levels its tests had.",
                           capability.averageSnr, SnrCapabilityText(capability));
  if (group.days.size() > 1) html += ControlCharts(key, group);
  return html + "</div>\n</section>\n";
}

// The worst signals, at most kMostListedSignals of them.
std::string SignalList(const std::vector<JournalSignal>& signals) {
  if (signals.empty()) {
    return "<p>No signals: every day of every group lies within its limits, with no run of 8 days on one side.</p>\n";
  }
  std::string html = "<h2>Signals, worst first</h2>\n<ol class=\"signals\">\n";
  for (size_t i = 0; i < signals.size() && i < kMostListedSignals; ++i) {
    html += "<li><b>" + XmlEscaped(signals[i].group) + "</b> " + XmlEscaped(SignalText(signals[i])) + "</li>\n";
  }
  html += "</ol>\n";
  if (signals.size() > kMostListedSignals) html += "<p>" + XmlEscaped(MoreSignalsText(signals.size())) + "</p>\n";
  return html;
}

constexpr std::string_view kJournalStyle = R"(table { font-size: 0.85em; }
th, td { padding: 0.2em 0.35em; }
td.wrap { white-space: normal; min-width: 10em; }
td.time { white-space: normal; }
.warn, .bad { font-weight: bold; }
.bad { color: #a00018; }
ol.signals li { margin: 0.15em 0; }
@media print {
  body { margin: 0; }
  table { font-size: 7.5pt; }
  th, td { padding: 0.1em 0.25em; }
  td.wrap { min-width: 8em; }
  section, figure, table { break-inside: avoid; }
}
)";

}  // namespace

const char* JournalGroupingName(JournalGrouping grouping) {
  switch (grouping) {
    case JournalGrouping::Station: return "station";
    case JournalGrouping::Day: return "day";
    default: return "receiver";
  }
}

std::string JournalTable(const CJournalSummary& summary, const JournalTotals& totals, std::optional<uint32_t> timeout) {
  const std::vector<std::string> header = {JournalGroupingName(summary.Grouping()),
                                           "tests", "passed", "failed", "yield", "TTFF min", "p50", "p90", "max",
                                           "SNR p10", "p50", "p90"};
  std::vector<std::vector<std::string>> rows = {header};
  for (const auto& [key, group] : summary.Groups()) rows.push_back(TableRow(key, group));
  std::vector<size_t> widths(header.size());
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string text = TotalsText(summary, totals) + "\n";
  if (summary.Groups().empty()) return text;
  const std::vector<JournalSignal> signals = JournalSignals(summary);
  text += signals.empty() ? "no signals\n" : "signals, worst first:\n";
  for (size_t i = 0; i < signals.size() && i < kMostListedSignals; ++i) {
    text += "  " + signals[i].group + " " + SignalText(signals[i]) + "\n";
  }
  if (signals.size() > kMostListedSignals) text += MoreSignalsText(signals.size()) + "\n";
  text += "\n" + PaddedRow(header, widths);
  const std::string indent(widths[0] + 2, ' ');
  auto row = rows.begin() + 1;
  for (const auto& [key, group] : summary.Groups()) {
    text += PaddedRow(*row++, widths);
    text += indent + group.first + " to " + group.last;
    text += group.Failed() == 0 ? "\n" : "; failures: " + FailuresText(group) + "\n";
    const GroupCapability capability = CapabilityOfGroup(group, timeout);
    text += indent + UnitsText(group) + "\n" + indent + SnrCapabilityText(capability) + "\n" + indent +
            TtffCapabilityText(capability) + "\n";
  }
  return text;
}

std::string JournalJson(const CJournalSummary& summary, const JournalTotals& totals, std::optional<uint32_t> timeout) {
  const auto value = [](auto number) {
    return number ? nlohmann::ordered_json(*number) : nlohmann::ordered_json(nullptr);
  };
  const auto capabilityJson = [&value](const Capability& capability, bool mixed) {
    // Pass levels and timeouts are whole numbers.
    const nlohmann::ordered_json limit =
        capability.limit ? nlohmann::ordered_json(static_cast<uint32_t>(*capability.limit)) : nullptr;
    return nlohmann::ordered_json{{"cpk", value(capability.cpk)},     {"mean", value(capability.mean)},
                                  {"sigma", value(capability.sigma)}, {"limit", limit},
                                  {"n", capability.n},                {"mixedLimits", mixed}};
  };
  nlohmann::ordered_json groups = nlohmann::ordered_json::array();
  for (const auto& [key, group] : summary.Groups()) {
    const Spread ttff = SpreadOf(group.ttffSeconds);
    const Spread snr = SpreadOf(group.averageSnr);
    nlohmann::ordered_json reasons = nlohmann::ordered_json::object();
    for (const auto& [reason, count] : group.failuresByReason) reasons[reason] = count;
    const UnitYields units = UnitYieldsOf(group);
    const GroupCapability capability = CapabilityOfGroup(group, timeout);
    nlohmann::ordered_json ttffCapability = capabilityJson(capability.ttff, capability.mixedTimeouts);
    ttffCapability["limitFrom"] = TimeoutSourceName(capability.ttffLimitFrom);
    groups.push_back({{"key", key},
                      {"tests", group.tests},
                      {"passed", group.passed},
                      {"failed", group.Failed()},
                      {"yield", group.Yield()},
                      {"units", units.units},
                      {"retests", units.retests},
                      {"firstPassYield", units.firstPass},
                      {"finalYield", units.final},
                      {"reasons", reasons},
                      {"ttff", {{"min", value(ttff.min)}, {"p50", value(ttff.p50)}, {"p90", value(ttff.p90)},
                                {"max", value(ttff.max)}}},
                      {"averageSnr", {{"p10", value(snr.p10)}, {"p50", value(snr.p50)}, {"p90", value(snr.p90)}}},
                      {"capability",
                       {{"averageSnr", capabilityJson(capability.averageSnr, capability.mixedPassLevels)},
                        {"ttff", ttffCapability}}},
                      {"first", group.first},
                      {"last", group.last}});
  }
  nlohmann::ordered_json signals = nlohmann::ordered_json::array();
  for (const JournalSignal& signal : JournalSignals(summary)) {
    signals.push_back({{"group", signal.group},
                       {"day", signal.day},
                       {"rule", SignalRuleName(signal.rule)},
                       {"value", signal.value},
                       {"limit", signal.limit}});
  }
  const nlohmann::ordered_json object = {{"files", totals.files},
                                         {"lines", summary.Lines()},
                                         {"malformed", totals.malformed},
                                         {"groups", groups},
                                         {"signals", signals}};
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string JournalHtml(const CJournalSummary& summary, const JournalTotals& totals, std::optional<uint32_t> timeout) {
  std::string html = ReportPageHead("Navlume result journal", kJournalStyle);
  html += "<h1>Result journal</h1>\n<p>" + XmlEscaped(TotalsText(summary, totals)) + "; grouped by " +
          JournalGroupingName(summary.Grouping()) +
          ". TTFF counts the tests that got a fix; percentiles are nearest-rank.</p>\n";
  html += SignalList(JournalSignals(summary));
  html += HtmlTable(summary, timeout);
  const JournalDays days = summary.Days();
  if (!days.empty()) {
    html += "<h2>Yield per day</h2>\n" + Figure(YieldChart("Yield per day", days), "Passed / tests of every group.");
  }
  for (const auto& [key, group] : summary.Groups()) html += GroupSection(key, group, timeout);
  return html + "</body>\n</html>\n";
}
