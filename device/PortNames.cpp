#include "device/PortNames.h"

namespace {
constexpr const char* kDefaultUbloxPort = "COM2:";
constexpr const char* kDefaultOem615Port = "COM3:";
constexpr const char* kDefaultAgpsPort = "COM9:";
constexpr const char* kDefaultExportPort = "COM2:";
}  // namespace

std::string UbloxPortName = kDefaultUbloxPort;
std::string Oem615PortName = kDefaultOem615Port;
std::string AgpsPortName = kDefaultAgpsPort;
std::string ExportPortName = kDefaultExportPort;

std::string PortNameOf(std::string_view name) { return std::string(name.substr(0, kPortNameChars - 1)); }

void ResetPortNames() {
  UbloxPortName = kDefaultUbloxPort;
  Oem615PortName = kDefaultOem615Port;
  AgpsPortName = kDefaultAgpsPort;
  ExportPortName = kDefaultExportPort;
}
