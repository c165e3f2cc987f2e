#pragma once
// Serial line format and what a mismatched line does to the bytes. The host's
// settings are read from the pseudo-terminal's master, which reports the
// slave's termios.

#include <cstdint>
#include <string>

namespace sim {

struct LineFormat {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;
  char parity = 'N';  // 'N', 'E' or 'O'
  uint8_t stopBits = 1;
  bool operator==(const LineFormat&) const = default;
};

// The host's receive (input) and transmit (output) formats; false when the
// settings cannot be read.
bool ReadHostFormats(int masterFd, LineFormat& hostReceive, LineFormat& hostTransmit);

// termios speed constant <-> bits per second; 0 / false for unsupported rates.
uint32_t SpeedToBaud(unsigned speed);
bool IsSupportedBaud(uint32_t baud);

// What a UART set to `receiver` reads from bytes sent with `sender`: frames are
// re-sampled bit by bit, framing and parity errors read as NUL. Identical
// formats give the bytes back unchanged.
std::string Resample(const std::string& bytes, const LineFormat& sender, const LineFormat& receiver);

}  // namespace sim
