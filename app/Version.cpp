#include "app/Version.h"

#include <array>

namespace {
constexpr size_t kPartCount = 3;
constexpr size_t kMaxPartChars = 7;  // the label's part buffers hold 8 with the terminator
}  // namespace

std::string VersionLabel(std::string_view fileVersion) {
  std::array<std::string, kPartCount> parts;
  for (std::string& part : parts) {
    const size_t comma = fileVersion.find(',');
    std::string_view text = fileVersion.substr(0, comma);
    fileVersion = comma == std::string_view::npos ? std::string_view() : fileVersion.substr(comma + 1);
    const size_t first = text.find_first_not_of(' ');
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    part = std::string(text.substr(0, kMaxPartChars));
  }
  return "(v" + parts[0] + "." + parts[1] + "." + parts[2] + ")";
}
