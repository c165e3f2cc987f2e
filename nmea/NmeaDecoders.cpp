// The sentence decoders: each reads its fields in a fixed order and stores the
// values present, stamped with the chunk time. A field that cannot be read
// refuses the whole sentence before anything is stored.

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>

#include "nmea/FieldReader.h"
#include "nmea/NmeaParser.h"

namespace {

constexpr uint16_t kGsvMaxMessages = 9;
constexpr uint16_t kGsvSatellitesPerMessage = 4;
constexpr size_t kGsvFieldsPerSatellite = 4;
// With GP alone, messages past this one are checked and counted, their
// satellites not read: three messages fill the twelve entries. Every
// constellation: all nine are read, since the record shows the best twelve
// of all systems.
constexpr uint16_t kGsvLastReadMessage = 3;

constexpr uint32_t kHoursPerDay = 24;
constexpr uint32_t kMinutesPerHour = 60;
constexpr uint32_t kSecondsPerMinute = 60;
constexpr uint32_t kMsPerSecond = 1000;

bool ReadSkipped(FieldReader& reader) {
  FieldValue<double> ignored;
  return ReadDouble(reader, ignored);
}

bool ReadSkippedInt(FieldReader& reader, bool allowFraction = false) {
  FieldValue<int32_t> ignored;
  return ReadInt(reader, ignored, allowFraction);
}

// An optional last field (NMEA 4.10 adds them): absent when the sentence ended before it.
bool ReadTrailingInt(FieldReader& reader, FieldValue<int32_t>& result) {
  return reader.AtEnd() || ReadInt(reader, result);
}

// NMEA 4.11 ends a GSV with a signal id (one hex digit) after the satellites
// and their empty padding; 0 when the fields left do not end in one.
uint32_t ReadSignalId(FieldReader& reader) {
  size_t fields = 0;
  std::string_view field;
  std::string_view last;
  while (reader.NextField(field)) {
    ++fields;
    last = field;
  }
  if (fields % kGsvFieldsPerSatellite != 1 || last.size() != 1) return 0;
  uint32_t signal = 0;
  const auto [stop, error] = std::from_chars(last.data(), last.data() + 1, signal, 16);
  return error == std::errc{} ? signal : 0;
}

// Reads the cycle's next message into `cycle`; false refuses it.
bool ReadGsvMessage(FieldReader& reader, GsvCycle& cycle, uint16_t lastReadMessage) {
  FieldValue<uint16_t> total;
  FieldValue<uint16_t> number;
  if (!ReadUShort(reader, total) || !ReadUShort(reader, number)) return false;
  if (!total.present || !number.present || total.value > kGsvMaxMessages || number.value > total.value) return false;
  if (cycle.received == 0) {
    if (number.value != 1) return false;
    cycle.total = total.value;
  } else if (number.value > cycle.total || number.value != cycle.received + 1) {
    return false;
  }
  cycle.received = number.value;

  FieldValue<uint16_t> inView;
  if (!ReadUShort(reader, inView)) return false;
  if (!inView.present || inView.value > kGsvMaxInView) return false;
  if (cycle.received == 1) {
    if (inView.value > kGsvSatellitesPerMessage * cycle.total) return false;
    cycle.inView = inView.value;
  } else if (inView.value != cycle.inView) {
    return false;
  }

  if (cycle.received > lastReadMessage || cycle.count >= cycle.inView) return true;
  const int satellites = std::min<int>(kGsvSatellitesPerMessage, cycle.inView - cycle.count);
  for (int n = 0; n < satellites; ++n) {
    FieldValue<int32_t> prn, elevation, azimuth, snr;
    if (!ReadInt(reader, prn) || !ReadInt(reader, elevation) || !ReadInt(reader, azimuth) || !ReadInt(reader, snr))
      return false;
    SkySatellite& satellite = cycle.satellites[cycle.count];
    satellite.prn = static_cast<uint32_t>(prn.value);
    satellite.elevation = static_cast<uint32_t>(elevation.value);
    satellite.azimuth = static_cast<uint32_t>(azimuth.value);
    satellite.snr = static_cast<uint32_t>(snr.value);
    ++cycle.count;
  }
  return true;
}

}  // namespace

