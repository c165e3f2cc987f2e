#include "sim/Scenario.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <numbers>
#include <set>

#include <nlohmann/json.hpp>

namespace sim {
namespace {

using nlohmann::json;

constexpr double kEarthRadius = 6371000.0;
constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;
constexpr size_t kMaxUsed = 12;
constexpr double kHundredthsPerSecond = 100;
constexpr long kMaxInViewPerSystem = 36;  // what one GSV cycle can report

struct SystemName {
  const char* name;
  GnssSystem system;
};
constexpr SystemName kSystemNames[] = {{"gps", GnssSystem::Gps},
                                       {"glonass", GnssSystem::Glonass},
                                       {"galileo", GnssSystem::Galileo},
                                       {"beidou", GnssSystem::BeiDou}};

// The open sky over Vancouver beside the built-in GPS satellites, numbered as
// a u-blox reports them in NMEA 4.10 (GLONASS 65-96, Galileo and BeiDou from 1).
const std::vector<SimSatellite>& BuiltInSatellites(GnssSystem system) {
  static const std::vector<SimSatellite> kNone;
  static const std::vector<SimSatellite> kGlonass{
      {65, 20, 20, 40, true, {}, {}, GnssSystem::Glonass},  {66, 33, 70, 34, true, {}, {}, GnssSystem::Glonass},
      {72, 14, 255, 31, true, {}, {}, GnssSystem::Glonass}, {73, 12, 140, 26, false, {}, {}, GnssSystem::Glonass},
      {74, 38, 220, 41, true, {}, {}, GnssSystem::Glonass}, {80, 68, 0, 43, true, {}, {}, GnssSystem::Glonass},
      {81, 27, 95, 33, true, {}, {}, GnssSystem::Glonass},  {82, 6, 15, 0, true, {}, {}, GnssSystem::Glonass},
  };
  static const std::vector<SimSatellite> kGalileo{
      {2, 37, 285, 38, true, {}, {}, GnssSystem::Galileo},  {4, 26, 300, 40, true, {}, {}, GnssSystem::Galileo},
      {11, 18, 55, 29, true, {}, {}, GnssSystem::Galileo},  {12, 29, 175, 36, true, {}, {}, GnssSystem::Galileo},
      {19, 9, 230, 22, false, {}, {}, GnssSystem::Galileo}, {25, 22, 145, 35, true, {}, {}, GnssSystem::Galileo},
      {31, 45, 260, 44, true, {}, {}, GnssSystem::Galileo},
  };
  static const std::vector<SimSatellite> kBeiDou{
      {6, 15, 95, 27, true, {}, {}, GnssSystem::BeiDou},    {9, 24, 330, 32, true, {}, {}, GnssSystem::BeiDou},
      {14, 20, 220, 40, true, {}, {}, GnssSystem::BeiDou},  {16, 7, 250, 0, true, {}, {}, GnssSystem::BeiDou},
      {21, 45, 120, 42, true, {}, {}, GnssSystem::BeiDou},  {27, 31, 190, 36, true, {}, {}, GnssSystem::BeiDou},
      {28, 11, 330, 24, false, {}, {}, GnssSystem::BeiDou}, {33, 40, 35, 37, true, {}, {}, GnssSystem::BeiDou},
  };
  switch (system) {
    case GnssSystem::Glonass: return kGlonass;
    case GnssSystem::Galileo: return kGalileo;
    case GnssSystem::BeiDou: return kBeiDou;
    default: return kNone;
  }
}

bool SystemFromName(const std::string& name, GnssSystem& system) {
  for (const SystemName& known : kSystemNames) {
    if (name == known.name) {
      system = known.system;
      return true;
    }
  }
  return false;
}

bool ParseUtc(const std::string& text, int64_t& seconds) {
  std::tm parts{};
  int year = 0, month = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d", &year, &month, &parts.tm_mday, &parts.tm_hour, &parts.tm_min,
                  &parts.tm_sec) != 6) {
    return false;
  }
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  seconds = timegm(&parts);
  return true;
}

TimeWindow WindowFromJson(const json& item) {
  return {item.value("from", 0.0), item.value("to", kForever)};
}

std::vector<TimeWindow> WindowsFromJson(const json& document, const char* key) {
  std::vector<TimeWindow> windows;
  if (!document.contains(key)) return windows;
  for (const auto& item : document.at(key)) windows.push_back(WindowFromJson(item));
  return windows;
}

