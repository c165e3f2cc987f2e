#include "device/GpsApi.h"

#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#ifdef NAVLUME_HAVE_LIBGPS
#include <new>

#include "device/GpsdConnection.h"
#include "platform/DeviceProfile.h"
#endif

namespace {
std::mutex g_LibraryLock;
int g_LoadCount = 0;
}  // namespace

#ifdef NAVLUME_HAVE_LIBGPS
namespace {
constexpr const char* kDriverPrefix = "GPD";
constexpr const char* kFriendlyName = "gpsd";

// Connections in the order they were opened; the device state describes the newest.
std::mutex g_ConnectionsLock;
std::vector<CGpsdConnection*> g_Connections;

bool Loaded() {
  std::lock_guard lock(g_LibraryLock);
  return g_LoadCount > 0;
}

template <size_t N>
void CopyText(char (&target)[N], const char* text) {
  std::strncpy(target, text, N - 1);
  target[N - 1] = '\0';
}

GpsApiHandle GPSOpenDevice(void* /*newLocationData*/, void* /*deviceStateChange*/, const char* /*deviceName*/,
                           uint32_t /*flags*/) {
  const platform::DeviceProfile profile = platform::CurrentDeviceProfile();
  auto* connection = new (std::nothrow) CGpsdConnection(profile.gpsdHost, profile.gpsdPort);
  if (connection == nullptr) return nullptr;
  if (!connection->Connect()) {
    delete connection;
    return nullptr;
  }
  std::lock_guard lock(g_ConnectionsLock);
  g_Connections.push_back(connection);
  return connection;
}

uint32_t GPSCloseDevice(GpsApiHandle device) {
  if (device == nullptr) return kGpsApiInvalidParameter;
  {
    std::lock_guard lock(g_ConnectionsLock);
    std::erase(g_Connections, device);
  }
  delete device;
  return kGpsApiSuccess;
}

uint32_t GPSGetPosition(GpsApiHandle device, GpsPosition* record, uint32_t maximumAgeMs, uint32_t /*flags*/) {
  if (device == nullptr || record == nullptr) return kGpsApiInvalidParameter;
  device->GetPosition(*record, maximumAgeMs);
  return kGpsApiSuccess;
}

uint32_t GPSGetDeviceState(GpsDeviceState* state) {
  if (state == nullptr || state->version != kGpsDeviceStateVersion || state->size != kGpsDeviceStateSize)
    return kGpsApiInvalidParameter;
  std::memset(state, 0, sizeof *state);
  state->version = kGpsDeviceStateVersion;
  state->size = kGpsDeviceStateSize;
  CopyText(state->driverPrefix, kDriverPrefix);
  CopyText(state->friendlyName, kFriendlyName);
  std::lock_guard lock(g_ConnectionsLock);
  if (!g_Connections.empty()) g_Connections.back()->GetDeviceState(*state);
  return kGpsApiSuccess;
}
}  // namespace

bool LoadGpsApiLibrary() {
  std::lock_guard lock(g_LibraryLock);
  ++g_LoadCount;
  return true;
}

GpsApiProc GetGpsApiProcAddress(const char* name) {
  if (name == nullptr || !Loaded()) return nullptr;
  const std::string_view wanted(name);
  if (wanted == kGPSOpenDeviceName) return reinterpret_cast<GpsApiProc>(&GPSOpenDevice);
  if (wanted == kGPSGetDeviceStateName) return reinterpret_cast<GpsApiProc>(&GPSGetDeviceState);
  if (wanted == kGPSGetPositionName) return reinterpret_cast<GpsApiProc>(&GPSGetPosition);
  if (wanted == kGPSCloseDeviceName) return reinterpret_cast<GpsApiProc>(&GPSCloseDevice);
  return nullptr;
}
#else
// Built without libgps: the multiplexer's library is missing.
bool LoadGpsApiLibrary() { return false; }

GpsApiProc GetGpsApiProcAddress(const char* /*name*/) { return nullptr; }
#endif

void FreeGpsApiLibrary() {
  std::lock_guard lock(g_LibraryLock);
  if (g_LoadCount > 0) --g_LoadCount;
}
