#pragma once
// What the Settings page keeps in the registry and shows about the log file:
// the start option and the receiver options under HKEY_LOCAL_MACHINE
// "Software\Microsoft\RIL", each a REG_DWORD read at the next start.

#include <cstdint>
#include <string>
#include <string_view>

#include "prodtest/RegGetDword.h"

constexpr uint32_t kStartOptionMultiplexer = 0;
constexpr uint32_t kStartOptionDirectAccess = 1;

// The only receiver type whose export to a UART the page offers.
constexpr int32_t kExportableGpsType = 2;

inline constexpr const char* kCardLogPath = "\\Storage Card\\NMEADATA.LOG";
inline constexpr const char* kTempLogPath = "\\Temp\\NMEADATA.LOG";

inline constexpr const char* kRestartNavlumeMessage = "To apply this option, Navlume should be restart!!";
inline constexpr const char* kRestartPhoneModuleMessage = "To apply this option, phone module should be restart!!";
inline constexpr const char* kRestartCaption = "ERROR";

// The value, or 0 when it is missing or not 4 bytes long.
uint32_t ReadRilOption(std::string_view name);
// Writes the value and flushes the registry; the result is not looked at by
// the page, which shows its restart message either way.
void WriteRilOption(std::string_view name, uint32_t value);

// The card's log file when it can be opened for reading and writing (it is
// closed again at once), else the one in \Temp.
std::string ProbeLogPath();
