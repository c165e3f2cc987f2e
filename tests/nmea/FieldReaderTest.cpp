// The field readers, number conversion under any locale, and the coordinate conversions.

#include <clocale>
#include <cmath>
#include <limits>
#include <locale>

#include "NmeaTestSupport.h"
#include "nmea/FieldReader.h"
#include "support/Ci.h"

namespace {

// Runs one reader over the text of a sentence's fields.
template <typename T, typename... Extra>
bool ReadFrom(std::string text, bool (*reader)(FieldReader&, FieldValue<T>&, Extra...), FieldValue<T>& result,
              Extra... extra) {
  FieldReader fields(text.data());
  return reader(fields, result, extra...);
}

FieldValue<double> Double(const std::string& text, bool expectRead = true) {
  FieldValue<double> result;
  EXPECT_EQ(expectRead, ReadFrom(text, ReadDouble, result)) << '"' << text << '"';
  return result;
}

FieldValue<int32_t> Int(const std::string& text, bool allowFraction, bool expectRead = true) {
  FieldValue<int32_t> result;
  EXPECT_EQ(expectRead, ReadFrom(text, ReadInt, result, allowFraction)) << '"' << text << '"';
  return result;
}

TEST(FieldReaderTest, WalksFieldsInPlaceAndReportsTheEnd) {
  std::string text = "a,,bc";
  FieldReader reader(text.data());
  std::string_view field;
  ASSERT_TRUE(reader.NextField(field));
  EXPECT_EQ("a", field);
  ASSERT_TRUE(reader.NextField(field));
  EXPECT_EQ("", field);
  ASSERT_TRUE(reader.NextField(field));
  EXPECT_EQ("bc", field);
  EXPECT_FALSE(reader.NextField(field));
  EXPECT_EQ(std::string("a\0\0bc", 5), text);

  std::string empty;
  FieldReader none(empty.data());
  ASSERT_TRUE(none.NextField(field));
  EXPECT_EQ("", field);
  EXPECT_FALSE(none.NextField(field));
}

TEST(FieldReaderTest, DecimalNumbersFollowTheCConversionRules) {
  EXPECT_EQ(1.5, Double("1.5").value);
  EXPECT_EQ(1.5, Double(" \t+1.5").value);
  EXPECT_EQ(-2000.0, Double("-2e3").value);
  EXPECT_EQ(0.5, Double(".5").value);
  EXPECT_EQ(7.0, Double("7.").value);
  EXPECT_FALSE(Double("").present);
  EXPECT_TRUE(Double("0").present);
}

TEST(FieldReaderTest, TextThatIsNotWhollyAFiniteDecimalNumberFails) {
  for (const char* text : {"1.5x", "1;5", "x", " ", "-", "+-1", "--1", "0x1A", "inf", "-infinity", "nan", "1e400",
                           "-1e400", "1.5 "}) {
    Double(text, false);
  }
}

TEST(FieldReaderTest, IntegersFailOnOverflowAndOnTheValuesThatMarkIt) {
  EXPECT_EQ(12, Int("12", false).value);
  EXPECT_EQ(-7, Int(" -7", false).value);
  EXPECT_EQ(2147483646, Int("2147483646", false).value);
  EXPECT_EQ(-2147483647, Int("-2147483647", false).value);
  for (const char* text : {"2147483647", "-2147483648", "99999999999", "99999999999999999999999", "12x", "1.5",
                           "", "+-3"}) {
    const bool empty = *text == '\0';
    EXPECT_FALSE(Int(text, false, empty).present) << text;
  }
}

TEST(FieldReaderTest, AFractionIsIgnoredOnlyWhereAllowed) {
  EXPECT_EQ(123519, Int("123519.75", true).value);
  EXPECT_EQ(123519, Int("123519.", true).value);
  Int("123519.75", false, false);
  EXPECT_EQ(123519, Int("123519,5", true).value);  // the comma ends the field
  Int(".5", true, false);
}

TEST(FieldReaderTest, UnsignedShortsAreIntegersFrom0To65535) {
  FieldValue<uint16_t> value;
  EXPECT_TRUE(ReadFrom("65535", ReadUShort, value));
  EXPECT_EQ(65535, value.value);
  EXPECT_FALSE(ReadFrom("65536", ReadUShort, value));
  EXPECT_FALSE(ReadFrom("-1", ReadUShort, value));
}

TEST(FieldReaderTest, LetterCodesMapTheirFirstCharacter) {
  FieldValue<uint32_t> code;
  ASSERT_TRUE(ReadFrom("2", ReadFixQuality, code));
  EXPECT_EQ(2u, code.value);
  code = {};
  ASSERT_TRUE(ReadFrom("6", ReadFixQuality, code));
  EXPECT_TRUE(code.present);
  EXPECT_EQ(0u, code.value);
  code = {};
  ASSERT_TRUE(ReadFrom("", ReadFixQuality, code));
  EXPECT_FALSE(code.present);
  ASSERT_TRUE(ReadFrom("Mx", ReadSelectionMode, code));
  EXPECT_EQ(2u, code.value);
  ASSERT_TRUE(ReadFrom("3", ReadFixMode, code));
  EXPECT_EQ(2u, code.value);
  ASSERT_TRUE(ReadFrom("1", ReadFixMode, code));
  EXPECT_EQ(0u, code.value);
  FieldValue<bool> isVoid;
  ASSERT_TRUE(ReadFrom("V", ReadStatus, isVoid));
  EXPECT_TRUE(isVoid.value);
  ASSERT_TRUE(ReadFrom("x", ReadStatus, isVoid));
  EXPECT_FALSE(isVoid.value);
}

TEST(FieldReaderTest, CoordinatesConvertAndTakeTheirSignFromTheLetter) {
  FieldValue<double> value;
  ASSERT_TRUE(ReadFrom("4916.45,N", ReadLatitude, value, true));
  EXPECT_EQ(49.27416666666666, value.value);
  ASSERT_TRUE(ReadFrom("12311.12,W", ReadLongitude, value, true));
  EXPECT_EQ(-123.18533333333335, value.value);
  ASSERT_TRUE(ReadFrom("4916.45,S", ReadLatitude, value, true));
  EXPECT_LT(value.value, 0);
  ASSERT_TRUE(ReadFrom("003.1,W", ReadLongitude, value, false));
  EXPECT_EQ(-3.1, value.value);
  ASSERT_TRUE(ReadFrom("003.1,E", ReadLongitude, value, false));
  EXPECT_EQ(3.1, value.value);

  FieldValue<double> absent;
  ASSERT_TRUE(ReadFrom("4916.45,", ReadLatitude, absent, true));
  EXPECT_FALSE(absent.present);
  ASSERT_TRUE(ReadFrom(",N", ReadLatitude, absent, true));
  EXPECT_FALSE(absent.present);
  EXPECT_FALSE(ReadFrom("4916.45", ReadLatitude, absent, true));
  EXPECT_FALSE(ReadFrom("49x,N", ReadLatitude, absent, true));
}

TEST(FieldReaderTest, AltitudesInFeetBecomeMetres) {
  FieldValue<double> value;
  ASSERT_TRUE(ReadFrom("100.0,F", ReadAltitude, value));
  EXPECT_EQ(30.480000376701355, value.value);
  ASSERT_TRUE(ReadFrom("100.0,M", ReadAltitude, value));
  EXPECT_EQ(100.0, value.value);
  FieldValue<double> absent;
  ASSERT_TRUE(ReadFrom("100.0,", ReadAltitude, absent));
  EXPECT_FALSE(absent.present);
}

TEST(FieldReaderTest, TimesAndDatesSplitTheirDigits) {
  FieldValue<SYSTEMTIME> time;
  ASSERT_TRUE(ReadFrom("123519.99", ReadTime, time));
  EXPECT_EQ(12, time.value.wHour);
  EXPECT_EQ(35, time.value.wMinute);
  EXPECT_EQ(19, time.value.wSecond);
  EXPECT_EQ(0, time.value.wMilliseconds);
  // An hour past 16 bits must not wrap into a valid one (655360000 would read 00:00:00).
  ASSERT_TRUE(ReadFrom("655360000", ReadTime, time));
  EXPECT_EQ(65535, time.value.wHour);
  ASSERT_TRUE(ReadFrom("-655240000", ReadTime, time));
  EXPECT_EQ(65535, time.value.wHour);

  FieldValue<SYSTEMTIME> date;
  ASSERT_TRUE(ReadFrom("230394", ReadDate, date));
  EXPECT_EQ(23, date.value.wDay);
  EXPECT_EQ(3, date.value.wMonth);
  EXPECT_EQ(2094, date.value.wYear);
  EXPECT_FALSE(ReadFrom("2303", ReadDate, date));
  EXPECT_FALSE(ReadFrom("0230394", ReadDate, date));
}

TEST(CoordinateConversionTest, ConvertsBothWaysAndIsAlwaysPositive) {
  EXPECT_NEAR(49.5, NmeaToDegrees(49.30), 1e-12);
  EXPECT_NEAR(49.5, NmeaToDegrees(-49.30), 1e-12);
  EXPECT_NEAR(49.30, DegreesToNmea(49.5), 1e-12);
  EXPECT_NEAR(49.30, DegreesToNmea(-49.5), 1e-12);
  EXPECT_TRUE(std::isnan(NmeaToDegrees(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(1e300, NmeaToDegrees(1e300));  // whole, far past any integer type
}

// Decimal points follow '.' whatever the program's locale.
class CommaDecimalPoint : public std::numpunct<char> {
 protected:
  char do_decimal_point() const override { return ','; }
};

class CommaLocaleTest : public NmeaParserTest {
 protected:
  void SetUp() override {
    m_Previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimalPoint));
    m_PreviousC = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        m_bCLocale = true;
        break;
      }
    }
  }
  void TearDown() override {
    std::setlocale(LC_ALL, m_PreviousC.c_str());
    std::locale::global(m_Previous);
  }
  std::locale m_Previous;
  std::string m_PreviousC;
  bool m_bCLocale = false;
};

TEST_F(CommaLocaleTest, NumbersStillUseADot) {
  if (m_bCLocale) {
    EXPECT_EQ(',', *std::localeconv()->decimal_point);
  }
  EXPECT_EQ(1.5, Double("1.5").value);
  ASSERT_EQ(1, Feed(Nmea("GPGGA,123519,4916.45,N,12311.12,W,1,08,0.9,545.4,M,46.9,M,,")));
  const GpsPosition record = Position();
  EXPECT_EQ(49.27416666666666, record.latitude);
  EXPECT_EQ(-123.18533333333335, record.longitude);
  EXPECT_EQ(0.9f, record.hdop);
  EXPECT_EQ(545.4f, record.altitudeSeaLevel);
  if (m_bCLocale) return;
  if (navlume_test::UnderCi()) ADD_FAILURE() << "no comma C locale installed (scripts/deps.sh makes de_DE.UTF-8)";
  GTEST_LOG_(INFO) << "no comma C locale installed; checked with a comma numpunct only";
}

}  // namespace
