// Reads the input as the test configuration file "\Navlume.ini" of a scratch
// device root, the way the station reads it at start-up.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Debug.h"
#include "platform/DeviceRoot.h"
#include "prodtest/PortConf.h"

namespace {

// A device root of its own for the whole run, removed at exit.
std::filesystem::path ScratchRoot() {
  static std::string pattern = (std::filesystem::temp_directory_path() / "navlume-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  std::atexit([] { std::filesystem::remove_all(pattern); });
  platform::SetDeviceRoot(pattern);
  return pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::DebugCapture* quiet = new platform::DebugCapture;
  static const std::filesystem::path root = ScratchRoot();
  static const std::filesystem::path file = platform::MapHandheldPath("\\Navlume.ini");
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));
  CPortConf conf;
  const int found = conf.ConfigFileOpen();
  if (found != (conf.m_PortCount > 0 ? 1 : 0) || conf.m_PortCount > 2 || conf.m_TestType > 1 ||
      conf.m_TestTimeout > 100) {
    std::abort();
  }
  quiet->Clear();
  return 0;
}
