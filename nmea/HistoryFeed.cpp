#include "nmea/HistoryFeed.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace {

constexpr uint32_t kMsPerDay = 86'400'000;
constexpr int64_t kMsPerHour = 3'600'000;
constexpr int64_t kMsPerMinute = 60'000;
constexpr int64_t kMinutesPerHour = 60;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kWholeMs = 1000;
constexpr double kMsPerSecond = 1000;
constexpr double kSecondsPerDay = 86'400;
// A time of day that falls back by more than half a day has passed midnight.
constexpr uint32_t kMidnightStep = kMsPerDay / 2;
// GSA modes as the history counts them.
constexpr uint32_t kModeNoFix = 1;
constexpr uint32_t kMode2D = 2;
constexpr uint32_t kMode3D = 3;

uint32_t HistoryFixMode(bool fix, uint32_t gsaMode) {
  if (!fix) return kModeNoFix;
  if (gsaMode == kGpsFix2D) return kMode2D;
  if (gsaMode == kGpsFix3D) return kMode3D;
  return 0;
}

}  // namespace

double HistoryFeed::TimeLineSecond(uint32_t msOfDay) {
  if (m_bTimed && msOfDay + kMidnightStep < m_LastMs) ++m_Day;
  m_bTimed = true;
  m_LastMs = msOfDay;
  return static_cast<double>(m_Day) * kSecondsPerDay + msOfDay / kMsPerSecond;
}

void HistoryFeed::OnFixSentence(const FixSentence& sentence) {
  if (sentence.hasTime) {
    if (m_bEpochTimed && sentence.msOfDay != m_EpochMs) Emit();
    if (!m_bEpochTimed) {
      m_Epoch.time = TimeLineSecond(sentence.msOfDay);
      m_EpochMs = sentence.msOfDay;
      m_bEpochTimed = true;
    }
    if (sentence.hasDate && !m_bDated) {
      SYSTEMTIME midnight{};
      midnight.wYear = sentence.date.wYear;
      midnight.wMonth = sentence.date.wMonth;
      midnight.wDay = sentence.date.wDay;
      FILETIME dayStart = 0;
      if (SystemTimeToFileTime(midnight, dayStart)) {
        m_bDated = true;
        m_DayZero = dayStart - static_cast<FILETIME>(m_Day) * kMsPerDay * kFileTimeTicksPerMs;
      }
    }
  }
  m_bEpochHeard = true;
  if (!sentence.fix) return;
  m_Epoch.fix = true;
  if (!sentence.hasPosition) return;
  m_Epoch.hasPosition = true;
  m_Epoch.latitude = sentence.latitude;
  m_Epoch.longitude = sentence.longitude;
}

void HistoryFeed::OnUsedSatellites(const UsedSentence& sentence) {
  m_bEpochHeard = true;
  m_Epoch.usedReported = true;
  for (const uint32_t prn : sentence.prnFields) {
    if (prn != 0) m_Used.emplace_back(SatelliteSystem(sentence.reported, prn), prn);
  }
  if (sentence.fixMode != kGpsFixUnknown) m_GsaFixMode = sentence.fixMode;
  if (!std::isnan(sentence.hdop)) m_Epoch.hdop = sentence.hdop;
  if (!std::isnan(sentence.pdop)) m_Epoch.pdop = sentence.pdop;
}

void HistoryFeed::OnSkyCycle(GnssSystem /*talker*/, uint32_t signal, const SkySatellite* satellites, size_t count) {
  m_bEpochHeard = true;
  for (size_t i = 0; i < count; ++i) {
    if (satellites[i].prn == 0) continue;
    const TrackKey key{satellites[i].system, satellites[i].prn, signal};
    const auto same = std::find_if(m_Epoch.observations.begin(), m_Epoch.observations.end(),
                                   [&key](const SignalObservation& o) { return o.key == key; });
    SignalObservation& observation = same != m_Epoch.observations.end() ? *same : m_Epoch.observations.emplace_back();
    observation.key = key;
    observation.cn0 = satellites[i].snr;
  }
}

