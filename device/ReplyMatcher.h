#pragma once
// Recognises the short replies that receiver start-ups wait for, byte by byte,
// as the parse thread drains the receive ring: the UBX acknowledgement of a
// CFG-RST (a 0xB5, then 62 05 01 02 00 06 04 12) and the OEM615 port prompt
// (a '[', then "COM1]"). The bytes after a marker are compared and consumed;
// the first mismatch ends the comparison and the marker stays an ordinary
// byte. A comparison cut short by an empty ring goes on with the next bytes.

#include <cstddef>
#include <cstdint>

enum class AwaitedReply { None, UbxAck, Oem615Prompt };

class CReplyMatcher {
 public:
  enum class Outcome {
    Ordinary,  // the byte belongs to the batch
    Consumed,  // compared with a reply pattern and not part of the batch
    Matched,   // the last byte of an awaited reply
  };

  // `awaited` matters only for a byte that may start a comparison (see NeedsAwaited).
  Outcome Take(uint8_t byte, AwaitedReply awaited);
  // Whether Take must know the awaited reply for this byte: a marker outside a comparison.
  bool NeedsAwaited(uint8_t byte) const;
  // A comparison is under way (it may span drains).
  bool Comparing() const { return m_pPattern != nullptr; }
  void Reset();

 private:
  struct Pattern;
  static const Pattern* PatternFor(AwaitedReply awaited);
  void EndComparison();

  const Pattern* m_pPattern = nullptr;
  size_t m_Compared = 0;
};
