#pragma once
// The texts of the Main page, made from one GPS data record: UTC time,
// latitude and longitude in degrees and decimal minutes, the fix line with the
// time it took to get the fix, satellites used and the three DOP ratings.

#include <cstdint>
#include <mutex>
#include <string>

#include "nmea/GpsPosition.h"

// Shown for a value whose valid bit is clear.
inline constexpr const char* kMainNoTime = "00:00:00";
inline constexpr const char* kMainNoCoordinate = "0000.0000";
inline constexpr const char* kMainNoSatellites = "00";
inline constexpr const char* kMainNoDop = "None";
inline constexpr const char* kMainNoFix = "Invalid";

// "37° 30.000000 N": whole degrees, the degree sign, the decimal minutes, then
// the hemisphere letter, so that -37.5 and 37.5 read differently. Not a
// coordinate (not finite, beyond 360): "0000.0000".
std::string FormatDegreesMinutes(double degrees, char positiveHemisphere, char negativeHemisphere);

std::string FormatUtcTime(const GpsPosition& record);
std::string FormatLatitude(const GpsPosition& record);
std::string FormatLongitude(const GpsPosition& record);
std::string FormatSatellitesUsed(const GpsPosition& record);
// "%.1f = <quality word>" by the value's band; "None" outside 0 up to 51.
std::string RateDop(float dop);
// RateDop when `validBit` is set in the record, else "None".
std::string FormatDop(const GpsPosition& record, uint32_t validBit, float dop);

// How long it took to get the fix being shown: seconds counted once a second
// while no fix is shown, frozen while one is, restarted from 0 when it is lost.
// Ticks come from the UI thread's timer, records from a device thread.
class CFixClock {
 public:
  void Tick();
  // The fix line for this record's fix quality; notes a gained or lost fix.
  std::string FixText(uint32_t fixQuality);
  int32_t Seconds() const;
  bool FixShown() const;

 private:
  mutable std::mutex m_Lock;
  int32_t m_NoFixSeconds = 0;
  bool m_bFixShown = false;
};

struct MainPageTexts {
  std::string utcTime;
  std::string latitude;
  std::string longitude;
  std::string fix;
  std::string satellitesUsed;
  std::string pdop;
  std::string hdop;
  std::string vdop;
  bool operator==(const MainPageTexts&) const = default;
};

MainPageTexts MakeMainPageTexts(const GpsPosition& record, CFixClock& fixClock);
