#include "nmea/SignalHistory.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "nmea/SatelliteNames.h"

namespace {

// WGS 84, for metres per degree around the first position.
constexpr double kEquatorRadius = 6378137.0;
constexpr double kEccentricitySquared = 6.69437999014e-3;
constexpr double kRadiansPerDegree = std::numbers::pi / 180;
// The scatter's grid: fine enough for a receiver standing still, coarser
// (twice as wide each time) when the positions cover more cells than this.
constexpr double kFinestCell = 0.01;
constexpr size_t kMostCells = size_t{1} << 15;
constexpr int64_t kCellKeyOffset = int64_t{1} << 31;
constexpr int kCellKeyShift = 32;

uint32_t Bit(GnssSystem system) { return 1u << static_cast<unsigned>(system); }

// A satellite seen on several signals counts once.
size_t SatellitesInView(const std::vector<SignalObservation>& signals) {
  std::vector<std::pair<GnssSystem, uint32_t>> satellites;
  satellites.reserve(signals.size());
  for (const SignalObservation& observation : signals) satellites.emplace_back(observation.key.system, observation.key.prn);
  std::sort(satellites.begin(), satellites.end());
  return static_cast<size_t>(std::unique(satellites.begin(), satellites.end()) - satellites.begin());
}

int64_t CellIndex(double metres, double size) { return static_cast<int64_t>(std::floor(metres / size)); }

}  // namespace

MinMaxSeries::MinMaxSeries(Keep keep, size_t columns, double columnSeconds)
    : m_Keep(keep), m_Capacity(std::max<size_t>(columns, 2)), m_Width(columnSeconds) {}

void MinMaxSeries::Add(double sinceStart, double value) {
  if (std::isnan(value)) return;
  int64_t index = static_cast<int64_t>(std::floor(std::max(sinceStart, 0.0) / m_Width));
  while (m_Keep == Keep::Whole && index >= static_cast<int64_t>(m_Capacity)) {
    Halve();
    index /= 2;
  }
  const auto narrow = static_cast<float>(value);
  // Time that steps back joins the newest column.
  if (!m_Columns.empty() && index <= m_Columns.back().index) {
    Column& last = m_Columns.back();
    last.min = std::min(last.min, narrow);
    last.max = std::max(last.max, narrow);
    return;
  }
  m_Columns.push_back({index, narrow, narrow});
  if (m_Keep == Keep::Window) {
    const int64_t oldest = index - static_cast<int64_t>(m_Capacity) + 1;
    const auto kept = std::find_if(m_Columns.begin(), m_Columns.end(), [oldest](const Column& c) { return c.index >= oldest; });
    m_Columns.erase(m_Columns.begin(), kept);
  }
}

void MinMaxSeries::Halve() {
  std::vector<Column> halved;
  halved.reserve(m_Columns.size() / 2 + 1);
  for (const Column& column : m_Columns) {
    const int64_t index = column.index / 2;
    if (!halved.empty() && halved.back().index == index) {
      halved.back().min = std::min(halved.back().min, column.min);
      halved.back().max = std::max(halved.back().max, column.max);
    } else {
      halved.push_back({index, column.min, column.max});
    }
  }
  m_Columns = std::move(halved);
  m_Width *= 2;
}

PositionScatter::PositionScatter() : m_CellSize(kFinestCell) {}

void PositionScatter::Add(double latitude, double longitude) {
  if (m_Count == 0) {
    m_OriginLatitude = latitude;
    m_OriginLongitude = longitude;
    const double sine = std::sin(latitude * kRadiansPerDegree);
    const double w = std::sqrt(1 - kEccentricitySquared * sine * sine);
    const double meridian = kEquatorRadius * (1 - kEccentricitySquared) / (w * w * w);
    const double primeVertical = kEquatorRadius / w;
    m_MetresPerDegreeNorth = meridian * kRadiansPerDegree;
    m_MetresPerDegreeEast = primeVertical * std::cos(latitude * kRadiansPerDegree) * kRadiansPerDegree;
  }
  const double east = (longitude - m_OriginLongitude) * m_MetresPerDegreeEast;
  const double north = (latitude - m_OriginLatitude) * m_MetresPerDegreeNorth;
  ++m_Count;
  m_SumEast += east;
  m_SumNorth += north;
  m_SumSquares += east * east + north * north;
  ++m_Grid[CellKey(CellIndex(east, m_CellSize), CellIndex(north, m_CellSize))];
  if (m_Grid.size() > kMostCells) Coarsen();
}

