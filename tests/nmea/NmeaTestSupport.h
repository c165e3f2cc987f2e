#pragma once
// Shared helpers of the NMEA suites: sentences with their checksums, and a
// parser on a clock that stands still until a test moves it.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "nmea/NmeaParser.h"
#include "platform/Clock.h"
#include "platform/Debug.h"

// 2020-01-01 00:00:00 UTC.
constexpr FILETIME kTestStart = 132223104000000000ull;

// "$<body>*hh\r\n" with the body's checksum.
inline std::string Nmea(std::string_view body) {
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", unsigned{NmeaChecksum(body.data(), body.size())});
  return "$" + std::string(body) + tail;
}

class NmeaParserTest : public ::testing::Test {
 protected:
  int Feed(std::string_view text) { return m_Parser.Feed(text.data(), static_cast<uint32_t>(text.size())); }

  GpsPosition Position(uint32_t maxAgeMs = kNmeaMaxAgeMs) const { return PositionOf(m_Parser, maxAgeMs); }

  static GpsPosition PositionOf(const NmeaParser& parser, uint32_t maxAgeMs = kNmeaMaxAgeMs) {
    GpsPosition record{};
    record.version = kGpsPositionVersion;
    record.size = kGpsPositionSize;
    parser.GetPosition(record, maxAgeMs);
    return record;
  }

  std::string Buffered() {
    LineBuffer& buffer = m_Parser.GetLineBuffer();
    return std::string(buffer.Data() == nullptr ? "" : buffer.Data(), buffer.Length());
  }

  platform::ManualClock m_Clock{kTestStart};
  platform::ScopedUtcClock m_ScopedClock{m_Clock};
  platform::DebugCapture m_Debug;
  NmeaParser m_Parser;
};
