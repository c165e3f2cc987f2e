#pragma once
// Turns what the decoder hears into the epochs of a SignalHistory: the
// sentences between two position sentences of different times make one
// epoch, and the log's times of day become one time line that goes on past
// midnight. Set it as the parser's observer, feed the log, then Finish().

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "nmea/GnssSystem.h"
#include "nmea/GpsPosition.h"
#include "nmea/NmeaObserver.h"
#include "nmea/SignalHistory.h"

class HistoryFeed final : public NmeaObserver {
 public:
  explicit HistoryFeed(SignalHistory& history) : m_History(history) { StartEpoch(); }

  void OnFixSentence(const FixSentence& sentence) override;
  void OnUsedSatellites(const UsedSentence& sentence) override;
  void OnSkyCycle(GnssSystem talker, uint32_t signal, const SkySatellite* satellites, size_t count) override;

  // Hands the epoch in progress to the history: at the end of the log.
  void Finish();

  // "2026-08-05T05:52:34.200Z" for a second of the time line once a sentence
  // gave the date, else the time of day "05:52:34.200".
  std::string TimeText(double second) const;

 private:
  void Emit();
  void StartEpoch();
  double TimeLineSecond(uint32_t msOfDay);

  SignalHistory& m_History;
  HistoryEpoch m_Epoch;
  bool m_bEpochTimed = false;
  bool m_bEpochHeard = false;
  uint32_t m_EpochMs = 0;
  std::vector<std::pair<GnssSystem, uint32_t>> m_Used;
  uint32_t m_GsaFixMode = 0;

  int64_t m_Day = 0;  // days since the log's first time
  bool m_bTimed = false;
  uint32_t m_LastMs = 0;
  bool m_bDated = false;
  FILETIME m_DayZero = 0;  // midnight of day 0, once a date is known
};

// The epoch that a GPS data record shows at `time` (seconds on the caller's
// time line): its fix, position and DOPs, and the satellites of its in-view
// slots with their systems. The record names used satellites by number
// alone, so a number used in one system counts as used in each.
HistoryEpoch EpochFromRecord(const GpsPosition& record, const SatelliteSystems& systems, double time);
