// Scenario model, sentence builders and the line check, without terminals.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "HostPort.h"
#include "nmea/NmeaParser.h"
#include "sim/LineFormat.h"
#include "sim/NmeaSentences.h"
#include "sim/Oem615Commands.h"
#include "sim/Scenario.h"

namespace {

using navlume_test::ChecksumMatches;
using navlume_test::Lines;

sim::Scenario FourteenSatellites() {
  sim::Scenario scenario = sim::DefaultScenario();
  for (int prn = 40; prn < 44; ++prn) scenario.satellites.push_back({prn, 10 + prn - 40, 100 + prn, 25, true, {}, {}});
  return scenario;
}

GpsPosition Decode(const std::string& stream, int* decoded = nullptr) {
  NmeaParser parser;
  int total = 0;
  for (const auto& line : Lines(stream)) total += parser.Feed(line.data(), static_cast<uint32_t>(line.size()));
  if (decoded) *decoded = total;
  GpsPosition record{};
  record.version = kGpsPositionVersion;
  record.size = kGpsPositionSize;
  parser.GetPosition(record, kNmeaMaxAgeMs);
  return record;
}

TEST(ScenarioTest, FixFollowsBootTtffLostFixAndDifferentialWindows) {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.ttff = 30;
  scenario.lostFix = {{100, 110}};
  scenario.differential = {{50, 60}};
  EXPECT_FALSE(sim::ScenarioEpoch(scenario, 200, std::nullopt).Fixed());  // never booted
  EXPECT_FALSE(sim::ScenarioEpoch(scenario, 29, 0.0).Fixed());
  EXPECT_EQ(sim::ScenarioEpoch(scenario, 30, 0.0).quality, sim::kFixGps);
  EXPECT_FALSE(sim::ScenarioEpoch(scenario, 40, 20.0).Fixed());  // a later boot counts again
  EXPECT_EQ(sim::ScenarioEpoch(scenario, 55, 0.0).quality, sim::kFixDifferential);
  EXPECT_FALSE(sim::ScenarioEpoch(scenario, 105, 0.0).Fixed());
  EXPECT_EQ(sim::ScenarioEpoch(scenario, 110, 0.0).quality, sim::kFixGps);
}

TEST(ScenarioTest, SatelliteChangesVisibilityAndMotion) {
  sim::Scenario scenario;
  scenario.speedKnots = 3600;  // one nautical mile per second
  scenario.courseDegrees = 0;
  scenario.satellites = {{3, 30, 40, 40, true, {}, {{10, 35, std::nullopt, 0, std::nullopt}}},
                         {4, 20, 50, 30, true, {5, 15}, {}}};
  const sim::Epoch early = sim::ScenarioEpoch(scenario, 0, 0.0);
  ASSERT_EQ(early.satellites.size(), 1u);
  EXPECT_TRUE(early.satellites[0].used);
  const sim::Epoch middle = sim::ScenarioEpoch(scenario, 12, 0.0);
  ASSERT_EQ(middle.satellites.size(), 2u);
  EXPECT_EQ(middle.satellites[0].elevation, 35);
  EXPECT_EQ(middle.satellites[0].snr, 0);
  EXPECT_FALSE(middle.satellites[0].used);  // in view, not tracked
  EXPECT_EQ(sim::ScenarioEpoch(scenario, 15, 0.0).satellites.size(), 1u);
  EXPECT_NEAR(sim::ScenarioEpoch(scenario, 60, 0.0).latitude - scenario.latitude, 1.0, 0.01);  // 60 nm = 1 degree
}

TEST(ScenarioTest, JsonScenariosLoadAndBadOnesAreRefused) {
  const char* source = std::getenv("NAVLUME_SOURCE");
  ASSERT_NE(source, nullptr);
  int loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(source) / "sim" / "scenarios")) {
    sim::Scenario scenario;
    std::string error;
    EXPECT_TRUE(sim::LoadScenario(entry.path().string(), scenario, error)) << error;
    EXPECT_FALSE(scenario.satellites.empty());
    ++loaded;
  }
  EXPECT_GE(loaded, 2);

  const auto refused = [](const char* text) {
    sim::Scenario scenario;
    std::string error;
    const bool ok = sim::ScenarioFromJson(nlohmann::json::parse(text), scenario, error);
    return !ok && !error.empty();
  };
  EXPECT_TRUE(refused(R"({"ttf": 3})"));
  EXPECT_TRUE(refused(R"({"faults": [{"at": 3, "type": "meltdown"}]})"));
  EXPECT_TRUE(refused(R"({"start": {"utc": "yesterday"}})"));
  EXPECT_TRUE(refused(R"({"satellites": [{"elevation": 3}]})"));
  EXPECT_TRUE(refused(R"({"ttff": "soon"})"));
  EXPECT_TRUE(refused(R"([1, 2])"));

  sim::Scenario scenario;
  std::string error;
  ASSERT_TRUE(sim::ScenarioFromJson(nlohmann::json::parse(R"({"start": {"utc": "2024-05-01T10:00:00Z"}, "ttff": 7,
      "faults": [{"at": 9, "type": "silence", "duration": 2}, {"at": 4, "type": "junk"}]})"),
                                    scenario, error));
  EXPECT_EQ(scenario.startUtc, 1714557600);
  EXPECT_EQ(scenario.ttff, 7);
  ASSERT_EQ(scenario.faults.size(), 2u);
  EXPECT_EQ(scenario.faults[0].type, sim::FaultType::Junk);  // kept in time order
}

