#include "sim/Ubx.h"

namespace sim {

std::string UbxBytes(uint8_t msgClass, uint8_t msgId, const std::vector<uint8_t>& payload) {
  const std::vector<uint8_t> bytes = BuildUbxMessage(msgClass, msgId, payload);
  return {bytes.begin(), bytes.end()};
}

std::string UbxAck(uint8_t msgClass, uint8_t msgId, bool acknowledged) {
  return UbxBytes(kUbxClassAck, acknowledged ? kUbxIdAckAck : kUbxIdAckNak, {msgClass, msgId});
}

}  // namespace sim
