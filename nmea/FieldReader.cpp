#include "nmea/FieldReader.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cmath>
#include <limits>

#include "nmea/NmeaParser.h"

namespace {

constexpr double kMinutesToFraction = 1.6666666666666667;  // 100 / 60
constexpr double kFractionToMinutes = 0.6;
constexpr double kHundredth = 0.01;
// Feet to metres as a single-precision constant, widened.
constexpr double kFeetToMetres = static_cast<double>(0.3048f);
constexpr uint32_t kMsPerSecond = 1000;
constexpr uint32_t kDecimalBase = 10;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// What the C conversions accept ahead of the digits: white space, then one sign.
const char* SkipSpaceAndSign(const char* p, const char* end, bool& negative) {
  while (p != end && IsSpace(*p)) ++p;
  negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  return p;
}

// The whole text must be a finite decimal number in range. Hexadecimal, "inf"
// and "nan" are not numbers here; a second sign is refused.
bool ParseDouble(std::string_view text, double& value) {
  const char* end = text.data() + text.size();
  bool negative = false;
  const char* p = SkipSpaceAndSign(text.data(), end, negative);
  if (p != end && (*p == '+' || *p == '-')) return false;
  const auto [stop, error] = std::from_chars(p, end, value, std::chars_format::general);
  if (error != std::errc{} || stop != end || !std::isfinite(value)) return false;
  if (negative) value = -value;
  return true;
}

// Base-10 integer; the values that mark an overflow (INT32_MAX and INT32_MIN)
// count as failures.
bool ParseInt(std::string_view text, bool allowFraction, int32_t& value) {
  const char* end = text.data() + text.size();
  bool negative = false;
  const char* p = SkipSpaceAndSign(text.data(), end, negative);
  uint64_t magnitude = 0;
  const auto [stop, error] = std::from_chars(p, end, magnitude, 10);
  if (error != std::errc{}) return false;
  if (stop != end && !(allowFraction && *stop == '.')) return false;
  constexpr uint64_t kOverflow = std::numeric_limits<int32_t>::max();
  if (magnitude >= (negative ? kOverflow + 1 : kOverflow)) return false;
  value = negative ? -static_cast<int32_t>(magnitude) : static_cast<int32_t>(magnitude);
  return true;
}

bool ReadIntField(FieldReader& reader, FieldValue<int32_t>& result, bool allowFraction) {
  std::string_view field;
  if (!reader.NextField(field)) return false;
  if (field.empty()) return true;
  result.present = ParseInt(field, allowFraction, result.value);
  return result.present;
}

bool ReadCoordinate(FieldReader& reader, FieldValue<double>& result, bool convert, char negativeLetter) {
  FieldValue<double> number;
  FieldValue<char> letter;
  if (!ReadDouble(reader, number) || !ReadChar(reader, letter)) return false;
  if (!number.present || !letter.present) return true;
  double value = convert ? NmeaToDegrees(number.value * kHundredth) : number.value;
  if (letter.value == negativeLetter) value = -value;
  result = {value, true};
  return true;
}

// Reads a one-letter code field and maps its first character.
bool ReadCode(FieldReader& reader, FieldValue<uint32_t>& result, uint32_t (*map)(char)) {
  FieldValue<char> code;
  if (!ReadChar(reader, code)) return false;
  if (code.present) result = {map(code.value), true};
  return true;
}

uint32_t FixQualityCode(char c) { return c == '1' ? kGpsFixQualityGps : c == '2' ? kGpsFixQualityDgps : kGpsFixQualityUnknown; }
uint32_t SelectionModeCode(char c) { return c == 'A' ? kGpsFixSelectionAuto : c == 'M' ? kGpsFixSelectionManual : kGpsFixSelectionUnknown; }
uint32_t FixModeCode(char c) { return c == '2' ? kGpsFix2D : c == '3' ? kGpsFix3D : kGpsFixUnknown; }

}  // namespace

bool FieldReader::NextField(std::string_view& field) {
  if (m_bEndReached) return false;
  char* start = m_bFirstCall ? m_pFirstField : m_pCurrentField + 1;
  m_bFirstCall = false;
  char* p = start;
  while (*p != ',' && *p != '\0') ++p;
  m_bEndReached = *p == '\0';
  *p = '\0';
  m_pCurrentField = p;
  field = std::string_view(start, static_cast<size_t>(p - start));
  return true;
}

bool ReadDouble(FieldReader& reader, FieldValue<double>& result) {
  std::string_view field;
  if (!reader.NextField(field)) return false;
  if (field.empty()) return true;
  result.present = ParseDouble(field, result.value);
  return result.present;
}

