#include "app/pages/logic/SettingsOptions.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/DeviceRoot.h"
#include "platform/Registry.h"
#include "prodtest/RegGetDword.h"

uint32_t ReadRilOption(std::string_view name) {
  uint32_t value = 0;
  RegGetDword(platform::RegRoot::LocalMachine, kRilRegistryKey, name, &value);
  return value;
}

void WriteRilOption(std::string_view name, uint32_t value) {
  platform::RegKey key;
  if (platform::RegCreateKey(platform::RegRoot::LocalMachine, kRilRegistryKey, key) != platform::kRegSuccess) return;
  platform::RegSetDword(key, name, value);
  platform::RegCloseKey(key);
  platform::RegFlushKey(platform::RegRoot::LocalMachine);
}

std::string ProbeLogPath() {
  const int fd = ::open(platform::MapHandheldPath(kCardLogPath).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return kTempLogPath;
  ::close(fd);
  return kCardLogPath;
}
