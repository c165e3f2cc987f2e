#include "tools/LogReport.h"

#include <bit>
#include <cmath>
#include <map>

#include <nlohmann/json.hpp>

#include "prodtest/FormatText.h"
#include "tools/ReportHtml.h"
#include "tools/SvgChart.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr double kCep50 = 0.50;
constexpr double kCep95 = 0.95;
constexpr double kThousandths = 1000;
constexpr double kTenMillionths = 1e7;
constexpr double kSecondsPerMinute = 60;
constexpr double kSecondsPerHour = 3600;
constexpr int kMostTimeTicks = 8;
// Round steps of a time axis, in seconds.
constexpr double kTimeSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200};
// A satellite missing for longer than this (or two columns) breaks its line.
constexpr double kLineBreakSeconds = 5;
constexpr double kFixModeTop = 3;

double Rounded(double value, double scale) { return std::round(value * scale) / scale; }

bool SeveralSystems(const SignalHistory& history) {
  return std::popcount(history.Systems() & ~(1u << static_cast<unsigned>(GnssSystem::Unknown))) > 1;
}

const char* SystemName(GnssSystem system) {
  switch (system) {
    case GnssSystem::Gps: return "GPS";
    case GnssSystem::Sbas: return "SBAS";
    case GnssSystem::Glonass: return "GLONASS";
    case GnssSystem::Galileo: return "Galileo";
    case GnssSystem::BeiDou: return "BeiDou";
    case GnssSystem::Qzss: return "QZSS";
    case GnssSystem::NavIC: return "NavIC";
    default: return "other";
  }
}

std::string Seconds(double seconds) { return FormatText("%.1f s", seconds); }
std::string Metres(double metres) { return FormatText("%.2f m", metres); }

// Satellites in view, per system; "GPS 13, GLONASS 10".
std::string SystemCounts(const SignalHistory& history) {
  std::map<GnssSystem, std::map<uint32_t, bool>> satellites;
  for (const auto& [key, track] : history.Tracks()) satellites[key.system][key.prn] = true;
  std::string text;
  for (const auto& [system, prns] : satellites) {
    text += (text.empty() ? "" : ", ") + std::string(SystemName(system)) + " " + std::to_string(prns.size());
  }
  return text.empty() ? "none" : text;
}

std::vector<std::string> SummaryLines(const LogReport& report) {
  const SignalHistory& h = report.History();
  if (h.Empty()) return {"no epoch with a time: nothing to report"};
  std::vector<std::string> lines;
  lines.push_back(std::to_string(h.Epochs()) + " epochs from " + report.TimeText(h.Start()) + " to " +
                  report.TimeText(h.End()) + " (" + Seconds(h.End() - h.Start()) + ")");
  lines.push_back((h.HasFix() ? "time to first fix " + Seconds(h.TtffSeconds()) : std::string("no fix")) + "; fix " +
                  Seconds(h.FixSeconds()) + ", without a fix " + Seconds(h.GapSeconds()));
  const PositionScatter& scatter = h.Scatter();
  if (scatter.Count() > 0) {
    lines.push_back(FormatText("position: mean %.7f, %.7f of %llu fixes; CEP50 ", scatter.MeanLatitude(),
                               scatter.MeanLongitude(), static_cast<unsigned long long>(scatter.Count())) +
                    Metres(scatter.Radius(kCep50)) + ", CEP95 " + Metres(scatter.Radius(kCep95)) + ", 2DRMS " +
                    Metres(scatter.Drms2()));
  }
  size_t signals = 0;
  for (const auto& [key, track] : h.Tracks()) signals += key.signal != 0;
  lines.push_back("satellites in view: " + SystemCounts(h) +
                  (signals > 0 ? "; " + std::to_string(signals) + " satellite signals" : std::string()));
  return lines;
}

Json Cn0Json(const Cn0Counts& cn0) {
  if (cn0.Count() == 0) return nullptr;
  return {{"min", cn0.Min()}, {"p50", cn0.Percentile(kCep50)}, {"max", cn0.Max()}};
}

Json SatellitesJson(const LogReport& report) {
  const bool letters = SeveralSystems(report.History());
  Json satellites = Json::array();
  for (const auto& [key, track] : report.History().Tracks()) {
    satellites.push_back({{"id", TrackName(key, letters)},
                          {"system", SystemName(key.system)},
                          {"signal", key.signal != 0 ? Json(key.signal) : Json(nullptr)},
                          {"signalName", key.signal != 0 ? Json(SignalName(key)) : Json(nullptr)},
                          {"firstSeen", report.TimeText(track.firstSeen)},
                          {"lastSeen", report.TimeText(track.lastSeen)},
                          {"trackedSeconds", Rounded(track.trackedSeconds, kThousandths)},
                          {"usedSeconds", Rounded(track.usedSeconds, kThousandths)},
                          {"cn0", Cn0Json(track.cn0)}});
  }
  return satellites;
}