int DecodeGga(NmeaParser& parser, FieldReader& reader) {
  FieldValue<SYSTEMTIME> time;
  uint32_t fractionMs = 0;
  FieldValue<double> latitude, longitude, hdop, altitude, separation;
  FieldValue<uint32_t> quality;
  if (!ReadTime(reader, time, fractionMs) || !ReadLatitude(reader, latitude, true) || !ReadLongitude(reader, longitude, true) ||
      !ReadFixQuality(reader, quality) || !ReadSkippedInt(reader) || !ReadDouble(reader, hdop) ||
      !ReadAltitude(reader, altitude) || !ReadAltitude(reader, separation) || !ReadSkipped(reader) ||
      !ReadSkippedInt(reader))
    return 0;
  parser.TellFix(time, fractionMs, nullptr, quality.present && quality.value != kGpsFixQualityUnknown, latitude, longitude);
  if (quality.present && quality.value == kGpsFixQualityUnknown) return 1;

  PositionStore& store = parser.m_Store;
  if (latitude.present) parser.Store(store.latitude, latitude.value);
  if (longitude.present) parser.Store(store.longitude, longitude.value);
  if (quality.present) parser.Store(store.fixQuality, quality.value);
  if (hdop.present) parser.Store(store.hdop, static_cast<float>(hdop.value));
  if (altitude.present) parser.Store(store.altitudeSeaLevel, static_cast<float>(altitude.value));
  if (separation.present) parser.Store(store.altitudeEllipsoid, static_cast<float>(separation.value));
  return 1;
}

int DecodeRmc(NmeaParser& parser, FieldReader& reader) {
  FieldValue<SYSTEMTIME> time, date;
  uint32_t fractionMs = 0;
  FieldValue<bool> isVoid;
  FieldValue<double> latitude, longitude, speed, course, variation;
  if (!ReadTime(reader, time, fractionMs) || !ReadStatus(reader, isVoid) || !ReadLatitude(reader, latitude, true) ||
      !ReadLongitude(reader, longitude, true) || !ReadDouble(reader, speed) || !ReadDouble(reader, course) ||
      !ReadDate(reader, date) || !ReadLongitude(reader, variation, false))
    return 0;
  parser.TellFix(time, fractionMs, &date, !(isVoid.present && isVoid.value), latitude, longitude);
  if (isVoid.present && isVoid.value) return 1;

  PositionStore& store = parser.m_Store;
  if (time.present && date.present) {
    SYSTEMTIME utc = time.value;
    utc.wYear = date.value.wYear;
    utc.wMonth = date.value.wMonth;
    utc.wDay = date.value.wDay;
    FILETIME fileTime = 0;
    SYSTEMTIME checked{};
    if (SystemTimeToFileTime(utc, fileTime) && FileTimeToSystemTime(fileTime, checked))
      parser.Store(store.utcTime, checked);
  }
  if (latitude.present) parser.Store(store.latitude, latitude.value);
  if (longitude.present) parser.Store(store.longitude, longitude.value);
  if (speed.present) parser.Store(store.speed, static_cast<float>(speed.value));
  if (course.present) parser.Store(store.heading, static_cast<float>(course.value));
  if (variation.present) parser.Store(store.magneticVariation, variation.value);
  return 1;
}

