#pragma once
// Satellite systems (constellations) and how NMEA 0183 names them: the talker
// of a sentence, the system id of NMEA 4.10, and the satellite numbers that
// receivers give each system when one talker (GN) reports several.

#include <array>
#include <cstdint>
#include <optional>

#include "nmea/GpsPosition.h"

enum class GnssSystem : uint8_t { Unknown, Gps, Sbas, Glonass, Galileo, BeiDou, Qzss, NavIC };

// The system of each in-view slot of a GpsPosition; Unknown where nothing says.
using SatelliteSystems = std::array<GnssSystem, kGpsMaxSatellites>;

// Which talkers the decoder takes: GP alone, or every constellation talker.
enum class NmeaTalkers : uint8_t { Gps, Any };

// The system a constellation talker stands for: GP, GL, GA, GB or BD, GQ or
// QZ, GI; GN (several systems) gives Unknown. Nothing for any other talker.
std::optional<GnssSystem> ConstellationTalker(char first, char second);

// The talker of a receiver that reports one system ("GP" also for SBAS, "GL",
// "GA", "GB", "GQ", "GI"); "GN" for Unknown.
const char* SystemTalker(GnssSystem system);

// NMEA 4.10 system ids: 1 GPS, 2 GLONASS, 3 Galileo, 4 BeiDou, 5 QZSS, 6 NavIC.
GnssSystem SystemFromId(int32_t id);
int32_t SystemId(GnssSystem system);

// The system of satellite `prn` in a sentence that names `reported`. Under
// GPS, numbers 33-64 are SBAS and 193-202 QZSS; with Unknown (GN without a
// system id) the system comes from the number alone (1-32 GPS, 33-64 SBAS,
// 65-96 GLONASS, 193-199 QZSS, 201-237 and 401-437 BeiDou, 301-336 Galileo).
GnssSystem SatelliteSystem(GnssSystem reported, uint32_t prn);
