// NMEA page lines: cutting the raw stream into list entries and handing them
// to the UI thread.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/pages/logic/NmeaLines.h"

namespace {

using Lines = std::vector<std::string>;

Lines Split(CNmeaLineSplitter& splitter, const std::string& bytes) {
  Lines lines;
  splitter.Append(bytes, lines);
  return lines;
}

TEST(NmeaLinesTest, SentenceSplitOverTwoReadsIsOneEntry) {
  CNmeaLineSplitter splitter;
  EXPECT_TRUE(Split(splitter, "$GPGGA,1235").empty());
  EXPECT_EQ(Split(splitter, "19,4916.45*1F\r\n$GPR"), Lines{"$GPGGA,123519,4916.45*1F"});
  EXPECT_EQ(Split(splitter, "MC\r"), Lines{"$GPRMC"});
}

TEST(NmeaLinesTest, CarriageReturnEndsALineLineFeedDoesNot) {
  CNmeaLineSplitter splitter;
  EXPECT_EQ(Split(splitter, "A\r\nB\rC\nD\r"), (Lines{"A", "B", "CD"}));
}

TEST(NmeaLinesTest, TwoLineEndsInARowGiveAnEmptyEntry) {
  CNmeaLineSplitter splitter;
  EXPECT_EQ(Split(splitter, "A\r\n\r\nB\r\r"), (Lines{"A", "", "B", ""}));
}

TEST(NmeaLinesTest, LongLinesContinueInEntriesOf255) {
  CNmeaLineSplitter splitter;
  std::string line(600, 'x');
  for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char>('a' + i % 26);
  const Lines lines = Split(splitter, line + "\r\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], line.substr(0, 255));
  EXPECT_EQ(lines[1], line.substr(255, 255));
  EXPECT_EQ(lines[2], line.substr(510));
  EXPECT_EQ(Split(splitter, std::string(255, 'y') + "\r"), Lines{std::string(255, 'y')});
  EXPECT_EQ(Split(splitter, std::string(510, 'z') + "\r").size(), 2u);
}

TEST(NmeaLinesTest, QueueKeepsTheNewestEntriesInOrder) {
  CNmeaLineQueue queue;
  for (int i = 0; i < 300; ++i) queue.Push({"line " + std::to_string(i)});
  const Lines lines = queue.TakeAll();
  ASSERT_EQ(lines.size(), 257u);
  EXPECT_EQ(lines.front(), "line 43");
  EXPECT_EQ(lines.back(), "line 299");
  EXPECT_TRUE(queue.TakeAll().empty());
}

}  // namespace
