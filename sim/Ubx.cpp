#include "sim/Ubx.h"

namespace sim {
namespace {

constexpr uint8_t kSync1 = 0xB5, kSync2 = 0x62;

}  // namespace

std::string UbxEncode(const UbxFrame& frame) {
  const auto length = static_cast<uint16_t>(frame.payload.size());
  std::string bytes{static_cast<char>(kSync1), static_cast<char>(kSync2)};
  std::string body{static_cast<char>(frame.msgClass), static_cast<char>(frame.msgId),
                   static_cast<char>(length & 0xFF), static_cast<char>(length >> 8)};
  body.append(frame.payload.begin(), frame.payload.end());
  uint8_t a = 0, b = 0;
  for (const char c : body) {
    a = static_cast<uint8_t>(a + static_cast<uint8_t>(c));
    b = static_cast<uint8_t>(b + a);
  }
  return bytes + body + static_cast<char>(a) + static_cast<char>(b);
}

std::string UbxAck(uint8_t msgClass, uint8_t msgId, bool acknowledged) {
  return UbxEncode({kUbxClassAck, acknowledged ? kUbxIdAckAck : kUbxIdAckNak, {msgClass, msgId}});
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

std::vector<UbxFrame> UbxFramer::Feed(const std::string& bytes) {
  std::vector<UbxFrame> frames;
  for (const char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    switch (m_State) {
      case State::Sync1:
        if (byte == kSync1) m_State = State::Sync2;
        break;
      case State::Sync2:
        if (byte == kSync2) {
          Reset();
          m_State = State::Class;
        } else {
          m_State = byte == kSync1 ? State::Sync2 : State::Sync1;
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

}  // namespace sim