uint64_t PositionScatter::CellKey(int64_t east, int64_t north) {
  return (static_cast<uint64_t>(east + kCellKeyOffset) << kCellKeyShift) |
         static_cast<uint32_t>(north + kCellKeyOffset);
}

void PositionScatter::Coarsen() {
  while (m_Grid.size() > kMostCells) {
    std::unordered_map<uint64_t, uint32_t> coarser;
    for (const Cell& cell : Cells()) {
      coarser[CellKey(CellIndex(cell.east, 2 * m_CellSize), CellIndex(cell.north, 2 * m_CellSize))] += cell.count;
    }
    m_Grid = std::move(coarser);
    m_CellSize *= 2;
  }
}

std::vector<PositionScatter::Cell> PositionScatter::Cells() const {
  std::vector<Cell> cells;
  cells.reserve(m_Grid.size());
  for (const auto& [key, count] : m_Grid) {
    const auto east = static_cast<int64_t>(key >> kCellKeyShift) - kCellKeyOffset;
    const auto north = static_cast<int64_t>(key & 0xFFFFFFFFu) - kCellKeyOffset;
    cells.push_back({(static_cast<double>(east) + 0.5) * m_CellSize, (static_cast<double>(north) + 0.5) * m_CellSize, count});
  }
  return cells;
}

double PositionScatter::MeanLatitude() const {
  return m_Count ? m_OriginLatitude + MeanNorth() / m_MetresPerDegreeNorth : 0;
}

double PositionScatter::MeanLongitude() const {
  return m_Count ? m_OriginLongitude + MeanEast() / m_MetresPerDegreeEast : 0;
}

double PositionScatter::Drms2() const {
  if (m_Count == 0) return 0;
  const double n = static_cast<double>(m_Count);
  const double meanSquares = m_SumSquares / n - MeanEast() * MeanEast() - MeanNorth() * MeanNorth();
  return 2 * std::sqrt(std::max(meanSquares, 0.0));
}

double PositionScatter::Radius(double fraction) const {
  if (m_Count == 0) return 0;
  std::vector<std::pair<double, uint32_t>> distances;
  distances.reserve(m_Grid.size());
  for (const Cell& cell : Cells()) distances.emplace_back(std::hypot(cell.east - MeanEast(), cell.north - MeanNorth()), cell.count);
  std::sort(distances.begin(), distances.end());
  const auto rank = static_cast<uint64_t>(std::ceil(fraction * static_cast<double>(m_Count)));
  uint64_t seen = 0;
  for (const auto& [distance, count] : distances) {
    seen += count;
    if (seen >= rank) return distance;
  }
  return distances.back().first;
}

void Cn0Counts::Add(uint32_t cn0) {
  ++m_Counts[std::min(cn0, kHighest)];
  ++m_Count;
}

uint32_t Cn0Counts::Min() const { return Percentile(0); }
uint32_t Cn0Counts::Max() const { return Percentile(1); }

uint32_t Cn0Counts::Percentile(double fraction) const {
  const auto rank = std::max<uint64_t>(1, static_cast<uint64_t>(std::ceil(fraction * static_cast<double>(m_Count))));
  uint64_t seen = 0;
  for (uint32_t value = 0; value <= kHighest; ++value) {
    seen += m_Counts[value];
    if (seen >= rank) return value;
  }
  return 0;
}

SignalHistory::SignalHistory(const Options& options)
    : m_Options(options), m_Used(NewSeries()), m_InView(NewSeries()), m_Hdop(NewSeries()), m_Pdop(NewSeries()),
      m_FixMode(NewSeries()) {}

MinMaxSeries SignalHistory::NewSeries() const {
  return MinMaxSeries(m_Options.keep, m_Options.columns, m_Options.columnSeconds);
}

