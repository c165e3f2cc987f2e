// navlume-cli's command-line conventions and its JSON output, run as a program.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/TempFolder.h"

namespace {

using navlume_test::ReadText;
using navlume_test::TempFolder;
using navlume_test::WriteText;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  // Runs navlume-cli with `arguments` (shell words) and standard input from `input`.
  CommandResult Run(const std::string& arguments, const std::string& input = "") {
    const auto in = m_Folder.Path() / "in";
    const auto out = m_Folder.Path() / "out";
    const auto err = m_Folder.Path() / "err";
    WriteText(in, input);
    const std::string command = std::string("'") + NAVLUME_CLI_PATH + "' " + arguments + " <'" + in.string() +
                                "' >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
  }

  TempFolder m_Folder;
};

TEST_F(CliTest, UsageErrorsExitWithTwoAndPointToHelp) {
  for (const char* arguments : {"", "monitor", "sim --profile nope", "decode --chunk 0", "nosuchcommand",
                                "decode --nosuchoption"}) {
    const CommandResult result = Run(arguments);
    EXPECT_EQ(kExitUsage, result.status) << arguments;
    EXPECT_NE(std::string::npos, result.err.find("--help")) << arguments << ": " << result.err;
  }
}

TEST_F(CliTest, HelpAndVersionExitWithZero) {
  const CommandResult version = Run("--version");
  EXPECT_EQ(0, version.status);
  EXPECT_EQ(std::string("navlume-cli ") + NAVLUME_VERSION + "\n", version.out);
  EXPECT_EQ(0, Run("--help").status);
  EXPECT_EQ(0, Run("monitor --help").status);
}

TEST_F(CliTest, AFailingCommandKeepsItsOwnExitCode) {
  // A port that the device profile does not map: Open gives up after its attempts.
  const CommandResult result = Run("monitor COM7: --root '" + m_Folder.Path().string() + "' --time-scale 0.001");
  EXPECT_EQ(kExitFailed, result.status) << result.err;
}

TEST_F(CliTest, DecodePrintsValidJsonForNumbersBeyondTheFloatRange) {
  const CommandResult result =
      Run("decode --all", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,1e39,545.4,M,46.9,M,,*3E\r\n");
  ASSERT_EQ(0, result.status) << result.err;
  std::istringstream lines(result.out);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << line;
    EXPECT_TRUE(parsed["hdop"].is_null()) << line;
    ++count;
  }
  EXPECT_EQ(1, count);
}

}  // namespace
