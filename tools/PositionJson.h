#pragma once
// A GpsPosition as JSON: the valid fields under their record names, and always
// fixQuality, fixType and selectionType. Doubles print as the shortest text
// that reads back to the same double, floats as the shortest for the float.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "nmea/GpsPosition.h"

nlohmann::json PositionToJson(const GpsPosition& record);

// Writes PositionToJson(record) with "offset" and "decoded" added as one line, keys
// in the order nlohmann::json keeps them, for a stream of records. Numbers with a
// fraction print as the shortest text that reads back to the same value (the
// library's dump sometimes adds a digit). Members whose bytes in the record did
// not change since the previous line reuse their text.
class PositionJsonLine {
 public:
  PositionJsonLine();
  void Append(std::string& out, const GpsPosition& record, uint64_t offset, int decoded);

 private:
  struct Slot {
    int member;  // index into the member table; -1 "decoded", -2 "offset"
    std::string key;  // "\"name\":"
    std::string bytes;  // the record bytes the cached text shows
    std::string text;
  };
  std::vector<Slot> m_Slots;
};
