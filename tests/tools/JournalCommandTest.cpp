// navlume-cli journal run as a program on journals with answers worked out by hand.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "prodtest/FormatText.h"
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
    {"key":"A-GPS","tests":2,"passed":1,"failed":1,"yield":0.5,
     "units":1,"retests":1,"firstPassYield":1.0,"finalYield":0.0,"reasons":{"timeout":1},
     "ttff":{"min":25,"p50":25,"p90":25,"max":25},"averageSnr":{"p10":29,"p50":29,"p90":31},
     "capability":{"averageSnr":{"cpk":null,"mean":30.0,"sigma":1.4142135623730951,"limit":30,"n":2,"mixedLimits":false},
                   "ttff":{"cpk":null,"mean":25.0,"sigma":null,"limit":null,"n":1,"mixedLimits":false,"limitFrom":null}},
     "first":"2026-02-27T08:00:00Z","last":"2026-02-28T08:00:00Z"},
    {"key":"OEM615","tests":3,"passed":1,"failed":2,"yield":0.3333333333333333,
     "units":2,"retests":1,"firstPassYield":0.5,"finalYield":0.0,"reasons":{"open failed":1,"timeout":1},
     "ttff":{"min":50,"p50":50,"p90":50,"max":50},"averageSnr":{"p10":0,"p50":36,"p90":41},
     "capability":{"averageSnr":{"cpk":null,"mean":25.666666666666668,"sigma":22.368132093076824,"limit":35,"n":3,
                                 "mixedLimits":false},
                   "ttff":{"cpk":null,"mean":50.0,"sigma":null,"limit":90,"n":1,"mixedLimits":false,
                           "limitFrom":"timedOutTests"}},
     "first":"2026-03-03T08:00:00Z","last":"2026-03-03T10:00:00Z"},
    {"key":"U-BLOX7","tests":5,"passed":3,"failed":2,"yield":0.6,
     "units":2,"retests":3,"firstPassYield":1.0,"finalYield":0.5,"reasons":{"fix":1,"timeout":1},
     "ttff":{"min":10,"p50":20,"p90":45,"max":45},"averageSnr":{"p10":33,"p50":38,"p90":45},
     "capability":{"averageSnr":{"cpk":null,"mean":38.0,"sigma":4.847679857416329,"limit":35,"n":5,"mixedLimits":false},
                   "ttff":{"cpk":null,"mean":26.25,"sigma":14.930394055974098,"limit":60,"n":4,"mixedLimits":false,
                           "limitFrom":"timedOutTests"}},
     "first":"2026-03-01T08:00:00Z","last":"2026-03-04T08:00:00Z"}],"signals":[]})");
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
  EXPECT_EQ(json::parse(R"({"files":1,"lines":0,"malformed":0,"groups":[],"signals":[]})"), RunJson(Quote(empty)));
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
  // Yield per day, then per group TTFF, SNR and (over more than one day) its two control charts.
  size_t charts = 0;
  for (size_t at = html.find("<svg "); at != std::string::npos; at = html.find("<svg ", at + 1)) ++charts;
  EXPECT_EQ(1u + 3 + 3 + 2 * 2, charts);
  for (const char* mark : {">timeout 60 s<", ">timeout 90 s<", ">pass level 30<", ">pass level 35<"}) {
    EXPECT_NE(std::string::npos, html.find(mark)) << mark;
  }
  for (const char* outside : {"<script", "http:", "https:", "src=", "url("}) {
    EXPECT_EQ(std::string::npos, html.find(outside)) << outside;
  }
  EXPECT_EQ(1, Run(Quote(Journal()) + " --html " + Quote(m_Folder.Path().string())).status);
}

// Four stations over 20 days, each testing two u-blox 7 and one OEM615 a
// day. From the 11th day on, ST-4's u-blox 7 time out (the drifting station);
// the OEM615's SNR is 34 or 38 against a pass level of 35 (the incapable
// receiver). Answers worked by hand.
std::string PlantedJournal() {
  std::string journal = "utc,receiver,ttffSeconds,timedOut,averageSnr,passLevel,verdict,reason,station\r\n";
  const auto line = [&journal](int day, int station, int minute, const char* receiver, int ttff, bool timedOut,
                               int snr) {
    const bool passed = !timedOut && snr >= 35;
    journal += FormatText("2026-05-%02dT08:%02d:00Z,%s,%d,%d,%d,35,%s,%s,ST-%d\r\n", day + 1, station * 10 + minute,
                          receiver, ttff, timedOut ? 1 : 0, snr, passed ? "Pass" : "Fail",
                          timedOut ? "timeout" : "fix", station);
  };
  for (int day = 0; day < 20; ++day) {
    for (int station = 1; station <= 4; ++station) {
      const bool drifted = station == 4 && day >= 10;
      line(day, station, 0, "U-BLOX7", drifted ? 60 : 20, drifted, 40);
      line(day, station, 1, "U-BLOX7", drifted ? 60 : 22, drifted, 42);
      const bool odd = (day + station) % 2 == 1;
      line(day, station, 2, "OEM615", odd ? 52 : 48, false, odd ? 38 : 34);
    }
  }
  return journal;
}

