#include "platform/DeviceApi.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/Debug.h"
#include "platform/DeviceProfile.h"

namespace {

std::atomic<bool> g_GpsPower{false};

// Held while the power is switched and the listeners run, so that switches are
// seen in order and a removed listener is never called afterwards. Recursive:
// a listener may remove itself.
std::recursive_mutex g_PowerMutex;
std::map<int, platform::GpsPowerListener> g_Listeners;
int g_NextListenerId = 1;

void WritePowerFile(const std::string& file, bool on) {
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const char* text = on ? "1" : "0";
  const bool written = fd >= 0 && write(fd, text, 1) == 1;
  const int error = errno;
  if (fd >= 0) close(fd);
  if (!written) {
    platform::DebugPrint("[DeviceApi] Can't write the GPS power file %s: %s\r\n", file.c_str(), std::strerror(error));
  }
}

}  // namespace

// The stand-in holds nothing per user: the profile and the power state live for the whole process.
int DeviceApiInit() { return 1; }

int DeviceApiDeinit() { return 1; }

int DeviceApiGet(uint32_t code, uint32_t, uint32_t, uint32_t, uint32_t* value) {
  if (!value) return 0;
  switch (code) {
    case kDevApiGpsPower:
      *value = g_GpsPower.load() ? 1 : 0;
      return 1;
    case kDevApiGpsHardwareType:
      *value = platform::CurrentDeviceProfile().gpsType;
      return 1;
    case kDevApiWwanHardwareType:
      *value = platform::CurrentDeviceProfile().wwanType;
      return 1;
    default:
      return 0;
  }
}

int DeviceApiSet(uint32_t code, uint32_t, uint32_t, uint32_t value) {
  if (code != kDevApiGpsPower) return 0;
  const bool on = value != 0;
  std::lock_guard lock(g_PowerMutex);
  g_GpsPower.store(on);
  const std::string powerFile = platform::CurrentDeviceProfile().powerFile;
  if (!powerFile.empty()) WritePowerFile(powerFile, on);
  // A copy: a listener may add or remove listeners while it runs.
  const auto listeners = g_Listeners;
  for (const auto& [id, listener] : listeners) {
    if (g_Listeners.count(id)) listener(on);
  }
  return 1;
}

namespace platform {

bool GpsPowerOn() { return g_GpsPower.load(); }

int AddGpsPowerListener(GpsPowerListener listener) {
  std::lock_guard lock(g_PowerMutex);
  const int id = g_NextListenerId++;
  g_Listeners.emplace(id, std::move(listener));
  return id;
}

void RemoveGpsPowerListener(int id) {
  std::lock_guard lock(g_PowerMutex);
  g_Listeners.erase(id);
}

void ResetGpsPower() {
  std::lock_guard lock(g_PowerMutex);
  g_GpsPower.store(false);
}

}  // namespace platform