TEST(ScenarioTest, SystemsAndRateFromJsonAndTheCommandLine) {
  sim::Scenario scenario;
  std::string error;
  ASSERT_TRUE(sim::ScenarioFromJson(nlohmann::json::parse(R"({"gnss": ["gps", "galileo"], "rate": 10,
      "satellites": [{"prn": 5}, {"prn": 5, "system": "galileo", "snr": 40}]})"), scenario, error)) << error;
  EXPECT_EQ(scenario.rateHz, 10);
  const sim::Epoch epoch = sim::ScenarioEpoch(scenario, 3.7, 0.0);
  ASSERT_EQ(epoch.satellites.size(), 2u);  // the scenario's own Galileo satellite, no built-in ones
  EXPECT_EQ(epoch.satellites[1].system, GnssSystem::Galileo);
  EXPECT_EQ(epoch.hundredths, 70);
  for (const char* bad : {R"({"gnss": ["gps", "mars"]})", R"({"rate": 3})", R"({"satellites": [{"prn": 1, "system": "x"}]})"}) {
    EXPECT_FALSE(sim::ScenarioFromJson(nlohmann::json::parse(bad), scenario, error)) << bad;
  }
  // --gnss adds the built-in satellites of systems the scenario lacks; GPS alone leaves it as it was.
  sim::Scenario fromOptions = sim::DefaultScenario();
  ASSERT_TRUE(sim::ApplyGnssOptions(fromOptions, "gps,glonass", 5, error));
  EXPECT_FALSE(fromOptions.GpsOnly());
  EXPECT_EQ(fromOptions.rateHz, 5);
  EXPECT_GT(fromOptions.satellites.size(), sim::DefaultScenario().satellites.size());
  EXPECT_FALSE(sim::ApplyGnssOptions(fromOptions, "gps,,glonass", std::nullopt, error));
  sim::Scenario gpsOnly = sim::DefaultScenario();
  ASSERT_TRUE(sim::ApplyGnssOptions(gpsOnly, "gps", std::nullopt, error));
  EXPECT_EQ(sim::BuildEpoch(gpsOnly, sim::ScenarioEpoch(gpsOnly, 40, 0.0)),
            sim::BuildEpoch(sim::DefaultScenario(), sim::ScenarioEpoch(sim::DefaultScenario(), 40, 0.0)));
}

TEST(NmeaSentencesTest, FixedEpochDecodesToTheScenario) {
  const sim::Scenario scenario = FourteenSatellites();
  const sim::Epoch epoch = sim::ScenarioEpoch(scenario, 40, 0.0);
  const std::string stream = sim::BuildEpoch(scenario, epoch);
  for (const auto& line : Lines(stream)) EXPECT_TRUE(ChecksumMatches(line)) << line;
  EXPECT_EQ(stream.find("$GPGSV,4,4,14"), stream.find("$GPGSV,4,4,"));  // four messages for 14 satellites
  int decoded = 0;
  const GpsPosition record = Decode(stream, &decoded);
  EXPECT_EQ(decoded, 8);  // GGA, RMC, GSA, 4 GSV, GLL
  EXPECT_EQ(record.fixQuality, kGpsFixQualityGps);
  EXPECT_NEAR(record.latitude, scenario.latitude, 1e-6);
  EXPECT_NEAR(record.longitude, scenario.longitude, 1e-6);
  EXPECT_NEAR(record.altitudeSeaLevel, scenario.altitude, 0.05);
  EXPECT_EQ(record.fixType, kGpsFix3D);
  EXPECT_EQ(record.satellitesInView, 12u);
  EXPECT_EQ(record.satelliteCount, 12u);  // 13 tracked, GSA holds 12
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(record.inViewPrns[i], static_cast<uint32_t>(scenario.satellites[i].prn));
    EXPECT_EQ(record.inViewSnr[i], static_cast<uint32_t>(scenario.satellites[i].snr));
  }
  EXPECT_EQ(record.inViewSnr[9], 0u);  // PRN 31: in view, not tracked
  EXPECT_EQ(record.utcTime.wHour, 10);
  EXPECT_EQ(record.utcTime.wSecond, 40);
}

