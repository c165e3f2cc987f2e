// navlume-cli's command-line conventions, its JSON output, decode end to
// end, and monitor stopped by a signal, run as a program.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/DeviceProfile.h"
#include "support/Command.h"
#include "support/GpsdAvailable.h"
#include "support/TempFolder.h"

namespace {

using navlume_test::CommandResult;
using navlume_test::Quote;
using navlume_test::ReadText;
using navlume_test::RunCommand;
using navlume_test::TempFolder;
using navlume_test::WriteText;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

class CliTest : public ::testing::Test {
 protected:
  // Runs navlume-cli with `arguments` (shell words) and standard input from `input`.
  CommandResult Run(const std::string& arguments, const std::string& input = "") {
    const auto in = m_Folder.Path() / "in";
    WriteText(in, input);
    return RunCommand(Quote(NAVLUME_CLI_PATH) + " " + arguments + " <" + Quote(in.string()), m_Folder.Path());
  }

  TempFolder m_Folder;
};

std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(nlohmann::json::parse(line, nullptr, false));
  return lines;
}

// The position of a decode record, without where in the input it was taken.
nlohmann::json Position(nlohmann::json record) {
  record.erase("offset");
  record.erase("decoded");
  return record;
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndPointToHelp) {
  for (const char* arguments : {"", "monitor", "sim --profile nope", "decode --chunk 0", "nosuchcommand",
                                "decode --nosuchoption", "decode --talkers GN"}) {
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

TEST_F(CliTest, DecodeEndsWithTheSameRecordHoweverTheCaptureIsCut) {
  const std::string capture = Quote(NAVLUME_SAMPLE_CAPTURE);
  const CommandResult byLine = Run("decode " + capture);
  ASSERT_EQ(0, byLine.status) << byLine.err;
  const std::vector<nlohmann::json> lineRecords = JsonLines(byLine.out);
  ASSERT_GT(lineRecords.size(), 10u);
  EXPECT_EQ(1, lineRecords.back()["decoded"]);
  for (const char* cut : {"--chunk 1", "--chunk 7", "--chunk 4096", "--chunk 1000000", "--all", "--all --chunk 13"}) {
    const CommandResult result = Run("decode " + std::string(cut) + " " + capture);
    ASSERT_EQ(0, result.status) << cut << ": " << result.err;
    const std::vector<nlohmann::json> records = JsonLines(result.out);
    ASSERT_FALSE(records.empty()) << cut;
    EXPECT_EQ(Position(lineRecords.back()), Position(records.back())) << cut;
  }
  // --all prints after every piece, the last one ending at the end of the capture.
  const std::vector<nlohmann::json> all = JsonLines(Run("decode --all --chunk 1000 " + capture).out);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(ReadText(NAVLUME_SAMPLE_CAPTURE).size(), all.back()["offset"].get<size_t>());
  // Standard input reads as the file does.
  EXPECT_EQ(byLine.out, Run("decode", ReadText(NAVLUME_SAMPLE_CAPTURE)).out);
}

TEST_F(CliTest, DecodeOfACaptureItCannotReadFailsWithOneAndSaysWhy) {
  const std::string missing = (m_Folder.Path() / "no-such-capture.nmea").string();
  const CommandResult absent = Run("decode " + Quote(missing));
  EXPECT_EQ(kExitFailed, absent.status);
  EXPECT_EQ("navlume-cli decode: cannot open " + missing + ": No such file or directory\n", absent.err);
  EXPECT_EQ("", absent.out);

  const CommandResult folder = Run("decode " + Quote(m_Folder.Path().string()));  // opens, but cannot be read
  EXPECT_EQ(kExitFailed, folder.status);
  EXPECT_NE(std::string::npos, folder.err.find("cannot read " + m_Folder.Path().string())) << folder.err;
}

TEST_F(CliTest, DecodeSurvivesALineOverOneMebibyteAndKeepsWhatFollows) {
  const std::string before = "$GPGGA,093000.00,,,,,0,00,99.9,,,,,,*55\r\n";
  const std::string after = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
  const std::string longLine = "$GPTXT," + std::string((1 << 20) + 4321, 'x') + "\r\n";
  for (const char* cut : {"", "--chunk 65536"}) {
    const CommandResult result = Run("decode " + std::string(cut), before + longLine + after);
    ASSERT_EQ(0, result.status) << cut << ": " << result.err;
    const std::vector<nlohmann::json> records = JsonLines(result.out);
    ASSERT_EQ(2u, records.size()) << cut;
    EXPECT_EQ(0, records.front()["fixQuality"]) << cut;
    EXPECT_EQ(1, records.back()["fixQuality"]) << cut;
    EXPECT_NEAR(48.1173, records.back().value("latitude", 0.0), 1e-4) << cut;
    EXPECT_EQ(before.size() + longLine.size() + after.size(), records.back()["offset"].get<size_t>()) << cut;
  }
}

// Starts navlume-cli with `args`, its output streams in files of `folder`.
pid_t StartCli(std::vector<std::string> args, const std::filesystem::path& folder) {
  args.insert(args.begin(), NAVLUME_CLI_PATH);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string out = (folder / "out").string();
  const std::string err = (folder / "err").string();
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0 ? pid : -1;
}

// Waits up to `patience` for `pid` to end: its exit status, or -1 when it was
// ended by a signal or had to be killed.
int WaitForExit(pid_t pid, std::chrono::seconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CliTest, MonitorStoppedBySignalDuringOpenAttemptsEndsPromptlyWithZero) {
  // A port the profile does not map: every open attempt fails, and at this
  // time scale the attempts (a second of the system's time apart, eleven of
  // them) last 22 s real, far beyond the patience for stopping.
  constexpr auto kPatience = std::chrono::seconds(20);
  constexpr auto kStopPatience = std::chrono::seconds(10);  // generous for a loaded machine
  constexpr const char* kAttemptsStarted = "Loading... 1";  // the trace of the first attempt period
  for (const int signal : {SIGINT, SIGTERM}) {
    const pid_t pid = StartCli({"monitor", "COM7:", "--root", m_Folder.Path().string(), "--time-scale", "2"},
                               m_Folder.Path());
    ASSERT_GT(pid, 0);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (ReadText(m_Folder.Path() / "err").find(kAttemptsStarted) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(std::string::npos, ReadText(m_Folder.Path() / "err").find(kAttemptsStarted));
    kill(pid, signal);
    EXPECT_EQ(0, WaitForExit(pid, kStopPatience)) << strsignal(signal) << ": " << ReadText(m_Folder.Path() / "err");
  }
}

}  // namespace

namespace {

TEST_F(CliTest, ErrorsNameWhatWasWrongAndWhatIsAllowed) {
  const std::string root = Quote(m_Folder.Path().string());
  struct Case {
    std::string arguments;
    int status;
    std::string said;
  } const cases[] = {
      {"bogus", kExitUsage, "unknown command \"bogus\"; the commands are decode, sim, monitor, config, prodtest"},
      {"decode --talkers GL", kExitUsage, "\"GL\" is not allowed: give GP or any"},
      {"monitor COM2: --type 7 --root " + root, kExitUsage, "--type"},
      {"monitor COM2: --export --root " + root, kExitUsage, "--export copies the A-GPS port COM9: to COM2:"},
      {"monitor --gpsd --save-nmea --root " + root, kExitUsage, "--save-nmea"},
      {"monitor --gpsd localhost:99999 --root " + root, kExitUsage, "--gpsd takes HOST:PORT"},
  };
  for (const Case& c : cases) {
    const CommandResult result = Run(c.arguments);
    EXPECT_EQ(c.status, result.status) << c.arguments;
    EXPECT_NE(std::string::npos, result.err.find(c.said)) << c.arguments << ": " << result.err;
  }
}

TEST_F(CliTest, ANamedRootThatDoesNotExistIsRefusedAndNotMade) {
  const std::filesystem::path missing = m_Folder.Path() / "typo" / "deep";
  for (const std::string command : {"monitor COM2: --seconds 0", "prodtest", "config", "detect --devices /dev/null"}) {
    for (const bool byEnvironment : {false, true}) {
      const std::string where = byEnvironment ? "NAVLUME_ROOT=" + Quote(missing.string()) + " "
                                              : std::string();
      const CommandResult result = RunCommand(
          where + Quote(NAVLUME_CLI_PATH) + " " + command + (byEnvironment ? "" : " --root " + Quote(missing.string())),
          m_Folder.Path());
      EXPECT_EQ(kExitUsage, result.status) << command;
      EXPECT_NE(std::string::npos, result.err.find("the device root " + missing.string() + " does not exist"))
          << command << ": " << result.err;
      EXPECT_FALSE(std::filesystem::exists(missing.parent_path())) << command;
    }
  }
}

TEST_F(CliTest, DecodeCountsSentencesEndingInLfAloneAndTakesThemWithLf) {
  const std::string sentence = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";
  const std::string capture = sentence + "\n" + sentence + "\n";
  const CommandResult plain = Run("decode", capture);
  EXPECT_EQ(0, plain.status);
  EXPECT_EQ("", plain.out);
  EXPECT_NE(std::string::npos, plain.err.find("2 sentence(s) end in LF alone")) << plain.err;
  const CommandResult mended = Run("decode --lf", capture);
  ASSERT_EQ(2u, JsonLines(mended.out).size()) << mended.err;
  EXPECT_EQ(1, JsonLines(mended.out).back()["fixQuality"]);
  EXPECT_EQ(capture.size(), JsonLines(mended.out).back()["offset"].get<size_t>());  // offsets of the capture as read
}

TEST_F(CliTest, ARefusedPassLevelNamesTheFileAsFoundAndAsTheHandheldNamesIt) {
  const std::filesystem::path root = m_Folder.Path() / "station";
  const CommandResult sim =
      Run("sim --profile ublox --time-scale 0.05 --background --root " + Quote(root.string()));
  ASSERT_EQ(0, sim.status) << sim.err;
  WriteText(root / "files" / "Navlume.ini", "TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 5\r\n");
  const CommandResult result = Run("prodtest --time-scale 0.05 --root " + Quote(root.string()));
  EXPECT_EQ(kExitUsage, result.status);
  EXPECT_NE(std::string::npos, result.err.find((root / "files" / "Navlume.ini").string() + " (\\Navlume.ini) line 4: "))
      << result.err;
  EXPECT_EQ(0, Run("sim --stop " + Quote(root.string())).status);
  EXPECT_EQ(kExitFailed, Run("sim --stop " + Quote(root.string())).status);  // none runs there any more
}

// The newcomer's path on a simulator with gpsd: ready at once in the
// background, gpsd's port in the root, a fix through gpsd without the device's
// own flags, the configuration navlume starts with, a quiet stderr, and a stop.
TEST_F(CliTest, BackgroundSimulatorWithGpsdWatchedThroughGpsdThenStopped) {
  NAVLUME_REQUIRE_GPSD();
  const std::filesystem::path root = m_Folder.Path() / "mux";
  const CommandResult sim =
      Run("sim --profile ublox --ttff 2 --time-scale 0.05 --gpsd --background --root " + Quote(root.string()));
  ASSERT_EQ(0, sim.status) << sim.err;
  const nlohmann::json ready = nlohmann::json::parse(sim.out);
  EXPECT_TRUE(std::filesystem::is_directory(root / "files"));
  EXPECT_EQ(nlohmann::json::array({"StartOptions=1"}), ready["seeded"]);
  EXPECT_EQ(ready["gpsd"], "127.0.0.1:" + std::to_string(platform::LoadDeviceProfile(root / "device.ini").gpsdPort));

  const CommandResult monitor = Run("monitor --gpsd --seconds 3 --time-scale 0.05 --root " + Quote(root.string()));
  EXPECT_EQ(0, monitor.status) << monitor.err;
  const std::vector<nlohmann::json> records = JsonLines(monitor.out);
  ASSERT_FALSE(records.empty()) << monitor.err;
  EXPECT_FALSE(records.back().contains("fixed"));
  EXPECT_FALSE(records.back().contains("state"));
  EXPECT_EQ(1, records.back()["fixQuality"]) << records.back();
  EXPECT_EQ(std::string::npos, monitor.err.find("+++")) << monitor.err;  // the trace is in the debug log
  EXPECT_NE(std::string::npos, ReadText(root / "navlume-debug.log").find("+++ CGPSDevice::"));

  const CommandResult config = Run("config --root " + Quote(root.string()));
  EXPECT_EQ(1, nlohmann::json::parse(config.out)["directAccess"]) << config.out;
  EXPECT_EQ(0, Run("sim --stop " + Quote(root.string())).status);
  EXPECT_FALSE(std::filesystem::exists(root / "sim.pid"));
}

}  // namespace
