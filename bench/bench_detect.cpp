// navlume-cli detect's probing time at the real time scale: the three
// simulated receivers and a silent terminal together, and ten silent terminals
// (per-device times as counters, seconds).

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "device/ReceiverProbe.h"
#include "sim/AgpsReceiver.h"
#include "sim/Oem615Receiver.h"
#include "sim/PseudoTerminal.h"
#include "sim/UbloxReceiver.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSilentTerminals = 10;

// Probes the devices one at a time (each one's own time) and all together.
void ProbeAndCount(benchmark::State& state, const std::vector<std::string>& names,
                   const std::vector<std::string>& paths) {
  for (auto _ : state) {
    for (size_t i = 0; i < paths.size(); ++i) {
      const auto start = Clock::now();
      const ProbeResult result = ProbeReceiver(paths[i]);
      state.counters[names[i] + "_s"] = std::chrono::duration<double>(Clock::now() - start).count();
      state.counters[names[i] + "_found"] = result.kind == ReceiverKind::Silent ? 0 : 1;
    }
    const auto start = Clock::now();
    ProbeReceivers(paths);
    state.counters["together_s"] = std::chrono::duration<double>(Clock::now() - start).count();
  }
}

void BM_DetectThreeReceiversAndASilentTerminal(benchmark::State& state) {
  sim::CUbloxReceiver ublox(sim::DefaultScenario(), sim::PowerMode::AlwaysOn);
  sim::COem615Receiver oem615(sim::DefaultScenario(), sim::PowerMode::AlwaysOn);
  sim::CAgpsReceiver agps;
  sim::PseudoTerminal silent;
  if (!ublox.Start() || !oem615.Start() || !agps.Start()) return state.SkipWithError("no pseudo-terminal");
  ProbeAndCount(state, {"ublox", "oem615", "nmea", "silent"},
                {ublox.SlavePath(), oem615.SlavePath(), agps.SlavePath(), silent.SlavePath()});
}
BENCHMARK(BM_DetectThreeReceiversAndASilentTerminal)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_DetectTenSilentTerminals(benchmark::State& state) {
  std::vector<std::unique_ptr<sim::PseudoTerminal>> terminals;
  std::vector<std::string> paths;
  for (int i = 0; i < kSilentTerminals; ++i)
    paths.push_back(terminals.emplace_back(std::make_unique<sim::PseudoTerminal>())->SlavePath());
  for (auto _ : state) {
    const auto start = Clock::now();
    ProbeReceivers(paths);
    state.counters["together_s"] = std::chrono::duration<double>(Clock::now() - start).count();
  }
}
BENCHMARK(BM_DetectTenSilentTerminals)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
