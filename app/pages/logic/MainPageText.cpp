#include "app/pages/logic/MainPageText.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kDegreeSign = "\u00B0";
// Beyond this a value cannot be a coordinate (and would not fit the degrees' integer).
constexpr double kLargestDegrees = 360.0;
constexpr double kMinutesPerDegreeFraction = 0.6;
constexpr double kMinutesScale = 100.0;
constexpr int kSecondsPerMinute = 60;

struct DopBand {
  float lower;
  float upper;
  const char* word;
};
// Tried from the top: a value on a shared bound belongs to the higher band.
constexpr DopBand kDopBands[] = {
    {21.0f, 51.0f, "Bad"}, {9.0f, 21.0f, "Fair"},      {7.0f, 9.0f, "Moderate"},
    {4.0f, 7.0f, "Good"},  {2.0f, 4.0f, "Excellent"}, {0.0f, 2.0f, "Ideal"},
};

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[260];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

bool Has(const GpsPosition& record, uint32_t bit) { return (record.validFields & bit) != 0; }

}  // namespace

std::string FormatDegreesMinutes(double degrees, char positiveHemisphere, char negativeHemisphere) {
  if (!std::isfinite(degrees) || std::fabs(degrees) > kLargestDegrees) return kMainNoCoordinate;
  const double v = std::fabs(degrees);
  const double whole = std::trunc(v);
  const double y = whole + (v - whole) * kMinutesPerDegreeFraction;
  const int shownDegrees = static_cast<int>(y);
  const double minutes = (y - std::trunc(y)) * kMinutesScale;
  const char hemisphere = degrees < 0 ? negativeHemisphere : positiveHemisphere;
  return Format("%02d%s %f %c", shownDegrees, kDegreeSign, minutes, hemisphere);
}

std::string FormatUtcTime(const GpsPosition& record) {
  if (!Has(record, kGpsValidUtcTime)) return kMainNoTime;
  const SYSTEMTIME& t = record.utcTime;
  return Format("%02d:%02d:%02d", t.wHour, t.wMinute, t.wSecond);
}

std::string FormatLatitude(const GpsPosition& record) {
  if (!Has(record, kGpsValidLatitude)) return kMainNoCoordinate;
  return FormatDegreesMinutes(record.latitude, 'N', 'S');
}

std::string FormatLongitude(const GpsPosition& record) {
  if (!Has(record, kGpsValidLongitude)) return kMainNoCoordinate;
  return FormatDegreesMinutes(record.longitude, 'E', 'W');
}

std::string FormatSatellitesUsed(const GpsPosition& record) {
  if (!Has(record, kGpsValidSatelliteCount)) return kMainNoSatellites;
  return Format("%02d", static_cast<int>(record.satelliteCount));
}

std::string RateDop(float dop) {
  for (const DopBand& band : kDopBands) {
    if (dop >= band.lower && dop < band.upper) return Format("%.1f = %s", static_cast<double>(dop), band.word);
  }
  return kMainNoDop;
}

std::string FormatDop(const GpsPosition& record, uint32_t validBit, float dop) {
  return Has(record, validBit) ? RateDop(dop) : kMainNoDop;
}

void CFixClock::Tick() {
  std::lock_guard lock(m_Lock);
  if (!m_bFixShown) ++m_NoFixSeconds;
}

std::string CFixClock::FixText(uint32_t fixQuality) {
  std::lock_guard lock(m_Lock);
  const char* kind = nullptr;
  if (fixQuality == kGpsFixQualityGps) kind = "SPS";
  if (fixQuality == kGpsFixQualityDgps) kind = "DGPS";
  if (kind == nullptr) {
    if (m_bFixShown) m_NoFixSeconds = 0;
    m_bFixShown = false;
    return kMainNoFix;
  }
  m_bFixShown = true;
  return Format("Valid %s(%02d:%02d)", kind, m_NoFixSeconds / kSecondsPerMinute, m_NoFixSeconds % kSecondsPerMinute);
}

int32_t CFixClock::Seconds() const {
  std::lock_guard lock(m_Lock);
  return m_NoFixSeconds;
}

bool CFixClock::FixShown() const {
  std::lock_guard lock(m_Lock);
  return m_bFixShown;
}

MainPageTexts MakeMainPageTexts(const GpsPosition& record, CFixClock& fixClock) {
  MainPageTexts texts;
  texts.utcTime = FormatUtcTime(record);
  texts.latitude = FormatLatitude(record);
  texts.longitude = FormatLongitude(record);
  texts.fix = fixClock.FixText(record.fixQuality);
  texts.satellitesUsed = FormatSatellitesUsed(record);
  texts.hdop = FormatDop(record, kGpsValidHdop, record.hdop);
  texts.pdop = FormatDop(record, kGpsValidPdop, record.pdop);
  texts.vdop = FormatDop(record, kGpsValidVdop, record.vdop);
  return texts;
}
