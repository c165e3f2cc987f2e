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

std::vector<std::string> SeedRegistry(std::span<const RegistrySeed> seeds) {
  std::vector<std::string> written;
  for (const RegistrySeed& seed : seeds) {
    platform::RegKey key;
    if (platform::RegCreateKey(seed.root, seed.key, key) != platform::kRegSuccess) continue;
    if (!platform::RegReadDword(key, seed.name) && platform::RegSetDword(key, seed.name, seed.value) == platform::kRegSuccess)
      written.push_back(std::string(seed.name) + "=" + std::to_string(seed.value));
    platform::RegCloseKey(key);
  }
  return written;
}
