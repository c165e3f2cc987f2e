// CPortConf::SetRegistryKey: the receiver options kept in the registry.

#include "device/GPSDevice.h"
#include "platform/Debug.h"
#include "platform/Registry.h"
#include "prodtest/PortConf.h"
#include "prodtest/RegGetDword.h"

namespace {

// A flag is loaded only from a 4-byte value; anything else leaves it unchanged.
void QueryFlag(const platform::RegKey& key, std::string_view name, int& flag) {
  if (const std::optional<uint32_t> value = platform::RegReadDword(key, name)) flag = *value != 0 ? 1 : 0;
}

void SetFlag(const platform::RegKey& key, std::string_view name) {
  if (platform::RegSetDword(key, name, 1) != platform::kRegSuccess) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume]CPortConf::SetRegistryKey : Can't set registry key!\r\n");
  }
}

}  // namespace

void CPortConf::SetRegistryKey(CGPSDevice& device, int prdMode) {
  platform::RegKey key;
  if (platform::RegOpenKey(platform::RegRoot::LocalMachine, kRilRegistryKey, key) != platform::kRegSuccess) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume]CPortConf::SetRegistryKey : Can't open registry key!\r\n");
    return;
  }
  SetFlag(key, "EnableGPSPort");
  QueryFlag(key, kSaveNmeaDataValue, device.m_bSaveNMEAData);
  QueryFlag(key, kExportToUartValue, device.m_bExportToUart);
  if (prdMode == 1) {
    device.m_bColdStart = 1;
    SetFlag(key, kExtGpsTestModeValue);
  } else {
    QueryFlag(key, kExtGpsTestModeValue, device.m_bColdStart);
  }
  platform::RegCloseKey(key);
}
