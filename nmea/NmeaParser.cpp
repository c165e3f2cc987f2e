// Framing: cutting the input into sentences, the checksum, and the dispatch
// of each sentence to its decoder.

#include "nmea/NmeaParser.h"

#include <charconv>
#include <cstring>

#include "nmea/FieldReader.h"
#include "platform/Debug.h"

namespace {

// "$ttsss," : the talker, the sentence type and the comma before the first field.
constexpr uint32_t kMinSentence = 8;
constexpr size_t kTypeOffset = 3;
constexpr size_t kFirstFieldOffset = 7;
// "*hh\r\n" ends a sentence that carries a checksum; "$*hh\r\n" is the shortest.
constexpr uint32_t kChecksumTail = 5;
constexpr uint32_t kShortestWithTail = kChecksumTail + 1;

struct SentenceDecoder {
  char type[4];
  int (*decode)(NmeaParser&, FieldReader&);
  bool position;  // a position sentence: the next GSA and GSV belong to a new epoch
};

constexpr SentenceDecoder kDecoders[] = {
    {"GGA", DecodeGga, true},  {"RMC", DecodeRmc, true},  {"GSA", DecodeGsa, false},
    {"GSV", DecodeGsv, false}, {"GLL", DecodeGll, true},
};

}  // namespace

NmeaParser::NmeaParser(const LineBufferAllocator& allocator) : m_LineBuffer(allocator) {}

NmeaParser::~NmeaParser() = default;

int NmeaParser::Feed(const char* bytes, uint32_t count) {
  m_ChunkTime = platform::GetUtcFileTime();
  if (!m_LineBuffer.Append(bytes, count)) {
    platform::DebugPrint("GPS: Memory allocatin failed\r\n");
    return 0;
  }

  char* const buffer = m_LineBuffer.Data();
  const uint32_t length = m_LineBuffer.Length();
  int decoded = 0;
  uint32_t start = 0;
  uint32_t lastEnd = 0;
  bool ended = false;
  uint32_t i = 0;
  // 0: between sentences, 1: inside one, 2: after its CR.
  int state = 0;
  while (i < length) {
    if (state == 0) {
      const void* dollar = std::memchr(buffer + i, '$', length - i);
      if (dollar == nullptr) break;
      start = static_cast<uint32_t>(static_cast<const char*>(dollar) - buffer);
      i = start + 1;
      state = 1;
    } else if (state == 1) {
      const void* cr = std::memchr(buffer + i, '\r', length - i);
      if (cr == nullptr) break;
      i = static_cast<uint32_t>(static_cast<const char*>(cr) - buffer) + 1;
      state = 2;
    } else {
      // Whatever follows the CR ends the sentence; only an LF lets it be decoded.
      state = 0;
      lastEnd = i;
      ended = true;
      if (buffer[i] == '\n' && DecodeSentence(buffer + start, i - start + 1) != 0) ++decoded;
      ++i;
    }
  }

  if (ended) {
    m_LineBuffer.Discard(lastEnd + 1);
  } else if (length <= kNmeaMaxSentence) {
    // Everything stays until a sentence ends.
  } else if (state != 0 && length - start <= kNmeaLongestKeptSentence) {
    m_LineBuffer.Discard(start);
  } else {
    m_LineBuffer.Discard(length - kNmeaMaxSentence);
  }
  return decoded;
}

int NmeaParser::DecodeSentence(char* sentence, uint32_t length) {
  if (length < kMinSentence) return 0;
  if (!VerifyChecksum(sentence, length)) return 0;
  const std::optional<GnssSystem> talker = AcceptedTalker(sentence[1], sentence[2]);
  if (!talker) return 0;
  if (sentence[6] != ',') return 0;
  m_SentenceSystem = *talker;
  FieldReader reader(sentence + kFirstFieldOffset);
  for (const SentenceDecoder& decoder : kDecoders) {
    if (std::memcmp(sentence + kTypeOffset, decoder.type, 3) != 0) continue;
    if (decoder.position) {
      m_EpochUsed.OnPositionSentence();
    }
    return decoder.decode(*this, reader);
  }
  return 0;
}

std::optional<GnssSystem> NmeaParser::AcceptedTalker(char first, char second) const {
  if (m_Talkers == NmeaTalkers::Any) return ConstellationTalker(first, second);
  if (first == 'G' && second == 'P') return GnssSystem::Gps;
  return std::nullopt;
}

void NmeaParser::SetTalkers(NmeaTalkers talkers) {
  m_Talkers = talkers;
  m_Gsv = GsvCycle{};
  m_EpochUsed = EpochUsedSatellites{};
  m_EpochSky = EpochSky{};
}

void NmeaParser::ForgetReports() {
  SetTalkers(m_Talkers);
  m_Store = PositionStore{};
  m_InViewSystems = StampedValue<SatelliteSystems>{};
  m_LineBuffer.Clear();
}

bool VerifyChecksum(char* sentence, uint32_t length) {
  // Too short for a '$' ahead of the place of a checksum tail.
  if (length < kShortestWithTail) return false;
  char* const star = sentence + length - kChecksumTail;
  if (*star != '*') {
    sentence[length - 2] = '\0';
    return true;
  }
  // The tail must be exactly two hex digits (either case) before the CR.
  unsigned received = 0;
  const char* digits = star + 1;
  const auto [stop, error] = std::from_chars(digits, digits + 2, received, 16);
  const bool readable = error == std::errc{} && stop == digits + 2;
  const uint8_t computed = NmeaChecksum(sentence + 1, length - 6);
  if (!readable || received != computed) {
    platform::DebugPrint(
        "AGPS: NMEA CheckSum in packet (0x%02x) did not match checksum calculated (0x%02x).  Throwing out "
        "sentence\r\n",
        received & 0xFFu, static_cast<unsigned>(computed));
    return false;
  }
  *star = '\0';
  return true;
}

uint8_t NmeaChecksum(const char* bytes, size_t count) {
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(bytes[i]));
  return sum;
}
