#pragma once
// Program-wide port names. A device's role (u-blox, OEM615, A-GPS, export) is
// found by comparing its port name with these, exactly and case-sensitively.
// Device detection sets them at start-up, before any device thread runs.

#include <cstddef>
#include <string>
#include <string_view>

// The handheld keeps port names in buffers of 10 characters, terminator included.
constexpr size_t kPortNameChars = 10;

extern std::string UbloxPortName;   // "COM2:"
extern std::string Oem615PortName;  // "COM3:"
extern std::string AgpsPortName;    // "COM9:"
extern std::string ExportPortName;  // "COM2:"

// A port name cut to what a 10-character buffer holds.
std::string PortNameOf(std::string_view name);

// Puts the four names back to their defaults (tests).
void ResetPortNames();
