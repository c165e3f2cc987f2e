#include "prodtest/RegGetDword.h"

int RegGetDword(platform::RegRoot root, std::string_view subKey, std::string_view name, uint32_t* out) {
  if (out == nullptr) return 0;
  platform::RegKey key;
  if (platform::RegCreateKey(root, subKey, key) != platform::kRegSuccess) return 0;
  uint32_t value = 0;
  uint32_t size = sizeof value;
  const long result = platform::RegQueryValue(key, name, nullptr, &value, size);
  platform::RegCloseKey(key);
  if (result != platform::kRegSuccess || size != sizeof value) return 0;
  *out = value;
  return 1;
}
