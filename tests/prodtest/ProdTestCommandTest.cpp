// navlume-cli prodtest, run as a program against simulated receivers whose
// time to first fix and SNRs are known: a simulation root in this process,
// the production configuration file in it, the command in another process.

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Time.h"
#include "sim/SimulationRoot.h"
#include "support/Command.h"
#include "support/TempFolder.h"

namespace {

using navlume_test::CommandResult;
using navlume_test::Quote;
using navlume_test::ReadText;
using navlume_test::TempFolder;
using navlume_test::WriteText;

// One system second is this many real seconds, here and in the command.
constexpr double kTimeScale = 0.05;
constexpr const char* kJournal = "files/Temp/NAVLUME_RESULTS.CSV";

sim::Scenario WithSnrs(const std::vector<int>& snrs, double ttff) {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.ttff = ttff;
  scenario.satellites.clear();
  for (size_t i = 0; i < snrs.size(); ++i) {
    sim::SimSatellite satellite;
    satellite.prn = static_cast<int>(i) * 3 + 2;
    satellite.elevation = 20 + static_cast<int>(i) * 5;
    satellite.azimuth = static_cast<int>(i) * 35;
    satellite.snr = snrs[i];
    scenario.satellites.push_back(satellite);
  }
  return scenario;
}

const std::vector<int> kSixSatellites = {45, 44, 42, 40, 38, 30};  // average 41

std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.find(part) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

class ProdTestCommandTest : public ::testing::Test {
 protected:
  void TearDown() override { m_Sim.Stop(); }

  void Simulate(const std::string& profile, const sim::Scenario& scenario) {
    sim::SimulationOptions options;
    options.profile = profile;
    options.scenario = scenario;
    options.root = m_Root.Path();
    std::string error;
    ASSERT_TRUE(m_Sim.Start(options, error)) << error;
  }

  void Configure(const std::string& text) { WriteText(m_Root.Path() / "files/Navlume.ini", text); }

  // Names the station in the device profile the simulation wrote.
  void NameStation(const std::string& name) {
    std::ofstream(m_Root.Path() / "device.ini", std::ios::app) << "\n[station]\nname = " << name << "\n";
  }

  std::string CommandLine(const std::string& arguments = "") const {
    std::ostringstream scale;
    scale << kTimeScale;
    return Quote(NAVLUME_CLI_PATH) + " prodtest --root " + Quote(m_Root.Path().string()) + " --time-scale " +
           scale.str() + " " + arguments;
  }
  CommandResult Run(const std::string& arguments = "") {
    return navlume_test::RunCommand(CommandLine(arguments), m_Output.Path());
  }

