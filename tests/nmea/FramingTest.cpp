// Cutting the input into sentences, the checksum, and the line buffer.

#include <cstdlib>
#include <cstring>
#include <limits>

#include "NmeaTestSupport.h"

namespace {

const std::string kGga = Nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kGll = Nmea("GPGLL,4916.45,N,12311.12,W,225444,A");
const char kMismatchLine[] =
    "AGPS: NMEA CheckSum in packet (0x%02x) did not match checksum calculated (0x%02x).  Throwing out sentence";
const char kAllocationLine[] = "GPS: Memory allocatin failed";

std::string MismatchLine(unsigned received, unsigned computed) {
  char line[160];
  std::snprintf(line, sizeof line, kMismatchLine, received, computed);
  return line;
}

using FramingTest = NmeaParserTest;

TEST_F(FramingTest, ASentenceSplitOverTwoCallsIsDecodedWhenItsEndArrives) {
  const size_t split = kGga.find('*');
  EXPECT_EQ(0, Feed(kGga.substr(0, split)));
  EXPECT_EQ(kGga.substr(0, split), Buffered());
  EXPECT_EQ(0u, Position().validFields);
  EXPECT_EQ(1, Feed(kGga.substr(split)));
  EXPECT_TRUE(Position().validFields & kGpsValidLatitude);
  EXPECT_EQ("", Buffered());
}

TEST_F(FramingTest, EverySentenceOfAChunkIsCounted) {
  EXPECT_EQ(2, Feed(kGga + kGll));
  EXPECT_EQ(3, Feed("junk" + kGll + "\r\n" + kGga + kGll + "$GPGGA,1"));
  EXPECT_EQ("$GPGGA,1", Buffered());
}

TEST_F(FramingTest, ASentenceWithoutChecksumIsDecodedUntested) {
  EXPECT_EQ(1, Feed("$GPGLL,4916.45,N,12311.12,W,225444,A\r\n"));
  EXPECT_DOUBLE_EQ(-(123 + 11.12 / 60), Position().longitude);
}

TEST_F(FramingTest, AWrongChecksumIsLoggedWithBothValuesAndStoresNothing) {
  std::string bad = kGga;
  const size_t star = bad.find('*');
  const unsigned computed = static_cast<unsigned>(std::stoul(bad.substr(star + 1, 2), nullptr, 16));
  bad.replace(star + 1, 2, "0A");
  EXPECT_EQ(0, Feed(bad));
  EXPECT_EQ(std::vector<std::string>{MismatchLine(0x0A, computed)}, m_Debug.Lines());
  EXPECT_EQ(0u, Position().validFields);
}

TEST_F(FramingTest, ChecksumDigitsMayBeLowerCase) {
  // Find a sentence whose checksum has a letter digit.
  std::string sentence;
  for (int second = 0; second < 60; ++second) {
    sentence = Nmea("GPGLL,4916.45,N,12311.12,W,2254" + std::to_string(10 + second) + ",A");
    if (sentence.find_first_of("ABCDEF", sentence.find('*')) != std::string::npos) break;
  }
  for (size_t i = sentence.find('*'); i < sentence.size(); ++i) {
    sentence[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(sentence[i])));
  }
  ASSERT_NE(std::string::npos, sentence.find_first_of("abcdef", sentence.find('*')));
  EXPECT_EQ(1, Feed(sentence));
}

