// Feeds the input to NmeaParsers in chunks the fuzzer chooses, then builds a
// record: one parser takes GP alone, one every constellation talker.
// The first byte of each chunk gives the length of the chunk's data.

#include <cstddef>
#include <cstdint>

#include "nmea/NmeaParser.h"
#include "platform/Debug.h"

namespace {

void FeedInChunks(NmeaTalkers talkers, const uint8_t* data, size_t size) {
  NmeaParser parser;
  parser.SetTalkers(talkers);
  while (size > 0) {
    const size_t chunk = std::min<size_t>(data[0], size - 1);
    parser.Feed(reinterpret_cast<const char*>(data + 1), static_cast<uint32_t>(chunk));
    data += chunk + 1;
    size -= chunk + 1;
  }
  GpsPosition record{};
  record.version = kGpsPositionVersion;
  record.size = kGpsPositionSize;
  parser.GetPosition(record, kNmeaMaxAgeMs);
  SatelliteSystems systems;
  parser.GetInViewSystems(record, systems);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::DebugCapture* quiet = new platform::DebugCapture;
  FeedInChunks(NmeaTalkers::Gps, data, size);
  FeedInChunks(NmeaTalkers::Any, data, size);
  quiet->Clear();
  return 0;
}
