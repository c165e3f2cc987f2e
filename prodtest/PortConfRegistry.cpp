// CPortConf::SetRegistryKey: the receiver options kept in the registry.

#include "device/GPSDevice.h"
#include "platform/Debug.h"
#include "platform/Registry.h"
#include "prodtest/PortConf.h"
#include "prodtest/RegGetDword.h"

namespace {

// A flag is loaded only from a 4-byte value; anything else leaves it unchanged.
void QueryFlag(const platform::RegKey& key, std::string_view name, int& flag) {
  uint32_t value = 0;
  uint32_t size = sizeof value;
  if (platform::RegQueryValue(key, name, nullptr, &value, size) == platform::kRegSuccess && size == sizeof value) {
    flag = value != 0 ? 1 : 0;
  }
}

void SetFlag(const platform::RegKey& key, std::string_view name) {
  if (platform::RegSetDword(key, name, 1) != platform::kRegSuccess) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume]CPortConf::SetRegistryKey : Can't set registry key!\\r\n");
  }
}

}  // namespace

void CPortConf::SetRegistryKey(CGPSDevice& device, int prdMode) {
  platform::RegKey key;
  if (platform::RegOpenKey(platform::RegRoot::LocalMachine, kRilRegistryKey, key) != platform::kRegSuccess) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume]CPortConf::SetRegistryKey : Can't open registry key!\\r\n");
    return;
  }
  SetFlag(key, "EnableGPSPort");
  QueryFlag(key, "SaveNMEAData", device.m_bSaveNMEAData);
  QueryFlag(key, "ExportToUart", device.m_bExportToUart);
  if (prdMode == 1) {
    device.m_bColdStart = 1;
    SetFlag(key, "ExtGpsTestMode");
  } else {
    QueryFlag(key, "ExtGpsTestMode", device.m_bColdStart);
  }
  platform::RegCloseKey(key);
}
