#include "sim/LineFormat.h"

#include <termios.h>

#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace sim {
namespace {

constexpr std::array<std::pair<speed_t, uint32_t>, 19> kSpeeds{{
    {B300, 300},       {B600, 600},       {B1200, 1200},     {B2400, 2400},     {B4800, 4800},
    {B9600, 9600},     {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
    {B230400, 230400}, {B460800, 460800}, {B500000, 500000}, {B576000, 576000}, {B921600, 921600},
    {B1000000, 1000000}, {B1152000, 1152000}, {B1500000, 1500000}, {B2000000, 2000000},
}};

LineFormat FormatOf(const termios& settings, speed_t speed) {
  LineFormat format;
  format.baud = SpeedToBaud(speed);
  switch (settings.c_cflag & CSIZE) {
    case CS5: format.dataBits = 5; break;
    case CS6: format.dataBits = 6; break;
    case CS7: format.dataBits = 7; break;
    default: format.dataBits = 8; break;
  }
  format.parity = (settings.c_cflag & PARENB) ? ((settings.c_cflag & PARODD) ? 'O' : 'E') : 'N';
  format.stopBits = (settings.c_cflag & CSTOPB) ? 2 : 1;
  return format;
}

bool ParityBit(uint32_t value, char parity) {
  const bool odd = __builtin_popcount(value) % 2 != 0;
  return parity == 'E' ? odd : !odd;
}

// The sender's frames as line levels, one per bit time.
std::vector<bool> Frames(const std::string& bytes, const LineFormat& format) {
  std::vector<bool> bits;
  for (const char c : bytes) {
    const uint32_t value = static_cast<uint8_t>(c) & ((1u << format.dataBits) - 1);
    bits.push_back(false);
    for (int i = 0; i < format.dataBits; ++i) bits.push_back(((value >> i) & 1) != 0);
    if (format.parity != 'N') bits.push_back(ParityBit(value, format.parity));
    for (int i = 0; i < format.stopBits; ++i) bits.push_back(true);
  }
  return bits;
}

}  // namespace

uint32_t SpeedToBaud(unsigned speed) {
  for (const auto& [constant, baud] : kSpeeds) {
    if (constant == speed) return baud;
  }
  return 0;
}

bool IsSupportedBaud(uint32_t baud) {
  for (const auto& entry : kSpeeds) {
    if (entry.second == baud) return true;
  }
  return false;
}

bool ReadHostFormats(int masterFd, LineFormat& hostReceive, LineFormat& hostTransmit) {
  termios settings{};
  if (masterFd < 0 || tcgetattr(masterFd, &settings) != 0) return false;
  const speed_t output = cfgetospeed(&settings);
  const speed_t input = cfgetispeed(&settings);
  hostTransmit = FormatOf(settings, output);
  hostReceive = FormatOf(settings, input == B0 ? output : input);
  return true;
}

std::string Resample(const std::string& bytes, const LineFormat& sender, const LineFormat& receiver) {
  if (sender == receiver) return bytes;
  if (sender.baud == 0 || receiver.baud == 0) return std::string(bytes.size(), '\0');
  const std::vector<bool> bits = Frames(bytes, sender);
  const double senderBit = 1.0 / sender.baud;
  const double receiverBit = 1.0 / receiver.baud;
  const double end = static_cast<double>(bits.size()) * senderBit;
  const auto level = [&](double time) {
    const auto index = static_cast<size_t>(time / senderBit);
    return index >= bits.size() || bits[index];
  };
  std::string out;
  double time = 0;
  while (time < end) {
    // Next start bit: the first low level from here.
    auto index = static_cast<size_t>(time / senderBit);
    while (index < bits.size() && bits[index]) ++index;
    if (index >= bits.size()) break;
    const double start = std::max(time, static_cast<double>(index) * senderBit);
    if (level(start + 0.5 * receiverBit)) {  // a glitch, not a start bit
      time = start + 0.5 * receiverBit;
      continue;
    }
    uint32_t value = 0;
    for (int i = 0; i < receiver.dataBits; ++i) {
      if (level(start + (i + 1.5) * receiverBit)) value |= 1u << i;
    }
    double sample = start + (receiver.dataBits + 1.5) * receiverBit;
    bool error = false;
    if (receiver.parity != 'N') {
      error = level(sample) != ParityBit(value, receiver.parity);
      sample += receiverBit;
    }
    for (int i = 0; i < receiver.stopBits; ++i) {
      error = error || !level(sample + i * receiverBit);
    }
    out.push_back(error ? '\0' : static_cast<char>(value));
    time = sample;
  }
  return out;
}

}  // namespace sim
