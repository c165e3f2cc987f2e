#include "device/ReplyMatcher.h"

#include "platform/Debug.h"

struct CReplyMatcher::Pattern {
  uint8_t marker;
  const uint8_t* bytes;
  size_t length;
};

namespace {
// ACK-ACK for CFG-RST up to its first checksum byte; the second one is not compared.
constexpr uint8_t kUbxAckMarker = 0xB5;
constexpr uint8_t kUbxAckBytes[] = {0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x04, 0x12};
constexpr uint8_t kOem615PromptMarker = '[';
constexpr uint8_t kOem615PromptBytes[] = {'C', 'O', 'M', '1', ']'};
}  // namespace

const CReplyMatcher::Pattern* CReplyMatcher::PatternFor(AwaitedReply awaited) {
  static constexpr Pattern kUbxAck{kUbxAckMarker, kUbxAckBytes, sizeof kUbxAckBytes};
  static constexpr Pattern kOem615Prompt{kOem615PromptMarker, kOem615PromptBytes, sizeof kOem615PromptBytes};
  switch (awaited) {
    case AwaitedReply::UbxAck:
      return &kUbxAck;
    case AwaitedReply::Oem615Prompt:
      return &kOem615Prompt;
    case AwaitedReply::None:
      break;
  }
  return nullptr;
}

CReplyMatcher::Outcome CReplyMatcher::Take(uint8_t byte, AwaitedReply awaited) {
  if (m_pPattern == nullptr) {
    const Pattern* pattern = PatternFor(awaited);
    if (pattern != nullptr && byte == pattern->marker) m_pPattern = pattern;
    return Outcome::Ordinary;
  }
  platform::DebugPrint("[%x]", byte);
  if (byte != m_pPattern->bytes[m_Compared]) {
    EndComparison();
    return Outcome::Consumed;
  }
  if (++m_Compared < m_pPattern->length) return Outcome::Consumed;
  EndComparison();
  return Outcome::Matched;
}

bool CReplyMatcher::NeedsAwaited(uint8_t byte) const {
  return m_pPattern == nullptr && (byte == kUbxAckMarker || byte == kOem615PromptMarker);
}

void CReplyMatcher::Reset() {
  m_pPattern = nullptr;
  m_Compared = 0;
}

void CReplyMatcher::EndComparison() {
  platform::DebugPrint("\r\n");
  Reset();
}
