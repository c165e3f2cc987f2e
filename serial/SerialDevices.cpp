#include "serial/SerialDevices.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace {

constexpr const char* kByIdFolder = "serial/by-id";
constexpr const char* kUsbTtyPrefixes[] = {"ttyACM", "ttyUSB"};
constexpr const char* kReceiverLinkPrefix = "gnss-";  // the links of Navlume's udev rule

// The device a name stands for; empty when it does not exist.
std::filesystem::path DeviceOf(const std::filesystem::path& path) {
  std::error_code ec;
  const std::filesystem::path device = std::filesystem::canonical(path, ec);
  return ec ? std::filesystem::path() : device;
}

// The folder's entries in name order.
std::vector<std::filesystem::path> Entries(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> entries;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) entries.push_back(entry.path());
  std::sort(entries.begin(), entries.end());
  return entries;
}

// By name, then number: ttyACM2 before ttyACM10.
bool NumberedBefore(const std::filesystem::path& a, const std::filesystem::path& b) {
  const auto key = [](const std::filesystem::path& path) {
    std::string name = path.filename().string();
    std::string prefix = name.substr(0, name.find_last_not_of("0123456789") + 1);
    return std::tuple(std::move(prefix), name.size(), name);
  };
  return key(a) < key(b);
}

bool IsUsbTty(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  return std::any_of(std::begin(kUsbTtyPrefixes), std::end(kUsbTtyPrefixes),
                     [&](const char* prefix) { return name.rfind(prefix, 0) == 0; });
}

// The stable links, best first: the udev rule's (/dev/gnss-ublox0), then <dev>/serial/by-id/.
std::vector<std::filesystem::path> StableLinks(const std::filesystem::path& devFolder) {
  std::vector<std::filesystem::path> links = Entries(devFolder);
  std::erase_if(links, [](const std::filesystem::path& path) {
    return path.filename().string().rfind(kReceiverLinkPrefix, 0) != 0;
  });
  std::sort(links.begin(), links.end(), NumberedBefore);
  const std::vector<std::filesystem::path> byId = Entries(devFolder / kByIdFolder);
  links.insert(links.end(), byId.begin(), byId.end());
  return links;
}

}  // namespace

std::vector<std::string> ListSerialDevices(const std::filesystem::path& devFolder) {
  std::vector<std::filesystem::path> links = StableLinks(devFolder);
  std::vector<std::filesystem::path> ttys = Entries(devFolder);
  std::erase_if(ttys, [](const std::filesystem::path& path) { return !IsUsbTty(path); });
  std::sort(ttys.begin(), ttys.end(), NumberedBefore);

  std::vector<std::string> names;
  std::set<std::filesystem::path> devices;
  for (const auto* group : {&links, &ttys}) {
    for (const std::filesystem::path& path : *group) {
      const std::filesystem::path device = DeviceOf(path);
      if (!device.empty() && devices.insert(device).second) names.push_back(path.string());
    }
  }
  return names;
}

std::string StableDeviceName(const std::string& path, const std::filesystem::path& devFolder) {
  const std::filesystem::path device = DeviceOf(path);
  if (device.empty()) return path;
  for (const std::filesystem::path& link : StableLinks(devFolder)) {
    if (DeviceOf(link) == device) return link.string();
  }
  return path;
}
