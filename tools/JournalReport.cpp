#include "tools/JournalReport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "prodtest/FormatText.h"
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
constexpr size_t kYieldCell = 4;  // in a table row; the HTML table puts the failures after it

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
  const double step = RoundStep(chart.xTo, kMostDayTicks, 1);
  for (double at = 0; at < chart.xTo; at += step) {
    chart.xTicks.push_back({at + 0.5, DayText(first + std::chrono::days{static_cast<int>(at)})});
  }
  return chart;
}

std::string Figure(const BarChart& chart, const std::string& caption) {
  return "<figure>\n" + BarChartSvg(chart) + "<figcaption>" + XmlEscaped(caption) + "</figcaption>\n</figure>\n";
}

std::string Cell(const std::string& text, const char* kind = "n") {
  return std::string("<td class=\"") + kind + "\">" + XmlEscaped(text) + "</td>";
}

// A time stamp that may break between its date and its time of day, so that the table fits a page.
std::string TimeCell(const std::string& stamp) {
  const size_t time = stamp.find('T');
  if (time == std::string::npos) return Cell(stamp, "time");
  return "<td class=\"time\">" + XmlEscaped(stamp.substr(0, time)) + "<wbr>" + XmlEscaped(stamp.substr(time)) + "</td>";
}

std::string HtmlTable(const CJournalSummary& summary) {
  std::string html =
      "<table>\n<thead><tr><th rowspan=\"2\">" + std::string(JournalGroupingName(summary.Grouping())) +
      "</th><th rowspan=\"2\">tests</th><th rowspan=\"2\">passed</th><th rowspan=\"2\">failed</th>"
      "<th rowspan=\"2\">yield</th><th rowspan=\"2\">failures by reason</th><th colspan=\"4\">TTFF (s)</th>"
      "<th colspan=\"3\">average SNR</th><th rowspan=\"2\">first</th><th rowspan=\"2\">last</th></tr>\n"
      "<tr><th>min</th><th>p50</th><th>p90</th><th>max</th><th>p10</th><th>p50</th><th>p90</th></tr></thead>\n"
      "<tbody>\n";
  for (const auto& [key, group] : summary.Groups()) {
    const std::vector<std::string> row = TableRow(key, group);
    html += "<tr>" + Cell(row[0], "key");
    for (size_t i = 1; i < row.size(); ++i) {
      html += Cell(row[i]) + (i == kYieldCell ? Cell(FailuresText(group), "wrap") : "");
    }
    html += TimeCell(group.first) + TimeCell(group.last) + "</tr>\n";
  }
  return html + "</tbody>\n</table>\n";
}

std::string GroupSection(const std::string& key, const JournalGroup& group) {
  std::string html = "<section>\n<h2>" + XmlEscaped(key) + "</h2>\n<div class=\"charts\">\n";
  html += Figure(TtffChart(key, group),
                 group.testTimeouts.Count() != 0
                     ? "Tests that got a fix. Marked: the counts at which tests timed out, their test timeouts."
                     : "Tests that got a fix. No test timed out, so no timeout is marked.");
  html += Figure(SnrChart(key, group), "Every test, with the pass levels its tests had.");
  if (group.days.size() > 1) html += Figure(YieldChart("Yield per day of " + key, group.days), "Passed / tests.");
  return html + "</div>\n</section>\n";
}

constexpr const char* kHtmlHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Navlume result journal</title>
<style>
body { font-family: sans-serif; margin: 1.5em; color: #000; background: #fff; }
table { border-collapse: collapse; font-size: 0.9em; }
th, td { border: 1px solid #888; padding: 0.2em 0.5em; }
th { background: #eef1f5; }
td { white-space: nowrap; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
td.wrap { white-space: normal; min-width: 12em; }
.charts { display: flex; flex-wrap: wrap; gap: 1em; }
figure { margin: 0 0 1em 0; flex: 1 1 28em; max-width: 44em; }
figure svg { width: 100%; height: auto; display: block; }
figcaption { font-size: 0.85em; }
td.time { white-space: normal; }
@media print {
  body { margin: 0; }
  table { font-size: 7.5pt; }
  th, td { padding: 0.1em 0.25em; }
  td.wrap { min-width: 8em; }
  section, figure, table { break-inside: avoid; }
}
</style>
</head>
<body>
)";

}  // namespace

const char* JournalGroupingName(JournalGrouping grouping) {
  switch (grouping) {
    case JournalGrouping::Station: return "station";
    case JournalGrouping::Day: return "day";
    default: return "receiver";
  }
}

std::string JournalTable(const CJournalSummary& summary, const JournalTotals& totals) {
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
  text += "\n" + PaddedRow(header, widths);
  auto row = rows.begin() + 1;
  for (const auto& [key, group] : summary.Groups()) {
    text += PaddedRow(*row++, widths);
    text += std::string(widths[0] + 2, ' ') + group.first + " to " + group.last;
    text += group.Failed() == 0 ? "\n" : "; failures: " + FailuresText(group) + "\n";
  }
  return text;
}

std::string JournalJson(const CJournalSummary& summary, const JournalTotals& totals) {
  const auto value = [](std::optional<uint32_t> number) {
    return number ? nlohmann::ordered_json(*number) : nlohmann::ordered_json(nullptr);
  };
  nlohmann::ordered_json groups = nlohmann::ordered_json::array();
  for (const auto& [key, group] : summary.Groups()) {
    const Spread ttff = SpreadOf(group.ttffSeconds);
    const Spread snr = SpreadOf(group.averageSnr);
    nlohmann::ordered_json reasons = nlohmann::ordered_json::object();
    for (const auto& [reason, count] : group.failuresByReason) reasons[reason] = count;
    groups.push_back({{"key", key},
                      {"tests", group.tests},
                      {"passed", group.passed},
                      {"failed", group.Failed()},
                      {"yield", group.Yield()},
                      {"reasons", reasons},
                      {"ttff", {{"min", value(ttff.min)}, {"p50", value(ttff.p50)}, {"p90", value(ttff.p90)},
                                {"max", value(ttff.max)}}},
                      {"averageSnr", {{"p10", value(snr.p10)}, {"p50", value(snr.p50)}, {"p90", value(snr.p90)}}},
                      {"first", group.first},
                      {"last", group.last}});
  }
  const nlohmann::ordered_json object = {{"files", totals.files},
                                         {"lines", summary.Lines()},
                                         {"malformed", totals.malformed},
                                         {"groups", groups}};
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string JournalHtml(const CJournalSummary& summary, const JournalTotals& totals) {
  std::string html = kHtmlHead;
  html += "<h1>Result journal</h1>\n<p>" + XmlEscaped(TotalsText(summary, totals)) + "; grouped by " +
          JournalGroupingName(summary.Grouping()) +
          ". TTFF counts the tests that got a fix; percentiles are nearest-rank.</p>\n";
  html += HtmlTable(summary);
  const JournalDays days = summary.Days();
  if (!days.empty()) {
    html += "<h2>Yield per day</h2>\n" + Figure(YieldChart("Yield per day", days), "Passed / tests of every group.");
  }
  for (const auto& [key, group] : summary.Groups()) html += GroupSection(key, group);
  return html + "</body>\n</html>\n";
}