void HistoryFeed::Finish() { Emit(); }

void HistoryFeed::Emit() {
  // Sentences before the log's first time cannot be placed on the time line.
  if (m_bEpochTimed && m_bEpochHeard) {
    std::sort(m_Used.begin(), m_Used.end());
    m_Used.erase(std::unique(m_Used.begin(), m_Used.end()), m_Used.end());
    for (SignalObservation& observation : m_Epoch.observations) {
      observation.used = std::binary_search(m_Used.begin(), m_Used.end(), std::make_pair(observation.key.system, observation.key.prn));
    }
    m_Epoch.used = static_cast<uint32_t>(m_Used.size());
    m_Epoch.fixMode = HistoryFixMode(m_Epoch.fix, m_GsaFixMode);
    m_History.Add(m_Epoch);
  }
  StartEpoch();
}

void HistoryFeed::StartEpoch() {
  m_Epoch.fix = false;
  m_Epoch.hasPosition = false;
  m_Epoch.usedReported = false;
  m_Epoch.hdop = std::nanf("");
  m_Epoch.pdop = std::nanf("");
  m_Epoch.observations.clear();
  m_Used.clear();
  m_GsaFixMode = 0;
  m_bEpochTimed = false;
  m_bEpochHeard = false;
}

std::string HistoryFeed::TimeText(double second) const {
  const auto ms = static_cast<int64_t>(std::llround(second * kMsPerSecond));
  if (m_bDated) {
    SYSTEMTIME t{};
    if (FileTimeToSystemTime(m_DayZero + static_cast<FILETIME>(ms) * kFileTimeTicksPerMs, t)) {
      char text[48];
      std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                    t.wMinute, t.wSecond, t.wMilliseconds);
      return text;
    }
  }
  const int64_t ofDay = ms % kMsPerDay;
  char text[32];
  std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%03" PRId64, ofDay / kMsPerHour,
                ofDay / kMsPerMinute % kMinutesPerHour, ofDay / kWholeMs % kSecondsPerMinute, ofDay % kWholeMs);
  return text;
}

HistoryEpoch EpochFromRecord(const GpsPosition& record, const SatelliteSystems& systems, double time) {
  const auto valid = [&record](uint32_t bits) { return (record.validFields & bits) == bits; };
  HistoryEpoch epoch;
  epoch.time = time;
  epoch.fix = IsFixQuality(record.fixQuality);
  epoch.hasPosition = epoch.fix && valid(kGpsValidLatitude | kGpsValidLongitude);
  epoch.latitude = record.latitude;
  epoch.longitude = record.longitude;
  epoch.fixMode = HistoryFixMode(epoch.fix, record.fixType);
  epoch.hdop = valid(kGpsValidHdop) ? record.hdop : std::nanf("");
  epoch.pdop = valid(kGpsValidPdop) ? record.pdop : std::nanf("");
  epoch.usedReported = valid(kGpsValidUsedPrns);
  const uint32_t* usedEnd = record.usedPrns + (epoch.usedReported ? kGpsMaxSatellites : 0);
  const auto usedNumbers = static_cast<uint32_t>(std::count_if(record.usedPrns, usedEnd, [](uint32_t prn) { return prn != 0; }));
  epoch.used = valid(kGpsValidSatelliteCount) ? record.satelliteCount : usedNumbers;
  if (!valid(kGpsValidInViewPrns)) return epoch;
  const size_t slots = std::min<size_t>(record.satellitesInView, kGpsMaxSatellites);
  for (size_t slot = 0; slot < slots; ++slot) {
    const uint32_t prn = record.inViewPrns[slot];
    if (prn == 0) continue;
    SignalObservation& observation = epoch.observations.emplace_back();
    observation.key = {systems[slot], prn, 0};
    observation.cn0 = valid(kGpsValidInViewSnr) ? record.inViewSnr[slot] : 0;
    observation.used = std::find(record.usedPrns, usedEnd, prn) != usedEnd;
  }
  return epoch;
}
