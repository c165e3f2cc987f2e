#include "nmea/GnssSystem.h"

namespace {

struct Talker {
  char id[3];
  GnssSystem system;
};

// The first talker of a system is the one a receiver of that system uses.
constexpr Talker kTalkers[] = {
    {"GP", GnssSystem::Gps},    {"GN", GnssSystem::Unknown}, {"GL", GnssSystem::Glonass},
    {"GA", GnssSystem::Galileo}, {"GB", GnssSystem::BeiDou}, {"BD", GnssSystem::BeiDou},
    {"GQ", GnssSystem::Qzss},   {"QZ", GnssSystem::Qzss},    {"GI", GnssSystem::NavIC},
};

constexpr GnssSystem kSystemIds[] = {GnssSystem::Unknown, GnssSystem::Gps,    GnssSystem::Glonass, GnssSystem::Galileo,
                                     GnssSystem::BeiDou,  GnssSystem::Qzss, GnssSystem::NavIC};

struct NumberRange {
  uint32_t first;
  uint32_t last;
  GnssSystem system;
};

// Numbers under GPS that belong to the satellites it augments or that share its signal.
constexpr NumberRange kGpsNumbers[] = {{33, 64, GnssSystem::Sbas}, {193, 202, GnssSystem::Qzss}};

constexpr NumberRange kMixedNumbers[] = {
    {1, 32, GnssSystem::Gps},       {33, 64, GnssSystem::Sbas},     {65, 96, GnssSystem::Glonass},
    {193, 199, GnssSystem::Qzss},   {201, 237, GnssSystem::BeiDou}, {301, 336, GnssSystem::Galileo},
    {401, 437, GnssSystem::BeiDou},
};

template <size_t N>
std::optional<GnssSystem> FindNumber(const NumberRange (&ranges)[N], uint32_t prn) {
  for (const NumberRange& range : ranges) {
    if (prn >= range.first && prn <= range.last) return range.system;
  }
  return std::nullopt;
}

}  // namespace

std::optional<GnssSystem> ConstellationTalker(char first, char second) {
  for (const Talker& talker : kTalkers) {
    if (talker.id[0] == first && talker.id[1] == second) return talker.system;
  }
  return std::nullopt;
}

const char* SystemTalker(GnssSystem system) {
  if (system == GnssSystem::Sbas) system = GnssSystem::Gps;
  for (const Talker& talker : kTalkers) {
    if (talker.system == system) return talker.id;
  }
  return "GN";
}

GnssSystem SystemFromId(int32_t id) {
  return id > 0 && id < static_cast<int32_t>(std::size(kSystemIds)) ? kSystemIds[id] : GnssSystem::Unknown;
}

int32_t SystemId(GnssSystem system) {
  for (int32_t id = 1; id < static_cast<int32_t>(std::size(kSystemIds)); ++id) {
    if (kSystemIds[id] == system) return id;
  }
  return 0;
}

GnssSystem SatelliteSystem(GnssSystem reported, uint32_t prn) {
  if (reported == GnssSystem::Gps) return FindNumber(kGpsNumbers, prn).value_or(GnssSystem::Gps);
  if (reported == GnssSystem::Unknown) return FindNumber(kMixedNumbers, prn).value_or(GnssSystem::Unknown);
  return reported;
}
