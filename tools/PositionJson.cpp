#include "tools/PositionJson.h"

#include <charconv>
#include <cstdio>
#include <iterator>

namespace {

// The double that prints as the shortest text reading back to this float
// (1.3f prints as 1.3, not 1.2999999523162842).
double ShortestFloat(float value) {
  char text[32];
  const auto printed = std::to_chars(std::begin(text), std::end(text), value);
  double widened = value;
  std::from_chars(std::begin(text), printed.ptr, widened);
  return widened;
}

std::string FormatUtcTime(const SYSTEMTIME& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", unsigned{t.wYear}, unsigned{t.wMonth},
                unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond},
                unsigned{t.wMilliseconds});
  return text;
}

}  // namespace

nlohmann::json PositionToJson(const GpsPosition& record) {
  nlohmann::json json = nlohmann::json::object();
  const uint32_t valid = record.validFields;
  json["validFields"] = valid;
  if (valid & kGpsValidUtcTime) {
    json["utcTime"] = FormatUtcTime(record.utcTime);
    json["utcDayOfWeek"] = record.utcTime.wDayOfWeek;
  }
  const auto addDouble = [&](const char* name, uint32_t bit, double value) {
    if (valid & bit) json[name] = value;
  };
  const auto addFloat = [&](const char* name, uint32_t bit, float value) {
    if (valid & bit) json[name] = ShortestFloat(value);
  };
  const auto addNumber = [&](const char* name, uint32_t bit, uint32_t value) {
    if (valid & bit) json[name] = value;
  };
  const auto addArray = [&](const char* name, uint32_t bit, const uint32_t (&values)[kGpsMaxSatellites]) {
    if (valid & bit) json[name] = values;
  };
  addDouble("latitude", kGpsValidLatitude, record.latitude);
  addDouble("longitude", kGpsValidLongitude, record.longitude);
  addFloat("speed", kGpsValidSpeed, record.speed);
  addFloat("heading", kGpsValidHeading, record.heading);
  addDouble("magneticVariation", kGpsValidMagneticVariation, record.magneticVariation);
  addFloat("altitudeSeaLevel", kGpsValidAltitudeSeaLevel, record.altitudeSeaLevel);
  addFloat("altitudeEllipsoid", kGpsValidAltitudeEllipsoid, record.altitudeEllipsoid);
  json["fixQuality"] = record.fixQuality;
  json["fixType"] = record.fixType;
  json["selectionType"] = record.selectionType;
  addFloat("pdop", kGpsValidPdop, record.pdop);
  addFloat("hdop", kGpsValidHdop, record.hdop);
  addFloat("vdop", kGpsValidVdop, record.vdop);
  addNumber("satelliteCount", kGpsValidSatelliteCount, record.satelliteCount);
  addArray("usedPrns", kGpsValidUsedPrns, record.usedPrns);
  addNumber("satellitesInView", kGpsValidSatellitesInView, record.satellitesInView);
  addArray("inViewPrns", kGpsValidInViewPrns, record.inViewPrns);
  addArray("inViewElevation", kGpsValidInViewElevation, record.inViewElevation);
  addArray("inViewAzimuth", kGpsValidInViewAzimuth, record.inViewAzimuth);
  addArray("inViewSnr", kGpsValidInViewSnr, record.inViewSnr);
  return json;
}
