// Serial port figures: how soon the owner hears of a received line, and how
// quiet the reader thread stays while the line is silent.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Debug.h"
#include "platform/DeviceProfile.h"
#include "platform/Event.h"
#include "platform/Time.h"
#include "serial/PortHolders.h"
#include "serial/Serial.h"
#include "sim/PseudoTerminal.h"

namespace {

constexpr const char* kPort = "COM8:";
constexpr const char* kLine = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

// A CSerial opened on a pseudo-terminal whose far end sends kLine; the trace is captured quietly.
class SerialOverPty {
 public:
  SerialOverPty() {
    platform::SetPortDevicePath(kPort, m_Terminal.SlavePath());
    m_bOpen = m_Serial.Open(kPort, &m_Notify) == 0;
  }
  ~SerialOverPty() {
    if (m_bOpen) m_Serial.Close();
    platform::ClearPortDevicePaths();
  }
  SerialOverPty(const SerialOverPty&) = delete;
  SerialOverPty& operator=(const SerialOverPty&) = delete;

  bool Open() const { return m_bOpen; }
  bool SendLine() const { return m_Terminal.WriteToSlave(kLine); }
  platform::Event& Notify() { return m_Notify; }
  CSerial& Serial() { return m_Serial; }

 private:
  platform::DebugCapture m_Quiet;
  sim::PseudoTerminal m_Terminal;
  platform::Event m_Notify;
  CSerial m_Serial;
  bool m_bOpen = false;
};

// From the last byte of a line written into the far end to the owner's wake-up on its event.
void BM_SerialLineLatency(benchmark::State& state) {
  SerialOverPty port;
  if (!port.Open()) return state.SkipWithError("cannot open the pseudo-terminal");
  const int lines = static_cast<int>(state.range(0));
  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(lines));
  uint8_t byte = 0;
  for (auto _ : state) {
    micros.clear();
    for (int i = 0; i < lines; ++i) {
      if (!port.SendLine()) break;
      const auto written = std::chrono::steady_clock::now();
      port.Notify().Wait(platform::kInfinite);
      const auto woken = std::chrono::steady_clock::now();
      micros.push_back(std::chrono::duration<double, std::micro>(woken - written).count());
      while (port.Serial().Queue().Get(byte)) {
      }
    }
  }
  state.counters["p50_us"] = Percentile(micros, 0.50);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["lines"] = static_cast<double>(micros.size());
}
BENCHMARK(BM_SerialLineLatency)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Wake-ups of the reader thread while the port is silent for 5 s (the target is none).
void BM_SerialSilentWakeups(benchmark::State& state) {
  SerialOverPty port;
  if (!port.Open()) return state.SkipWithError("cannot open the pseudo-terminal");
  if (!port.SendLine()) return state.SkipWithError("cannot write");
  port.Notify().Wait(platform::kInfinite);
  uint64_t wakeups = 0;
  for (auto _ : state) {
    const uint64_t before = port.Serial().ReaderWakeups();
    port.Notify().Wait(5000);
    wakeups = port.Serial().ReaderWakeups() - before;
  }
  state.counters["silent_wakeups"] = static_cast<double>(wakeups);
}
BENCHMARK(BM_SerialSilentWakeups)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// One look through /proc/*/fd for another holder of a port, as every open of
// a port makes it (the target is a few milliseconds on a desktop).
void BM_PortHolderScan(benchmark::State& state) {
  sim::PseudoTerminal terminal;
  size_t processes = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc"))
    processes += std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0])) != 0;
  for (auto _ : state) benchmark::DoNotOptimize(OtherPortHolder(terminal.SlavePath()));
  state.counters["processes"] = static_cast<double>(processes);
}
BENCHMARK(BM_PortHolderScan)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
