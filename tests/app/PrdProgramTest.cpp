// The production sheet end to end: navlume on Qt's offscreen platform with
// simulated receivers serving a root that holds a production configuration
// file, its screenshots and controls, and the result journal it writes.

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

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

}  // namespace
