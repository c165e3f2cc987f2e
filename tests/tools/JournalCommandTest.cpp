// navlume-cli journal run as a program on journals with answers worked out by hand.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/Command.h"
#include "support/KnownJournals.h"
#include "support/TempFolder.h"

namespace {

using navlume_test::CommandResult;
using navlume_test::Quote;
using navlume_test::RunCommand;
using navlume_test::TempFolder;
using navlume_test::WriteText;
using nlohmann::json;

class JournalCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteText(Journal(), navlume_test::kKnownJournal); }

  std::string Journal() const { return (m_Folder.Path() / "st-a.csv").string(); }

  // navlume-cli journal with `arguments`; standard input holds the journal without a header.
  CommandResult Run(const std::string& arguments) {
    const auto in = m_Folder.Path() / "in";
    WriteText(in, navlume_test::kHeaderlessJournal);
    return RunCommand(Quote(NAVLUME_CLI_PATH) + " journal " + arguments + " <" + Quote(in.string()), m_Folder.Path());
  }

  json RunJson(const std::string& arguments) {
    const CommandResult result = Run(arguments + " --json");
    EXPECT_EQ(0, result.status) << result.err;
    return json::parse(result.out, nullptr, false);
  }

  TempFolder m_Folder;
};

TEST_F(JournalCommandTest, SummarisesEveryReceiverTypeWithHandWorkedAnswers) {
  const json expected = json::parse(R"({"files":2,"lines":10,"malformed":7,"groups":[
    {"key":"A-GPS","tests":2,"passed":1,"failed":1,"yield":0.5,"reasons":{"timeout":1},
     "ttff":{"min":25,"p50":25,"p90":25,"max":25},"averageSnr":{"p10":29,"p50":29,"p90":31},
     "first":"2026-02-27T08:00:00Z","last":"2026-02-28T08:00:00Z"},
    {"key":"OEM615","tests":3,"passed":1,"failed":2,"yield":0.3333333333333333,"reasons":{"open failed":1,"timeout":1},
     "ttff":{"min":50,"p50":50,"p90":50,"max":50},"averageSnr":{"p10":0,"p50":36,"p90":41},
     "first":"2026-03-03T08:00:00Z","last":"2026-03-03T10:00:00Z"},
    {"key":"U-BLOX7","tests":5,"passed":3,"failed":2,"yield":0.6,"reasons":{"fix":1,"timeout":1},
     "ttff":{"min":10,"p50":20,"p90":45,"max":45},"averageSnr":{"p10":33,"p50":38,"p90":45},
     "first":"2026-03-01T08:00:00Z","last":"2026-03-04T08:00:00Z"}]})");
  EXPECT_EQ(expected, RunJson(Quote(Journal()) + " -"));
}

TEST_F(JournalCommandTest, GroupsAndSinceSplitTheSameResults) {
  const struct {
    std::string options;
    uint64_t lines;
    std::map<std::string, uint64_t> testsByKey;
  } cases[] = {
      {"--by receiver", 10, {{"A-GPS", 2}, {"OEM615", 3}, {"U-BLOX7", 5}}},
      // A line without a station counts under its journal's name; standard input is "stdin".
      {"--by station", 10, {{"ST-9", 3}, {"st-a", 5}, {"stdin", 2}}},
      {"--by day", 10,
       {{"2026-02-27", 1}, {"2026-02-28", 1}, {"2026-03-01", 2}, {"2026-03-02", 2}, {"2026-03-03", 3},
        {"2026-03-04", 1}}},
      {"--since 2026-03-03", 4, {{"OEM615", 3}, {"U-BLOX7", 1}}},
      {"--by DAY --since 2026-03-04", 1, {{"2026-03-04", 1}}},
      {"--since 2027-01-01", 0, {}},
  };
  for (const auto& c : cases) {
    const json summary = RunJson(Quote(Journal()) + " - " + c.options);
    std::map<std::string, uint64_t> testsByKey;
    for (const json& group : summary["groups"]) testsByKey[group["key"]] = group["tests"];
    EXPECT_EQ(c.testsByKey, testsByKey) << c.options;
    EXPECT_EQ(c.lines, summary["lines"]) << c.options;
  }
}

