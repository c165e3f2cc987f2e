#pragma once
// The maker's device-control library: GPS power and hardware types, answered
// from the device profile. The power state is kept in memory (simulators in
// this process observe it) and written to the profile's power file, if any.

#include <cstdint>
#include <functional>

constexpr uint32_t kDevApiGpsPower = 0x000A0001;
constexpr uint32_t kDevApiGpsHardwareType = 0x00030016;
constexpr uint32_t kDevApiWwanHardwareType = 0x00030015;

int DeviceApiInit();
int DeviceApiDeinit();
// Non-zero on success; 0 for an unknown code (value untouched).
int DeviceApiGet(uint32_t code, uint32_t reserved1, uint32_t reserved2, uint32_t reserved3, uint32_t* value);
int DeviceApiSet(uint32_t code, uint32_t reserved1, uint32_t reserved2, uint32_t value);

namespace platform {

bool GpsPowerOn();
// Called on the switching thread after every DeviceApiSet of the power code.
using GpsPowerListener = std::function<void(bool on)>;
int AddGpsPowerListener(GpsPowerListener listener);
void RemoveGpsPowerListener(int id);
// Puts the in-memory power state back to off (tests).
void ResetGpsPower();

}  // namespace platform
