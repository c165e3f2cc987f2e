#pragma once
// The unit's own serial number, for naming a station when units built from
// one image share a host name: the DMI product serial (PCs and industrial
// boxes), else the device tree's serial number (ARM boards), else the
// machine id that the system draws at its first boot.

#include <filesystem>
#include <string>

namespace platform {

// Read below `systemRoot` ("/" on the unit); empty when none can be read. The
// placeholders that makers leave in the DMI table ("To be filled by O.E.M.",
// "Default string") name no unit and are passed over, and so is a DMI serial
// that only root may read.
std::string HardwareSerial(const std::filesystem::path& systemRoot = "/");

}  // namespace platform
