#include "platform/HardwareSerial.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string_view>

namespace platform {
namespace {

// In the order they are tried.
constexpr std::array<const char*, 3> kSerialFiles = {"sys/class/dmi/id/product_serial",
                                                     "proc/device-tree/serial-number", "etc/machine-id"};

constexpr std::array<std::string_view, 7> kPlaceholders = {
    "to be filled by o.e.m.", "default string", "system serial number", "not specified", "not applicable",
    "none", "0123456789"};

// The file's first line, up to a NUL (the device tree ends its strings with one), without surrounding blanks.
std::string FirstLine(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  text = text.substr(0, text.find_first_of(std::string_view("\0\n", 2)));
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
  text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
  return text;
}

bool IsPlaceholder(std::string serial) {
  std::transform(serial.begin(), serial.end(), serial.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(kPlaceholders.begin(), kPlaceholders.end(), serial) != kPlaceholders.end();
}

}  // namespace

std::string HardwareSerial(const std::filesystem::path& systemRoot) {
  for (const char* file : kSerialFiles) {
    const std::string serial = FirstLine(systemRoot / file);
    if (!serial.empty() && !IsPlaceholder(serial)) return serial;
  }
  return "";
}

}  // namespace platform
