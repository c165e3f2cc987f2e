#include "tools/PositionJson.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cmath>
#include <cstdio>
#include <iterator>

#include <nlohmann/json.hpp>

namespace {

constexpr const char* kNonFiniteText = "null";

std::string FormatUtcTime(const SYSTEMTIME& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", unsigned{t.wYear}, unsigned{t.wMonth},
                unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond},
                unsigned{t.wMilliseconds});
  return text;
}

// A float shown as the shortest text for the float itself.
struct ShortFloat {
  float value;
};

template <typename T>
std::string JsonText(const T& value) {
  return nlohmann::json(value).dump();
}
template <typename Number>
std::string ShortestText(Number number) {
  if (!std::isfinite(number)) return kNonFiniteText;
  char text[32];
  const auto printed = std::to_chars(std::begin(text), std::end(text), number);
  return std::string(text, printed.ptr);
}
std::string JsonText(double number) { return ShortestText(number); }
std::string JsonText(ShortFloat number) { return ShortestText(number.value); }

// One JSON member: its name, the valid bit that makes it appear (0: always),
// the record bytes it shows and its text.
struct Member {
  const char* name;
  uint32_t validBit;
  size_t offset;
  size_t size;
  std::string (*text)(const GpsPosition&);
};

#define NAVLUME_MEMBER(name, bit, field, expression)                                                      \
  Member {                                                                                               \
    name, bit, offsetof(GpsPosition, field), sizeof(GpsPosition::field),                                 \
        [](const GpsPosition& r) { return JsonText(expression); }                                       \
  }

const Member kMembers[] = {
    NAVLUME_MEMBER("utcTime", kGpsValidUtcTime, utcTime, FormatUtcTime(r.utcTime)),
    NAVLUME_MEMBER("utcDayOfWeek", kGpsValidUtcTime, utcTime.wDayOfWeek, r.utcTime.wDayOfWeek),
    NAVLUME_MEMBER("latitude", kGpsValidLatitude, latitude, r.latitude),
    NAVLUME_MEMBER("longitude", kGpsValidLongitude, longitude, r.longitude),
    NAVLUME_MEMBER("speed", kGpsValidSpeed, speed, ShortFloat{r.speed}),
    NAVLUME_MEMBER("heading", kGpsValidHeading, heading, ShortFloat{r.heading}),
    NAVLUME_MEMBER("magneticVariation", kGpsValidMagneticVariation, magneticVariation, r.magneticVariation),
    NAVLUME_MEMBER("altitudeSeaLevel", kGpsValidAltitudeSeaLevel, altitudeSeaLevel, ShortFloat{r.altitudeSeaLevel}),
    NAVLUME_MEMBER("altitudeEllipsoid", kGpsValidAltitudeEllipsoid, altitudeEllipsoid,
                   ShortFloat{r.altitudeEllipsoid}),
    NAVLUME_MEMBER("fixQuality", 0, fixQuality, r.fixQuality),
    NAVLUME_MEMBER("fixType", 0, fixType, r.fixType),
    NAVLUME_MEMBER("selectionType", 0, selectionType, r.selectionType),
    NAVLUME_MEMBER("pdop", kGpsValidPdop, pdop, ShortFloat{r.pdop}),
    NAVLUME_MEMBER("hdop", kGpsValidHdop, hdop, ShortFloat{r.hdop}),
    NAVLUME_MEMBER("vdop", kGpsValidVdop, vdop, ShortFloat{r.vdop}),
    NAVLUME_MEMBER("satelliteCount", kGpsValidSatelliteCount, satelliteCount, r.satelliteCount),
    NAVLUME_MEMBER("usedPrns", kGpsValidUsedPrns, usedPrns, r.usedPrns),
    NAVLUME_MEMBER("satellitesInView", kGpsValidSatellitesInView, satellitesInView, r.satellitesInView),
    NAVLUME_MEMBER("inViewPrns", kGpsValidInViewPrns, inViewPrns, r.inViewPrns),
    NAVLUME_MEMBER("inViewElevation", kGpsValidInViewElevation, inViewElevation, r.inViewElevation),
    NAVLUME_MEMBER("inViewAzimuth", kGpsValidInViewAzimuth, inViewAzimuth, r.inViewAzimuth),
    NAVLUME_MEMBER("inViewSnr", kGpsValidInViewSnr, inViewSnr, r.inViewSnr),
    NAVLUME_MEMBER("validFields", 0, validFields, r.validFields),
};

#undef NAVLUME_MEMBER

bool Shown(const Member& member, const GpsPosition& record) {
  return member.validBit == 0 || (record.validFields & member.validBit) != 0;
}

// Slots of the added members take negative numbers: -1 for the first.
int ExtraSlot(size_t index) { return -1 - static_cast<int>(index); }
size_t ExtraIndex(int slotMember) { return static_cast<size_t>(-1 - slotMember); }

}  // namespace

std::string JsonNumber(int64_t number) { return std::to_string(number); }

std::string JsonString(std::string_view text) {
  return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

PositionJsonLine::PositionJsonLine(std::vector<std::string> extraKeys) {
  const auto add = [this](int member, const std::string& name) {
    m_Slots.push_back({member, JsonString(name) + ":", {}, {}});
  };
  for (int i = 0; i < static_cast<int>(std::size(kMembers)); ++i) add(i, kMembers[i].name);
  for (size_t i = 0; i < extraKeys.size(); ++i) add(ExtraSlot(i), extraKeys[i]);
  std::sort(m_Slots.begin(), m_Slots.end(), [](const Slot& a, const Slot& b) { return a.key < b.key; });
}

void PositionJsonLine::Append(std::string& out, const GpsPosition& record,
                              std::initializer_list<std::string_view> extraValues) {
  const auto* bytes = reinterpret_cast<const char*>(&record);
  char separator = '{';
  for (Slot& slot : m_Slots) {
    if (slot.member >= 0) {
      const Member& member = kMembers[slot.member];
      if (!Shown(member, record)) continue;
      const std::string_view shown(bytes + member.offset, member.size);
      if (slot.text.empty() || slot.bytes != shown) {
        slot.bytes.assign(shown);
        slot.text = member.text(record);
      }
    } else {
      const size_t index = ExtraIndex(slot.member);
      slot.text = index < extraValues.size() ? std::string(extraValues.begin()[index]) : kNonFiniteText;
    }
    out += separator;
    out += slot.key;
    out += slot.text;
    separator = ',';
  }
  out += "}\n";
}
