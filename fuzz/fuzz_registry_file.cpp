// Reads the input as the registry file of a scratch device root, then reads
// the values the program reads at start-up.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Debug.h"
#include "platform/Registry.h"

namespace {

// A folder of its own for the whole run, removed at exit.
std::filesystem::path ScratchFolder() {
  static std::string pattern = (std::filesystem::temp_directory_path() / "navlume-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  std::atexit([] { std::filesystem::remove_all(pattern); });
  return pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::DebugCapture* quiet = new platform::DebugCapture;
  static const std::filesystem::path file = ScratchFolder() / "registry.reg";
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));
  platform::OpenRegistryFile(file);
  platform::RegKey key;
  if (platform::RegOpenKey(platform::RegRoot::LocalMachine, "Software\\Microsoft\\RIL", key) ==
      platform::kRegSuccess) {
    for (const char* name : {"StartOptions", "SaveNMEAData", "ExportToUart", "ExtGpsTestMode", "CurrentDriver"}) {
      char value[16];
      uint32_t type = 0;
      uint32_t length = sizeof value;
      platform::RegQueryValue(key, name, &type, value, length);
    }
    platform::RegCloseKey(key);
  }
  quiet->Clear();
  return 0;
}
