#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Debug.h"

namespace {

TEST(DebugOutput, OneLinePerPrintWithoutLineEnd) {
  platform::DebugCapture capture;
  platform::DebugPrint("+++ CGPSDevice::Close: %s +++\r\n", "COM2:");
  platform::DebugPrint("CSerial::Open - Unable to open port\n");
  ASSERT_EQ(capture.Lines().size(), 2u);
  EXPECT_EQ(capture.Lines()[0], "+++ CGPSDevice::Close: COM2: +++");
  EXPECT_EQ(capture.Lines()[1], "CSerial::Open - Unable to open port");
}

TEST(DebugOutput, FormatsLikePrintf) {
  platform::DebugCapture capture;
  platform::DebugPrint("[Navlume] %s port was not identified !!\r\n", "u-blox");
  platform::DebugPrint("100%% and [%x]", 0xB5);
  EXPECT_EQ(capture.Lines()[0], "[Navlume] u-blox port was not identified !!");
  EXPECT_EQ(capture.Lines()[1], "100% and [b5]");
}

TEST(DebugOutput, LongLinesAreNotCut) {
  platform::DebugCapture capture;
  const std::string text(2000, 'x');
  platform::DebugPrint("%s", text.c_str());
  EXPECT_EQ(capture.Lines()[0], text);
}

TEST(DebugOutput, ErrorLocationStartsTheFailuresOwnLine) {
  platform::DebugCapture capture;
  NAVLUME_ERROR_LOCATION();
  platform::DebugPrint("[Navlume] port was not identified !!\r\n");
  ASSERT_EQ(capture.Lines().size(), 1u);
  EXPECT_EQ(capture.Lines()[0].rfind("ERROR: DebugTest.cpp line ", 0), 0u);
  EXPECT_NE(capture.Lines()[0].find(": [Navlume] port was not identified !!"), std::string::npos);
}

TEST(DebugOutput, ALogFileTakesTheLinesOffStandardError) {
  const auto file = std::filesystem::temp_directory_path() / ("navlume-debug-test-" + std::to_string(getpid()));
  ASSERT_TRUE(platform::SetDebugLogFile(file));
  platform::SetDebugDestination(platform::DebugDestination::LogFile);
  platform::DebugPrint("[Navlume] to the log\r\n");
  platform::SetDebugDestination(platform::DebugDestination::StandardError);
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "[Navlume] to the log");
  std::filesystem::remove(file);
}

}  // namespace