TEST_F(JournalCommandTest, FindsThePlantedDriftingStationAndIncapableReceiver) {
  const std::string line = Quote((m_Folder.Path() / "line.csv").string());
  WriteText(m_Folder.Path() / "line.csv", PlantedJournal());
  const auto signalsOf = [](const json& summary) {
    std::vector<std::string> signals;
    for (const json& signal : summary["signals"]) {
      signals.push_back(signal["group"].get<std::string>() + " " + signal["day"].get<std::string>() + " " +
                        signal["rule"].get<std::string>());
    }
    return signals;
  };
  // The line's yield 180 / 240 = 0.75; ST-4's 30 / 60, under 0.75 - 3 sqrt(0.75 x 0.25 / 60).
  const json byStation = RunJson(line + " --by station");
  EXPECT_EQ((std::vector<std::string>{"ST-4 2026-05-20 stationBelowLine", "ST-4 2026-05-08 yieldRunAbove",
                                      "ST-4 2026-05-18 yieldRunBelow"}),
            signalsOf(byStation));
  EXPECT_NEAR(0.75 - 3 * std::sqrt(0.75 * 0.25 / 60), byStation["signals"][0]["limit"].get<double>(), 1e-12);
  EXPECT_EQ(0.5, byStation["signals"][0]["value"]);

  const json byReceiver = RunJson(line);
  EXPECT_EQ((std::vector<std::string>{"U-BLOX7 2026-05-08 yieldRunAbove", "U-BLOX7 2026-05-18 yieldRunBelow"}),
            signalsOf(byReceiver));
  const json& oem = byReceiver["groups"][0];
  const json& ublox = byReceiver["groups"][1];
  const struct {
    const json& group;
    uint64_t units, retests;
    double firstPass, final, snrCpk, ttffCpk;
  } cases[] = {
      // SNR 40 and 42: s = sqrt(160 / 159); TTFF 20 and 22 of the 140 fixes against the timed-out count, 60.
      {ublox, 4, 156, 1.0, 0.75, 6 / (3 * std::sqrt(160.0 / 159)), 39 / (3 * std::sqrt(140.0 / 139))},
      // SNR 34 and 38: s = sqrt(320 / 79), Cpk (36 - 35) / 3 s; no test timed out, so no TTFF limit.
      {oem, 4, 76, 0.5, 0.5, 1 / (3 * std::sqrt(320.0 / 79)), -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.units, c.group["units"]);
    EXPECT_EQ(c.retests, c.group["retests"]);
    EXPECT_EQ(c.firstPass, c.group["firstPassYield"]);
    EXPECT_EQ(c.final, c.group["finalYield"]);
    EXPECT_NEAR(c.snrCpk, c.group["capability"]["averageSnr"]["cpk"].get<double>(), 1e-12);
    const json& ttff = c.group["capability"]["ttff"];
    if (c.ttffCpk < 0) {
      EXPECT_TRUE(ttff["cpk"].is_null() && ttff["limit"].is_null() && ttff["limitFrom"].is_null()) << ttff;
    } else {
      EXPECT_NEAR(c.ttffCpk, ttff["cpk"].get<double>(), 1e-12);
      EXPECT_EQ("timedOutTests", ttff["limitFrom"]);
    }
  }
  // --timeout wins over the timed-out tests: TTFF 48 and 52 of OEM615 against 60 s.
  const json timeout = RunJson(line + " --timeout 60")["groups"][0]["capability"]["ttff"];
  EXPECT_NEAR(10 / (3 * std::sqrt(320.0 / 79)), timeout["cpk"].get<double>(), 1e-12);
  EXPECT_EQ("option", timeout["limitFrom"]);
  // The table flags the incapable receiver; five days hold too few OEM615 tests for a Cpk.
  EXPECT_NE(std::string::npos, Run(line).out.find("SNR Cpk 0.17 not capable, below 1.0: mean 36.0 dB-Hz"));
  EXPECT_NE(std::string::npos, Run(line + " --since 2026-05-16").out.find("SNR Cpk too few: mean 36.0"));
  EXPECT_EQ(2, Run(line + " --timeout 0").status);
}

}  // namespace