void SignalHistory::Add(const HistoryEpoch& epoch) {
  if (m_Epochs == 0) {
    m_Start = epoch.time;
  } else {
    // The epoch before counted as long as the one before it; now its length is known.
    const double length = std::clamp(epoch.time - m_Newest, 0.0, kLongestEpochSeconds);
    Credit(m_Previous, length - m_NewestLength);
    m_NewestLength = length;
  }
  ++m_Epochs;
  m_Newest = epoch.time;
  m_End = epoch.time + m_NewestLength;
  if (epoch.fix && !m_bHasFix) {
    m_bHasFix = true;
    m_FirstFix = epoch.time;
  }
  if (epoch.fix && epoch.hasPosition) m_Scatter.Add(epoch.latitude, epoch.longitude);

  const double since = epoch.time - m_Start;
  if (epoch.usedReported) m_Used.Add(since, epoch.used);
  if (!epoch.observations.empty()) m_InView.Add(since, static_cast<double>(SatellitesInView(epoch.observations)));
  m_Hdop.Add(since, epoch.hdop);
  m_Pdop.Add(since, epoch.pdop);
  if (epoch.fixMode != 0) m_FixMode.Add(since, epoch.fixMode);

  for (const SignalObservation& observation : epoch.observations) {
    m_Systems |= Bit(observation.key.system);
    auto [entry, added] = m_Tracks.try_emplace(observation.key, TrackHistory{0, 0, 0, 0, {}, NewSeries(), NewSeries()});
    TrackHistory& track = entry->second;
    if (added) track.firstSeen = epoch.time;
    track.lastSeen = epoch.time;
    track.usedSeries.Add(since, observation.used ? 1 : 0);
    if (observation.cn0 == 0) continue;
    track.cn0.Add(observation.cn0);
    track.cn0Series.Add(since, observation.cn0);
  }
  Credit(epoch, m_NewestLength);
  if (m_Options.keep == MinMaxSeries::Keep::Window) ForgetOldTracks();
  m_Previous = epoch;
}

void SignalHistory::Credit(const HistoryEpoch& epoch, double seconds) {
  if (epoch.fix) m_FixSeconds += seconds;
  for (const SignalObservation& observation : epoch.observations) {
    const auto track = m_Tracks.find(observation.key);
    if (track == m_Tracks.end() || observation.cn0 == 0) continue;
    track->second.trackedSeconds += seconds;
    if (observation.used) track->second.usedSeconds += seconds;
  }
}

void SignalHistory::ForgetOldTracks() {
  const double oldest = m_Newest - static_cast<double>(m_Options.columns) * m_Options.columnSeconds;
  std::erase_if(m_Tracks, [oldest](const auto& entry) { return entry.second.lastSeen < oldest; });
}

std::string TrackName(const TrackKey& key, bool withLetter) {
  return SatelliteName(key.prn, withLetter ? SystemLetter(key.system) : 0);
}

std::string SignalName(const TrackKey& key) {
  if (key.signal == 0) return "";
  // NMEA 4.11 signal ids, per system.
  static const std::map<GnssSystem, std::vector<const char*>> kNames = {
      {GnssSystem::Gps, {"L1 C/A", "L1 P(Y)", "L1 M", "L2 P(Y)", "L2C-M", "L2C-L", "L5-I", "L5-Q"}},
      {GnssSystem::Sbas, {"L1 C/A"}},
      {GnssSystem::Glonass, {"G1 C/A", "G1 P", "G2 C/A", "G2 P"}},
      {GnssSystem::Galileo, {"E5a", "E5b", "E5 AltBOC", "E6-A", "E6-BC", "E1-A", "E1-BC"}},
      {GnssSystem::BeiDou, {"B1I", "B1Q", "B1C", "B1A", "B2a", "B2b", "B2a+b", "B3I", "B3Q", "B3A", "B2I", "B2Q"}},
      {GnssSystem::Qzss, {"L1 C/A", "L1C-D", "L1C-P", "LIS", "L2C-M", "L2C-L", "L5-I", "L5-Q", "L6D", "L6E"}},
      {GnssSystem::NavIC, {"L5-SPS", "S-SPS", "L5-RS", "S-RS", "L1-SPS"}},
  };
  const auto names = kNames.find(key.system);
  if (names != kNames.end() && key.signal <= names->second.size()) return names->second[key.signal - 1];
  return "signal " + std::to_string(key.signal);
}
