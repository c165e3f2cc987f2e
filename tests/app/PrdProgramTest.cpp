// The production sheet end to end: navlume on Qt's offscreen platform with
// simulated receivers serving a root that holds a production configuration
// file, its screenshots and controls, and the result journal it writes.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/Time.h"
#include "sim/SimulationRoot.h"
#include "support/Command.h"
#include "support/TempFolder.h"

namespace {

using navlume_test::Quote;
using navlume_test::ReadText;
using navlume_test::TempFolder;
using navlume_test::WriteText;

// The texts of one tab's controls by ctrlId, from controls.json.
std::map<int, std::string> TabTexts(const nlohmann::json& controls, size_t tab) {
  std::map<int, std::string> texts;
  for (const auto& control : controls["tabs"][tab]["controls"]) texts[control["id"]] = control["text"];
  return texts;
}

TEST(PrdProgramTest, OneByOneProductionSheetRunsToBothVerdicts) {
  TempFolder root, runtime, shots, output;
  WriteText(root.Path() / "files/Navlume.ini",
            "TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\nPORT2: A-GPS\r\nLEVEL2: 43\r\n");
  const navlume_test::CommandResult result = navlume_test::RunCommand(
      "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=" + Quote(runtime.Path().string()) + " " + Quote(NAVLUME_GUI_PATH) +
          " --simulate=ublox+agps --root " + Quote(root.Path().string()) +
          " --ttff 4 --time-scale 0.05 --screen 240x320 --quit-after 80 --screenshots " + Quote(shots.Path().string()),
      output.Path());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(std::filesystem::exists(shots.Path() / "01-main.png"));
  EXPECT_TRUE(std::filesystem::exists(shots.Path() / "02-prd-settings.png"));

  const nlohmann::json controls = nlohmann::json::parse(ReadText(shots.Path() / "controls.json"));
  EXPECT_EQ(controls["caption"], "Navlume");
  const auto main = TabTexts(controls, 0);
  EXPECT_EQ(main.at(6001), "COM2:(U-BLOX7)");
  EXPECT_NE(main.at(6004).find("(Fixed)"), std::string::npos) << main.at(6004);
  EXPECT_EQ(main.at(6003), "42( Pass )");
  EXPECT_EQ(main.at(6040), "COM9:(A-GPS)");
  EXPECT_NE(main.at(6044).find("(Fixed)"), std::string::npos) << main.at(6044);
  EXPECT_EQ(main.at(6043), "42( Fail )");  // level 43
  const auto settings = TabTexts(controls, 1);
  EXPECT_EQ(settings.at(8002), "35");
  EXPECT_EQ(settings.at(8005), "43");

  const std::string journal = ReadText(root.Path() / "files/Temp/NAVLUME_RESULTS.CSV");
  EXPECT_NE(journal.find(",COM2:,U-BLOX7,One by one,"), std::string::npos) << journal;
  EXPECT_NE(journal.find(",COM9:,A-GPS,One by one,"), std::string::npos) << journal;
  EXPECT_NE(journal.find(",42,43,Fail,"), std::string::npos) << journal;
  // Cancel leaves the configuration file as it was.
  EXPECT_EQ(ReadText(root.Path() / "files/Navlume.ini"),
            "TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\nPORT2: A-GPS\r\nLEVEL2: 43\r\n");
}

// The OEM615's journal line in `root`: its TTFF, -1 when it has no line with a fix.
int Oem615Ttff(const TempFolder& root) {
  const std::string journal = ReadText(root.Path() / "files/Temp/NAVLUME_RESULTS.CSV");
  const size_t line = journal.find(",COM3:,OEM615,One by one,");
  if (line == std::string::npos || journal.find(",fix,", line) > journal.find('\n', line)) return -1;
  return std::stoi(journal.substr(line + std::strlen(",COM3:,OEM615,One by one,")));
}

// One station object runs the sheet and the command line: on the same station
// and scenario they read the same TTFF, also for an OEM615 that the one-by-one
// hand-over opens within a tick (its start-up blocks that tick for about 12 s).
// A system second is 200 ms here, so that a loaded machine's sheet keeps its ticks.
TEST(PrdProgramTest, SheetAndCommandLineReadTheSameTtff) {
  const std::string config = "TESTTYPE: 0\r\nTESTTIMEOUT: 100\r\nPORT1: A-GPS\r\nPORT2: OEM615\r\n";
  TempFolder sheetRoot, cliRoot, runtime, output;
  WriteText(sheetRoot.Path() / "files/Navlume.ini", config);
  const pid_t sheet = navlume_test::StartCommand(
      "env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=" + Quote(runtime.Path().string()) + " " +
          Quote(NAVLUME_GUI_PATH) + " --simulate=oem615+agps --ttff 8 --time-scale 0.2 --quit-after 600 --root " +
          Quote(sheetRoot.Path().string()),
      output.Path());
  ASSERT_TRUE(navlume_test::WaitForText(sheetRoot.Path() / "files/Temp/NAVLUME_RESULTS.CSV", ",COM3:,",
                                        std::chrono::seconds(120)));
  kill(sheet, SIGTERM);
  EXPECT_EQ(navlume_test::WaitForExit(sheet, std::chrono::seconds(10)), 0);

  platform::ScopedTimeScale scale(0.2);
  sim::CSimulationRoot simulation;
  sim::SimulationOptions options;
  options.profile = "oem615+agps";
  options.scenario.ttff = 8;
  options.root = cliRoot.Path();
  std::string error;
  ASSERT_TRUE(simulation.Start(options, error)) << error;
  WriteText(cliRoot.Path() / "files/Navlume.ini", config);
  const navlume_test::CommandResult cli = navlume_test::RunCommand(
      Quote(NAVLUME_CLI_PATH) + " prodtest --time-scale 0.2 --root " + Quote(cliRoot.Path().string()), output.Path());
  ASSERT_EQ(cli.status, 0) << cli.err;
  ASSERT_GE(Oem615Ttff(sheetRoot), 0);
  EXPECT_NEAR(Oem615Ttff(sheetRoot), Oem615Ttff(cliRoot), 1);
}

// A stop signal during the one-by-one hand-over cuts the OEM615's start-up
// short; the program tears down and journals the receiver as stopped.
TEST(PrdProgramTest, StopSignalDuringTheHandOverEndsTheProgramPromptly) {
  for (const int signal : {SIGTERM, SIGINT}) {
    TempFolder root, runtime, output;
    WriteText(root.Path() / "files/Navlume.ini", "TESTTYPE: 0\r\nTESTTIMEOUT: 100\r\nPORT1: A-GPS\r\nPORT2: OEM615\r\n");
    // At this scale the OEM615's start-up has about 5 s left once its port is open.
    const pid_t pid = navlume_test::StartCommand(
        "env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=" + Quote(runtime.Path().string()) + " " +
            Quote(NAVLUME_GUI_PATH) + " --simulate=oem615+agps --ttff 1 --time-scale 0.5 --quit-after 600 --root " +
            Quote(root.Path().string()),
        output.Path());
    ASSERT_TRUE(navlume_test::WaitForText(output.Path() / "err", "COM3: device open success!", std::chrono::seconds(60)));
    const auto signalled = std::chrono::steady_clock::now();
    kill(pid, signal);
    EXPECT_EQ(navlume_test::WaitForExit(pid, std::chrono::seconds(4)), 0) << ReadText(output.Path() / "err");
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(3));
    const std::string journal = ReadText(root.Path() / "files/Temp/NAVLUME_RESULTS.CSV");
    EXPECT_NE(journal.find(",COM3:,OEM615,One by one,0,0,0,35,Fail,0,0,stopped,"), std::string::npos) << journal;
  }
}

}  // namespace