TEST_F(FramingTest, AChecksumTailThatIsNotTwoHexDigitsRefusesTheSentence) {
  // A body whose checksum is 0: "*G0" would pass if reading stopped at the 'G'.
  std::string body = "GPGLL,4916.45,N,12311.12,W,225444,A";
  const uint8_t sum = NmeaChecksum(body.data(), body.size());
  for (char a = 'A'; a <= 'Z'; ++a) {
    const char b = static_cast<char>(sum ^ a);
    if (std::isalnum(static_cast<unsigned char>(b))) {
      body += {a, b};
      break;
    }
  }
  ASSERT_EQ(0, NmeaChecksum(body.data(), body.size()));
  EXPECT_EQ(0, Feed("$" + body + "*G0\r\n"));
  EXPECT_EQ(0, Feed("$" + body + "*-0\r\n"));
  EXPECT_EQ(0, Feed("$" + body + "* 0\r\n"));
  EXPECT_EQ(3u, m_Debug.Count("did not match"));
  EXPECT_EQ(0u, Position().validFields);
  EXPECT_EQ(1, Feed("$" + body + "*00\r\n"));
}

TEST_F(FramingTest, OtherTalkersAndSentenceTypesAreDroppedSilently) {
  for (const char* body : {"GNGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
                           "GLGSV,1,1,01,65,10,100,30", "GPVTG,054.7,T,034.4,M,005.5,N,010.2,K",
                           "GPZDA,201530.00,04,07,2002,00,00", "GPTXT,01,01,02,ANTSTATUS=OK", "GPGGAX123519"}) {
    EXPECT_EQ(0, Feed(Nmea(body))) << body;
  }
  EXPECT_TRUE(m_Debug.Lines().empty());
  EXPECT_EQ(0u, Position().validFields);
}

TEST_F(FramingTest, InputWithoutSentenceStartKeepsOnlyTheLast82Bytes) {
  std::string junk;
  for (int i = 0; i < 200; ++i) junk += static_cast<char>('a' + i % 26);
  EXPECT_EQ(0, Feed(junk));
  EXPECT_EQ(junk.substr(200 - 82), Buffered());
  // What was kept still completes a sentence that was started in it.
  EXPECT_EQ(0, Feed(kGga.substr(0, 30)));
  EXPECT_EQ(1, Feed(kGga.substr(30)));
}

TEST_F(FramingTest, UpTo82BytesWithoutASentenceEndAreKeptAsTheyCame) {
  const std::string pending = "noise" + kGga.substr(0, 40);
  EXPECT_EQ(0, Feed(pending));
  EXPECT_EQ(pending, Buffered());
  EXPECT_EQ(1, Feed(kGga.substr(40)));
}

TEST_F(FramingTest, InputAfterTheLastSentenceEndIsKeptWhateverItsLength) {
  const std::string tail = "$GPGGA," + std::string(300, '1');
  EXPECT_EQ(1, Feed(kGll + tail));
  EXPECT_EQ(tail, Buffered());
  // A call that ends no sentence cuts a runaway one to the longest sentence NMEA allows.
  EXPECT_EQ(0, Feed("2"));
  EXPECT_EQ(82u, Buffered().size());
}

TEST_F(FramingTest, SentencesLongerThan82BytesSurviveAnySplit) {
  // A receiver's GGA with DGPS fields, 84 bytes with CR LF.
  const std::string longGga =
      Nmea("GPGGA,202640.000,4404.1306,N,12118.8515,W,2,10,0.98,1127.7,M,-19.6,M,0000,0000");
  ASSERT_EQ(84u, longGga.size());
  const std::string stream = "junk" + longGga + longGga.substr(0, 3);
  for (size_t split = 0; split <= stream.size(); ++split) {
    NmeaParser parser;
    const int decoded = parser.Feed(stream.data(), static_cast<uint32_t>(split)) +
                        parser.Feed(stream.data() + split, static_cast<uint32_t>(stream.size() - split));
    EXPECT_EQ(1, decoded) << "split at " << split;
    EXPECT_EQ(kGpsFixQualityDgps, PositionOf(parser).fixQuality) << "split at " << split;
  }
}

TEST_F(FramingTest, ADollarInsideAnUnfinishedSentenceDoesNotStartANewOne) {
  EXPECT_EQ(0, Feed("$GPGGA,1235" + kGll));
  EXPECT_EQ(1u, m_Debug.Count("did not match"));
  EXPECT_EQ(0u, Position().validFields);
}

