#pragma once
// The GPS data record: one picture of the receiver's latest time, position, fix
// and satellites. Its byte layout is that of the GPS Intermediate Driver's
// position record, version 2, so one type serves the NMEA decoder and the driver.

#include <cstddef>
#include <cstdint>

#include "platform/Clock.h"

constexpr uint32_t kGpsPositionVersion = 2;
constexpr uint32_t kGpsPositionSize = 376;
constexpr size_t kGpsMaxSatellites = 12;
constexpr size_t kGpsPositionErrorValues = 5;

// Bits of GpsPosition::validFields, one per field.
constexpr uint32_t kGpsValidUtcTime = 0x00000001;
constexpr uint32_t kGpsValidLatitude = 0x00000002;
constexpr uint32_t kGpsValidLongitude = 0x00000004;
constexpr uint32_t kGpsValidSpeed = 0x00000008;
constexpr uint32_t kGpsValidHeading = 0x00000010;
constexpr uint32_t kGpsValidMagneticVariation = 0x00000020;
constexpr uint32_t kGpsValidAltitudeSeaLevel = 0x00000040;
constexpr uint32_t kGpsValidAltitudeEllipsoid = 0x00000080;
constexpr uint32_t kGpsValidPdop = 0x00000100;
constexpr uint32_t kGpsValidHdop = 0x00000200;
constexpr uint32_t kGpsValidVdop = 0x00000400;
constexpr uint32_t kGpsValidSatelliteCount = 0x00000800;
constexpr uint32_t kGpsValidUsedPrns = 0x00001000;
constexpr uint32_t kGpsValidSatellitesInView = 0x00002000;
constexpr uint32_t kGpsValidInViewPrns = 0x00004000;
constexpr uint32_t kGpsValidInViewElevation = 0x00008000;
constexpr uint32_t kGpsValidInViewAzimuth = 0x00010000;
constexpr uint32_t kGpsValidInViewSnr = 0x00020000;
constexpr uint32_t kGpsValidPositionError = 0x00040000;
constexpr uint32_t kGpsValidFixMode = 0x00080000;
constexpr uint32_t kGpsValidFixError = 0x00100000;

// fixQuality, fixType and selectionType values. These three carry no valid bit:
// they read 0 when stale.
constexpr uint32_t kGpsFixQualityUnknown = 0;
constexpr uint32_t kGpsFixQualityGps = 1;
constexpr uint32_t kGpsFixQualityDgps = 2;
// A GPS or a differential fix.
constexpr bool IsFixQuality(uint32_t fixQuality) {
  return fixQuality == kGpsFixQualityGps || fixQuality == kGpsFixQualityDgps;
}
constexpr uint32_t kGpsFixUnknown = 0;
constexpr uint32_t kGpsFix2D = 1;
constexpr uint32_t kGpsFix3D = 2;
constexpr uint32_t kGpsFixSelectionUnknown = 0;
constexpr uint32_t kGpsFixSelectionAuto = 1;
constexpr uint32_t kGpsFixSelectionManual = 2;

struct GpsPosition {
  uint32_t version;
  uint32_t size;
  uint32_t validFields;
  uint32_t flags;
  SYSTEMTIME utcTime;
  double latitude;           // decimal degrees, north positive
  double longitude;          // decimal degrees, east positive
  float speed;               // knots
  float heading;             // degrees from true north
  double magneticVariation;  // degrees, east positive
  float altitudeSeaLevel;    // metres
  float altitudeEllipsoid;   // the GGA geoidal separation as it comes, metres
  uint32_t fixQuality;
  uint32_t fixType;
  uint32_t selectionType;
  float pdop;
  float hdop;
  float vdop;
  uint32_t satelliteCount;
  uint32_t usedPrns[kGpsMaxSatellites];  // 0 marks an empty slot
  uint32_t satellitesInView;
  uint32_t inViewPrns[kGpsMaxSatellites];
  uint32_t inViewElevation[kGpsMaxSatellites];
  uint32_t inViewAzimuth[kGpsMaxSatellites];
  uint32_t inViewSnr[kGpsMaxSatellites];
  uint32_t positionError[kGpsPositionErrorValues];
  uint32_t fixMode;
  uint32_t fixError;
};

static_assert(sizeof(GpsPosition) == kGpsPositionSize);
static_assert(offsetof(GpsPosition, version) == 0);
static_assert(offsetof(GpsPosition, size) == 4);
static_assert(offsetof(GpsPosition, validFields) == 8);
static_assert(offsetof(GpsPosition, flags) == 12);
static_assert(offsetof(GpsPosition, utcTime) == 16);
static_assert(offsetof(GpsPosition, latitude) == 32);
static_assert(offsetof(GpsPosition, longitude) == 40);
static_assert(offsetof(GpsPosition, speed) == 48);
static_assert(offsetof(GpsPosition, heading) == 52);
static_assert(offsetof(GpsPosition, magneticVariation) == 56);
static_assert(offsetof(GpsPosition, altitudeSeaLevel) == 64);
static_assert(offsetof(GpsPosition, altitudeEllipsoid) == 68);
static_assert(offsetof(GpsPosition, fixQuality) == 72);
static_assert(offsetof(GpsPosition, fixType) == 76);
static_assert(offsetof(GpsPosition, selectionType) == 80);
static_assert(offsetof(GpsPosition, pdop) == 84);
static_assert(offsetof(GpsPosition, hdop) == 88);
static_assert(offsetof(GpsPosition, vdop) == 92);
static_assert(offsetof(GpsPosition, satelliteCount) == 96);
static_assert(offsetof(GpsPosition, usedPrns) == 100);
static_assert(offsetof(GpsPosition, satellitesInView) == 148);
static_assert(offsetof(GpsPosition, inViewPrns) == 152);
static_assert(offsetof(GpsPosition, inViewElevation) == 200);
static_assert(offsetof(GpsPosition, inViewAzimuth) == 248);
static_assert(offsetof(GpsPosition, inViewSnr) == 296);
static_assert(offsetof(GpsPosition, positionError) == 344);
static_assert(offsetof(GpsPosition, fixMode) == 364);
static_assert(offsetof(GpsPosition, fixError) == 368);
