// navlume-cli prodtest: the production test that the test configuration file
// sets up, run by the production station as the production sheet runs it,
// without a display. Progress goes to standard error once a second; when
// every receiver is done, the run reaches --max-seconds or a stop signal
// arrives, one JSON line per receiver goes to standard output. With a results
// database (--database, else device.ini's [results] database) a forwarder
// sends each journalled line to it; the run's end waits a few seconds for
// them, then names on standard error how many still wait.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "device/GPSDevice.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/StopSignals.h"
#include "platform/Time.h"
#include "prodtest/PortConf.h"
#include "prodtest/ProductionStation.h"
#include "results/Forwarder.h"
#include "tools/CommandRoot.h"
#include "tools/Commands.h"

namespace {

constexpr int kExitAnyFail = 1;
constexpr int kExitNotProductionTest = 2;
constexpr int kExitResultNotSaved = 3;
// How long the end of a run waits for its results to reach the database (system ms).
constexpr uint32_t kEndOfRunSendingMs = 3000;

constexpr const char* kExitCodesText =
    "Exit codes: 0 every receiver passed; 1 a receiver failed, could not be opened or did not finish; "
    "2 not a production test (the reason on standard error); 3 a result could not be saved in the journal.";

struct ProdTestOptions {
  std::string root;
  double timeScale = 1.0;
  std::optional<uint32_t> maxSeconds;
  std::optional<std::string> database;  // overrides device.ini's [results] database
};

[[noreturn]] void Exit(int code, const std::string& reason) {
  std::fprintf(stderr, "navlume-cli prodtest: %s\n", reason.c_str());
  throw CLI::RuntimeError(code);
}

const char* StateWord(const PanelSnapshot& panel) {
  if (panel.state == kDeviceCreated) return "waiting";
  if (panel.state != kDeviceOpen) return panel.bDone ? "done" : "not open";
  if (panel.bFixed) return "fixed";
  return panel.bTimeout ? "timeout" : "running";
}

void PrintProgress(const CProductionTest& test, uint32_t tick) {
  std::string line = "prodtest " + std::to_string(tick) + " s:";
  for (int panel = 0; panel < kTestPanels; ++panel) {
    const PanelSnapshot snapshot = test.Panel(panel);
    if (!snapshot.bPresent) continue;
    const PanelTexts texts = PanelTextsOf(snapshot);
    line += " | " + texts.title + " view " + texts.view + " used " + texts.used + " snr " + texts.snr + " ttff " +
            texts.ttff + " " + StateWord(snapshot);
  }
  std::fprintf(stderr, "%s\n", line.c_str());
}

nlohmann::ordered_json ResultJson(const PanelSnapshot& result) {
  return {{"port", result.portName},
          {"receiver", ReceiverNameOfPort(result.portName)},
          {"ttffSeconds", result.elapsedSeconds},
          {"timedOut", result.bTimeout},
          {"averageSnr", result.averageSnr},
          {"passLevel", result.passLevel},
          {"verdict", VerdictText(ResultVerdictOf(result))},
          {"satellitesInView", result.position.satellitesInView},
          {"satellitesUsed", result.position.satelliteCount}};
}

// Reads the configuration as the program does at start-up; exits 2 unless it is a production test with receivers.
void ReadProductionConfiguration(CPortConf& conf) {
  const int initialized = conf.Initialize();
  if (initialized != 1 && conf.m_GpsType == 0 && conf.m_WwanType == 0) {
    Exit(kExitNotProductionTest, "GPS port configuration is failed!! (no receiver fitted)");
  }
  if (!conf.m_bPrdMode) {
    Exit(kExitNotProductionTest, "not a production test: no Navlume.ini naming a receiver (PORT1:/PORT2:) in " +
                                     platform::MapHandheldPath(kCardConfigPath).string() + " or " +
                                     platform::MapHandheldPath(kRootConfigPath).string());
  }
  if (conf.m_PortCount == 0) Exit(kExitNotProductionTest, "production mode without receivers to test");
  if (const std::string problem = conf.FileProblem(); !problem.empty()) Exit(kExitNotProductionTest, problem);
}

// Ticks on the station's schedule until every receiver is done, the limit is reached or a stop arrives.
void RunTicks(CProductionStation& station, std::optional<uint32_t> maxSeconds) {
  for (uint32_t tick = 1; !station.Finished() && (!maxSeconds || tick <= *maxSeconds); ++tick) {
    if (!station.WaitForTick()) return;
    station.Tick();
    PrintProgress(station.Test(), tick);
  }
}

// A forwarder to the results database when one is set, started; none without.
std::unique_ptr<results::CResultForwarder> StartForwarder(const ProdTestOptions& options,
                                                          const std::filesystem::path& root) {
  const std::string database = options.database.value_or(platform::CurrentDeviceProfile().resultsDatabase);
  if (database.empty()) return nullptr;
  auto forwarder = std::make_unique<results::CResultForwarder>(database, root, [](const std::string& message) {
    std::fprintf(stderr, "navlume-cli prodtest: %s\n", message.c_str());
  });
  forwarder->Start();
  return forwarder;
}

void ReportResultsWaiting(results::CResultForwarder& forwarder) {
  if (const uint64_t waiting = forwarder.WaitUntilSent(results::ServerWaitMs(kEndOfRunSendingMs)))
    std::fprintf(stderr,
                 "navlume-cli prodtest: %llu results wait for the database; the next run or "
                 "navlume-cli journal push sends them\n",
                 static_cast<unsigned long long>(waiting));
}

void RunProdTest(const ProdTestOptions& options) {
  platform::SetTimeScale(options.timeScale);
  const std::filesystem::path root = UseCommandRoot("prodtest", options.root, kExitNotProductionTest);

  CPortConf conf;
  ReadProductionConfiguration(conf);
  std::unique_ptr<results::CResultForwarder> forwarder;  // outlives the station, which tells it of its lines
  CProductionStation station(conf);
  // Before any receiver's or the forwarder's thread starts, so that every thread leaves the signals to the watcher.
  platform::CStopSignals stop([&station] { station.Stop(); });
  if (!stop.Start()) Exit(kExitAnyFail, "cannot catch SIGINT/SIGTERM");
  forwarder = StartForwarder(options, root);
  station.SetResultListener(forwarder.get());
  if (station.Start()) {
    RunTicks(station, options.maxSeconds);
  } else if (!stop.Requested()) {
    std::fprintf(stderr, "navlume-cli prodtest: the receivers could not be started\n");
  }
  station.EndRun();
  bool allPass = true;
  for (int i = 0; i < station.ReceiverCount(); ++i) {
    const PanelSnapshot result = station.Result(i);
    allPass = allPass && ResultVerdictOf(result) == TestVerdict::Pass;
    std::cout << ResultJson(result).dump() << '\n';
  }
  std::cout.flush();
  if (forwarder) ReportResultsWaiting(*forwarder);
  for (const std::string& port : station.UnsavedResults())
    std::fprintf(stderr, "navlume-cli prodtest: the result of %s was not saved: no place took its journal line\n",
                 port.c_str());
  if (!station.UnsavedResults().empty()) throw CLI::RuntimeError(kExitResultNotSaved);
  if (!allPass) throw CLI::RuntimeError(kExitAnyFail);
}

}  // namespace

void AddProdTestCommand(CLI::App& app) {
  auto options = std::make_shared<ProdTestOptions>();
  CLI::App* command = app.add_subcommand(
      "prodtest", "Run the production test of Navlume.ini without a display; one JSON line per receiver");
  command->footer(kExitCodesText);
  command->add_option("--root", options->root, "Device root (default: $NAVLUME_ROOT, else ~/.local/share/navlume)");
  command->add_option("--time-scale", options->timeScale, "Real seconds per system second (0.1: ten times faster)")
      ->check(CLI::PositiveNumber);
  command->add_option("--max-seconds", options->maxSeconds, "End the run after S test seconds (for runs without a timeout)")
      ->check(CLI::PositiveNumber);
  command->add_option("--database", options->database,
                      "Results database: a libpq connection string or URI (default: device.ini's [results] database)");
  command->callback([options] { RunProdTest(*options); });
}