bool SatelliteFromJson(const json& item, SimSatellite& satellite, std::string& error) {
  satellite.prn = item.at("prn").get<int>();
  const std::string system = item.value("system", std::string("gps"));
  if (!SystemFromName(system, satellite.system)) {
    error = "unknown satellite system \"" + system + "\" (gps, glonass, galileo, beidou)";
    return false;
  }
  satellite.elevation = item.value("elevation", 0);
  satellite.azimuth = item.value("azimuth", 0);
  satellite.snr = item.value("snr", 0);
  satellite.used = item.value("used", true);
  if (item.contains("visible")) satellite.visible = WindowFromJson(item.at("visible"));
  for (const auto& change : item.value("changes", json::array())) {
    SatelliteChange c;
    c.at = change.at("at").get<double>();
    if (change.contains("elevation")) c.elevation = change.at("elevation").get<int>();
    if (change.contains("azimuth")) c.azimuth = change.at("azimuth").get<int>();
    if (change.contains("snr")) c.snr = change.at("snr").get<int>();
    if (change.contains("used")) c.used = change.at("used").get<bool>();
    satellite.changes.push_back(c);
  }
  std::stable_sort(satellite.changes.begin(), satellite.changes.end(),
                   [](const SatelliteChange& a, const SatelliteChange& b) { return a.at < b.at; });
  return true;
}

bool FaultFromJson(const json& item, Fault& fault, std::string& error) {
  static const std::pair<const char*, FaultType> kTypes[] = {{"bad_checksum", FaultType::BadChecksum},
                                                            {"junk", FaultType::Junk},
                                                            {"cut_line", FaultType::CutLine},
                                                            {"silence", FaultType::Silence},
                                                            {"vanish", FaultType::Vanish}};
  const std::string type = item.at("type").get<std::string>();
  const auto* found = std::find_if(std::begin(kTypes), std::end(kTypes), [&](const auto& t) { return type == t.first; });
  if (found == std::end(kTypes)) {
    error = "unknown fault type \"" + type + "\"";
    return false;
  }
  fault.type = found->second;
  fault.at = item.at("at").get<double>();
  fault.duration = item.value("duration", 0.0);
  fault.bytes = item.value("bytes", 64u);
  return true;
}

bool CheckKeys(const json& document, std::string& error) {
  static const std::set<std::string> kKeys{"name",   "start",      "motion",       "ttff",    "dop",
                                           "satellites", "lost_fix", "differential", "faults", "talker",
                                           "extra_sentences", "gnss", "rate"};
  for (const auto& [key, value] : document.items()) {
    if (!kKeys.count(key)) {
      error = "unknown scenario key \"" + key + "\"";
      return false;
    }
  }
  return true;
}