TEST_F(FramingTest, ACarriageReturnNotFollowedByLineFeedDropsTheSentence) {
  std::string cut = kGll;
  cut.pop_back();
  // The byte after the CR ends the sentence and is not looked at as a '$'.
  EXPECT_EQ(0, Feed(cut + kGll));
  EXPECT_EQ(0u, Position().validFields);
  EXPECT_EQ(1, Feed(kGll));
}

TEST_F(FramingTest, ALongSentenceInOneChunkIsStillDecoded) {
  const std::string longGll = Nmea("GPGLL,4916.45000000000000000000000000000000000000000000000000000000,N,12311.12,W,225444,A");
  ASSERT_GT(longGll.size(), 82u);
  EXPECT_EQ(1, Feed(longGll));
}

TEST_F(FramingTest, TheRecordAfterTheLastSentenceDoesNotDependOnChunking) {
  std::string stream = "\r\n";
  for (const char* body : {
           "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
           "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
           "GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1",
           "GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45",
           "GPGSV,2,2,08,15,10,100,30,16,20,200,,17,30,300,25,18,40,044,33",
           "GNGGA,123520,5807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
           "GPGLL,4916.45,N,12311.12,W,225444,A",
           "GPVTG,054.7,T,034.4,M,005.5,N,010.2,K",
       }) {
    stream += Nmea(body);
  }
  stream += "junk$GPGGA,1\r\n";

  NmeaParser whole;
  ASSERT_EQ(6, whole.Feed(stream.data(), static_cast<uint32_t>(stream.size())));
  const GpsPosition expected = PositionOf(whole);
  ASSERT_EQ(0x3FFFFu, expected.validFields);

  const auto expectSame = [&](NmeaParser& parser, const std::string& how) {
    const GpsPosition got = PositionOf(parser);
    EXPECT_EQ(0, std::memcmp(&expected, &got, sizeof got)) << how;
  };
  for (size_t split = 0; split <= stream.size(); ++split) {
    NmeaParser parser;
    EXPECT_EQ(6, parser.Feed(stream.data(), static_cast<uint32_t>(split)) +
                     parser.Feed(stream.data() + split, static_cast<uint32_t>(stream.size() - split)));
    expectSame(parser, "split at " + std::to_string(split));
  }
  for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
    NmeaParser parser;
    int decoded = 0;
    for (size_t at = 0; at < stream.size(); at += chunk) {
      const size_t count = std::min(chunk, stream.size() - at);
      decoded += parser.Feed(stream.data() + at, static_cast<uint32_t>(count));
    }
    EXPECT_EQ(6, decoded) << "chunks of " << chunk;
    expectSame(parser, "chunks of " + std::to_string(chunk));
  }
}

TEST(VerifyChecksumTest, SentencesTooShortForTheirTailAreRefusedWithoutReadingOutside) {
  for (uint32_t length = 0; length < 6; ++length) {
    std::unique_ptr<char[]> exact(new char[length]);
    std::memcpy(exact.get(), "*0000\r\n", length);
    EXPECT_FALSE(VerifyChecksum(exact.get(), length)) << length;
  }
  char shortest[] = "$*00\r\n";
  EXPECT_TRUE(VerifyChecksum(shortest, 6));
  EXPECT_STREQ("$", shortest);
  char noTail[] = "$GPXYZ,1\r\n";
  EXPECT_TRUE(VerifyChecksum(noTail, 10));
  EXPECT_STREQ("$GPXYZ,1", noTail);
}

TEST(NmeaChecksumTest, IsTheXorOfTheBytes) {
  EXPECT_EQ(0, NmeaChecksum("", 0));
  EXPECT_EQ(0x47, NmeaChecksum("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", 62));
  EXPECT_EQ(0x80 ^ 0x01, NmeaChecksum("\x80\x01", 2));
}

