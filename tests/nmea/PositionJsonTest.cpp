// The JSON form of the record that navlume-cli prints.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "NmeaTestSupport.h"
#include "tools/PositionJson.h"

namespace {

using PositionJsonTest = NmeaParserTest;

// The record as one line with no added members.
std::string LineOf(const GpsPosition& record) {
  PositionJsonLine writer({});
  std::string line;
  writer.Append(line, record, {});
  return line;
}

TEST_F(PositionJsonTest, ShowsValidFieldsWithShortestNumbersAndAlwaysTheFixCodes) {
  ASSERT_EQ(1, Feed(Nmea("GPRMC,225446.33,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E")));
  ASSERT_EQ(1, Feed(Nmea("GPGSA,A,3,04,05,,09,,,,,,,,,2.5,1.3,2.1")));
  const std::string text = LineOf(Position());
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

  const nlohmann::json empty = nlohmann::json::parse(LineOf(GpsPosition{}));
  EXPECT_EQ((nlohmann::json{{"validFields", 0}, {"fixQuality", 0}, {"fixType", 0}, {"selectionType", 0}}), empty);
}

TEST_F(PositionJsonTest, EveryLineOfACaptureReadsBackToItsRecord) {
  const char* source = std::getenv("NAVLUME_SOURCE");
  if (source == nullptr) GTEST_SKIP() << "NAVLUME_SOURCE is not set";
  std::ifstream in(std::string(source) + "/samples/sample.nmea", std::ios::binary);
  const std::string capture((std::istreambuf_iterator<char>(in)), {});
  ASSERT_FALSE(capture.empty());

  PositionJsonLine writer({"offset", "decoded"});
  uint64_t offset = 0;
  size_t lines = 0;
  for (size_t at = 0; at < capture.size();) {
    const size_t end = std::min(capture.find('\n', at), capture.size() - 1) + 1;
    const int decoded = Feed(std::string_view(capture).substr(at, end - at));
    offset += end - at;
    at = end;
    m_Clock.AdvanceMs(300);
    const GpsPosition record = Position();
    std::string line;
    writer.Append(line, record, {JsonNumber(static_cast<int64_t>(offset)), JsonNumber(decoded)});
    ASSERT_EQ('\n', line.back());
    const nlohmann::json parsed = nlohmann::json::parse(line);
    ASSERT_EQ(offset, parsed["offset"].get<uint64_t>()) << line;
    ASSERT_EQ(decoded, parsed["decoded"].get<int>()) << line;
    ASSERT_EQ(record.validFields, parsed["validFields"].get<uint32_t>()) << line;
    if (record.validFields & kGpsValidLatitude) {
      ASSERT_EQ(record.latitude, parsed["latitude"].get<double>()) << line;
    }
    if (record.validFields & kGpsValidHdop) {
      ASSERT_EQ(record.hdop, parsed["hdop"].get<float>()) << line;
    }
    if (record.validFields & kGpsValidInViewSnr) {
      ASSERT_EQ(record.inViewSnr[0], parsed["inViewSnr"][0].get<uint32_t>()) << line;
    }
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
  PositionJsonLine writer({"offset", "decoded"});
  std::string line;
  writer.Append(line, record, {"81", "1"});
  EXPECT_EQ(
      "{\"decoded\":1,\"fixQuality\":0,\"fixType\":0,\"hdop\":1.3,\"latitude\":-49.06455883333334,"
      "\"longitude\":50.62395316666667,\"offset\":81,\"pdop\":2,\"selectionType\":0,\"validFields\":774}\n",
      line);
}

}  // namespace

namespace {

// Every field that appears in JSON, each bit of validFields set.
GpsPosition AllFieldsShown() {
  GpsPosition record{};
  record.validFields = 0xFFFFFFFF;
  return record;
}

template <typename Number>
std::vector<Number> Extremes() {
  using Limits = std::numeric_limits<Number>;
  std::vector<Number> values{0, 1, Number(-1), Limits::max(), Limits::lowest(), Limits::min()};
  if constexpr (!Limits::is_integer) {
    values.insert(values.end(), {Limits::denorm_min(), Limits::epsilon(), Limits::infinity(), -Limits::infinity(),
                                 Limits::quiet_NaN(), -Limits::quiet_NaN(), Limits::signaling_NaN(), Number(-0.0)});
  }
  return values;
}

// Writes `record` as one line and reads it back; fails the test when it is not one valid JSON object.
nlohmann::json WrittenAndParsed(PositionJsonLine& writer, const GpsPosition& record) {
  std::string line;
  writer.Append(line, record, {"7", "1"});
  EXPECT_EQ(1, std::count(line.begin(), line.end(), '\n')) << line;
  EXPECT_EQ('\n', line.back());
  const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
  EXPECT_FALSE(parsed.is_discarded()) << line;
  EXPECT_TRUE(parsed.is_object()) << line;
  return parsed;
}

TEST(PositionJsonLineTest, EveryNumericFieldAtItsExtremesStillMakesValidJson) {
  PositionJsonLine writer({"offset", "decoded"});
  for (double value : Extremes<double>()) {
    GpsPosition record = AllFieldsShown();
    record.latitude = record.longitude = record.magneticVariation = value;
    const nlohmann::json parsed = WrittenAndParsed(writer, record);
    if (!std::isfinite(value)) {
      EXPECT_TRUE(parsed["latitude"].is_null());
    }
    if (std::isfinite(value)) {
      EXPECT_EQ(value, parsed["latitude"].get<double>());
    }
  }
  for (float value : Extremes<float>()) {
    GpsPosition record = AllFieldsShown();
    record.speed = record.heading = record.altitudeSeaLevel = record.altitudeEllipsoid = value;
    record.pdop = record.hdop = record.vdop = value;
    const nlohmann::json parsed = WrittenAndParsed(writer, record);
    if (!std::isfinite(value)) {
      EXPECT_TRUE(parsed["hdop"].is_null());
    }
    if (std::isfinite(value)) {
      EXPECT_EQ(value, static_cast<float>(parsed["hdop"].get<double>()));
    }
  }
  for (uint32_t value : Extremes<uint32_t>()) {
    GpsPosition record = AllFieldsShown();
    record.fixQuality = record.fixType = record.selectionType = record.satelliteCount = value;
    record.satellitesInView = value;
    for (size_t i = 0; i < kGpsMaxSatellites; ++i) {
      record.usedPrns[i] = record.inViewPrns[i] = record.inViewElevation[i] = value;
      record.inViewAzimuth[i] = record.inViewSnr[i] = value;
    }
    EXPECT_EQ(value, WrittenAndParsed(writer, record)["inViewSnr"][11].get<uint32_t>());
  }
  for (uint16_t value : Extremes<uint16_t>()) {
    GpsPosition record = AllFieldsShown();
    record.utcTime = {value, value, value, value, value, value, value, value};
    EXPECT_EQ(value, WrittenAndParsed(writer, record)["utcDayOfWeek"].get<uint16_t>());
  }
}

TEST(PositionJsonLineTest, AnHdopBeyondTheFloatRangeIsWrittenAsNull) {
  NmeaParser parser;
  const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,1e39,545.4,M,46.9,M,,*3E\r\n";
  ASSERT_EQ(1, parser.Feed(gga.data(), static_cast<uint32_t>(gga.size())));
  GpsPosition record{};
  parser.GetPosition(record, kNmeaMaxAgeMs);
  ASSERT_TRUE(record.validFields & kGpsValidHdop);
  PositionJsonLine writer({"offset", "decoded"});
  std::string line;
  writer.Append(line, record, {"81", "1"});
  EXPECT_NE(std::string::npos, line.find("\"hdop\":null")) << line;
  EXPECT_NE(std::string::npos, line.find("\"altitudeSeaLevel\":545.4")) << line;
}

TEST(PositionJsonLineTest, ExtraMembersTakeTheirPlaceAmongTheRecordsAndStringsAreEscaped) {
  GpsPosition record{};
  record.validFields = kGpsValidAltitudeSeaLevel;
  record.altitudeSeaLevel = 545.0f;
  PositionJsonLine writer({"raw", "state", "fixed"});
  std::string line;
  writer.Append(line, record, {JsonString("$GP\"\\\r\n\xff"), JsonNumber(3), JsonNumber(0)});
  EXPECT_EQ(
      "{\"altitudeSeaLevel\":545,\"fixQuality\":0,\"fixType\":0,\"fixed\":0,\"raw\":\"$GP\\\"\\\\\\r\\n\xEF\xBF\xBD\","
      "\"selectionType\":0,\"state\":3,\"validFields\":64}\n",
      line);
}

}  // namespace
