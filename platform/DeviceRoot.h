#pragma once
// The device root: the one folder that holds everything the program keeps
// (device.ini, registry.reg, files/). Handheld paths such as "\Temp\X.LOG"
// map below <root>/files.

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// --root DIR when given, else $NAVLUME_ROOT, else $XDG_DATA_HOME/navlume
// (~/.local/share/navlume).
std::filesystem::path ResolveDeviceRoot(const std::string& rootOption = {});
// True when the root was named (--root or $NAVLUME_ROOT) rather than the default one.
bool DeviceRootNamed(const std::string& rootOption);

// Makes `root` the device root of this process: creates root, files/,
// files/Temp/ and a commented device.ini without hardware when missing, then
// loads the device profile and binds the registry file. False when the folder
// cannot be created (logged).
bool SetDeviceRoot(const std::filesystem::path& root);
std::filesystem::path DeviceRoot();
// Forgets the root that SetDeviceRoot made current (its folder may be about
// to go): DeviceRoot() resolves again, the profile is empty and the registry
// lives in memory only.
void ResetDeviceRoot();

// "\Temp\NMEADATA_COM4.LOG" -> <root>/files/Temp/NMEADATA_COM4.LOG.
std::filesystem::path MapHandheldPath(std::string_view handheldPath);

// The storage card is present when <root>/files/Storage Card exists.
bool StorageCardPresent();

}  // namespace platform