TEST_F(JournalCommandTest, NamesTheFirstFiveMalformedLinesAndCountsTheRest) {
  const CommandResult result = Run(Quote(Journal()));
  ASSERT_EQ(0, result.status) << result.err;
  std::string named;  // the line numbers in "FILE:LINE: skipped: why"
  std::istringstream lines(result.err);
  for (std::string line; std::getline(lines, line);) {
    const size_t skipped = line.find(": skipped: ");
    if (skipped == std::string::npos) continue;
    const size_t number = line.rfind(':', skipped - 1) + 1;
    named += line.substr(number, skipped - number) + " ";
  }
  EXPECT_EQ("6 12 13 14 15 ", named) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("7 malformed lines in all")) << result.err;
  // The table: one row per receiver type, the yield in percent.
  EXPECT_NE(std::string::npos, result.out.find("\nU-BLOX7 ")) << result.out;
  EXPECT_NE(std::string::npos, result.out.find("60.0 %")) << result.out;
}

TEST_F(JournalCommandTest, UnreadableAndEmptyJournals) {
  const std::string missing = Quote((m_Folder.Path() / "missing.csv").string());
  const std::string empty = (m_Folder.Path() / "empty.csv").string();
  WriteText(empty, "");
  const CommandResult someRead = Run(missing + " " + Quote(Journal()) + " --json");
  EXPECT_EQ(0, someRead.status);
  EXPECT_NE(std::string::npos, someRead.err.find("cannot open " + (m_Folder.Path() / "missing.csv").string()));
  EXPECT_EQ(1, json::parse(someRead.out)["files"]);

  EXPECT_EQ(1, Run(missing).status);
  EXPECT_EQ(1, Run(Quote(m_Folder.Path().string())).status);  // a folder opens but cannot be read
  EXPECT_EQ(json::parse(R"({"files":1,"lines":0,"malformed":0,"groups":[]})"), RunJson(Quote(empty)));
  for (const char* usage : {"", "--by port x.csv", "--since 2026-02-30 x.csv", "--since 26-03-01 x.csv"}) {
    EXPECT_EQ(2, Run(usage).status) << usage;
  }
  EXPECT_NE(std::string::npos, Run("--help").out.find("nearest-rank"));
}

TEST_F(JournalCommandTest, AJournalWhoseReadFailsPartWayKeepsTheLinesReadAndSaysHowMany) {
  // A pseudo-terminal's master reads what its closed slave wrote, then fails (EIO).
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(0, grantpt(master));
  ASSERT_EQ(0, unlockpt(master));
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  size_t end = 0;  // after the header and four results
  for (int line = 0; line < 5; ++line) end = navlume_test::kKnownJournal.find("\r\n", end) + 2;
  const std::string journal = navlume_test::kKnownJournal.substr(0, end);
  ASSERT_EQ(static_cast<ssize_t>(journal.size()), write(slave, journal.data(), journal.size()));
  close(slave);
  const CommandResult result =
      RunCommand(Quote(NAVLUME_CLI_PATH) + " journal - --json <&" + std::to_string(master), m_Folder.Path());
  close(master);
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("cannot read standard input")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("the 4 lines read from standard input before are counted")) << result.err;
  const json summary = json::parse(result.out, nullptr, false);
  EXPECT_EQ(0, summary["files"]) << result.out;
  EXPECT_EQ(4, summary["lines"]) << result.out;
}

TEST_F(JournalCommandTest, HtmlReportIsOneFileWithAChartPerGroupAndTheLimitsMarked) {
  const std::string report = (m_Folder.Path() / "report.html").string();
  const CommandResult result = Run(Quote(Journal()) + " - --html " + Quote(report));
  ASSERT_EQ(0, result.status) << result.err;
  const std::string html = navlume_test::ReadText(report);
  // Yield per day, then per group TTFF, SNR and (over more than one day) its yield per day.
  size_t charts = 0;
  for (size_t at = html.find("<svg "); at != std::string::npos; at = html.find("<svg ", at + 1)) ++charts;
  EXPECT_EQ(1u + 3 + 2 + 3, charts);
  for (const char* mark : {">timeout 60 s<", ">timeout 90 s<", ">pass level 30<", ">pass level 35<"}) {
    EXPECT_NE(std::string::npos, html.find(mark)) << mark;
  }
  for (const char* outside : {"<script", "http:", "https:", "src=", "url("}) {
    EXPECT_EQ(std::string::npos, html.find(outside)) << outside;
  }
  EXPECT_EQ(1, Run(Quote(Journal()) + " --html " + Quote(m_Folder.Path().string())).status);
}

}  // namespace
