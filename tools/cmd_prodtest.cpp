// navlume-cli prodtest: runs the production test that the test configuration
// file sets up, as the production sheet does (same configuration, devices,
// one-second ticks, one by one or at the same time), without a display.
// Progress goes to standard error once a second; when every receiver is done
// one JSON line per receiver goes to standard output. Exit code: 0 all pass,
// 1 any fails, 2 not a production test.

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/DeviceRoot.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"
#include "prodtest/ProductionTest.h"
#include "prodtest/ResultJournal.h"
#include "tools/Commands.h"

namespace {

constexpr int kExitAllPass = 0;
constexpr int kExitAnyFail = 1;
constexpr int kExitNotProductionTest = 2;
constexpr uint32_t kTickMs = 1000;

struct ProdTestOptions {
  std::string root;
  double timeScale = 1.0;
  std::optional<uint32_t> maxSeconds;
};

[[noreturn]] void Exit(int code, const std::string& reason) {
  std::fprintf(stderr, "navlume-cli prodtest: %s\n", reason.c_str());
  throw CLI::RuntimeError(code);
}

// Hands the devices' records to the test.
class CTestListener : public CGPSListener {
 public:
  explicit CTestListener(CProductionTest& test) : m_Test(test) {}
  void OnGPSData(CGPSDevice* device, GpsPosition record) override { m_Test.OnGPSData(device, record); }

 private:
  CProductionTest& m_Test;
};

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
}

// Creates and opens the receivers as the production sheet's start-up does; false when the test cannot start.
bool StartReceivers(CPortConf& conf, std::vector<std::unique_ptr<CGPSDevice>>& devices, CProductionTest& test,
                    CTestListener& listener) {
  for (uint32_t i = 0; i < conf.m_PortCount; ++i) {
    const std::string& port = conf.m_PortNames[i];
    auto& device = devices.emplace_back(std::make_unique<CGPSDevice>());
    conf.SetRegistryKey(*device, 1);
    const uint32_t level = conf.m_PassLevels[i] != 0 ? conf.m_PassLevels[i] : kDefaultPassLevel;
    const uint32_t type = port == AgpsPortName ? kGpsTypeAgps : static_cast<uint32_t>(conf.m_GpsType);
    if (!device->Create(port, level, type, kPortConfBaudRate)) return false;
    if (conf.m_TestType == kTestTypeSameTime && !device->Open()) return false;
    device->AddListener(&listener);
    test.AddDevice(device.get());
  }
  return conf.m_TestType == kTestTypeSameTime || devices.front()->Open();
}

// Ticks once a second (scaled) until every receiver is done or the limit is reached.
void RunTicks(CProductionTest& test, std::optional<uint32_t> maxSeconds) {
  uint64_t next = platform::ScaledNowMs();
  for (uint32_t tick = 1; !test.AllDone() && (!maxSeconds || tick <= *maxSeconds); ++tick) {
    next += kTickMs;
    const uint64_t now = platform::ScaledNowMs();
    if (next > now) platform::SleepMs(static_cast<uint32_t>(next - now));
    test.OnTimer();
    PrintProgress(test, tick);
  }
}

void RunProdTest(const ProdTestOptions& options) {
  platform::SetTimeScale(options.timeScale);
  const auto root = platform::ResolveDeviceRoot(options.root);
  if (!platform::SetDeviceRoot(root)) Exit(kExitNotProductionTest, "cannot use the device root " + root.string());

  CPortConf conf;
  ReadProductionConfiguration(conf);
  CProductionTest test(conf.m_TestType, conf.m_TestTimeout);
  test.SetFinishedHandler([&conf](int, const PanelSnapshot& result) { AppendTestResult(result, conf.m_TestType); });
  CTestListener listener(test);
  bool allPass = false;
  std::vector<nlohmann::ordered_json> results;
  {
    std::vector<std::unique_ptr<CGPSDevice>> devices;
    if (StartReceivers(conf, devices, test, listener)) {
      RunTicks(test, options.maxSeconds);
    } else {
      std::fprintf(stderr, "navlume-cli prodtest: the receivers could not be started\n");
    }
    allPass = test.DeviceCount() == static_cast<int>(conf.m_PortCount);
    for (int panel = 0; panel < test.DeviceCount(); ++panel) {
      const PanelSnapshot result = test.Result(panel);
      allPass = allPass && ResultVerdictOf(result) == TestVerdict::Pass;
      results.push_back(ResultJson(result));
    }
  }  // the devices close here, before the test they report to
  for (const auto& line : results) std::cout << line.dump() << '\n';
  std::cout.flush();
  if (!allPass) throw CLI::RuntimeError(kExitAnyFail);
}

}  // namespace

void AddProdTestCommand(CLI::App& app) {
  auto options = std::make_shared<ProdTestOptions>();
  CLI::App* command = app.add_subcommand(
      "prodtest", "Run the production test of Navlume.ini without a display; one JSON line per receiver");
  command->add_option("--root", options->root, "Device root (default: $NAVLUME_ROOT, else ~/.local/share/navlume)");
  command->add_option("--time-scale", options->timeScale, "Real seconds per system second (0.1: ten times faster)")
      ->check(CLI::PositiveNumber);
  command->add_option("--max-seconds", options->maxSeconds, "End the run after S test seconds (for runs without a timeout)")
      ->check(CLI::PositiveNumber);
  command->callback([options] { RunProdTest(*options); });
}
