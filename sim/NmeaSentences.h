#pragma once
// NMEA sentences built from an epoch, with their checksums and CR LF.

#include <string>
#include <string_view>
#include <vector>

#include "sim/Scenario.h"

namespace sim {

// "$" + body + "*hh\r\n".
std::string NmeaSentence(std::string_view body);

std::string BuildGga(const Epoch& epoch, const std::string& talker = "GP", int decimals = 4);
std::string BuildRmc(const Epoch& epoch, const std::string& talker = "GP");
std::string BuildGsa(const Epoch& epoch, const std::string& talker = "GP");
std::string BuildGsv(const Epoch& epoch, const std::string& talker = "GP");  // the whole cycle
std::string BuildGll(const Epoch& epoch, const std::string& talker = "GP");
std::string BuildVtg(const Epoch& epoch, const std::string& talker = "GP");
std::string BuildZda(const Epoch& epoch, const std::string& talker = "GP");
// A multi-constellation receiver's GSA of one system (GN, with the NMEA 4.10
// system id) and its GSV cycle (the system's talker, with the signal id).
std::string BuildSystemGsa(const Epoch& epoch, GnssSystem system);
std::string BuildSystemGsv(const Epoch& epoch, GnssSystem system);

// Sentences of `type` ("GGA", "RMC", "GSA", "GSV", "GLL", "VTG", "ZDA");
// empty for an unknown type.
std::string BuildSentences(const std::string& type, const Epoch& epoch, const std::string& talker = "GP");

// The standard epoch: GGA, RMC, GSA, GSV cycle, GLL with the scenario's talker
// (a multi-constellation scenario: RMC, VTG, GGA, GSA and GSV per system, GLL),
// then its extra sentences.
std::string BuildEpoch(const Scenario& scenario, const Epoch& epoch);

}  // namespace sim
