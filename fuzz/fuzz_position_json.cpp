// Writes fuzzer-made records (every field, any bits) as JSON lines and checks
// that each line is one valid JSON object. The first kGpsPositionSize bytes
// are the first record, the next as many the second (written after the first,
// so cached member texts are exercised), and what is left is the raw text added
// to every line.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tools/PositionJson.h"

namespace {

GpsPosition TakeRecord(const uint8_t*& data, size_t& size) {
  GpsPosition record{};
  const size_t taken = std::min(size, sizeof record);
  std::memcpy(&record, data, taken);
  data += taken;
  size -= taken;
  return record;
}

void CheckLine(const std::string& line) {
  if (line.empty() || line.back() != '\n' || std::count(line.begin(), line.end(), '\n') != 1) std::abort();
  const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const GpsPosition first = TakeRecord(data, size);
  const GpsPosition second = TakeRecord(data, size);
  const std::string raw = JsonString(std::string_view(reinterpret_cast<const char*>(data), size));
  PositionJsonLine writer({"raw", "state"});
  for (const GpsPosition& record : {first, second, first}) {
    std::string line;
    writer.Append(line, record, {raw, JsonNumber(first.fixMode)});
    CheckLine(line);
  }
  return 0;
}