  platform::ScopedTimeScale m_Scale{kTimeScale};
  TempFolder m_Root;
  TempFolder m_Output;
  sim::CSimulationRoot m_Sim;
};

TEST_F(ProdTestCommandTest, OneByOneBothPass) {
  Simulate("ublox+agps", WithSnrs(kSixSatellites, 4));
  NameStation("Line 4");
  Configure("TESTTYPE: 0\r\nTESTTIMEOUT: 30\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\nPORT2: A-GPS\r\nLEVEL2: 41\r\n");
  const CommandResult result = Run();
  ASSERT_EQ(result.status, 0) << result.err;
  const auto lines = JsonLines(result.out);
  ASSERT_EQ(lines.size(), 2u) << result.out;
  EXPECT_EQ(lines[0]["port"], "COM2:");
  EXPECT_EQ(lines[0]["receiver"], "U-BLOX7");
  // The receiver reports once a second and the test counts whole seconds, so
  // the count is within a second of the truth; a loaded machine may add a little.
  EXPECT_NEAR(lines[0]["ttffSeconds"].get<double>(), 4, 2);
  EXPECT_EQ(lines[0]["timedOut"], false);
  EXPECT_EQ(lines[0]["averageSnr"], 41);
  EXPECT_EQ(lines[0]["passLevel"], 35);
  EXPECT_EQ(lines[0]["verdict"], "Pass");
  EXPECT_EQ(lines[0]["satellitesInView"], 6);
  EXPECT_EQ(lines[0]["satellitesUsed"], 6);
  EXPECT_EQ(lines[1]["port"], "COM9:");
  EXPECT_EQ(lines[1]["receiver"], "A-GPS");
  EXPECT_EQ(lines[1]["passLevel"], 41);
  EXPECT_EQ(lines[1]["verdict"], "Pass");
  std::set<std::string> keys;
  for (const auto& item : lines[0].items()) keys.insert(item.key());
  EXPECT_EQ(keys, (std::set<std::string>{"port", "receiver", "ttffSeconds", "timedOut", "averageSnr", "passLevel",
                                         "verdict", "satellitesInView", "satellitesUsed"}));

  // The second panel stays at 00:00 until the first receiver is done.
  const auto progress = LinesWith(result.err, "prodtest ");
  ASSERT_GE(progress.size(), 4u);
  for (const auto& line : progress) {
    const size_t second = line.find(" | COM9:");
    ASSERT_NE(second, std::string::npos) << line;
    if (line.substr(0, second).find(" running") == std::string::npos) continue;
    EXPECT_EQ(line.substr(second), " | COM9:(A-GPS) view 0 used 0 snr 0 ttff 00:00 waiting");
  }
  EXPECT_NE(progress.back().find("(Fixed)"), std::string::npos);

  const std::string journal = ReadText(m_Root.Path() / kJournal);
  const auto journalLines = LinesWith(journal, ",");
  ASSERT_EQ(journalLines.size(), 3u) << journal;
  EXPECT_EQ(journalLines[0],
            "utc,port,receiver,testType,ttffSeconds,timedOut,averageSnr,passLevel,verdict,satellitesInView,"
            "satellitesUsed,reason,station,id\r");
  EXPECT_NE(journalLines[1].find(",COM2:,U-BLOX7,One by one,"), std::string::npos);
  EXPECT_NE(journalLines[1].find(",0,41,35,Pass,6,6,fix,Line 4,"), std::string::npos) << journalLines[1];
  EXPECT_NE(journalLines[2].find(",COM9:,A-GPS,One by one,"), std::string::npos);

  // A second run appends without another header.
  EXPECT_EQ(Run().status, 0);
  EXPECT_EQ(LinesWith(ReadText(m_Root.Path() / kJournal), "utc,port").size(), 1u);
  EXPECT_EQ(LinesWith(ReadText(m_Root.Path() / kJournal), ",Pass,").size(), 4u);
}

TEST_F(ProdTestCommandTest, AtTheSameTimeOneBelowItsLevel) {
  Simulate("ublox+agps", WithSnrs(kSixSatellites, 3));
  Configure("TESTTYPE: 1\r\nTESTTIMEOUT: 30\r\nPORT1: U-BLOX\r\nLEVEL1: 42\r\nPORT2: A-GPS\r\n");
  const CommandResult result = Run();
  EXPECT_EQ(result.status, 1) << result.err;
  const auto lines = JsonLines(result.out);
  ASSERT_EQ(lines.size(), 2u) << result.out;
  EXPECT_EQ(lines[0]["verdict"], "Fail");
  EXPECT_EQ(lines[0]["averageSnr"], 41);
  EXPECT_EQ(lines[0]["passLevel"], 42);
  EXPECT_EQ(lines[1]["verdict"], "Pass");
  EXPECT_EQ(lines[1]["passLevel"], 35);  // no level: 35
  // Both were opened at the start: no waiting panel.
  EXPECT_TRUE(LinesWith(result.err, "waiting").empty());
}

TEST_F(ProdTestCommandTest, TimeoutFails) {
  Simulate("ublox", WithSnrs(kSixSatellites, 500));
  Configure("TESTTYPE: 0\r\nTESTTIMEOUT: 5\r\nPORT1: U-BLOX\r\nLEVEL1: 20\r\n");
  const CommandResult result = Run();
  EXPECT_EQ(result.status, 1) << result.err;
  const auto lines = JsonLines(result.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["timedOut"], true);
  EXPECT_EQ(lines[0]["ttffSeconds"], 5);
  EXPECT_EQ(lines[0]["verdict"], "Fail");
  EXPECT_EQ(lines[0]["averageSnr"], 41);
  EXPECT_NE(ReadText(m_Root.Path() / "navlume-debug.log").find("[Navlume] Port COM2: is detected timeout !"),
            std::string::npos);
  EXPECT_NE(result.err.find("00:05(Timeout)"), std::string::npos);
  EXPECT_NE(ReadText(m_Root.Path() / kJournal).find(",5,1,41,20,Fail,6,0,timeout,"), std::string::npos);
}

// The average over what the receiver reports, for each rule of the average.
TEST_F(ProdTestCommandTest, AveragesOfTheReportedSnrs) {
  const struct {
    std::vector<int> snrs;
    int average;
  } cases[] = {{{40, 35, 20}, 35}, {{33, 0, 30, 0}, 31}, {{0, 0, 0}, 0}, {{50, 45, 44, 42, 40, 38, 30, 12}, 44}};
  for (const auto& each : cases) {
    Simulate("ublox", WithSnrs(each.snrs, 3));
    Configure("TESTTYPE: 0\r\nTESTTIMEOUT: 12\r\nPORT1: U-BLOX\r\n");
    const CommandResult result = Run();
    const auto lines = JsonLines(result.out);
    ASSERT_EQ(lines.size(), 1u) << result.err;
    EXPECT_EQ(lines[0]["averageSnr"], each.average) << result.out;
    EXPECT_EQ(result.status, each.average >= 35 ? 0 : 1) << result.out;
    m_Sim.Stop();
  }
}

TEST_F(ProdTestCommandTest, MaxSecondsEndsARunWithoutTimeout) {
  Simulate("ublox", WithSnrs(kSixSatellites, 500));
  Configure("TESTTYPE: 0\r\nTESTTIMEOUT: 0\r\nPORT1: U-BLOX\r\n");
  const CommandResult result = Run("--max-seconds 4");
  EXPECT_EQ(result.status, 1) << result.err;
  const auto lines = JsonLines(result.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["timedOut"], false);
  EXPECT_EQ(lines[0]["ttffSeconds"], 4);
  EXPECT_EQ(lines[0]["verdict"], "Fail");
  // The run ended before the receiver's test did: its line says so.
  const auto journal = LinesWith(ReadText(m_Root.Path() / kJournal), ",COM2:,");
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_NE(journal[0].find(",4,0,41,35,Fail,6,0,stopped,"), std::string::npos) << journal[0];
}

// The second receiver of a one-by-one test is opened within a tick; an
// OEM615's start-up blocks that tick for about 12 s, and those seconds are
// not counted afterwards: the receiver reads as when it is tested first.
TEST_F(ProdTestCommandTest, AnOem615TestedSecondReadsAsWhenTestedFirst) {
  Simulate("oem615+agps", WithSnrs(kSixSatellites, 20));
  const auto oem615Ttff = [this](const char* first, const char* second) {
    Configure(std::string("TESTTYPE: 0\r\nTESTTIMEOUT: 100\r\nPORT1: ") + first + "\r\nPORT2: " + second + "\r\n");
    const CommandResult result = Run();
    for (const auto& line : JsonLines(result.out))
      if (line["port"] == "COM3:") return line["ttffSeconds"].get<int>();
    ADD_FAILURE() << result.err;
    return -1;
  };
  const int whenFirst = oem615Ttff("OEM615", "A-GPS");
  const int whenSecond = oem615Ttff("A-GPS", "OEM615");
  // Within the counting's resolution and a tick that a loaded machine makes late (it counts once).
  EXPECT_NEAR(whenSecond, whenFirst, 2);
}

// A receiver that the run before left with a fix counts its first fix from
// its own start-up again (cold start, power cycle), one by one and at the same time.
TEST_F(ProdTestCommandTest, ARunRightAfterAnotherCountsTheFixFromItsOwnStartUp) {
  // The OEM615's start-up goes on for some seconds after its cold start.
  const struct {
    const char* profile;
    const char* receiver;
    int ttff;
    int leastCounted;
  } kReceivers[] = {{"ublox", "U-BLOX", 6, 4}, {"oem615", "OEM615", 20, 10}};
  for (const auto& each : kReceivers) {
    Simulate(each.profile, WithSnrs(kSixSatellites, each.ttff));
    for (const char* testType : {"0", "1", "0"}) {
      Configure(std::string("TESTTYPE: ") + testType + "\r\nTESTTIMEOUT: 60\r\nPORT1: " + each.receiver + "\r\n");
      const CommandResult result = Run();
      const std::vector<nlohmann::json> lines = JsonLines(result.out);
      ASSERT_EQ(lines.size(), 1u) << result.err;
      SCOPED_TRACE(std::string(each.profile) + " test type " + testType);
      EXPECT_GE(lines[0]["ttffSeconds"].get<int>(), each.leastCounted) << result.err;
      EXPECT_GT(lines[0]["satellitesUsed"].get<int>(), 0);
    }
    m_Sim.Stop();
  }
}

// Every receiver of a run gets exactly one line, also when its test never ran
// to an end: its port could not be opened, or a stop signal ended the run.
TEST_F(ProdTestCommandTest, EveryReceiverOfARunGetsOneJournalLine) {
  Simulate("ublox", WithSnrs(kSixSatellites, 3));  // the A-GPS port is not mapped
  Configure("TESTTYPE: 0\r\nTESTTIMEOUT: 30\r\nPORT1: U-BLOX\r\nPORT2: A-GPS\r\n");
  EXPECT_EQ(Run().status, 1);
  std::string journal = ReadText(m_Root.Path() / kJournal);
  EXPECT_EQ(LinesWith(journal, ",COM2:,U-BLOX7,One by one,").size(), 1u) << journal;
  EXPECT_EQ(LinesWith(journal, ",COM9:,A-GPS,One by one,0,0,0,35,Fail,0,0,open failed,").size(), 1u) << journal;

  for (const int signal : {SIGINT, SIGTERM}) {
    m_Sim.Stop();
    std::filesystem::remove(m_Root.Path() / kJournal);
    Simulate("ublox+agps", WithSnrs(kSixSatellites, 500));
    Configure("TESTTYPE: 1\r\nTESTTIMEOUT: 0\r\nPORT1: U-BLOX\r\nPORT2: A-GPS\r\n");
    const pid_t pid = navlume_test::StartCommand(CommandLine(), m_Output.Path());
    ASSERT_TRUE(navlume_test::WaitForText(m_Output.Path() / "err", "prodtest 2 s:", std::chrono::seconds(30)));
    kill(pid, signal);
    EXPECT_EQ(navlume_test::WaitForExit(pid, std::chrono::seconds(5)), 1) << strsignal(signal);
    EXPECT_EQ(JsonLines(ReadText(m_Output.Path() / "out")).size(), 2u);
    journal = ReadText(m_Root.Path() / kJournal);
    EXPECT_EQ(LinesWith(journal, ",stopped,").size(), 2u) << journal;
  }
}

// When neither the card nor \Temp takes a result, the run says so and ends with 3.
TEST_F(ProdTestCommandTest, AResultThatNoPlaceTakesEndsWithThree) {
  Simulate("ublox", WithSnrs(kSixSatellites, 3));
  Configure("TESTTYPE: 0\r\nTESTTIMEOUT: 30\r\nPORT1: U-BLOX\r\n");
  std::filesystem::create_directories(m_Root.Path() / "files/Storage Card/NAVLUME_RESULTS.CSV");
  std::filesystem::create_directories(m_Root.Path() / kJournal);
  const CommandResult result = Run();
  EXPECT_EQ(result.status, 3) << result.err;
  EXPECT_EQ(JsonLines(result.out).size(), 1u);
  EXPECT_NE(result.err.find("navlume-cli prodtest: the result of COM2: was not saved"), std::string::npos)
      << result.err;
}

// A pass level outside 10..50 is refused at start, naming its line.
TEST_F(ProdTestCommandTest, APassLevelOutsideTheRangeIsRefused) {
  Simulate("ublox+agps", WithSnrs(kSixSatellites, 3));
  for (const std::string level : {"-1", "60", "9", "abc"}) {
    Configure("TESTTYPE: 0\r\nPORT1: A-GPS\r\nLEVEL1: 35\r\nPORT2: U-BLOX\r\nLEVEL2: " + level + "\r\n");
    const CommandResult result = Run();
    EXPECT_EQ(result.status, 2) << level;
    EXPECT_NE(result.err.find("line 5: \"LEVEL2: " + level + "\""), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(m_Root.Path() / kJournal));
  }
}

}  // namespace
