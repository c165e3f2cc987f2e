// CGPSDevice figures: latency from the last byte of a GGA written into the
// terminal to the listener's OnGPSData, CPU time and wake-ups of the device's
// own threads when the receiver is silent and at 115200 baud, and resident
// memory after many sentences.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/Debug.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"
#include "sim/NmeaSentences.h"
#include "sim/PseudoTerminal.h"
#include "ThreadUsage.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
using navlume_bench::ThreadIds;
using navlume_bench::ThreadUsage;
using navlume_bench::UsageOf;
constexpr const char* kBenchPort = "COM5:";

std::string GgaSentence(int second) {
  char body[128];
  std::snprintf(body, sizeof body, "GPGGA,1200%02d,4916.45,N,12311.12,W,1,08,0.9,70.0,M,-17.0,M,,", second % 60);
  return sim::NmeaSentence(body);
}

long ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE) / 1024;
}

// A device on COM5: (no receiver role: no start-up commands) over a pseudo-terminal.
class BenchDevice : public CGPSListener {
 public:
  BenchDevice() {
    m_Capture.SetEcho(false);
    m_Ui.SetQuiet(true);
    platform::SetUserInterface(&m_Ui);
    platform::SetDeviceRoot(m_Root.Path());
    platform::SetPortDevicePath(kBenchPort, m_Terminal.SlavePath());
    const auto before = ThreadIds();
    {
      platform::ScopedTimeScale quickOpen(0.01);
      m_bReady = m_Device.Create(kBenchPort, 0, 0, 9600) == 1 && m_Device.Open() == 1;
    }
    for (const int tid : ThreadIds()) {
      if (!before.count(tid)) m_DeviceThreads.insert(tid);
    }
    m_Device.AddListener(this);
  }
  ~BenchDevice() override {
    m_Device.Close();
    platform::SetUserInterface(nullptr);
    platform::ClearPortDevicePaths();
  }

  void OnGPSData(CGPSDevice*, GpsPosition) override {
    const auto now = Clock::now();
    {
      std::lock_guard lock(m_Mutex);
      m_LastCall = now;
      ++m_Calls;
    }
    m_Changed.notify_all();
  }

  // Waits for the next call after `calls`; returns its time.
  Clock::time_point WaitForCall(uint64_t calls) {
    std::unique_lock lock(m_Mutex);
    m_Changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_Calls > calls; });
    return m_LastCall;
  }
  uint64_t Calls() {
    std::lock_guard lock(m_Mutex);
    return m_Calls;
  }

  bool Ready() const { return m_bReady; }
  void Send(const std::string& bytes) const { m_Terminal.WriteToSlave(bytes); }
  const std::set<int>& DeviceThreads() const { return m_DeviceThreads; }

 private:
  navlume_test::TempFolder m_Root;
  platform::DebugCapture m_Capture;
  platform::HeadlessUserInterface m_Ui;
  sim::PseudoTerminal m_Terminal;
  CGPSDevice m_Device;
  bool m_bReady = false;
  std::set<int> m_DeviceThreads;
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  uint64_t m_Calls = 0;
  Clock::time_point m_LastCall;
};

void BM_DeviceGgaToListenerLatency(benchmark::State& state) {
  BenchDevice bench;
  if (!bench.Ready()) return state.SkipWithError("device did not open");
  std::vector<double> latenciesUs;
  for (auto _ : state) {
    latenciesUs.clear();
    for (int i = 0; i < 10000; ++i) {
      const std::string sentence = GgaSentence(i);
      const uint64_t calls = bench.Calls();
      bench.Send(sentence);
      const auto written = Clock::now();
      const auto called = bench.WaitForCall(calls);
      latenciesUs.push_back(std::chrono::duration<double, std::micro>(called - written).count());
    }
  }
  std::sort(latenciesUs.begin(), latenciesUs.end());
  state.counters["p50_us"] = latenciesUs[latenciesUs.size() / 2];
  state.counters["p99_us"] = latenciesUs[latenciesUs.size() * 99 / 100];
  state.counters["max_us"] = latenciesUs.back();
}
BENCHMARK(BM_DeviceGgaToListenerLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU time and wake-ups of the device's parse and reader threads over 10 s;
// range(0) is the stream's rate in bytes per second (0: a silent receiver).
void BM_DeviceThreadsOverTenSeconds(benchmark::State& state) {
  BenchDevice bench;
  if (!bench.Ready()) return state.SkipWithError("device did not open");
  const auto bytesPerSecond = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    const ThreadUsage before = UsageOf(bench.DeviceThreads());
    const auto end = Clock::now() + std::chrono::seconds(10);
    if (bytesPerSecond == 0) {
      std::this_thread::sleep_until(end);
    } else {
      // One second's output every 100 ms, in tenths, like a receiver's bursts.
      std::string tenth;
      for (int i = 0; tenth.size() < bytesPerSecond / 10; ++i) tenth += GgaSentence(i);
      for (auto next = Clock::now(); next < end; next += std::chrono::milliseconds(100)) {
        bench.Send(tenth);
        std::this_thread::sleep_until(next + std::chrono::milliseconds(100));
      }
    }
    const ThreadUsage after = UsageOf(bench.DeviceThreads());
    state.counters["cpu_ms"] = (after.cpuSeconds - before.cpuSeconds) * 1000;
    state.counters["wakeups"] = static_cast<double>(after.wakeups - before.wakeups);
    state.counters["threads"] = static_cast<double>(bench.DeviceThreads().size());
  }
}
BENCHMARK(BM_DeviceThreadsOverTenSeconds)->Arg(0)->Arg(11520)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Resident memory after a thousand and after a million sentences.
void BM_DeviceResidentMemory(benchmark::State& state) {
  BenchDevice bench;
  if (!bench.Ready()) return state.SkipWithError("device did not open");
  const auto stream = [&](int sentences) {
    std::string burst;
    for (int i = 0; i < 40; ++i) burst += GgaSentence(i);
    for (int sent = 0; sent < sentences; sent += 40) {
      const uint64_t calls = bench.Calls();
      bench.Send(burst);
      bench.WaitForCall(calls);
    }
  };
  for (auto _ : state) {
    stream(1000);
    const long after1k = ResidentKb();
    stream(1000000);
    const long after1m = ResidentKb();
    state.counters["rss_1e3_kb"] = static_cast<double>(after1k);
    state.counters["rss_1e6_kb"] = static_cast<double>(after1m);
    state.counters["growth_kb"] = static_cast<double>(after1m - after1k);
  }
}
BENCHMARK(BM_DeviceResidentMemory)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