bool ReadChar(FieldReader& reader, FieldValue<char>& result) {
  std::string_view field;
  if (!reader.NextField(field)) return false;
  if (!field.empty()) result = {field.front(), true};
  return true;
}

bool ReadInt(FieldReader& reader, FieldValue<int32_t>& result, bool allowFraction) {
  return ReadIntField(reader, result, allowFraction);
}

bool ReadUShort(FieldReader& reader, FieldValue<uint16_t>& result) {
  FieldValue<int32_t> number;
  if (!ReadInt(reader, number)) return false;
  if (!number.present) return true;
  if (number.value < 0 || number.value > std::numeric_limits<uint16_t>::max()) return false;
  result = {static_cast<uint16_t>(number.value), true};
  return true;
}

bool ReadTime(FieldReader& reader, FieldValue<SYSTEMTIME>& result) {
  uint32_t ignored = 0;
  return ReadTime(reader, result, ignored);
}

bool ReadTime(FieldReader& reader, FieldValue<SYSTEMTIME>& result, uint32_t& fractionMs) {
  fractionMs = 0;
  std::string_view field;
  if (!reader.NextField(field)) return false;
  if (field.empty()) return true;
  int32_t v = 0;
  if (!ParseInt(field, true, v)) return false;
  // A negative time, or an hour too large for 16 bits, gets an hour that no
  // date conversion accepts rather than one wrapped into range.
  constexpr int32_t kHourLimit = std::numeric_limits<uint16_t>::max();
  result.value.wHour = static_cast<uint16_t>(v < 0 ? kHourLimit : std::min(v / 10000, kHourLimit));
  result.value.wMinute = static_cast<uint16_t>(std::abs(v % 10000) / 100);
  result.value.wSecond = static_cast<uint16_t>(std::abs(v % 100));
  result.value.wMilliseconds = 0;
  result.present = true;
  const size_t point = field.find('.');
  uint32_t scale = kMsPerSecond;
  for (size_t i = point + 1; point != std::string_view::npos && i < field.size() && scale > 1; ++i) {
    if (field[i] < '0' || field[i] > '9') break;
    scale /= kDecimalBase;
    fractionMs += static_cast<uint32_t>(field[i] - '0') * scale;
  }
  return true;
}

bool ReadDate(FieldReader& reader, FieldValue<SYSTEMTIME>& result) {
  std::string_view field;
  if (!reader.NextField(field)) return false;
  if (field.empty()) return true;
  constexpr size_t kDateLength = 6;  // ddmmyy
  int32_t v = 0;
  if (!ParseInt(field, false, v) || field.size() != kDateLength) return false;
  result.value.wDay = static_cast<uint16_t>(v / 10000);
  result.value.wMonth = static_cast<uint16_t>(v % 10000 / 100);
  result.value.wYear = static_cast<uint16_t>(2000 + v % 100);
  result.present = true;
  return true;
}

bool ReadFixQuality(FieldReader& reader, FieldValue<uint32_t>& result) {
  return ReadCode(reader, result, FixQualityCode);
}

bool ReadStatus(FieldReader& reader, FieldValue<bool>& result) {
  FieldValue<char> status;
  if (!ReadChar(reader, status)) return false;
  if (status.present) result = {status.value == 'V', true};
  return true;
}

bool ReadSelectionMode(FieldReader& reader, FieldValue<uint32_t>& result) {
  return ReadCode(reader, result, SelectionModeCode);
}

bool ReadFixMode(FieldReader& reader, FieldValue<uint32_t>& result) {
  return ReadCode(reader, result, FixModeCode);
}

bool ReadLatitude(FieldReader& reader, FieldValue<double>& result, bool convert) {
  return ReadCoordinate(reader, result, convert, 'S');
}

bool ReadLongitude(FieldReader& reader, FieldValue<double>& result, bool convert) {
  return ReadCoordinate(reader, result, convert, 'W');
}

bool ReadAltitude(FieldReader& reader, FieldValue<double>& result) {
  FieldValue<double> number;
  FieldValue<char> unit;
  if (!ReadDouble(reader, number) || !ReadChar(reader, unit)) return false;
  if (!number.present || !unit.present) return true;
  result = {unit.value == 'F' ? number.value * kFeetToMetres : number.value, true};
  return true;
}

namespace {

double SplitWhole(double value, double fractionScale) {
  const double magnitude = std::fabs(value);
  const double whole = std::trunc(magnitude);
  return whole + (magnitude - whole) * fractionScale;
}

}  // namespace

double NmeaToDegrees(double value) { return SplitWhole(value, kMinutesToFraction); }

double DegreesToNmea(double value) { return SplitWhole(value, kFractionToMinutes); }
