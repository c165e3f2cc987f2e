// The journal reader and summary without the command: nearest-rank
// percentiles, any cutting of the bytes, and lines and headers it cannot read.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "prodtest/JournalReader.h"
#include "prodtest/JournalSummary.h"
#include "prodtest/ResultJournal.h"
#include "support/KnownJournals.h"

namespace {

// What a reader handed on, one text per result or malformed line.
struct ReadOut {
  std::vector<std::string> results;
  std::vector<std::string> malformed;  // "line: why"
};

ReadOut Read(const std::string& journal, size_t piece) {
  ReadOut out;
  CJournalReader reader(
      "file",
      [&out](const JournalResult& r) {
        out.results.push_back(std::string(r.utc) + " " + std::string(r.receiver) + " " + std::string(r.station) + " " +
                              std::string(r.reason) + " " + (r.ttffSeconds ? std::to_string(*r.ttffSeconds) : "-") +
                              " " + std::to_string(r.averageSnr) + (r.passed ? " Pass" : " Fail"));
      },
      [&out](uint64_t line, const std::string& why) { out.malformed.push_back(std::to_string(line) + ": " + why); });
  for (size_t at = 0; at < journal.size(); at += piece) {
    reader.Feed(journal.data() + at, std::min(piece, journal.size() - at));
  }
  reader.Finish();
  return out;
}

TEST(CountHistogramTest, NearestRankPercentiles) {
  const struct {
    std::vector<uint32_t> values;
    uint32_t percent;
    uint32_t expected;
  } cases[] = {
      {{7}, 10, 7},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 0, 1},
      {{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, 10, 1},  // rank 1
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 50, 5},  // rank 5
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 90, 9},  // rank 9
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 90, 10},  // rank ceil(9.9) = 10
      {{3, 3, 3, 9}, 50, 3},
      {{3, 3, 3, 9}, 90, 9},  // rank ceil(3.6) = 4
      {{2, 5000, 70000, 70000}, 50, 5000},  // values far beyond a test's seconds
      {{2, 5000, 70000, 70000}, 100, 70000},
      {{0, 4095, 4096}, 50, 4095},
  };
  for (const auto& c : cases) {
    CountHistogram histogram;
    for (const uint32_t value : c.values) histogram.Add(value);
    EXPECT_EQ(c.expected, histogram.Percentile(c.percent)) << "p" << c.percent << " of " << c.values.size();
  }
  EXPECT_FALSE(CountHistogram().Percentile(50));
}

TEST(JournalReaderTest, AnyCuttingOfTheBytesReadsTheSame) {
  const std::string journal = navlume_test::kKnownJournal + "\r\n" + std::string(kLongestJournalLine + 10, 'x') +
                              "\r\n" + ResultJournalHeader(kFirstJournalColumnCount) + navlume_test::kHeaderlessJournal;
  const ReadOut whole = Read(journal, journal.size());
  ASSERT_EQ(8u + 2, whole.results.size());
  EXPECT_EQ("2026-03-03T10:00:00Z OEM615 file timeout 90 36 Fail", whole.results[6]);
  EXPECT_EQ("2026-02-28T08:00:00Z A-GPS file timeout - 29 Fail", whole.results[9]);
  // The half line became whole with the CR LF after it; the over-long line is skipped.
  EXPECT_EQ("18: longer than 4096 bytes", whole.malformed.back());
  for (const size_t piece : {1, 2, 7, 64, 4097}) {
    const ReadOut cut = Read(journal, piece);
    EXPECT_EQ(whole.results, cut.results) << piece;
    EXPECT_EQ(whole.malformed, cut.malformed) << piece;
  }
}

