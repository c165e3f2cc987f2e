#pragma once
// Reading the comma-separated fields of one sentence in place, and the readers
// that turn a field into a value. A reader returns false when the field cannot
// be read, which refuses the whole sentence; an empty field is no failure and
// leaves the value absent.

#include <cstdint>
#include <string_view>

#include "platform/Clock.h"

class FieldReader {
 public:
  // `firstField` is NUL-terminated at the end of the sentence's data.
  explicit FieldReader(char* firstField) : m_pFirstField(firstField), m_pCurrentField(firstField) {}

  // The next field; its comma becomes a NUL. False once the last field was read.
  bool NextField(std::string_view& field);
  // The last field has been read.
  bool AtEnd() const { return m_bEndReached; }

 private:
  char* m_pFirstField;
  char* m_pCurrentField;  // the NUL that ends the field read last
  bool m_bFirstCall = true;
  bool m_bEndReached = false;
};

template <typename T>
struct FieldValue {
  T value{};
  bool present = false;
};

// Decimal number with '.' as the decimal point, whatever the locale.
bool ReadDouble(FieldReader& reader, FieldValue<double>& result);
bool ReadChar(FieldReader& reader, FieldValue<char>& result);
// Base-10 integer; with allowFraction, text from a '.' on is ignored.
bool ReadInt(FieldReader& reader, FieldValue<int32_t>& result, bool allowFraction = false);
bool ReadUShort(FieldReader& reader, FieldValue<uint16_t>& result);
// hhmmss[.sss]: hour, minute and second; fractions of a second are dropped.
bool ReadTime(FieldReader& reader, FieldValue<SYSTEMTIME>& result);
// ReadTime, and the fraction's first three digits as milliseconds apart (0 without them).
bool ReadTime(FieldReader& reader, FieldValue<SYSTEMTIME>& result, uint32_t& fractionMs);
// ddmmyy: day, month and year 2000 + yy.
bool ReadDate(FieldReader& reader, FieldValue<SYSTEMTIME>& result);
bool ReadFixQuality(FieldReader& reader, FieldValue<uint32_t>& result);
// value true: status 'V', void.
bool ReadStatus(FieldReader& reader, FieldValue<bool>& result);
bool ReadSelectionMode(FieldReader& reader, FieldValue<uint32_t>& result);
bool ReadFixMode(FieldReader& reader, FieldValue<uint32_t>& result);
// Number and hemisphere letter; with `convert` the number is ddmm.mmmm and
// becomes decimal degrees. 'S' or 'W' negates.
bool ReadLatitude(FieldReader& reader, FieldValue<double>& result, bool convert);
bool ReadLongitude(FieldReader& reader, FieldValue<double>& result, bool convert);
// Number and unit letter, in metres; unit 'F' converts from feet.
bool ReadAltitude(FieldReader& reader, FieldValue<double>& result);
