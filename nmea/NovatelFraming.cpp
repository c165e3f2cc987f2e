#include "nmea/NovatelFraming.h"

#include <charconv>
#include <cstdio>

namespace {

constexpr uint32_t kCrc32Polynomial = 0xEDB88320;
constexpr size_t kCrcDigits = 8;

}  // namespace

uint32_t NovatelCrc32(std::string_view text) {
  uint32_t crc = 0;
  for (const char c : text) {
    uint32_t value = (crc ^ static_cast<uint8_t>(c)) & 0xFF;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ kCrc32Polynomial : value >> 1;
    crc = ((crc >> 8) & 0x00FFFFFF) ^ value;
  }
  return crc;
}

std::string FrameNovatelAscii(std::string_view text) {
  char crc[kCrcDigits + 1];
  std::snprintf(crc, sizeof crc, "%08x", NovatelCrc32(text));
  return "#" + std::string(text) + "*" + crc + "\r\n";
}

std::optional<std::string_view> UnframeNovatelAscii(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.size() < kCrcDigits + 2 || line.front() != '#' || line[line.size() - kCrcDigits - 1] != '*') return {};
  const std::string_view digits = line.substr(line.size() - kCrcDigits);
  uint32_t received = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), received, 16);
  if (error != std::errc() || end != digits.data() + digits.size()) return {};
  const std::string_view text = line.substr(1, line.size() - kCrcDigits - 2);
  if (NovatelCrc32(text) != received) return {};
  return text;
}