TEST(JournalReaderTest, LinesAndHeadersItCannotRead) {
  const std::string header = ResultJournalHeader(kFirstJournalColumnCount);
  const std::string good = "2026-03-01T08:00:00Z,COM2:,U-BLOX7,One by one,30,0,40,35,Pass,10,9\r\n";
  const struct {
    std::string journal;
    std::vector<std::string> malformed;
    size_t results;
  } cases[] = {
      {header + "2026-03-01T24:00:00Z,COM2:,U-BLOX7,One by one,30,0,40,35,Pass,10,9\r\n" + good,
       {"2: utc \"2026-03-01T24:00:00Z\" is not a time as YYYY-MM-DDThh:mm:ssZ"}, 1},
      {header + "2026-03-01T08:00:00Z,COM2:,,One by one,30,0,40,35,Pass,10,9\r\n", {"2: no receiver"}, 0},
      {header + "2026-03-01T08:00:00Z,COM2:,U-BLOX7,One by one,30,0,-4,35,Pass,10,9\r\n",
       {"2: averageSnr \"-4\" is not a whole number"}, 0},
      {header + "2026-03-01T08:00:00Z,COM2:,U-BLOX7,One by one,30,0,40,3.5,Pass,10,9\r\n",
       {"2: passLevel \"3.5\" is not a whole number"}, 0},
      // Blank lines hold nothing; a header without a column the summary needs spoils the lines below it.
      {"\r\n" + good + "utc,receiver,verdict\r\n" + good + header + good,
       {"3: header without the column \"ttffSeconds\"", "4: below a header that cannot be used"}, 2},
      {"utc,receiver,utc\r\n", {"1: header names the column \"utc\" twice"}, 0},
      {"\xEF\xBB\xBF" + header + good, {}, 1},  // saved by a spreadsheet
      {"2026-03-01T08:00:00Z,COM2:,U-BLOX7,One by one,30,0,40,35,Pass,10\r\n",
       {"1: 10 fields and no header line above it"}, 0},
  };
  for (const auto& c : cases) {
    const ReadOut out = Read(c.journal, c.journal.size());
    EXPECT_EQ(c.malformed, out.malformed) << c.journal;
    EXPECT_EQ(c.results, out.results.size()) << c.journal;
  }
}

TEST(JournalSummaryTest, TheTestTimeoutsAreTheCountsOfTimedOutTests) {
  CJournalSummary summary(JournalGrouping::Receiver, "");
  CJournalReader reader(
      "file", [&summary](const JournalResult& r) { summary.Add(r); }, [](uint64_t, const std::string&) {});
  const std::string journal = ResultJournalHeader(kFirstJournalColumnCount) +
                              "2026-03-01T08:00:00Z,COM2:,U-BLOX7,One by one,60,1,30,35,Fail,5,0\r\n"
                              "2026-03-01T09:00:00Z,COM2:,U-BLOX7,One by one,90,1,30,35,Fail,5,0\r\n"
                              "2026-03-01T10:00:00Z,COM2:,U-BLOX7,One by one,95,0,40,30,Pass,5,0\r\n"
                              "2026-03-01T10:00:00Z,COM3:,OEM615,One by one,95,0,40,30,Pass,5,0\r\n";
  reader.Feed(journal.data(), journal.size());
  reader.Finish();
  const JournalGroup& ublox = summary.Groups().at("U-BLOX7");
  EXPECT_EQ(2u, ublox.testTimeouts.Count());
  EXPECT_EQ(60u, ublox.testTimeouts.Percentile(0));
  EXPECT_EQ(90u, ublox.testTimeouts.Percentile(100));
  EXPECT_EQ(2u, ublox.failuresByReason.at("timeout"));
  EXPECT_EQ(3u, ublox.passLevels.Count());
  EXPECT_EQ(30u, ublox.passLevels.Percentile(0));
  EXPECT_EQ(0u, summary.Groups().at("OEM615").testTimeouts.Count());
}

TEST(JournalSummaryTest, AUnitsFirstAndLastResultsWhateverTheOrderOfTheJournals) {
  const std::string header = "utc,receiver,ttffSeconds,timedOut,averageSnr,passLevel,verdict,station\r\n";
  const std::string retested = "2026-03-01T08:00:00Z,U-BLOX7,60,1,30,35,Fail,A\r\n"
                               "2026-03-01T09:00:00Z,U-BLOX7,20,0,40,35,Pass,A\r\n";
  // Of two results in one second, the failure counts as the earlier.
  const std::string sameSecond = "2026-03-02T08:00:00Z,U-BLOX7,20,0,40,35,Pass,B\r\n"
                                 "2026-03-02T08:00:00Z,U-BLOX7,60,1,30,35,Fail,B\r\n"
                                 "2026-03-02T08:00:00Z,OEM615,20,0,40,35,Pass,B\r\n";
  for (const std::string& journal : {header + retested + sameSecond, header + sameSecond + header + retested}) {
    CJournalSummary summary(JournalGrouping::Day, "");
    CJournalReader reader(
        "file", [&summary](const JournalResult& r) { summary.Add(r); }, [](uint64_t, const std::string&) {});
    reader.Feed(journal.data(), journal.size());
    reader.Finish();
    const struct {
      const char* day;
      uint64_t units, passedFirst, passedLast;
    } cases[] = {{"2026-03-01", 1, 0, 1}, {"2026-03-02", 2, 1, 2}};
    for (const auto& c : cases) {
      const JournalUnitCounts counts = CountUnits(summary.Groups().at(c.day).units);
      EXPECT_EQ(c.units, counts.units) << c.day;
      EXPECT_EQ(c.passedFirst, counts.passedFirst) << c.day;
      EXPECT_EQ(c.passedLast, counts.passedLast) << c.day;
    }
  }
}

}  // namespace