Json PositionJson(const PositionScatter& scatter) {
  if (scatter.Count() == 0) return nullptr;
  return {{"fixes", scatter.Count()},
          {"meanLatitude", Rounded(scatter.MeanLatitude(), kTenMillionths * kThousandths)},
          {"meanLongitude", Rounded(scatter.MeanLongitude(), kTenMillionths * kThousandths)},
          {"cep50", Rounded(scatter.Radius(kCep50), kThousandths)},
          {"cep95", Rounded(scatter.Radius(kCep95), kThousandths)},
          {"drms2", Rounded(scatter.Drms2(), kThousandths)}};
}

// ---- HTML ----

std::vector<ChartColumn> ChartColumns(const MinMaxSeries& series) {
  std::vector<ChartColumn> columns;
  columns.reserve(series.Columns().size());
  for (const MinMaxSeries::Column& column : series.Columns()) {
    columns.push_back({(static_cast<double>(column.index) + 0.5) * series.Width(), column.min, column.max});
  }
  return columns;
}

std::string ElapsedLabel(double seconds, double step) {
  if (step < kSecondsPerMinute) return FormatText("%.0f s", seconds);
  if (step < kSecondsPerHour) return FormatText("%.0f min", seconds / kSecondsPerMinute);
  return FormatText("%.0f h", seconds / kSecondsPerHour);
}

// A time axis from the first epoch, in round steps.
LineChart TimeChart(const SignalHistory& history, const std::string& title, const std::string& yTitle) {
  LineChart chart;
  chart.title = title;
  chart.yTitle = yTitle;
  chart.xTitle = "time since the first epoch";
  chart.xTo = std::max(history.End() - history.Start(), 1.0);
  double step = kTimeSteps[std::size(kTimeSteps) - 1];
  for (const double candidate : kTimeSteps) {
    if (chart.xTo / candidate <= kMostTimeTicks) {
      step = candidate;
      break;
    }
  }
  for (double at = 0; at <= chart.xTo; at += step) chart.xTicks.push_back({at, ElapsedLabel(at, step)});
  return chart;
}

std::string Figure(const std::string& svg, const std::string& caption, const char* kind = "") {
  return std::string("<figure") + (*kind ? std::string(" class=\"") + kind + "\"" : "") + ">\n" + svg + "<figcaption>" + XmlEscaped(caption) + "</figcaption>\n</figure>\n";
}

std::string FixCharts(const SignalHistory& h) {
  LineChart satellites = TimeChart(h, "Satellites", "satellites");
  satellites.series = {{"in view", ChartColumns(h.InViewSeries())}, {"used", ChartColumns(h.UsedSeries())}};
  LineChart dop = TimeChart(h, "Dilution of precision", "DOP");
  dop.series = {{"PDOP", ChartColumns(h.PdopSeries())}, {"HDOP", ChartColumns(h.HdopSeries())}};
  LineChart mode = TimeChart(h, "Fix mode", "1 none, 2 2D, 3 3D");
  mode.yTo = kFixModeTop;
  mode.series = {{"mode", ChartColumns(h.FixModeSeries())}};
  return Figure(LineChartSvg(satellites), "Satellites in view and used in the fix; lowest and highest per column.") +
         Figure(LineChartSvg(dop), "PDOP and HDOP as the GSA sentences give them.") +
         Figure(LineChartSvg(mode), "The GSA fix mode; 1 where the epoch had no valid fix.");
}

// One chart per system and signal, one line per satellite.
std::string Cn0Charts(const SignalHistory& h) {
  const bool letters = SeveralSystems(h);
  std::map<std::pair<GnssSystem, uint32_t>, LineChart> charts;
  double widest = 0;
  for (const auto& [key, track] : h.Tracks()) {
    if (track.cn0Series.Columns().empty()) continue;
    auto [entry, added] = charts.try_emplace({key.system, key.signal});
    if (added) {
      const std::string signal = key.signal != 0 ? " " + SignalName(key) : std::string();
      entry->second = TimeChart(h, std::string("C/N0, ") + SystemName(key.system) + signal, "C/N0, dB-Hz");
    }
    entry->second.series.push_back({TrackName(key, letters), ChartColumns(track.cn0Series)});
    widest = std::max(widest, track.cn0Series.Width());
  }
  std::string html;
  for (auto& [group, chart] : charts) {
    chart.breakAfter = std::max(kLineBreakSeconds, 2 * widest);
    html += Figure(LineChartSvg(chart), "C/N0 per satellite, labelled at its last value; a gap is a time it was not in view.");
  }
  return html;
}

