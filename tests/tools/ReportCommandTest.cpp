// navlume-cli report on a multi-constellation capture of the corpus
// ($NAVLUME_CORPUS/gpsd-gnss/neo-m8n.log: GPS and GLONASS, one epoch a
// second), checked against the test's own reading of the capture's lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/Ci.h"
#include "support/Command.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream text(line.substr(0, line.find('*')));
  for (std::string field; std::getline(text, field, ',');) fields.push_back(field);
  return fields;
}

double Degrees(const std::string& value, const std::string& hemisphere) {
  const double number = std::stod(value);
  const double degrees = std::floor(number / 100) + std::fmod(number, 100) / 60;
  return hemisphere == "S" || hemisphere == "W" ? -degrees : degrees;
}

// The capture as the test reads it: epochs by GGA, RMC and GLL time, each
// with the position of its last valid one, and every C/N0 a GSV gives.
struct Reading {
  std::set<std::string> times;
  std::map<std::string, std::pair<double, double>> fixes;  // by time
  std::map<std::string, std::vector<int>> cn0;             // "G1", "R66"
};

Reading Read(const fs::path& log) {
  Reading reading;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind('$', 0) != 0) continue;
    const std::vector<std::string> f = Fields(line);
    const std::string type = f[0].substr(3);
    // time, valid, and the index of the latitude field
    const auto fix = [&](const std::string& time, bool valid, size_t at) {
      reading.times.insert(time);
      if (valid) reading.fixes[time] = {Degrees(f[at], f[at + 1]), Degrees(f[at + 2], f[at + 3])};
    };
    if (type == "GGA") fix(f[1], f[6] != "0", 2);
    if (type == "RMC") fix(f[1], f[2] == "A", 3);
    if (type == "GLL") fix(f[5], f[6] == "A", 1);
    if (type == "GSV") {
      const char letter = f[0].substr(1, 2) == "GL" ? 'R' : 'G';
      for (size_t i = 4; i + 3 < f.size(); i += 4) {
        if (!f[i + 3].empty()) reading.cn0[letter + std::to_string(std::stoi(f[i]))].push_back(std::stoi(f[i + 3]));
      }
    }
  }
  return reading;
}

int NearestRank(std::vector<int> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
  return values[std::max<size_t>(rank, 1) - 1];
}

TEST(ReportCommandTest, MultiConstellationCaptureAgreesWithItsLines) {
  const fs::path log = fs::path(std::getenv("NAVLUME_CORPUS") ? std::getenv("NAVLUME_CORPUS") : "") / "gpsd-gnss/neo-m8n.log";
  if (!fs::is_regular_file(log)) {
    if (navlume_test::UnderCi()) FAIL() << "NAVLUME_CORPUS does not name the capture corpus";
    GTEST_SKIP() << "NAVLUME_CORPUS does not name the capture corpus";
  }
  navlume_test::TempFolder folder;
  const std::string html = (folder.Path() / "report.html").string();
  const navlume_test::CommandResult run = navlume_test::RunCommand(
      navlume_test::Quote(NAVLUME_CLI_PATH) + " report --talkers any --json --html " + navlume_test::Quote(html) + " " +
          navlume_test::Quote(log.string()),
      folder.Path());
  ASSERT_EQ(0, run.status) << run.err;
  const json report = json::parse(run.out);
  const Reading reading = Read(log);

  double latitude = 0, longitude = 0;
  for (const auto& [time, position] : reading.fixes) {
    latitude += position.first / static_cast<double>(reading.fixes.size());
    longitude += position.second / static_cast<double>(reading.fixes.size());
  }
  EXPECT_EQ(reading.times.size(), report["epochs"].get<size_t>());
  EXPECT_EQ(0, report["ttffSeconds"].get<double>());
  EXPECT_EQ(reading.fixes.size(), report["position"]["fixes"].get<size_t>());
  EXPECT_DOUBLE_EQ(static_cast<double>(reading.fixes.size()), report["fixSeconds"].get<double>());  // one a second
  EXPECT_NEAR(latitude, report["position"]["meanLatitude"].get<double>(), 1e-7);
  EXPECT_NEAR(longitude, report["position"]["meanLongitude"].get<double>(), 1e-7);
  const double cep50 = report["position"]["cep50"], cep95 = report["position"]["cep95"];
  EXPECT_LE(cep50, cep95);
  EXPECT_LE(cep95, report["position"]["drms2"].get<double>() * 2);

  std::map<std::string, json> satellites;
  for (const json& satellite : report["satellites"]) satellites[satellite["id"]] = satellite;
  for (const auto& [id, values] : reading.cn0) {
    ASSERT_TRUE(satellites.count(id)) << id;
    const json& cn0 = satellites[id]["cn0"];
    EXPECT_EQ(*std::min_element(values.begin(), values.end()), cn0["min"]) << id;
    EXPECT_EQ(NearestRank(values, 0.5), cn0["p50"]) << id;
    EXPECT_EQ(*std::max_element(values.begin(), values.end()), cn0["max"]) << id;
    EXPECT_TRUE(satellites[id]["signal"].is_null()) << id;
  }

  std::ifstream page(html);
  const std::string text((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
  EXPECT_NE(std::string::npos, text.find("C/N0, GLONASS"));
  EXPECT_EQ(std::string::npos, text.find("<script"));
}

}  // namespace
