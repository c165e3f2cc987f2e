#pragma once
// The checks of the simulators' --gnss and --rate, for navlume-cli sim and navlume --simulate.

#include <CLI/CLI.hpp>

// A --gnss list of systems that the simulators know.
CLI::Validator GnssListCheck();
// A --rate that the simulators send at.
CLI::Validator SimulatedRateCheck();
