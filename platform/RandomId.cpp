#include "platform/RandomId.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include "platform/Debug.h"

namespace platform {
namespace {

constexpr size_t kUuidBytes = 16;
constexpr size_t kVersionByte = 6;
constexpr uint8_t kVersion4 = 0x40;  // the high nibble of byte 6
constexpr uint8_t kVersionMask = 0x0F;  // keeps the low nibble
constexpr size_t kVariantByte = 8;
constexpr uint8_t kVariantRfc4122 = 0x80;  // the two high bits of byte 8: 10
constexpr uint8_t kVariantMask = 0x3F;
constexpr std::array<size_t, 4> kHyphenBefore = {4, 6, 8, 10};  // bytes that follow a hyphen
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr unsigned kNibbleBits = 4;
constexpr uint8_t kLowNibble = 0x0F;

bool FillRandom(std::array<uint8_t, kUuidBytes>& bytes) {
  for (size_t filled = 0; filled < bytes.size();) {
    const ssize_t count = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    filled += static_cast<size_t>(count);
  }
  return true;
}

}  // namespace

std::string RandomUuid() {
  std::array<uint8_t, kUuidBytes> bytes{};
  if (!FillRandom(bytes)) {
    NAVLUME_ERROR_LOCATION();
    DebugPrint("[Navlume] No random bytes for an id! (errno %d)\r\n", errno);
    return "";
  }
  bytes[kVersionByte] = static_cast<uint8_t>((bytes[kVersionByte] & kVersionMask) | kVersion4);
  bytes[kVariantByte] = static_cast<uint8_t>((bytes[kVariantByte] & kVariantMask) | kVariantRfc4122);
  std::string uuid;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (std::find(kHyphenBefore.begin(), kHyphenBefore.end(), i) != kHyphenBefore.end()) uuid += '-';
    uuid += kHexDigits[bytes[i] >> kNibbleBits];
    uuid += kHexDigits[bytes[i] & kLowNibble];
  }
  return uuid;
}

}  // namespace platform
