#pragma once
// How a receiver did over time: the fix, the satellites used and in view,
// the DOPs, each satellite's C/N0 on each signal, and the scatter of its
// positions. Fed one epoch at a time; its memory stays the same whatever
// the length of the log: series keep at most a fixed number of columns
// with their minimum and maximum, C/N0 statistics count whole dB-Hz, and
// the scatter counts positions on a grid that coarsens as it fills.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "nmea/GnssSystem.h"

// One satellite on one signal; signal 0: the receiver gave none.
struct TrackKey {
  GnssSystem system = GnssSystem::Unknown;
  uint32_t prn = 0;
  uint32_t signal = 0;
  auto operator<=>(const TrackKey&) const = default;
};

struct SignalObservation {
  TrackKey key;
  uint32_t cn0 = 0;  // dB-Hz; 0: in view, not tracked
  bool used = false;
};

// What one epoch of the receiver said.
struct HistoryEpoch {
  double time = 0;  // seconds on the log's time line
  bool fix = false;
  bool hasPosition = false;
  double latitude = 0;  // degrees
  double longitude = 0;
  uint32_t fixMode = 0;  // as in GSA: 1 no fix, 2 2D, 3 3D; 0 not reported
  float hdop = 0;        // NaN: not reported
  float pdop = 0;
  bool usedReported = false;  // a GSA was heard
  uint32_t used = 0;
  std::vector<SignalObservation> observations;  // empty: no GSV was heard; named apart from Qt's signals keyword
};

// A series thinned into columns of equal width, each with its minimum and
// maximum. Whole: at most `columns` columns that double their width when
// the series outgrows them. Window: the last `columns` columns only.
class MinMaxSeries {
 public:
  struct Column {
    int64_t index;  // from the history's start, in columns of Width()
    float min;
    float max;
  };
  enum class Keep { Whole, Window };

  MinMaxSeries(Keep keep, size_t columns, double columnSeconds);
  void Add(double sinceStart, double value);
  double Width() const { return m_Width; }
  const std::vector<Column>& Columns() const { return m_Columns; }

 private:
  void Halve();

  Keep m_Keep;
  size_t m_Capacity;
  double m_Width;
  std::vector<Column> m_Columns;
};

// Positions as east and north metres from the first one, counted on a grid.
class PositionScatter {
 public:
  struct Cell {
    double east;  // the cell's centre, metres from the first position
    double north;
    uint32_t count;
  };

  PositionScatter();
  void Add(double latitude, double longitude);
  uint64_t Count() const { return m_Count; }
  double MeanLatitude() const;
  double MeanLongitude() const;
  double MeanEast() const { return m_Count ? m_SumEast / static_cast<double>(m_Count) : 0; }
  double MeanNorth() const { return m_Count ? m_SumNorth / static_cast<double>(m_Count) : 0; }
  // Radius around the mean holding `fraction` of the positions (nearest rank,
  // to the grid's resolution): CEP50 with 0.5, CEP95 with 0.95.
  double Radius(double fraction) const;
  // Twice the root-mean-square distance from the mean.
  double Drms2() const;
  double CellSize() const { return m_CellSize; }
  std::vector<Cell> Cells() const;

 private:
  void Coarsen();
  static uint64_t CellKey(int64_t east, int64_t north);

  uint64_t m_Count = 0;
  double m_OriginLatitude = 0;
  double m_OriginLongitude = 0;
  double m_MetresPerDegreeNorth = 0;
  double m_MetresPerDegreeEast = 0;
  double m_SumEast = 0, m_SumNorth = 0, m_SumSquares = 0;
  double m_CellSize;
  std::unordered_map<uint64_t, uint32_t> m_Grid;
};

// C/N0 counted per whole dB-Hz.
class Cn0Counts {
 public:
  static constexpr uint32_t kHighest = 99;
  void Add(uint32_t cn0);
  uint64_t Count() const { return m_Count; }
  uint32_t Min() const;
  uint32_t Max() const;
  uint32_t Percentile(double fraction) const;  // nearest rank

 private:
  std::array<uint32_t, kHighest + 1> m_Counts{};
  uint64_t m_Count = 0;
};

struct TrackHistory {
  double firstSeen = 0;  // on the log's time line
  double lastSeen = 0;
  double trackedSeconds = 0;  // seen with a C/N0
  double usedSeconds = 0;
  Cn0Counts cn0;
  MinMaxSeries cn0Series;
  MinMaxSeries usedSeries;  // 1 where the fix used the satellite, else 0
};

class SignalHistory {
 public:
  struct Options {
    MinMaxSeries::Keep keep = MinMaxSeries::Keep::Whole;
    size_t columns = kReportColumns;
    double columnSeconds = kReportColumnSeconds;
  };
  static constexpr size_t kReportColumns = 1024;
  static constexpr double kReportColumnSeconds = 0.1;
  // An epoch counts until the next one, for at most this long: a silent log is a gap.
  static constexpr double kLongestEpochSeconds = 1.0;

  SignalHistory() : SignalHistory(Options{}) {}
  explicit SignalHistory(const Options& options);

  void Add(const HistoryEpoch& epoch);

  bool Empty() const { return m_Epochs == 0; }
  uint64_t Epochs() const { return m_Epochs; }
  double Start() const { return m_Start; }
  double Newest() const { return m_Newest; }  // the newest epoch's time
  double End() const { return m_End; }  // the newest epoch and the time it counts for
  bool HasFix() const { return m_bHasFix; }
  double TtffSeconds() const { return m_FirstFix - m_Start; }  // with HasFix()
  double FixSeconds() const { return m_FixSeconds; }
  double GapSeconds() const { return (m_End - m_Start) - m_FixSeconds; }
  // Systems with satellites in view, one bit per GnssSystem.
  uint32_t Systems() const { return m_Systems; }

  const std::map<TrackKey, TrackHistory>& Tracks() const { return m_Tracks; }
  const PositionScatter& Scatter() const { return m_Scatter; }
  const MinMaxSeries& UsedSeries() const { return m_Used; }
  const MinMaxSeries& InViewSeries() const { return m_InView; }
  const MinMaxSeries& HdopSeries() const { return m_Hdop; }
  const MinMaxSeries& PdopSeries() const { return m_Pdop; }
  const MinMaxSeries& FixModeSeries() const { return m_FixMode; }

 private:
  MinMaxSeries NewSeries() const;
  // Adds `seconds` to the epoch's fix time and to its satellites' tracked and used time.
  void Credit(const HistoryEpoch& epoch, double seconds);
  void ForgetOldTracks();

  Options m_Options;
  uint64_t m_Epochs = 0;
  double m_Start = 0;
  double m_Newest = 0;
  double m_End = 0;
  double m_NewestLength = 0;  // what the newest epoch counts for: the length of the one before
  bool m_bHasFix = false;
  double m_FirstFix = 0;
  double m_FixSeconds = 0;
  uint32_t m_Systems = 0;
  HistoryEpoch m_Previous;
  std::map<TrackKey, TrackHistory> m_Tracks;
  PositionScatter m_Scatter;
  MinMaxSeries m_Used, m_InView, m_Hdop, m_Pdop, m_FixMode;
};

// "G5" (or "5" when `withLetter` is false) for the pages' naming of the satellite.
std::string TrackName(const TrackKey& key, bool withLetter);
// The NMEA 4.11 signal's name ("L1 C/A", "E5a", "B1I" ...), or "signal N" when unknown; "" for signal 0.
std::string SignalName(const TrackKey& key);
