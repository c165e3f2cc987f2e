#pragma once
// UBX framing, shared by the device layer and the simulators: 0xB5 0x62,
// class, id, 16-bit little-endian payload length, payload, then the two-byte
// checksum over class to payload end.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

constexpr uint8_t kUbxClassAck = 0x05, kUbxIdAckNak = 0x00, kUbxIdAckAck = 0x01;
constexpr uint8_t kUbxClassCfg = 0x06, kUbxIdCfgPrt = 0x00, kUbxIdCfgRst = 0x04;
constexpr uint8_t kUbxClassMon = 0x0A, kUbxIdMonVer = 0x04;
// MON-VER's payload: NUL-padded texts of fixed widths, the software and
// hardware versions, then any number of extensions.
constexpr size_t kUbxMonVerSoftwareWidth = 30, kUbxMonVerHardwareWidth = 10, kUbxMonVerExtensionWidth = 30;

struct UbxFrame {
  uint8_t msgClass = 0;
  uint8_t msgId = 0;
  std::vector<uint8_t> payload;
};

// The message as bytes on the line, checksum included. Without a payload it
// is a poll: the receiver answers with that message.
std::vector<uint8_t> BuildUbxMessage(uint8_t messageClass, uint8_t messageId, const std::vector<uint8_t>& payload = {});

// Finds valid frames in a byte stream; other bytes and frames with a wrong
// checksum are dropped.
class UbxFramer {
 public:
  static constexpr size_t kMaxPayload = 1024;
  // Appends bytes; returns the complete valid frames they finished.
  std::vector<UbxFrame> Feed(std::string_view bytes);
  void Reset();

 private:
  enum class State { Sync1, Sync2, Class, Id, Length1, Length2, Payload, CheckA, CheckB };
  void Sum(uint8_t byte);

  State m_State = State::Sync1;
  UbxFrame m_Frame;
  uint16_t m_Length = 0;
  uint8_t m_CheckA = 0;
  uint8_t m_SumA = 0, m_SumB = 0;
};
