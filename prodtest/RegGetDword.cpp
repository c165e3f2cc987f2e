#include "prodtest/RegGetDword.h"

int RegGetDword(platform::RegRoot root, std::string_view subKey, std::string_view name, uint32_t* out) {
  if (out == nullptr) return 0;
  platform::RegKey key;
  if (platform::RegCreateKey(root, subKey, key) != platform::kRegSuccess) return 0;
  const std::optional<uint32_t> value = platform::RegReadDword(key, name);
  platform::RegCloseKey(key);
  if (!value) return 0;
  *out = *value;
  return 1;
}
