#include "nmea/UbxFraming.h"

namespace {

constexpr uint8_t kUbxSync1 = 0xB5, kUbxSync2 = 0x62;
constexpr size_t kUbxFrameOverhead = 8;  // sync, class, id, length, checksum

}  // namespace

std::vector<uint8_t> BuildUbxMessage(uint8_t messageClass, uint8_t messageId, const std::vector<uint8_t>& payload) {
  const auto length = static_cast<uint16_t>(payload.size());
  std::vector<uint8_t> message;
  message.reserve(kUbxFrameOverhead + payload.size());
  for (const uint8_t byte : {kUbxSync1, kUbxSync2, messageClass, messageId, static_cast<uint8_t>(length & 0xFF),
                             static_cast<uint8_t>(length >> 8)})
    message.push_back(byte);
  message.insert(message.end(), payload.begin(), payload.end());
  uint8_t checkA = 0;
  uint8_t checkB = 0;
  for (size_t i = 2; i < message.size(); ++i) {
    checkA = static_cast<uint8_t>(checkA + message[i]);
    checkB = static_cast<uint8_t>(checkB + checkA);
  }
  message.push_back(checkA);
  message.push_back(checkB);
  return message;
}

void UbxFramer::Sum(uint8_t byte) {
  m_SumA = static_cast<uint8_t>(m_SumA + byte);
  m_SumB = static_cast<uint8_t>(m_SumB + m_SumA);
}

void UbxFramer::Reset() {
  m_State = State::Sync1;
  m_Frame = {};
  m_Length = 0;
  m_SumA = m_SumB = 0;
}

std::vector<UbxFrame> UbxFramer::Feed(std::string_view bytes) {
  std::vector<UbxFrame> frames;
  for (const char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    switch (m_State) {
      case State::Sync1:
        if (byte == kUbxSync1) m_State = State::Sync2;
        break;
      case State::Sync2:
        if (byte == kUbxSync2) {
          Reset();
          m_State = State::Class;
        } else {
          m_State = byte == kUbxSync1 ? State::Sync2 : State::Sync1;
        }
        break;
      case State::Class:
        m_Frame.msgClass = byte;
        Sum(byte);
        m_State = State::Id;
        break;
      case State::Id:
        m_Frame.msgId = byte;
        Sum(byte);
        m_State = State::Length1;
        break;
      case State::Length1:
        m_Length = byte;
        Sum(byte);
        m_State = State::Length2;
        break;
      case State::Length2:
        m_Length = static_cast<uint16_t>(m_Length | (byte << 8));
        Sum(byte);
        if (m_Length > kMaxPayload) {
          Reset();
        } else {
          m_State = m_Length == 0 ? State::CheckA : State::Payload;
        }
        break;
      case State::Payload:
        m_Frame.payload.push_back(byte);
        Sum(byte);
        if (m_Frame.payload.size() == m_Length) m_State = State::CheckA;
        break;
      case State::CheckA:
        m_CheckA = byte;
        m_State = State::CheckB;
        break;
      case State::CheckB:
        if (m_CheckA == m_SumA && byte == m_SumB) frames.push_back(std::move(m_Frame));
        Reset();
        break;
    }
  }
  return frames;
}
