// Real receiver captures ($NAVLUME_CORPUS/gpsd): every capture decodes in any
// chunking, and the positions decoded from GP-talker GGA and RMC sentences
// agree with gpsd's reports.

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "NmeaTestSupport.h"
#include "support/Ci.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Captures(const char* corpusFolder = "gpsd") {
  const char* corpus = std::getenv("NAVLUME_CORPUS");
  std::vector<fs::path> logs;
  if (corpus == nullptr) return logs;
  const fs::path folder = fs::path(corpus) / corpusFolder;
  if (!fs::is_directory(folder)) return logs;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".log") logs.push_back(entry.path());
  }
  std::sort(logs.begin(), logs.end());
  return logs;
}

class CorpusTest : public NmeaParserTest {
 protected:
  void SetUp() override {
    m_Captures = Captures();
    if (!m_Captures.empty()) return;
    if (navlume_test::UnderCi()) FAIL() << "NAVLUME_CORPUS does not name the capture corpus";
    GTEST_SKIP() << "NAVLUME_CORPUS does not name the capture corpus";
  }
  std::vector<fs::path> m_Captures;
};

TEST_F(CorpusTest, EveryCaptureDecodesTheSameInAnyChunking) {
  for (const fs::path& log : m_Captures) {
    const std::string capture = navlume_test::ReadText(log);
    NmeaParser whole;
    const int decoded = whole.Feed(capture.data(), static_cast<uint32_t>(capture.size()));
    EXPECT_GT(decoded, 0) << log;
    const GpsPosition expected = PositionOf(whole);
    for (size_t chunk : {1, 7, 64, 4096}) {
      NmeaParser parser;
      int total = 0;
      for (size_t at = 0; at < capture.size(); at += chunk) {
        total += parser.Feed(capture.data() + at, static_cast<uint32_t>(std::min(chunk, capture.size() - at)));
      }
      // Captures hold sentences longer than 82 bytes only where they are broken,
      // so the outcome may not depend on the chunking.
      EXPECT_EQ(decoded, total) << log << " in chunks of " << chunk;
      const GpsPosition got = PositionOf(parser);
      EXPECT_EQ(0, std::memcmp(&expected, &got, sizeof got)) << log << " in chunks of " << chunk;
    }
  }
}

// Every talker: an epoch spreads over several sentences, and still the
// outcome may not depend on where the input is cut.
TEST_F(CorpusTest, EveryMultiConstellationCaptureDecodesTheSameInAnyChunkingWithEveryTalker) {
  const std::vector<fs::path> captures = Captures("gpsd-gnss");
  ASSERT_FALSE(captures.empty());
  for (const fs::path& log : captures) {
    const std::string capture = navlume_test::ReadText(log);
    std::vector<GpsPosition> records;
    for (size_t chunk : {capture.size(), size_t{1}, size_t{7}, size_t{64}}) {
      NmeaParser parser;
      parser.SetTalkers(NmeaTalkers::Any);
      for (size_t at = 0; at < capture.size(); at += chunk)
        parser.Feed(capture.data() + at, static_cast<uint32_t>(std::min(chunk, capture.size() - at)));
      records.push_back(PositionOf(parser));
      EXPECT_EQ(0, std::memcmp(&records.front(), &records.back(), sizeof(GpsPosition))) << log << " in chunks of " << chunk;
    }
    EXPECT_TRUE(records.front().validFields & kGpsValidInViewPrns) << log;
  }
}

// The position one accepted sentence stores by itself, if any.
std::optional<std::pair<double, double>> DecodedPosition(const std::string& line) {
  NmeaParser parser;
  const std::string sentence = line + "\r\n";
  parser.Feed(sentence.data(), static_cast<uint32_t>(sentence.size()));
  GpsPosition record{};
  record.version = kGpsPositionVersion;
  record.size = kGpsPositionSize;
  parser.GetPosition(record, kNmeaMaxAgeMs);
  const uint32_t both = kGpsValidLatitude | kGpsValidLongitude;
  if ((record.validFields & both) != both) return std::nullopt;
  return std::make_pair(record.latitude, record.longitude);
}

TEST_F(CorpusTest, PositionsAgreeWithGpsdReports) {
  int compared = 0;
  for (const fs::path& log : m_Captures) {
    std::ifstream chk(log.string() + ".chk");
    ASSERT_TRUE(chk) << log;
    // gpsd reports at the end of an epoch: compare each report with the latest
    // position that a GP GGA, RMC or GLL gave us.
    std::optional<std::pair<double, double>> latest;
    std::string line;
    int fileCompared = 0;
    while (std::getline(chk, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("$", 0) == 0) {
        for (const char* type : {"$GPGGA,", "$GPRMC,", "$GPGLL,"}) {
          if (line.rfind(type, 0) != 0) continue;
          if (auto position = DecodedPosition(line)) latest = position;
        }
        continue;
      }
      if (line.empty() || line[0] != '{') continue;
      const nlohmann::json report = nlohmann::json::parse(line);
      if (report.value("class", "") != "TPV" || !report.contains("lat") || !latest) continue;
      EXPECT_NEAR(report["lat"].get<double>(), latest->first, 1e-6) << log << ": " << line;
      EXPECT_NEAR(report["lon"].get<double>(), latest->second, 1e-6) << log << ": " << line;
      ++fileCompared;
    }
    RecordProperty(log.filename().string(), fileCompared);
    compared += fileCompared;
  }
  EXPECT_GT(compared, 200);
}

}  // namespace
