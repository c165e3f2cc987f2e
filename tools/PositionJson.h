#pragma once
// The one JSON form of a GpsPosition that the headless commands print: one
// object per line, the valid fields under their record names and always
// fixQuality, fixType and selectionType, plus the members a command adds
// (such as "offset" or "state"). Keys are sorted. Doubles print as the
// shortest text that reads back to the same double, floats as the shortest
// for the float, whole numbers without a fraction (545, not 545.0). A number
// that is not finite (a NaN or an infinity in the record) is written as null.
// The same record with the same added members always gives the same text.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "nmea/GpsPosition.h"

// JSON text of an added member's value.
std::string JsonNumber(int64_t number);
// A JSON string; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

class PositionJsonLine {
 public:
  // `extraKeys`: the members added to every line, in the order Append takes their values.
  explicit PositionJsonLine(std::vector<std::string> extraKeys);
  // Appends one line; `extraValues` are JSON texts, one per extra key.
  // Members whose bytes in the record did not change since the previous line reuse their text.
  void Append(std::string& out, const GpsPosition& record, std::initializer_list<std::string_view> extraValues);

 private:
  struct Slot {
    int member;         // index into the member table, or ExtraSlot(index of the extra key)
    std::string key;    // "\"name\":"
    std::string bytes;  // the record bytes the cached text shows
    std::string text;
  };
  std::vector<Slot> m_Slots;
};
