// The JSON form of the record that navlume-cli prints.

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "NmeaTestSupport.h"
#include "tools/PositionJson.h"

namespace {

using PositionJsonTest = NmeaParserTest;

TEST_F(PositionJsonTest, ShowsValidFieldsWithShortestNumbersAndAlwaysTheFixCodes) {
  ASSERT_EQ(1, Feed(Nmea("GPRMC,225446.33,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E")));
  ASSERT_EQ(1, Feed(Nmea("GPGSA,A,3,04,05,,09,,,,,,,,,2.5,1.3,2.1")));
  const std::string text = PositionToJson(Position()).dump();
  EXPECT_NE(std::string::npos, text.find("\"latitude\":49.27416666666666,"));
  EXPECT_NE(std::string::npos, text.find("\"longitude\":-123.18533333333335,"));
  EXPECT_NE(std::string::npos, text.find("\"hdop\":1.3,"));
  EXPECT_NE(std::string::npos, text.find("\"heading\":54.7,"));
  EXPECT_NE(std::string::npos, text.find("\"utcTime\":\"2094-11-19T22:54:46.000\""));
  EXPECT_NE(std::string::npos, text.find("\"utcDayOfWeek\":5"));
  EXPECT_NE(std::string::npos, text.find("\"usedPrns\":[4,5,0,9,0,0,0,0,0,0,0,0]"));
  EXPECT_NE(std::string::npos, text.find("\"fixQuality\":0"));
  EXPECT_EQ(std::string::npos, text.find("altitude"));
  EXPECT_EQ(std::string::npos, text.find("inView"));

  const nlohmann::json empty = PositionToJson(GpsPosition{});
  EXPECT_EQ((nlohmann::json{{"validFields", 0}, {"fixQuality", 0}, {"fixType", 0}, {"selectionType", 0}}), empty);
}

TEST_F(PositionJsonTest, TheLineWriterPrintsTheSameObjectAsTheJsonLibrary) {
  const char* source = std::getenv("NAVLUME_SOURCE");
  if (source == nullptr) GTEST_SKIP() << "NAVLUME_SOURCE is not set";
  std::ifstream in(std::string(source) + "/samples/sample.nmea", std::ios::binary);
  const std::string capture((std::istreambuf_iterator<char>(in)), {});
  ASSERT_FALSE(capture.empty());

  PositionJsonLine writer;
  uint64_t offset = 0;
  size_t lines = 0;
  for (size_t at = 0; at < capture.size();) {
    const size_t end = std::min(capture.find('\n', at), capture.size() - 1) + 1;
    const int decoded = Feed(std::string_view(capture).substr(at, end - at));
    offset += end - at;
    at = end;
    m_Clock.AdvanceMs(300);
    const GpsPosition record = Position();
    nlohmann::json expected = PositionToJson(record);
    expected["offset"] = offset;
    expected["decoded"] = decoded;
    std::string line;
    writer.Append(line, record, offset, decoded);
    ASSERT_EQ('\n', line.back());
    ASSERT_EQ(expected, nlohmann::json::parse(line)) << line;
    ++lines;
  }
  EXPECT_GT(lines, 500u);
}

TEST(PositionJsonLineTest, NumbersPrintAsTheShortestTextThatReadsBack) {
  GpsPosition record{};
  record.validFields = kGpsValidLatitude | kGpsValidLongitude | kGpsValidHdop | kGpsValidPdop;
  record.latitude = -49.06455883333334;  // the library's dump prints -49.064558833333336
  record.longitude = 50.62395316666667;
  record.hdop = 1.3f;
  record.pdop = 2.0f;
  PositionJsonLine writer;
  std::string line;
  writer.Append(line, record, 81, 1);
  EXPECT_EQ(
      "{\"decoded\":1,\"fixQuality\":0,\"fixType\":0,\"hdop\":1.3,\"latitude\":-49.06455883333334,"
      "\"longitude\":50.62395316666667,\"offset\":81,\"pdop\":2,\"selectionType\":0,\"validFields\":774}\n",
      line);
}

}  // namespace
