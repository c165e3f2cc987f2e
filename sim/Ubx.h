#pragma once
// What the simulated u-blox sends back in UBX (framing in nmea/UbxFraming.h).

#include <cstdint>
#include <string>

#include "nmea/UbxFraming.h"

namespace sim {

// The frame as bytes on the line.
std::string UbxBytes(uint8_t msgClass, uint8_t msgId, const std::vector<uint8_t>& payload);
// ACK-ACK (or ACK-NAK) of the message `msgClass`/`msgId`.
std::string UbxAck(uint8_t msgClass, uint8_t msgId, bool acknowledged = true);

}  // namespace sim