std::string ScatterFigure(const PositionScatter& scatter) {
  if (scatter.Count() == 0) return "";
  ScatterChart chart;
  chart.title = "Positions around the mean";
  for (const PositionScatter::Cell& cell : scatter.Cells()) {
    chart.points.push_back({cell.east - scatter.MeanEast(), cell.north - scatter.MeanNorth()});
  }
  chart.circles = {{scatter.Radius(kCep50), "CEP50"}, {scatter.Radius(kCep95), "CEP95"}};
  return Figure(ScatterChartSvg(chart),
                FormatText("Mean %.7f, %.7f; CEP50 %.2f m, CEP95 %.2f m, 2DRMS %.2f m; grid %.2f m.",
                           scatter.MeanLatitude(), scatter.MeanLongitude(), scatter.Radius(kCep50),
                           scatter.Radius(kCep95), scatter.Drms2(), scatter.CellSize()),
                "square");
}

std::string SatelliteTable(const LogReport& report) {
  std::string html = "<table>\n<tr><th>satellite</th><th>signal</th><th>first seen</th><th>last seen</th>"
                     "<th>tracked</th><th>used</th><th>C/N0 min</th><th>median</th><th>max</th></tr>\n";
  const bool letters = SeveralSystems(report.History());
  const auto cell = [](const std::string& text, bool number) {
    return std::string(number ? "<td class=\"n\">" : "<td>") + XmlEscaped(text) + "</td>";
  };
  for (const auto& [key, track] : report.History().Tracks()) {
    const bool tracked = track.cn0.Count() > 0;
    html += "<tr>" + cell(TrackName(key, letters), false) + cell(key.signal ? SignalName(key) : "-", false) +
            cell(report.TimeText(track.firstSeen), false) + cell(report.TimeText(track.lastSeen), false) +
            cell(Seconds(track.trackedSeconds), true) + cell(Seconds(track.usedSeconds), true) +
            cell(tracked ? std::to_string(track.cn0.Min()) : "-", true) +
            cell(tracked ? std::to_string(track.cn0.Percentile(kCep50)) : "-", true) +
            cell(tracked ? std::to_string(track.cn0.Max()) : "-", true) + "</tr>\n";
  }
  return html + "</table>\n";
}

std::string LogSection(const LogReport& report) {
  std::string html = "<section>\n<h2>" + XmlEscaped(report.File()) + "</h2>\n<ul>\n";
  for (const std::string& line : SummaryLines(report)) html += "<li>" + XmlEscaped(line) + "</li>\n";
  html += "</ul>\n";
  const SignalHistory& h = report.History();
  if (h.Empty()) return html + "</section>\n";
  html += "<div class=\"charts\">\n" + FixCharts(h) + Cn0Charts(h) + ScatterFigure(h.Scatter()) + "</div>\n";
  return html + "<h3>Satellites</h3>\n" + SatelliteTable(report) + "</section>\n";
}

constexpr std::string_view kLogStyle = R"(table { font-size: 0.9em; }
th, td { padding: 0.2em 0.5em; }
figure.square { flex: 0 1 26em; }
@media print { body { margin: 0; } figure, tr { break-inside: avoid; } }
)";

}  // namespace

std::string ReportText(const LogReport& report) {
  std::string text = report.File() + "\n";
  for (const std::string& line : SummaryLines(report)) text += "  " + line + "\n";
  return text;
}

std::string ReportJson(const LogReport& report) {
  const SignalHistory& h = report.History();
  const auto time = [&](double second) { return h.Empty() ? Json(nullptr) : Json(report.TimeText(second)); };
  const Json object = {{"file", report.File()},
                       {"epochs", h.Epochs()},
                       {"start", time(h.Start())},
                       {"end", time(h.End())},
                       {"ttffSeconds", h.HasFix() ? Json(Rounded(h.TtffSeconds(), kThousandths)) : Json(nullptr)},
                       {"fixSeconds", Rounded(h.FixSeconds(), kThousandths)},
                       {"gapSeconds", Rounded(h.GapSeconds(), kThousandths)},
                       {"position", PositionJson(h.Scatter())},
                       {"satellites", SatellitesJson(report)}};
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string ReportHtml(const std::vector<const LogReport*>& reports) {
  std::string html = ReportPageHead("Navlume signal history", kLogStyle);
  for (const LogReport* report : reports) html += LogSection(*report);
  return html + "</body>\n</html>\n";
}