// An allocator whose growth can be made to fail.
struct FailingHeap {
  static inline bool failing = false;
  static void* Allocate(size_t size) { return failing ? nullptr : std::malloc(size); }
  static void* Reallocate(void* block, size_t size) { return failing ? nullptr : std::realloc(block, size); }
  static constexpr LineBufferAllocator kAllocator{Allocate, Reallocate, std::free};
};

class AllocationFailureTest : public NmeaParserTest {
 protected:
  ~AllocationFailureTest() override { FailingHeap::failing = false; }
  NmeaParser m_Failing{FailingHeap::kAllocator};
  int FeedFailing(std::string_view text) {
    return m_Failing.Feed(text.data(), static_cast<uint32_t>(text.size()));
  }
};

TEST_F(AllocationFailureTest, AFailedFirstAllocationIsLoggedAndRetriedByTheNextCall) {
  FailingHeap::failing = true;
  EXPECT_EQ(0, FeedFailing(kGga));
  EXPECT_EQ(std::vector<std::string>{kAllocationLine}, m_Debug.Lines());
  EXPECT_EQ(nullptr, m_Failing.GetLineBuffer().Data());
  EXPECT_EQ(0u, m_Failing.GetLineBuffer().Capacity());
  FailingHeap::failing = false;
  EXPECT_EQ(1, FeedFailing(kGga));
}

TEST_F(AllocationFailureTest, AFailedGrowthKeepsWhatWasBufferedAndDecodesNothing) {
  const std::string head = kGga.substr(0, 40);
  ASSERT_EQ(0, FeedFailing(head));
  FailingHeap::failing = true;
  const std::string rest = kGga.substr(40) + std::string(2000, 'x') + "\r\n" + kGll;
  EXPECT_EQ(0, FeedFailing(rest));
  EXPECT_EQ(1u, m_Debug.Count(kAllocationLine));
  EXPECT_EQ(head, std::string(m_Failing.GetLineBuffer().Data(), m_Failing.GetLineBuffer().Length()));
  FailingHeap::failing = false;
  EXPECT_EQ(2, FeedFailing(rest));
}

TEST(LineBufferTest, GrowsInStepsOfAtLeast1024AndKeepsASpareByte) {
  LineBuffer buffer;
  EXPECT_EQ(nullptr, buffer.Data());
  ASSERT_TRUE(buffer.Append("abc", 3));
  EXPECT_EQ(1024u, buffer.Capacity());
  const std::string big(3000, 'z');
  ASSERT_TRUE(buffer.Append(big.data(), 3000));
  EXPECT_EQ(1024u + 3001u, buffer.Capacity());
  EXPECT_EQ(3003u, buffer.Length());
  ASSERT_TRUE(buffer.Append(big.data(), 1020));
  EXPECT_GT(buffer.Capacity(), buffer.Length());
  buffer.Clear();
  EXPECT_EQ(0u, buffer.Length());
  EXPECT_GE(buffer.Capacity(), 4025u);
  EXPECT_TRUE(buffer.Append(nullptr, 0));
}

// Hands out one fixed block for any size, so that 32-bit limits can be reached
// without memory; the tests only reserve.
struct FakeHeap {
  static inline char block[16];
  static void* Allocate(size_t) { return block; }
  static void* Reallocate(void*, size_t) { return block; }
  static void Release(void*) {}
  static constexpr LineBufferAllocator kAllocator{Allocate, Reallocate, Release};
};

TEST(LineBufferTest, RefusesGrowthBeyondA32BitCapacity) {
  LineBuffer buffer(FakeHeap::kAllocator);
  EXPECT_FALSE(buffer.Append("x", std::numeric_limits<uint32_t>::max()));
  ASSERT_TRUE(buffer.Reserve(0xF0000000u));
  EXPECT_EQ(0xF0000000u, buffer.Capacity());
  EXPECT_FALSE(buffer.Reserve(0xF0000000u));
  EXPECT_EQ(0xF0000000u, buffer.Capacity());
}

}  // namespace