int DecodeGll(NmeaParser& parser, FieldReader& reader) {
  FieldValue<double> latitude, longitude;
  FieldValue<SYSTEMTIME> time;
  uint32_t fractionMs = 0;
  FieldValue<bool> isVoid;
  if (!ReadLatitude(reader, latitude, true) || !ReadLongitude(reader, longitude, true) ||
      !ReadTime(reader, time, fractionMs) || !ReadStatus(reader, isVoid))
    return 0;
  parser.TellFix(time, fractionMs, nullptr, !(isVoid.present && isVoid.value), latitude, longitude);
  if (isVoid.present && isVoid.value) return 1;

  PositionStore& store = parser.m_Store;
  if (latitude.present) parser.Store(store.latitude, latitude.value);
  if (longitude.present) parser.Store(store.longitude, longitude.value);
  return 1;
}

int DecodeGsa(NmeaParser& parser, FieldReader& reader) {
  FieldValue<uint32_t> selection, fixMode;
  if (!ReadSelectionMode(reader, selection) || !ReadFixMode(reader, fixMode)) return 0;
  SatelliteValues prns{};
  uint32_t used = 0;
  for (uint32_t& slot : prns) {
    FieldValue<int32_t> prn;
    if (!ReadInt(reader, prn)) return 0;
    slot = static_cast<uint32_t>(prn.value);
    if (prn.present && prn.value != 0) ++used;
  }
  FieldValue<double> pdop, hdop, vdop;
  if (!ReadDouble(reader, pdop) || !ReadDouble(reader, hdop) || !ReadDouble(reader, vdop)) return 0;
  const bool everySystem = parser.m_Talkers == NmeaTalkers::Any;
  FieldValue<int32_t> systemId;
  if (everySystem && !ReadTrailingInt(reader, systemId)) return 0;

  PositionStore& store = parser.m_Store;
  if (selection.present) parser.Store(store.selectionType, selection.value);
  if (fixMode.present) parser.Store(store.fixType, fixMode.value);
  if (pdop.present) parser.Store(store.pdop, static_cast<float>(pdop.value));
  if (hdop.present) parser.Store(store.hdop, static_cast<float>(hdop.value));
  if (vdop.present) parser.Store(store.vdop, static_cast<float>(vdop.value));
  const GnssSystem reported = systemId.present ? SystemFromId(systemId.value) : parser.m_SentenceSystem;
  if (parser.m_pObserver != nullptr) {
    constexpr float kAbsent = std::numeric_limits<float>::quiet_NaN();
    parser.m_pObserver->OnUsedSatellites({reported, prns, fixMode.present ? fixMode.value : kGpsFixUnknown,
                                          pdop.present ? static_cast<float>(pdop.value) : kAbsent,
                                          hdop.present ? static_cast<float>(hdop.value) : kAbsent});
  }
  if (everySystem) {
    // One GSA per system: the epoch's sentences add up.
    EpochUsedSatellites& epoch = parser.m_EpochUsed;
    epoch.AddGsa(reported, prns);
    used = epoch.Count();
    prns = epoch.Slots();
  }
  parser.Store(store.satelliteCount, used);
  parser.Store(store.usedPrns, prns);
  return 1;
}

int DecodeGsv(NmeaParser& parser, FieldReader& reader) {
  GsvCycle& cycle = parser.m_Gsv;
  const bool everySystem = parser.m_Talkers == NmeaTalkers::Any;
  // Another system's message ends a cycle whose last message was lost.
  if (everySystem && cycle.received != 0 && cycle.talker != parser.m_SentenceSystem) cycle = GsvCycle{};
  if (!ReadGsvMessage(reader, cycle, everySystem ? kGsvMaxMessages : kGsvLastReadMessage)) {
    cycle = GsvCycle{};
    return 0;
  }
  if (everySystem) {
    cycle.talker = parser.m_SentenceSystem;
    const uint32_t signal = ReadSignalId(reader);
    if (cycle.received == 1) cycle.signal = signal;
  }
  if (cycle.received < cycle.total) return 1;

  parser.TellSky(cycle);
  if (everySystem) {
    parser.StoreEpochSky(cycle);
  } else {
    SkySelection selection;
    selection.inView = cycle.inView;
    selection.shown = std::min<size_t>(cycle.inView, kGpsMaxSatellites);
    std::copy_n(cycle.satellites.begin(), kGpsMaxSatellites, selection.satellites.begin());
    parser.StoreInView(selection);
  }
  cycle = GsvCycle{};
  return 1;
}

