// decode --talkers any on the multi-constellation captures ($NAVLUME_CORPUS/gpsd-gnss):
// at least 95 % of gpsd's fixes (TPV with mode 2 or 3, time and position) are
// among the decoded records of the same UTC second, within 1e-6 degree.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/Ci.h"
#include "support/Command.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// gpsd dates a capture older than itself 1024 GPS weeks later (the week
// rollover it guards against), so seconds are compared within that period.
constexpr int64_t kGpsWeekRolloverSeconds = int64_t{1024} * 7 * 86400;

int64_t RolloverSecond(const std::string& utc) {
  std::tm parts{};
  std::sscanf(utc.c_str(), "%d-%d-%dT%d:%d:%d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday, &parts.tm_hour,
              &parts.tm_min, &parts.tm_sec);
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return static_cast<int64_t>(timegm(&parts)) % kGpsWeekRolloverSeconds;
}

// gpsd's fixes in the capture's .chk file, and how many decode found.
std::pair<int, int> MatchedFixes(const fs::path& log) {
  const navlume_test::CommandResult decode = navlume_test::RunCommand(
      navlume_test::Quote(NAVLUME_CLI_PATH) + " decode --talkers any " + navlume_test::Quote(log.string()), log.parent_path());
  EXPECT_EQ(0, decode.status) << log << ": " << decode.err;
  std::multimap<int64_t, json> decoded;
  std::istringstream records(decode.out);
  for (std::string line; std::getline(records, line);) {
    json record = json::parse(line);
    if (record.contains("utcTime") && record.contains("latitude")) decoded.emplace(RolloverSecond(record["utcTime"]), record);
  }
  std::ifstream chk(log.string() + ".chk");
  int fixes = 0, matched = 0;
  for (std::string line; std::getline(chk, line);) {
    if (line.empty() || line[0] != '{') continue;
    const json tpv = json::parse(line);
    if (tpv.value("class", "") != "TPV" || tpv.value("mode", 0) < 2 || !tpv.contains("time") || !tpv.contains("lat")) continue;
    ++fixes;
    const auto [first, last] = decoded.equal_range(RolloverSecond(tpv["time"]));
    matched += std::any_of(first, last, [&](const auto& entry) {
      return std::fabs(entry.second["latitude"].template get<double>() - tpv["lat"].get<double>()) <= 1e-6 &&
             std::fabs(entry.second.value("longitude", 0.0) - tpv["lon"].get<double>()) <= 1e-6;
    });
  }
  return {matched, fixes};
}

TEST(GnssCorpusTest, DecodeWithEveryTalkerFindsGpsdsFixes) {
  const fs::path folder = fs::path(std::getenv("NAVLUME_CORPUS") ? std::getenv("NAVLUME_CORPUS") : "") / "gpsd-gnss";
  if (!fs::is_directory(folder)) {
    if (navlume_test::UnderCi()) FAIL() << "NAVLUME_CORPUS does not name the capture corpus";
    GTEST_SKIP() << "NAVLUME_CORPUS does not name the capture corpus";
  }
  int captures = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".log") continue;
    ++captures;
    const auto [matched, fixes] = MatchedFixes(entry.path());
    RecordProperty(entry.path().filename().string(), std::to_string(matched) + "/" + std::to_string(fixes));
    EXPECT_GT(fixes, 0) << entry.path();
    EXPECT_GE(matched * 100, fixes * 95) << entry.path() << ": " << matched << " of " << fixes;
  }
  EXPECT_GT(captures, 0);
}

}  // namespace
