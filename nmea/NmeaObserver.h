#pragma once
// What the decoder hears sentence by sentence, for a listener that follows a
// receiver over time (the signal history): each position sentence's time and
// fix, each GSA's used satellites, and each complete GSV cycle with its signal.
// The calls come from inside Feed, on the thread that feeds the parser.

#include <cstddef>
#include <cstdint>

#include "nmea/GnssEpoch.h"
#include "nmea/GnssSystem.h"

// What one GGA, RMC or GLL says.
struct FixSentence {
  bool hasTime = false;
  uint32_t msOfDay = 0;  // UTC
  bool hasDate = false;  // RMC alone carries one
  SYSTEMTIME date{};     // year, month and day
  bool fix = false;      // GGA quality above 0, RMC or GLL status A
  bool hasPosition = false;
  double latitude = 0;  // degrees, north positive
  double longitude = 0;
};

// What one GSA says; the DOPs are NaN where absent.
struct UsedSentence {
  GnssSystem reported = GnssSystem::Unknown;  // as for EpochUsedSatellites::AddGsa (GPS with GP alone)
  SatelliteValues prnFields{};
  uint32_t fixMode = 0;  // kGpsFix2D, kGpsFix3D or kGpsFixUnknown
  float pdop = 0;
  float hdop = 0;
};

class NmeaObserver {
 public:
  virtual ~NmeaObserver() = default;
  virtual void OnFixSentence(const FixSentence& sentence) = 0;
  virtual void OnUsedSatellites(const UsedSentence& sentence) = 0;
  // `talker` Gps and `signal` 0 with GP alone; satellites carry their system.
  virtual void OnSkyCycle(GnssSystem talker, uint32_t signal, const SkySatellite* satellites, size_t count) = 0;
};
