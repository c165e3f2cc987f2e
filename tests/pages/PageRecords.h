#pragma once
// GPS data records built for the page suites.

#include <cstdint>
#include <initializer_list>

#include "nmea/GpsPosition.h"

namespace page_test {

inline GpsPosition EmptyRecord() {
  GpsPosition record{};
  record.version = kGpsPositionVersion;
  record.size = kGpsPositionSize;
  return record;
}

struct InView {
  uint32_t prn;
  uint32_t elevation;
  uint32_t azimuth;
  uint32_t snr;
};

// A record with these satellites in view, in this order, and the fix quality.
inline GpsPosition SkyRecord(uint32_t fixQuality, std::initializer_list<InView> satellites) {
  GpsPosition record = EmptyRecord();
  record.fixQuality = fixQuality;
  record.validFields |= kGpsValidSatellitesInView | kGpsValidInViewPrns | kGpsValidInViewElevation |
                        kGpsValidInViewAzimuth | kGpsValidInViewSnr;
  for (const InView& satellite : satellites) {
    const uint32_t slot = record.satellitesInView++;
    record.inViewPrns[slot] = satellite.prn;
    record.inViewElevation[slot] = satellite.elevation;
    record.inViewAzimuth[slot] = satellite.azimuth;
    record.inViewSnr[slot] = satellite.snr;
  }
  return record;
}

}  // namespace page_test
