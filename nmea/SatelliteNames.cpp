#include "nmea/SatelliteNames.h"

#include <algorithm>

char SystemLetter(GnssSystem system) {
  switch (system) {
    case GnssSystem::Gps: return 'G';
    case GnssSystem::Sbas: return 'S';
    case GnssSystem::Glonass: return 'R';
    case GnssSystem::Galileo: return 'E';
    case GnssSystem::BeiDou: return 'C';
    case GnssSystem::Qzss: return 'J';
    case GnssSystem::NavIC: return 'I';
    default: return 0;
  }
}

SystemLetters SatelliteSystemLetters(const GpsPosition& record, const SatelliteSystems& systems) {
  SystemLetters letters{};
  const size_t count = std::min<size_t>(record.satellitesInView, kGpsMaxSatellites);
  const auto known = [&](size_t slot) { return record.inViewPrns[slot] != 0 && systems[slot] != GnssSystem::Unknown; };
  size_t first = 0;
  while (first < count && !known(first)) ++first;
  bool mixed = false;
  for (size_t slot = first + 1; slot < count; ++slot) mixed = mixed || (known(slot) && systems[slot] != systems[first]);
  if (!mixed) return letters;
  for (size_t slot = 0; slot < count; ++slot) letters[slot] = SystemLetter(systems[slot]);
  return letters;
}

std::string SatelliteName(uint32_t prn, char systemLetter) {
  const std::string number = std::to_string(static_cast<int>(prn));
  return systemLetter != 0 ? systemLetter + number : number;
}
