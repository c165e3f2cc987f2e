// navlume-cli config, run as a program against temporary device roots.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/Command.h"
#include "support/TempFolder.h"

namespace {

using navlume_test::CommandResult;
using navlume_test::Quote;
using navlume_test::ReadText;
using navlume_test::TempFolder;
using navlume_test::WriteText;

nlohmann::json Json(const CommandResult& result) { return nlohmann::json::parse(result.out); }

class ConfigCommandTest : public ::testing::Test {
 protected:
  void Hardware(int gpsType, int wwanType) {
    std::ofstream(m_Root.Path() / "device.ini") << "[hardware]\ngps_type=" << gpsType << "\nwwan_type=" << wwanType << "\n";
  }

  void WriteFile(const std::string& relative, const std::string& text) { WriteText(m_Root.Path() / relative, text); }

  CommandResult Run(const std::string& arguments) {
    return navlume_test::RunCommand(
        Quote(NAVLUME_CLI_PATH) + " config --root " + Quote(m_Root.Path().string()) + " " + arguments, m_Output.Path());
  }

  TempFolder m_Root;
  TempFolder m_Output;
};

TEST_F(ConfigCommandTest, DialogAnsweredFromOptions) {
  Hardware(3, 2);
  const CommandResult result = Run("--choose agps --baud 4800");
  ASSERT_EQ(result.status, 0) << result.err;
  const auto json = Json(result);
  EXPECT_EQ(json["ok"], true);
  EXPECT_EQ(json["dialogShown"], true);
  EXPECT_EQ(json["startChoice"], 2);
  EXPECT_EQ(json["prdMode"], 0);
  EXPECT_EQ(json["gpsType"], 3);
  EXPECT_EQ(json["wwanType"], 2);
  EXPECT_EQ(json["portCount"], 1);
  EXPECT_EQ(json["ports"], nlohmann::json::parse(R"([{"name": "COM9:", "passLevel": 0, "baudRate": 4800}])"));
  EXPECT_EQ(json["portNames"], nlohmann::json::parse(
                                   R"({"ublox": "COM2:", "oem615": "COM3:", "agps": "COM9:", "export": "COM2:"})"));
  EXPECT_FALSE(json.contains("saveNmea"));
}

TEST_F(ConfigCommandTest, UnansweredDialogTakesThePreCheckedReceiver) {
  Hardware(4, 2);
  const CommandResult result = Run("");
  ASSERT_EQ(result.status, 0) << result.err;
  const auto json = Json(result);
  EXPECT_EQ(json["ports"], nlohmann::json::parse(R"([{"name": "COM3:", "passLevel": 0, "baudRate": 9600}])"));
  EXPECT_EQ(json["startChoice"], 1);
}

TEST_F(ConfigCommandTest, ConfigurationFileAndRegistryOptions) {
  Hardware(3, 2);
  WriteFile("files/Navlume.ini", "TESTTYPE: 1\r\nTESTTIMEOUT: 40\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\n");
  WriteFile("registry.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\RIL]\r\n"
            "\"StartOptions\"=dword:00000001\r\n\"SaveNMEAData\"=dword:00000001\r\n");
  const CommandResult result = Run("--choose agps --set-registry-key prd");
  ASSERT_EQ(result.status, 0) << result.err;
  const auto json = Json(result);
  EXPECT_EQ(json["dialogShown"], false);
  EXPECT_EQ(json["prdMode"], 1);
  EXPECT_EQ(json["testType"], 1);
  EXPECT_EQ(json["testTimeout"], 40);
  EXPECT_EQ(json["directAccess"], 1);
  EXPECT_EQ(json["ports"], nlohmann::json::parse(R"([{"name": "COM2:", "passLevel": 35, "baudRate": 9600}])"));
  EXPECT_EQ(json["saveNmea"], 1);
  EXPECT_EQ(json["exportToUart"], 0);
  EXPECT_EQ(json["coldStart"], 1);
  EXPECT_NE(ReadText(m_Root.Path() / "registry.reg").find("\"ExtGpsTestMode\"=dword:00000001"), std::string::npos);
}

TEST_F(ConfigCommandTest, PrdChoiceSucceedsWithoutPorts) {
  Hardware(3, 2);
  const CommandResult result = Run("--choose prd");
  ASSERT_EQ(result.status, 0) << result.err;
  const auto json = Json(result);
  EXPECT_EQ(json["prdMode"], 1);
  EXPECT_EQ(json["portCount"], 0);
  EXPECT_EQ(json["ports"], nlohmann::json::array());
}

TEST_F(ConfigCommandTest, NoHardwareFails) {
  Hardware(0, 0);
  const CommandResult result = Run("--set-registry-key normal");
  EXPECT_EQ(result.status, 1);
  const auto json = Json(result);
  EXPECT_EQ(json["ok"], false);
  EXPECT_EQ(json["portCount"], 0);
  EXPECT_NE(result.err.find("GPS port configuration is failed!!"), std::string::npos);
  // The trace goes to the root's debug log, the location and the failure on one line.
  EXPECT_NE(navlume_test::ReadText(m_Root.Path() / "navlume-debug.log").find(": Can't find GPS deivce!!"),
            std::string::npos);
  EXPECT_EQ(result.err.find("Can't find GPS deivce!!"), std::string::npos);
}

TEST_F(ConfigCommandTest, AnswersTheDialogCannotGiveAreRefused) {
  Hardware(3, 2);
  CommandResult result = Run("--choose agps --baud 1234");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("--baud 1234 is not in the start-options dialog's list (4800, 9600"), std::string::npos)
      << result.err;

  result = Run("--choose oem615");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("\"OEM615 GPS\" is disabled"), std::string::npos) << result.err;

  result = Run("--choose garmin");
  EXPECT_NE(result.status, 0);
  EXPECT_EQ(result.out, "");
}

}  // namespace