bool Parse(const json& document, Scenario& scenario, std::string& error) {
  if (!document.is_object()) {
    error = "a scenario is a JSON object";
    return false;
  }
  if (!CheckKeys(document, error)) return false;
  scenario.name = document.value("name", scenario.name);
  if (document.contains("start")) {
    const json& start = document.at("start");
    if (start.contains("utc") && !ParseUtc(start.at("utc").get<std::string>(), scenario.startUtc)) {
      error = "start.utc must read YYYY-MM-DDTHH:MM:SSZ";
      return false;
    }
    scenario.latitude = start.value("latitude", scenario.latitude);
    scenario.longitude = start.value("longitude", scenario.longitude);
    scenario.altitude = start.value("altitude", scenario.altitude);
    scenario.geoidSeparation = start.value("geoid_separation", scenario.geoidSeparation);
  }
  if (document.contains("motion")) {
    scenario.speedKnots = document.at("motion").value("speed_knots", 0.0);
    scenario.courseDegrees = document.at("motion").value("course", 0.0);
  }
  scenario.ttff = document.value("ttff", scenario.ttff);
  if (document.contains("dop")) {
    const json& dop = document.at("dop");
    scenario.hdop = dop.value("hdop", scenario.hdop);
    scenario.pdop = dop.value("pdop", scenario.pdop);
    scenario.vdop = dop.value("vdop", scenario.vdop);
  }
  if (document.contains("satellites")) {
    scenario.satellites.clear();
    for (const auto& item : document.at("satellites")) {
      SimSatellite satellite;
      if (!SatelliteFromJson(item, satellite, error)) return false;
      scenario.satellites.push_back(satellite);
    }
  }
  scenario.lostFix = WindowsFromJson(document, "lost_fix");
  scenario.differential = WindowsFromJson(document, "differential");
  scenario.faults.clear();
  for (const auto& item : document.value("faults", json::array())) {
    Fault fault;
    if (!FaultFromJson(item, fault, error)) return false;
    scenario.faults.push_back(fault);
  }
  std::stable_sort(scenario.faults.begin(), scenario.faults.end(),
                   [](const Fault& a, const Fault& b) { return a.at < b.at; });
  scenario.talker = document.value("talker", scenario.talker);
  scenario.extraSentences.clear();
  for (const auto& item : document.value("extra_sentences", json::array())) {
    scenario.extraSentences.push_back(
        {item.value("talker", std::string("GP")), item.value("type", std::string()), item.value("body", std::string())});
  }
  if (scenario.talker.size() != 2) {
    error = "talker must be two letters";
    return false;
  }
  if (document.contains("gnss")) {
    std::string names;
    for (const auto& name : document.at("gnss")) names += (names.empty() ? "" : ",") + name.get<std::string>();
    std::vector<GnssSystem> systems;
    if (!ParseGnssSystems(names, systems, error)) return false;
    UseGnssSystems(scenario, systems);
  }
  scenario.rateHz = document.value("rate", scenario.rateHz);
  if (!IsSimulatedRate(scenario.rateHz)) {
    error = "rate must be 1, 2, 4, 5, 10 or 20";
    return false;
  }
  for (const SystemName& known : kSystemNames) {
    const auto inView = std::count_if(scenario.satellites.begin(), scenario.satellites.end(),
                                      [&](const SimSatellite& satellite) { return satellite.system == known.system; });
    if (inView > kMaxInViewPerSystem) {
      error = "at most 36 satellites of one system can be in view";
      return false;
    }
  }
  return true;
}

bool InAny(const std::vector<TimeWindow>& windows, double t) {
  return std::any_of(windows.begin(), windows.end(), [t](const TimeWindow& w) { return w.Contains(t); });
}

SatelliteView ViewAt(const SimSatellite& satellite, double t) {
  SatelliteView view{satellite.prn, satellite.elevation, satellite.azimuth, satellite.snr, satellite.used,
                     satellite.system};
  for (const auto& change : satellite.changes) {
    if (change.at > t) break;
    view.elevation = change.elevation.value_or(view.elevation);
    view.azimuth = change.azimuth.value_or(view.azimuth);
    view.snr = change.snr.value_or(view.snr);
    view.used = change.used.value_or(view.used);
  }
  view.used = view.used && view.snr > 0;
  return view;
}

}  // namespace

Scenario DefaultScenario() {
  Scenario scenario;
  scenario.satellites = {
      {2, 67, 120, 45, true, {}, {}},  {5, 42, 48, 41, true, {}, {}},   {7, 21, 310, 36, true, {}, {}},
      {9, 55, 215, 44, true, {}, {}},  {13, 12, 275, 30, true, {}, {}}, {16, 33, 160, 39, true, {}, {}},
      {20, 8, 20, 27, true, {}, {}},   {26, 48, 88, 42, true, {}, {}},  {29, 17, 345, 33, true, {}, {}},
      {31, 5, 190, 0, true, {}, {}},
  };
  return scenario;
}

