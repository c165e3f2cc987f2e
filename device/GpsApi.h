#pragma once
// The GPS multiplexer as the program reaches it: gpsd through libgps, in the
// shape of the handheld's GPS Intermediate Driver. "Loading the library"
// succeeds when the program was built with libgps; its entry points are then
// looked up by name. GPSOpenDevice connects to gpsd at the device profile's
// [gpsd] host and port and watches its JSON reports; GPSGetPosition turns the
// newest TPV and SKY reports into a GpsPosition with the record's valid bits
// and maximum age. A lost connection yields records without valid fields and
// is retried with a growing pause.

#include <cstdint>

#include "nmea/GpsPosition.h"
#include "platform/Clock.h"

class CGpsdConnection;
using GpsApiHandle = CGpsdConnection*;

constexpr const char* kGpsApiLibraryName = "gpsapi.dll";
constexpr const char* kGPSOpenDeviceName = "GPSOpenDevice";
constexpr const char* kGPSGetDeviceStateName = "GPSGetDeviceState";
constexpr const char* kGPSGetPositionName = "GPSGetPosition";
constexpr const char* kGPSCloseDeviceName = "GPSCloseDevice";

// Results of the entry points.
constexpr uint32_t kGpsApiSuccess = 0;
constexpr uint32_t kGpsApiInvalidParameter = 87;

// Device-state record, version 2.
constexpr uint32_t kGpsDeviceStateVersion = 2;
constexpr uint32_t kGpsDeviceStateSize = 332;
constexpr uint32_t kGpsServiceOff = 0;
constexpr uint32_t kGpsServiceOn = 1;

// A FILETIME as the driver's records keep it: two 32-bit halves, 4-byte aligned.
struct SplitFileTime {
  uint32_t low;
  uint32_t high;
};

struct GpsDeviceState {
  uint32_t version;
  uint32_t size;
  uint32_t serviceState;      // on while a connection to gpsd is up
  uint32_t deviceState;       // on while that connection has delivered data
  SplitFileTime lastDataReceived;  // UTC time of the newest report, 0 before any
  char driverPrefix[16];
  char multiplexPrefix[16];
  char friendlyName[128];
  char server[148];  // "host:port" of the gpsd last connected to
};
static_assert(sizeof(GpsDeviceState) == kGpsDeviceStateSize);

// Entry points, with the driver's arguments. The two event arguments and the
// device name of GPSOpenDevice are not used (the program passes null).
using GPSOpenDeviceProc = GpsApiHandle (*)(void* newLocationData, void* deviceStateChange, const char* deviceName,
                                           uint32_t flags);
using GPSGetDeviceStateProc = uint32_t (*)(GpsDeviceState* state);
using GPSGetPositionProc = uint32_t (*)(GpsApiHandle device, GpsPosition* record, uint32_t maximumAgeMs,
                                        uint32_t flags);
using GPSCloseDeviceProc = uint32_t (*)(GpsApiHandle device);

// Stand-ins for loading the driver's library and finding its entry points.
using GpsApiProc = void (*)();
// True when the library is present (the build has libgps); counts loads.
bool LoadGpsApiLibrary();
void FreeGpsApiLibrary();
// The entry point of that name, null for an unknown name or when not loaded.
GpsApiProc GetGpsApiProcAddress(const char* name);
