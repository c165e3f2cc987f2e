#pragma once
// The serial devices a USB receiver appears as, under their stable names:
// Navlume's udev rule links a receiver it knows as <dev>/gnss-ublox0, ...,
// and udev links each one in <dev>/serial/by-id/ under a name made of its
// maker, model and serial number, which stays the same from one plug-in to the next.

#include <filesystem>
#include <string>
#include <vector>

// The <dev>/gnss-* links, the links of <dev>/serial/by-id/, then every <dev>/ttyACM* and <dev>/ttyUSB*
// that no link names, each device once.
std::vector<std::string> ListSerialDevices(const std::filesystem::path& devFolder = "/dev");

// The gnss-* or by-id link that names the same device as `path`, else `path` itself.
std::string StableDeviceName(const std::string& path, const std::filesystem::path& devFolder = "/dev");
