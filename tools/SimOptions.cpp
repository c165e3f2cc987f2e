#include "tools/SimOptions.h"

#include <iterator>
#include <string>
#include <vector>

#include "sim/Scenario.h"

CLI::Validator GnssListCheck() {
  return CLI::Validator(
      [](std::string& text) {
        std::vector<GnssSystem> systems;
        std::string error;
        return sim::ParseGnssSystems(text, systems, error) ? std::string() : error;
      },
      "LIST");
}

CLI::Validator SimulatedRateCheck() {
  return CLI::IsMember(std::vector<int>(std::begin(sim::kSimulatedRatesHz), std::end(sim::kSimulatedRatesHz)));
}
