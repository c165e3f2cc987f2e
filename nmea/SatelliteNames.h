#pragma once
// How Navlume names a satellite in view (the pages, the signal history): its number as the receiver sends
// it, after a letter for its system (G GPS, R GLONASS, E Galileo, C BeiDou,
// J QZSS, I NavIC, S SBAS) when the record holds satellites of several
// systems, where one number can stand for two satellites. A sky of one
// system, as from a GPS receiver, keeps plain numbers.

#include <array>
#include <cstdint>
#include <string>

#include "nmea/GnssSystem.h"
#include "nmea/GpsPosition.h"

// G, S, R, E, C, J or I; 0 for Unknown.
char SystemLetter(GnssSystem system);

// One per in-view slot; 0: no letter.
using SystemLetters = std::array<char, kGpsMaxSatellites>;

SystemLetters SatelliteSystemLetters(const GpsPosition& record, const SatelliteSystems& systems);

// "%d" of the number, after the letter when there is one.
std::string SatelliteName(uint32_t prn, char systemLetter);
