#include "platform/DeviceRoot.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/Debug.h"
#include "platform/DeviceProfile.h"
#include "platform/Registry.h"

namespace platform {
namespace {

std::mutex g_Mutex;
std::filesystem::path g_Root;

constexpr const char* kFirstDeviceIni =
    "; Navlume device profile: what this unit carries and where it is connected.\n"
    "; Lines starting with ';' or '#' are comments. Changes take effect at the next start.\n"
    "\n"
    "[hardware]\n"
    "; GPS hardware type: 0 none, 3 u-blox 7 (on COM2:), 4 NovAtel OEM615 (on COM3:).\n"
    "gps_type = 0\n"
    "; WWAN hardware type: 0 none, 2 Cinterion PHS8 whose GPS is the A-GPS receiver (on COM9:).\n"
    "wwan_type = 0\n"
    "\n"
    "[ports]\n"
    "; Maps the program's port names to serial devices, one per line, for example:\n"
    ";   COM2: = /dev/ttyACM0      u-blox 7 on USB\n"
    ";   COM3: = /dev/ttyUSB0      NovAtel OEM615 through a USB serial adapter\n"
    ";   COM9: = /dev/ttyUSB2      PHS8 A-GPS port\n"
    "; Use stable names from /dev/serial/by-id/ where the device has one.\n"
    "; navlume-cli detect --write finds the receivers on USB serial devices and maps them here.\n"
    "\n"
    "[power]\n"
    "; Optional file written with 1 or 0 when the GPS receiver is switched on or off,\n"
    "; for example a GPIO value file:\n"
    ";   gps = /sys/class/gpio/gpio17/value\n"
    "\n"
    "[gpsd]\n"
    "; Where gpsd listens when the receiver is reached through the GPS multiplexer.\n"
    "host = 127.0.0.1\n"
    "port = 2947\n"
    "\n"
    "[station]\n"
    "; The name of this test station in the production result journal (default: the host name):\n"
    ";   name = Line 4\n"
    "; Without a name, what names it: hostname, or serial for the unit's hardware serial number\n"
    "; (DMI product serial, else the device tree's, else /etc/machine-id), for units built from\n"
    "; one image that share a host name:\n"
    ";   name_from = serial\n"
    "\n"
    "[nmea]\n"
    "; Talkers decoded on a directly connected receiver: GP (GPS alone), or any for a\n"
    "; multi-constellation receiver (GN, GP, GL, GA, GB, BD, GQ, QZ, GI).\n"
    "talkers = GP\n"
    "\n"
    "[results]\n"
    "; The line's results database, a libpq connection string (none: the journal alone), for example:\n"
    ";   database = host=db.example dbname=line user=navlume_station sslmode=verify-full\n"
    "; Never a password here: keep it in ~/.pgpass (mode 0600), PGPASSFILE or a service file.\n"
    "\n"
    "[pages]\n"
    "; 1 adds the History tab (the last 5 minutes of C/N0 per satellite) after Position.\n"
    "history = 0\n";

std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

bool WriteFirstDeviceIni(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return true;
  std::ofstream out(file);
  out << kFirstDeviceIni;
  out.close();
  return static_cast<bool>(out);
}

const char* RootFromEnvironment() {
  const char* root = std::getenv("NAVLUME_ROOT");
  return root && *root ? root : nullptr;
}

}  // namespace

bool DeviceRootNamed(const std::string& rootOption) { return !rootOption.empty() || RootFromEnvironment(); }

std::filesystem::path ResolveDeviceRoot(const std::string& rootOption) {
  if (!rootOption.empty()) return rootOption;
  if (const char* root = RootFromEnvironment()) return root;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') return std::filesystem::path(data) / "navlume";
  return HomeFolder() / ".local" / "share" / "navlume";
}

bool SetDeviceRoot(const std::filesystem::path& root) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(root, ec);
  if (ec) {
    DebugPrint("[DeviceRoot] Can't use %s: %s\r\n", root.c_str(), ec.message().c_str());
    return false;
  }
  std::filesystem::create_directories(absolute / "files" / "Temp", ec);
  if (ec) {
    DebugPrint("[DeviceRoot] Can't create %s: %s\r\n", absolute.c_str(), ec.message().c_str());
    return false;
  }
  const std::filesystem::path ini = absolute / "device.ini";
  if (!WriteFirstDeviceIni(ini)) DebugPrint("[DeviceRoot] Can't write %s\r\n", ini.c_str());
  SetCurrentDeviceProfile(LoadDeviceProfile(ini));
  OpenRegistryFile(absolute / "registry.reg");
  std::lock_guard lock(g_Mutex);
  g_Root = absolute;
  return true;
}

void ResetDeviceRoot() {
  SetCurrentDeviceProfile(DeviceProfile{});
  OpenRegistryFile({});
  std::lock_guard lock(g_Mutex);
  g_Root.clear();
}

std::filesystem::path DeviceRoot() {
  {
    std::lock_guard lock(g_Mutex);
    if (!g_Root.empty()) return g_Root;
  }
  return ResolveDeviceRoot();
}

std::filesystem::path MapHandheldPath(std::string_view handheldPath) {
  std::filesystem::path path = DeviceRoot() / "files";
  while (!handheldPath.empty()) {
    const size_t end = handheldPath.find_first_of("\\/");
    const std::string_view part = handheldPath.substr(0, end);
    // "." and ".." never lead out of the files folder.
    if (!part.empty() && part != "." && part != "..") path /= std::string(part);
    if (end == std::string_view::npos) break;
    handheldPath.remove_prefix(end + 1);
  }
  return path;
}

bool StorageCardPresent() {
  std::error_code ec;
  return std::filesystem::exists(DeviceRoot() / "files" / "Storage Card", ec);
}

}  // namespace platform
