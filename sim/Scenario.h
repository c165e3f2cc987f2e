#pragma once
// What a simulated receiver sees: where it is and how it moves, the satellites
// and how they change, when it gets its fix, and the faults to inject. Times
// are seconds of scenario time (since the simulator started); the time to
// first fix counts from the receiver's last boot (power-on or cold start).

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "nmea/GnssSystem.h"

namespace sim {

constexpr double kForever = std::numeric_limits<double>::infinity();

struct TimeWindow {
  double from = 0;
  double to = kForever;
  bool Contains(double t) const { return t >= from && t < to; }
};

struct SatelliteChange {
  double at = 0;
  std::optional<int> elevation;
  std::optional<int> azimuth;
  std::optional<int> snr;
  std::optional<bool> used;
};

struct SimSatellite {
  int prn = 0;  // as the receiver reports it: GLONASS 65-96, Galileo and BeiDou from 1
  int elevation = 0;
  int azimuth = 0;
  int snr = 0;      // dB-Hz; 0: in view but not tracked
  bool used = true;  // used in the fix when tracked
  TimeWindow visible;
  std::vector<SatelliteChange> changes;  // applied in time order
  GnssSystem system = GnssSystem::Gps;
};

enum class FaultType { BadChecksum, Junk, CutLine, Silence, Vanish };

struct Fault {
  double at = 0;
  FaultType type = FaultType::Junk;
  double duration = 0;  // Silence: seconds without output
  uint32_t bytes = 64;  // Junk: burst length
};

// A sentence emitted in every epoch besides the standard ones: "VTG", "ZDA",
// a standard type with another talker ("GN" + "GGA"), or a fixed body ("PUBX,00").
struct ExtraSentence {
  std::string talker = "GP";
  std::string type;
  std::string body;  // when set, sent as "$<body>*hh"
};

struct Scenario {
  std::string name = "built-in";
  int64_t startUtc = 1714557600;  // Unix seconds at scenario time 0
  double latitude = 49.2741667;   // degrees, north positive
  double longitude = -123.1853333;
  double altitude = 70.0;  // metres above mean sea level
  double geoidSeparation = -17.0;
  double speedKnots = 0;
  double courseDegrees = 0;
  double ttff = 30;  // seconds from boot to the first fix
  double hdop = 0.9, pdop = 1.6, vdop = 1.3;
  std::vector<SimSatellite> satellites;
  std::vector<TimeWindow> lostFix;
  std::vector<TimeWindow> differential;
  std::vector<Fault> faults;  // kept sorted by time
  std::string talker = "GP";
  std::vector<ExtraSentence> extraSentences;
  // Systems the receiver tracks; with any but GPS alone it reports as a modern
  // multi-constellation receiver (GN, one GSA per system, GSV per system).
  std::vector<GnssSystem> systems{GnssSystem::Gps};
  int rateHz = 1;  // solutions per second; a divisor of 1000
  bool GpsOnly() const { return systems.size() == 1 && systems.front() == GnssSystem::Gps; }
};

// Systems of --gnss and of a scenario's "gnss": "gps", "glonass", "galileo", "beidou".
bool ParseGnssSystems(const std::string& commaSeparated, std::vector<GnssSystem>& systems, std::string& error);
// Tracks these systems; a system without satellites in the scenario gets the
// built-in ones of the open sky over Vancouver.
void UseGnssSystems(Scenario& scenario, const std::vector<GnssSystem>& systems);
// The simulators' --gnss and --rate: an empty list and no rate leave the scenario as it is.
bool ApplyGnssOptions(Scenario& scenario, const std::string& gnss, std::optional<int> rateHz, std::string& error);
// The scenario as a receiver that tracks GPS alone at 1 Hz sees it (the
// OEM615, whose logs have periods of their own).
Scenario GpsAtOneHertz(Scenario scenario);
// Rates the simulators offer (solutions per second): divisors of a second in ms.
inline constexpr int kSimulatedRatesHz[] = {1, 2, 4, 5, 10, 20};
bool IsSimulatedRate(int rateHz);

// Open sky over Vancouver: ten satellites (one in view but not tracked), fix
// after 30 s.
Scenario DefaultScenario();

// JSON form: see sim/scenarios/*.json. False with a message on a bad document.
bool ScenarioFromJson(const nlohmann::json& document, Scenario& scenario, std::string& error);
bool LoadScenario(const std::string& path, Scenario& scenario, std::string& error);

struct SatelliteView {
  int prn = 0, elevation = 0, azimuth = 0, snr = 0;
  bool used = false;
  GnssSystem system = GnssSystem::Gps;
};

enum FixQuality { kFixNone = 0, kFixGps = 1, kFixDifferential = 2 };

// The receiver's solution at one whole second.
struct Epoch {
  double t = 0;            // scenario seconds
  int64_t utcSeconds = 0;  // Unix seconds
  int hundredths = 0;      // of the second, for rates above 1 Hz
  int quality = kFixNone;
  double latitude = 0, longitude = 0, altitude = 0, geoidSeparation = 0;
  double speedKnots = 0, courseDegrees = 0;
  double hdop = 0, pdop = 0, vdop = 0;
  std::vector<SatelliteView> satellites;  // in view, in scenario order
  bool Fixed() const { return quality != kFixNone; }
  std::vector<int> UsedPrns() const;  // at most 12
  std::vector<int> UsedPrns(GnssSystem system) const;  // of one system, at most 12
  size_t UsedCount() const;                              // every system
};

// The solution at scenario time t for a receiver that booted at bootTime
// (nullopt: not booted, no fix).
Epoch ScenarioEpoch(const Scenario& scenario, double t, std::optional<double> bootTime);

}  // namespace sim
