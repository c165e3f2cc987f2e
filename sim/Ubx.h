#pragma once
// UBX framing: 0xB5 0x62, class, id, 16-bit little-endian length, payload,
// two-byte checksum over class to payload end.

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

constexpr uint8_t kUbxClassAck = 0x05, kUbxIdAckNak = 0x00, kUbxIdAckAck = 0x01;
constexpr uint8_t kUbxClassCfg = 0x06, kUbxIdCfgPrt = 0x00, kUbxIdCfgRst = 0x04;

struct UbxFrame {
  uint8_t msgClass = 0;
  uint8_t msgId = 0;
  std::vector<uint8_t> payload;
};

// The frame as bytes on the line, checksum included.
std::string UbxEncode(const UbxFrame& frame);
// ACK-ACK (or ACK-NAK) of the message `msgClass`/`msgId`.
std::string UbxAck(uint8_t msgClass, uint8_t msgId, bool acknowledged = true);

// Finds valid frames in a byte stream; other bytes and frames with a wrong
// checksum are dropped.
class UbxFramer {
 public:
  static constexpr size_t kMaxPayload = 1024;
  // Appends bytes; returns the complete valid frames they finished.
  std::vector<UbxFrame> Feed(const std::string& bytes);
  void Reset();

 private:
  enum class State { Sync1, Sync2, Class, Id, Length1, Length2, Payload, CheckA, CheckB };
  State m_State = State::Sync1;
  UbxFrame m_Frame;
  uint16_t m_Length = 0;
  uint8_t m_CheckA = 0;
  uint8_t m_SumA = 0, m_SumB = 0;
  void Sum(uint8_t byte);
};

}  // namespace sim