TEST(NmeaSentencesTest, NoFixAndDifferentialEpochs) {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.differential = {{0, sim::kForever}};
  const std::string before = sim::BuildEpoch(scenario, sim::ScenarioEpoch(scenario, 5, 0.0));
  EXPECT_NE(before.find("$GPGGA,100005.00,,,,,0,"), std::string::npos);
  EXPECT_NE(before.find("$GPRMC,100005.00,V,"), std::string::npos);
  EXPECT_NE(before.find("$GPGSA,A,1,"), std::string::npos);
  const GpsPosition noFix = Decode(before);
  EXPECT_EQ(noFix.validFields & (kGpsValidLatitude | kGpsValidLongitude), 0u);
  EXPECT_EQ(noFix.fixQuality, 0u);
  EXPECT_EQ(noFix.satellitesInView, 10u);  // GSV still reports what it sees
  EXPECT_EQ(noFix.satelliteCount, 0u);

  const GpsPosition differential = Decode(sim::BuildEpoch(scenario, sim::ScenarioEpoch(scenario, 40, 0.0)));
  EXPECT_EQ(differential.fixQuality, kGpsFixQualityDgps);
}

TEST(NmeaSentencesTest, CoordinatesRoundWithoutSixtyMinutesAndOtherTalkers) {
  sim::Epoch epoch;
  epoch.quality = sim::kFixGps;
  epoch.latitude = -10.99999999999;
  epoch.longitude = 5.5;
  const std::string gga = sim::BuildGga(epoch, "GN");
  EXPECT_NE(gga.find(",1100.0000,S,00530.0000,E,"), std::string::npos) << gga;
  EXPECT_EQ(gga.rfind("$GNGGA,", 0), 0u);
  EXPECT_TRUE(ChecksumMatches(gga));
  EXPECT_EQ(Decode(gga).fixQuality, 0u);  // not a GP sentence
}

