#include "app/PowerTimeouts.h"

#include <array>
#include <cstdint>
#include <optional>

#include "platform/Debug.h"
#include "platform/Event.h"
#include "platform/Registry.h"

namespace {

using platform::RegRoot;

constexpr const char* kReloadEvent = "PowerManager/ReloadActivityTimeouts";

struct TimeoutValue {
  const char* name;
  const char* queryFailure;  // null: the location alone is printed
  const char* writeFailure;
};

constexpr std::array<TimeoutValue, 2> kBackLightValues{{
    {"BatteryTimeout", "[Navlume] Can't open ControlPanel\\BackLight\\BatteryTimeout registry key!\r\n",
     "[Navlume] Can't set ControlPanel\\BackLight\\BatteryTimeout registry key!\r\n"},
    {"ACTimeout", nullptr, "[Navlume] Can't set ControlPanel\\BackLight\\ACTimeout registry key!\r\n"},
}};

constexpr std::array<TimeoutValue, 2> kSuspendValues{{
    {"BattSuspendTimeout",
     "[Navlume] Can't open SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts\\BattSuspendTimeout registry key!\r\n",
     "[Navlume] Can't set SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts\\BattSuspendTimeout registry key!\r\n"},
    {"ACSuspendTimeout", nullptr,
     "[Navlume] Can't set SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts\\ACSuspendTimeout registry key!\r\n"},
}};

// The remembered values: backlight battery, backlight AC, suspend battery, suspend AC.
std::array<std::optional<uint32_t>, 4> g_Saved;

void Fail(int line, const char* message) {
  platform::DebugErrorLocation(__FILE_NAME__, line);
  if (message != nullptr) platform::DebugPrint("%s", message);
}

// Query (save) and write one value; false after printing its failure.
bool SaveOrRestore(const platform::RegKey& key, const TimeoutValue& value, std::optional<uint32_t>& slot, bool save) {
  uint32_t written = 0;
  if (save) {
    const std::optional<uint32_t> current = platform::RegReadDword(key, value.name);
    if (!current) {
      Fail(__LINE__, value.queryFailure);
      return false;
    }
    slot = current;
  } else {
    if (!slot) return true;  // never saved: leave the device's setting alone
    written = *slot;
  }
  if (platform::RegSetDword(key, value.name, written) != platform::kRegSuccess) {
    Fail(__LINE__, value.writeFailure);
    return false;
  }
  return true;
}

bool SetKeyTimeouts(RegRoot root, const char* subKey, const char* openFailure,
                    const std::array<TimeoutValue, 2>& values, size_t firstSlot, bool save) {
  platform::RegKey key;
  if (platform::RegOpenKey(root, subKey, key) != platform::kRegSuccess) {
    Fail(__LINE__, openFailure);
    return false;
  }
  bool ok = true;
  for (size_t i = 0; i < values.size() && ok; ++i) ok = SaveOrRestore(key, values[i], g_Saved[firstSlot + i], save);
  if (ok) platform::RegFlushKey(root);
  platform::RegCloseKey(key);
  return ok;
}

}  // namespace

bool SetPowerTimeouts(bool save) {
  if (!SetKeyTimeouts(RegRoot::CurrentUser, kBackLightKey,
                      "[Navlume] Can't open ControlPanel\\BackLight registry key!\r\n", kBackLightValues, 0, save))
    return false;
  if (!SetKeyTimeouts(RegRoot::LocalMachine, kPowerTimeoutsKey, nullptr, kSuspendValues, 2, save)) return false;
  if (const auto reload = platform::OpenNamedEvent(kReloadEvent)) reload->Set();
  return true;
}

void ResetPowerTimeouts() { g_Saved.fill(std::nullopt); }
