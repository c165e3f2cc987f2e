// decode --talkers any on the multi-constellation captures ($NAVLUME_CORPUS/gpsd-gnss):
// at least 95 % of gpsd's fixes (TPV with mode 2 or 3, time and position) are
// found among the decoded records of the same UTC second, within 1e-6 degree.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/Ci.h"
#include "support/Command.h"

namespace {

namespace fs = std::filesystem;

constexpr double kDegreeTolerance = 1e-6;
constexpr int kLeastMatchedPercent = 95;
// gpsd dates a capture older than itself 1024 GPS weeks later (the week
// rollover it guards against), so seconds are compared within that period.
constexpr int64_t kGpsWeekRolloverSeconds = int64_t{1024} * 7 * 86400;

// "YYYY-MM-DDTHH:MM:SS..." as seconds within the rollover period; -1 when unreadable.
int64_t RolloverSecond(const std::string& utc) {
  std::tm parts{};
  int year = 0, month = 0;
  if (std::sscanf(utc.c_str(), "%d-%d-%dT%d:%d:%d", &year, &month, &parts.tm_mday, &parts.tm_hour, &parts.tm_min,
                  &parts.tm_sec) != 6)
    return -1;
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  return static_cast<int64_t>(timegm(&parts)) % kGpsWeekRolloverSeconds;
}

using Positions = std::multimap<int64_t, std::pair<double, double>>;

Positions DecodedPositions(const fs::path& log) {
  const navlume_test::CommandResult result = navlume_test::RunCommand(
      navlume_test::Quote(NAVLUME_CLI_PATH) + " decode --talkers any " + navlume_test::Quote(log.string()), log.parent_path());
  EXPECT_EQ(0, result.status) << log << ": " << result.err;
  Positions positions;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    const nlohmann::json record = nlohmann::json::parse(line);
    if (!record.contains("utcTime") || !record.contains("latitude") || !record.contains("longitude")) continue;
    positions.emplace(RolloverSecond(record["utcTime"]), std::make_pair(record["latitude"], record["longitude"]));
  }
  return positions;
}

TEST(GnssCorpusTest, DecodeWithEveryTalkerFindsGpsdsFixes) {
  const char* corpus = std::getenv("NAVLUME_CORPUS");
  const fs::path folder = fs::path(corpus == nullptr ? "" : corpus) / "gpsd-gnss";
  if (corpus == nullptr || !fs::is_directory(folder)) {
    if (navlume_test::UnderCi()) FAIL() << "NAVLUME_CORPUS does not name the capture corpus";
    GTEST_SKIP() << "NAVLUME_CORPUS does not name the capture corpus";
  }
  int captures = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".log") continue;
    ++captures;
    const Positions decoded = DecodedPositions(entry.path());
    std::ifstream chk(entry.path().string() + ".chk");
    ASSERT_TRUE(chk) << entry.path();
    int fixes = 0, matched = 0;
    std::string line;
    while (std::getline(chk, line)) {
      if (line.empty() || line[0] != '{') continue;
      const nlohmann::json report = nlohmann::json::parse(line);
      if (report.value("class", "") != "TPV" || report.value("mode", 0) < 2 || !report.contains("time") ||
          !report.contains("lat") || !report.contains("lon"))
        continue;
      ++fixes;
      const auto [first, last] = decoded.equal_range(RolloverSecond(report["time"]));
      for (auto it = first; it != last; ++it) {
        if (std::fabs(it->second.first - report["lat"].get<double>()) <= kDegreeTolerance &&
            std::fabs(it->second.second - report["lon"].get<double>()) <= kDegreeTolerance) {
          ++matched;
          break;
        }
      }
    }
    const std::string name = entry.path().filename().string();
    RecordProperty(name, std::to_string(matched) + "/" + std::to_string(fixes));
    EXPECT_GT(fixes, 0) << name;
    EXPECT_GE(matched * 100, fixes * kLeastMatchedPercent) << name << ": " << matched << " of " << fixes;
  }
  EXPECT_GT(captures, 0);
}

}  // namespace
