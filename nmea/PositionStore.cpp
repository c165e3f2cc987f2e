// The stamped-value store: which values are fresh, and the record built from them.

#include <cstring>
#include <type_traits>

#include "nmea/NmeaParser.h"

namespace {

struct RecordBuilder {
  GpsPosition& record;
  uint32_t maxAgeMs;
  FILETIME now;

  template <typename T, typename Field>
  void Copy(const StampedValue<T>& item, Field& field, uint32_t validBit) {
    if (!IsFresh(maxAgeMs, item.stamp, now)) return;
    if constexpr (std::is_array_v<Field>) {
      static_assert(sizeof(Field) == sizeof(T));
      std::memcpy(field, item.value.data(), sizeof(Field));
    } else {
      field = item.value;
    }
    record.validFields |= validBit;
  }

  // Items without a valid bit: their value when fresh, else 0.
  void CopyOrZero(const StampedValue<uint32_t>& item, uint32_t& field) {
    field = IsFresh(maxAgeMs, item.stamp, now) ? item.value : 0;
  }
};

}  // namespace

bool IsFresh(uint32_t maxAgeMs, FILETIME stamp, FILETIME now) {
  if (stamp == 0) return false;
  const int64_t age = static_cast<int64_t>(now - stamp);
  if (age < 0) return false;
  return age / static_cast<int64_t>(kFileTimeTicksPerMs) <= maxAgeMs;
}

bool IsFresh(uint32_t maxAgeMs, FILETIME stamp) { return IsFresh(maxAgeMs, stamp, platform::GetUtcFileTime()); }

void NmeaParser::GetPosition(GpsPosition& record, uint32_t maxAgeMs) const { FillPosition(m_Store, record, maxAgeMs); }

void NmeaParser::GetInViewSystems(const GpsPosition& record, SatelliteSystems& systems) const {
  // The systems are stamped with the PRNs they belong to.
  const bool known = (record.validFields & kGpsValidInViewPrns) != 0 && m_InViewSystems.stamp != 0 &&
                     m_InViewSystems.stamp == m_Store.inViewPrns.stamp;
  systems = known ? m_InViewSystems.value : SatelliteSystems{};
}

void FillPosition(const PositionStore& s, GpsPosition& record, uint32_t maxAgeMs) {
  const uint32_t version = record.version;
  const uint32_t size = record.size;
  // A caller's size larger than the record clears only the record.
  std::memset(&record, 0, std::min<size_t>(size, sizeof(GpsPosition)));
  record.version = version;
  record.size = size;

  RecordBuilder builder{record, maxAgeMs, platform::GetUtcFileTime()};
  builder.Copy(s.utcTime, record.utcTime, kGpsValidUtcTime);
  builder.Copy(s.latitude, record.latitude, kGpsValidLatitude);
  builder.Copy(s.longitude, record.longitude, kGpsValidLongitude);
  builder.Copy(s.speed, record.speed, kGpsValidSpeed);
  builder.Copy(s.heading, record.heading, kGpsValidHeading);
  builder.Copy(s.magneticVariation, record.magneticVariation, kGpsValidMagneticVariation);
  builder.Copy(s.altitudeSeaLevel, record.altitudeSeaLevel, kGpsValidAltitudeSeaLevel);
  builder.Copy(s.altitudeEllipsoid, record.altitudeEllipsoid, kGpsValidAltitudeEllipsoid);
  builder.CopyOrZero(s.fixQuality, record.fixQuality);
  builder.CopyOrZero(s.fixType, record.fixType);
  builder.CopyOrZero(s.selectionType, record.selectionType);
  builder.Copy(s.pdop, record.pdop, kGpsValidPdop);
  builder.Copy(s.hdop, record.hdop, kGpsValidHdop);
  builder.Copy(s.vdop, record.vdop, kGpsValidVdop);
  builder.Copy(s.satelliteCount, record.satelliteCount, kGpsValidSatelliteCount);
  builder.Copy(s.usedPrns, record.usedPrns, kGpsValidUsedPrns);
  builder.Copy(s.satellitesInView, record.satellitesInView, kGpsValidSatellitesInView);
  builder.Copy(s.inViewPrns, record.inViewPrns, kGpsValidInViewPrns);
  builder.Copy(s.inViewElevation, record.inViewElevation, kGpsValidInViewElevation);
  builder.Copy(s.inViewAzimuth, record.inViewAzimuth, kGpsValidInViewAzimuth);
  builder.Copy(s.inViewSnr, record.inViewSnr, kGpsValidInViewSnr);
  if (version == kGpsPositionVersion && size == kGpsPositionSize) {
    builder.Copy(s.positionError, record.positionError, kGpsValidPositionError);
    builder.Copy(s.fixMode, record.fixMode, kGpsValidFixMode);
    builder.Copy(s.fixError, record.fixError, kGpsValidFixError);
  }
}