void NmeaParser::TellFix(const FieldValue<SYSTEMTIME>& time, uint32_t fractionMs, const FieldValue<SYSTEMTIME>* date,
                         bool fix, const FieldValue<double>& latitude, const FieldValue<double>& longitude) {
  if (m_pObserver == nullptr) return;
  FixSentence sentence;
  const SYSTEMTIME& t = time.value;
  sentence.hasTime = time.present && t.wHour < kHoursPerDay && t.wMinute < kMinutesPerHour && t.wSecond < kSecondsPerMinute;
  sentence.msOfDay = ((t.wHour * kMinutesPerHour + t.wMinute) * kSecondsPerMinute + t.wSecond) * kMsPerSecond + fractionMs;
  sentence.hasDate = date != nullptr && date->present;
  if (sentence.hasDate) sentence.date = date->value;
  sentence.fix = fix;
  sentence.hasPosition = latitude.present && longitude.present;
  sentence.latitude = latitude.value;
  sentence.longitude = longitude.value;
  m_pObserver->OnFixSentence(sentence);
}

void NmeaParser::TellSky(const GsvCycle& cycle) {
  if (m_pObserver == nullptr) return;
  std::array<SkySatellite, kGsvMaxInView> satellites{};
  const size_t count = std::min<size_t>(cycle.count, satellites.size());
  for (size_t i = 0; i < count; ++i) {
    satellites[i] = cycle.satellites[i];
    satellites[i].system = SatelliteSystem(cycle.talker, satellites[i].prn);
    satellites[i].talker = cycle.talker;
  }
  m_pObserver->OnSkyCycle(cycle.talker, cycle.signal, satellites.data(), count);
}

void NmeaParser::StoreEpochSky(const GsvCycle& cycle) {
  m_EpochSky.AddCycle(cycle.talker, cycle.signal, cycle.satellites.data(), cycle.count, m_ChunkTime);
  const SkySelection selection = m_EpochSky.Select(m_EpochUsed, m_ChunkTime);
  StoreInView(selection);
  if (selection.shown == 0) {
    m_InViewSystems.stamp = 0;
    return;
  }
  SatelliteSystems systems{};
  for (size_t i = 0; i < selection.shown; ++i) systems[i] = selection.satellites[i].system;
  Store(m_InViewSystems, systems);
}

void NmeaParser::StoreInView(const SkySelection& selection) {
  // With GP alone the count is the cycle's, at most twelve; every system together, all of them.
  const uint32_t inView = m_Talkers == NmeaTalkers::Any ? selection.inView : static_cast<uint32_t>(selection.shown);
  Store(m_Store.satellitesInView, inView);
  if (selection.shown == 0) {
    m_Store.inViewPrns.stamp = 0;
    m_Store.inViewElevation.stamp = 0;
    m_Store.inViewAzimuth.stamp = 0;
    m_Store.inViewSnr.stamp = 0;
    return;
  }
  SatelliteValues prn{}, elevation{}, azimuth{}, snr{};
  for (size_t i = 0; i < selection.shown; ++i) {
    const SkySatellite& satellite = selection.satellites[i];
    prn[i] = satellite.prn;
    elevation[i] = satellite.elevation;
    azimuth[i] = satellite.azimuth;
    snr[i] = satellite.snr;
  }
  Store(m_Store.inViewPrns, prn);
  Store(m_Store.inViewElevation, elevation);
  Store(m_Store.inViewAzimuth, azimuth);
  Store(m_Store.inViewSnr, snr);
}