TEST(Oem615LogsTest, LogsInTheirOwnFormats) {
  const sim::Scenario scenario = sim::DefaultScenario();
  const sim::Epoch epoch = sim::ScenarioEpoch(scenario, 40, 0.0);
  const std::string bestpos = sim::Oem615LogText("bestposa", epoch);
  EXPECT_EQ(bestpos.rfind("#BESTPOSA,COM1,0,55.0,FINESTEERING,2312,295258.000,", 0), 0u) << bestpos;
  EXPECT_NE(bestpos.find(";SOL_COMPUTED,SINGLE,49.27416670000,-123.18533330000,"), std::string::npos);
  // NovAtel CRC-32 of the text between '#' and '*', checked against zlib's CRC-32.
  EXPECT_EQ(bestpos.substr(bestpos.size() - 11), "*48ca0ce1\r\n");
  EXPECT_EQ(sim::Oem615LogText("bestsats", epoch).rfind("#BESTSATSA,COM1,", 0), 0u);
  for (const char* name : {"gpgga", "gpggalong", "gpggartk", "gpgll", "gpgrs", "gpgsa", "gpgst", "gpgsv", "gphdt",
                           "gprmb", "gprmc", "gpvtg", "gpzda", "gpalm"}) {
    const std::string text = sim::Oem615LogText(name, epoch);
    ASSERT_FALSE(text.empty()) << name;
    for (const auto& line : Lines(text)) EXPECT_TRUE(ChecksumMatches(line)) << line;
  }
  EXPECT_NEAR(Decode(sim::Oem615LogText("gpggalong", epoch)).latitude, scenario.latitude, 1e-7);
}

TEST(Oem615CommandsTest, ParsesTheCommandSet) {
  EXPECT_EQ(sim::ParseOem615Command("log gpgga ontime 1").kind, sim::Oem615Command::Log);
  EXPECT_TRUE(sim::ParseOem615Command("LOG COM1 GPHDT ONCHANGED").onChanged);
  EXPECT_EQ(sim::ParseOem615Command("log gpgga ontime 5").period, 5u);
  EXPECT_EQ(sim::ParseOem615Command("log gpxyz ontime 1").kind, sim::Oem615Command::Unknown);
  EXPECT_EQ(sim::ParseOem615Command("log gpgga ontime").kind, sim::Oem615Command::Unknown);
  const sim::Oem615Command config = sim::ParseOem615Command("serialconfig com1 115200 n 8 1 n");
  EXPECT_EQ(config.kind, sim::Oem615Command::SerialConfig);
  EXPECT_EQ(config.format, (sim::LineFormat{115200, 8, 'N', 1}));
  EXPECT_FALSE(config.otherPort);
  EXPECT_TRUE(sim::ParseOem615Command("serialconfig com2 57600").otherPort);
  EXPECT_EQ(sim::ParseOem615Command("serialconfig com1 12345 n 8 1 n").kind, sim::Oem615Command::Unknown);
  EXPECT_EQ(sim::ParseOem615Command("freset").kind, sim::Oem615Command::Freset);
  EXPECT_EQ(sim::ParseOem615Command("  ").kind, sim::Oem615Command::Empty);
  EXPECT_EQ(sim::ParseOem615Command("hello").kind, sim::Oem615Command::Unknown);
}

TEST(LineFormatTest, MismatchedLinesGiveGarbage) {
  const sim::Scenario scenario = sim::DefaultScenario();
  const std::string clean = sim::BuildEpoch(scenario, sim::ScenarioEpoch(scenario, 40, 0.0));
  const sim::LineFormat at9600{9600}, at115200{115200};
  EXPECT_EQ(sim::Resample(clean, at9600, at9600), clean);
  for (const auto& [sender, receiver] : {std::pair{at115200, at9600}, std::pair{at9600, at115200},
                                         std::pair{at9600, sim::LineFormat{4800}},
                                         std::pair{at9600, sim::LineFormat{9600, 8, 'E', 1}},
                                         std::pair{at9600, sim::LineFormat{9600, 7, 'N', 1}},
                                         std::pair{at9600, sim::LineFormat{9600, 8, 'N', 2}}}) {
    const std::string garbage = sim::Resample(clean, sender, receiver);
    int decoded = -1;
    Decode(garbage, &decoded);
    EXPECT_EQ(decoded, 0) << sender.baud << " -> " << receiver.baud;
    EXPECT_EQ(garbage.find("GPGGA"), std::string::npos);
  }
  // Seven data bits read an eight-bit line's zero top bit as a missing stop bit.
  EXPECT_EQ(sim::Resample("$", at9600, sim::LineFormat{9600, 7, 'N', 1}), std::string(1, '\0'));
  // A receiver twice as fast sees every byte as two.
  EXPECT_GT(sim::Resample(clean, at9600, sim::LineFormat{19200}).size(), clean.size());
}

}  // namespace