bool ParseGnssSystems(const std::string& commaSeparated, std::vector<GnssSystem>& systems, std::string& error) {
  std::vector<GnssSystem> parsed;
  size_t start = 0;
  for (;;) {
    const size_t comma = commaSeparated.find(',', start);
    const std::string name = commaSeparated.substr(start, comma == std::string::npos ? comma : comma - start);
    GnssSystem system{};
    if (!SystemFromName(name, system)) {
      error = "unknown GNSS \"" + name + "\" (gps, glonass, galileo, beidou)";
      return false;
    }
    if (std::find(parsed.begin(), parsed.end(), system) == parsed.end()) parsed.push_back(system);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  systems = std::move(parsed);
  return true;
}

void UseGnssSystems(Scenario& scenario, const std::vector<GnssSystem>& systems) {
  scenario.systems = systems;
  for (GnssSystem system : systems) {
    const bool present = std::any_of(scenario.satellites.begin(), scenario.satellites.end(),
                                     [&](const SimSatellite& satellite) { return satellite.system == system; });
    if (present) continue;
    const std::vector<SimSatellite>& builtIn = BuiltInSatellites(system);
    scenario.satellites.insert(scenario.satellites.end(), builtIn.begin(), builtIn.end());
  }
}

bool ApplyGnssOptions(Scenario& scenario, const std::string& gnss, std::optional<int> rateHz, std::string& error) {
  if (!gnss.empty()) {
    std::vector<GnssSystem> systems;
    if (!ParseGnssSystems(gnss, systems, error)) return false;
    UseGnssSystems(scenario, systems);
  }
  if (rateHz) scenario.rateHz = *rateHz;
  return true;
}

Scenario GpsAtOneHertz(Scenario scenario) {
  scenario.systems = {GnssSystem::Gps};
  scenario.rateHz = 1;
  return scenario;
}

bool IsSimulatedRate(int rateHz) {
  return std::find(std::begin(kSimulatedRatesHz), std::end(kSimulatedRatesHz), rateHz) != std::end(kSimulatedRatesHz);
}

bool ScenarioFromJson(const nlohmann::json& document, Scenario& scenario, std::string& error) {
  Scenario parsed = DefaultScenario();
  try {
    if (!Parse(document, parsed, error)) return false;
  } catch (const json::exception& e) {
    error = e.what();
    return false;
  }
  scenario = std::move(parsed);
  return true;
}

bool LoadScenario(const std::string& path, Scenario& scenario, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  const json document = json::parse(file, nullptr, false);
  if (document.is_discarded()) {
    error = path + " is not valid JSON";
    return false;
  }
  if (!ScenarioFromJson(document, scenario, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

std::vector<int> Epoch::UsedPrns() const {
  std::vector<int> prns;
  for (const auto& satellite : satellites) {
    if (satellite.used && prns.size() < kMaxUsed) prns.push_back(satellite.prn);
  }
  return prns;
}

std::vector<int> Epoch::UsedPrns(GnssSystem system) const {
  std::vector<int> prns;
  for (const auto& satellite : satellites) {
    if (satellite.used && satellite.system == system && prns.size() < kMaxUsed) prns.push_back(satellite.prn);
  }
  return prns;
}

size_t Epoch::UsedCount() const {
  return static_cast<size_t>(
      std::count_if(satellites.begin(), satellites.end(), [](const SatelliteView& satellite) { return satellite.used; }));
}

Epoch ScenarioEpoch(const Scenario& scenario, double t, std::optional<double> bootTime) {
  Epoch epoch;
  epoch.t = t;
  const double second = std::floor(t);
  epoch.utcSeconds = scenario.startUtc + static_cast<int64_t>(second);
  epoch.hundredths = std::min(99, static_cast<int>(std::lround((t - second) * kHundredthsPerSecond)));
  const double course = scenario.courseDegrees * std::numbers::pi / 180.0;
  const double distance = scenario.speedKnots * kMetresPerSecondPerKnot * t;
  const double latitude = scenario.latitude + distance * std::cos(course) / kEarthRadius * 180.0 / std::numbers::pi;
  epoch.latitude = latitude;
  epoch.longitude = scenario.longitude + distance * std::sin(course) /
                                             (kEarthRadius * std::cos(latitude * std::numbers::pi / 180.0)) * 180.0 /
                                             std::numbers::pi;
  epoch.altitude = scenario.altitude;
  epoch.geoidSeparation = scenario.geoidSeparation;
  epoch.speedKnots = scenario.speedKnots;
  epoch.courseDegrees = scenario.courseDegrees;
  epoch.hdop = scenario.hdop;
  epoch.pdop = scenario.pdop;
  epoch.vdop = scenario.vdop;
  for (const auto& satellite : scenario.satellites) {
    const bool tracked =
        std::find(scenario.systems.begin(), scenario.systems.end(), satellite.system) != scenario.systems.end();
    if (tracked && satellite.visible.Contains(t)) epoch.satellites.push_back(ViewAt(satellite, t));
  }
  const bool acquired = bootTime && t - *bootTime >= scenario.ttff;
  const bool enoughSatellites = epoch.UsedPrns().size() >= 3;
  if (acquired && enoughSatellites && !InAny(scenario.lostFix, t)) {
    epoch.quality = InAny(scenario.differential, t) ? kFixDifferential : kFixGps;
  }
  return epoch;
}

}  // namespace sim
