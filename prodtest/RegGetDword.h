#pragma once
// Reading one REG_DWORD option, and the key that holds the start option and
// the receiver options.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

// HKEY_LOCAL_MACHINE key of the start option and the receiver options.
constexpr std::string_view kRilRegistryKey = "Software\\Microsoft\\RIL";
// Its values, each a REG_DWORD.
inline constexpr std::string_view kStartOptionsValue = "StartOptions";
inline constexpr std::string_view kSaveNmeaDataValue = "SaveNMEAData";
inline constexpr std::string_view kExportToUartValue = "ExportToUart";
inline constexpr std::string_view kExtGpsTestModeValue = "ExtGpsTestMode";

// Reads a 4-byte value into `out`, creating the key when it is missing.
// 1 when read; 0 with `out` unchanged otherwise (no such value, not 4 bytes, null `out`).
int RegGetDword(platform::RegRoot root, std::string_view subKey, std::string_view name, uint32_t* out);

// One value that a simulated handheld's registry starts with.
struct RegistrySeed {
  platform::RegRoot root;
  std::string_view key;
  std::string_view name;
  uint32_t value;
};
// A simulated handheld starts in Direct Access.
inline constexpr RegistrySeed kSimulatedStartOption{platform::RegRoot::LocalMachine, kRilRegistryKey,
                                                    kStartOptionsValue, 1};

// Writes each seed whose value the registry lacks, keeping those it has;
// "Name=value" of each one written.
std::vector<std::string> SeedRegistry(std::span<const RegistrySeed> seeds);
