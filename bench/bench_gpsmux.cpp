// Multiplexer mode figures, in real time against a real gpsd serving a
// simulated u-blox: the age of the data a listener sees (from the moment gpsd
// sent the TPV report to the OnGPSData that carries it) and the CPU time and
// wake-ups of the polling thread over 60 s.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ThreadUsage.h"
#include "device/GPSDevice.h"
#include "platform/Debug.h"
#include "platform/DeviceApi.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/UserInterface.h"
#include "sim/GpsdServer.h"
#include "sim/UbloxReceiver.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRunTime = std::chrono::seconds(60);
constexpr const char* kTimeKey = "\"time\":\"";

// A second client of gpsd that notes when each TPV report (by its time) arrives.
class CReportClock {
 public:
  explicit CReportClock(uint16_t port) {
    m_Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const std::string watch = "?WATCH={\"enable\":true,\"json\":true};\n";
    if (connect(m_Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        write(m_Fd, watch.data(), watch.size()) != static_cast<ssize_t>(watch.size()))
      return;
    m_Thread = std::thread([this] { Read(); });
  }
  ~CReportClock() {
    m_bStop = true;
    if (m_Thread.joinable()) m_Thread.join();
    if (m_Fd >= 0) close(m_Fd);
  }
  CReportClock(const CReportClock&) = delete;
  CReportClock& operator=(const CReportClock&) = delete;

  // When the TPV with this time ("2024-05-01T10:00:28") arrived, if it did.
  bool ArrivalOf(const std::string& time, Clock::time_point& arrival) {
    std::lock_guard lock(m_Mutex);
    const auto found = m_Arrivals.find(time);
    if (found == m_Arrivals.end()) return false;
    arrival = found->second;
    return true;
  }

 private:
  void Read() {
    std::string pending;
    char buffer[8192];
    while (!m_bStop) {
      pollfd in{m_Fd, POLLIN, 0};
      if (poll(&in, 1, 100) <= 0) continue;
      const ssize_t count = read(m_Fd, buffer, sizeof buffer);
      if (count <= 0) return;
      const auto now = Clock::now();
      pending.append(buffer, static_cast<size_t>(count));
      for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        Note(pending.substr(0, end), now);
        pending.erase(0, end + 1);
      }
    }
  }
  void Note(const std::string& line, Clock::time_point now) {
    if (line.find("\"class\":\"TPV\"") == std::string::npos) return;
    const size_t at = line.find(kTimeKey);
    if (at == std::string::npos) return;
    const std::string time = line.substr(at + std::strlen(kTimeKey), 19);
    std::lock_guard lock(m_Mutex);
    m_Arrivals.emplace(time, now);
  }

  int m_Fd = -1;
  std::thread m_Thread;
  std::atomic<bool> m_bStop{false};
  std::mutex m_Mutex;
  std::map<std::string, Clock::time_point> m_Arrivals;
};

class CAgeListener : public CGPSListener {
 public:
  explicit CAgeListener(CReportClock& reports) : m_Reports(reports) {}
  void OnGPSData(CGPSDevice*, GpsPosition record) override {
    const auto now = Clock::now();
    if (!(record.validFields & kGpsValidUtcTime)) return;
    const SYSTEMTIME& t = record.utcTime;
    char time[48];
    std::snprintf(time, sizeof time, "%04d-%02d-%02dT%02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    Clock::time_point arrival;
    if (!m_Reports.ArrivalOf(time, arrival)) return;
    std::lock_guard lock(m_Mutex);
    m_AgesMs.push_back(std::chrono::duration<double, std::milli>(now - arrival).count());
  }
  std::vector<double> Ages() {
    std::lock_guard lock(m_Mutex);
    return m_AgesMs;
  }

 private:
  CReportClock& m_Reports;
  std::mutex m_Mutex;
  std::vector<double> m_AgesMs;
};

void BM_GpsMuxDataAgeAndPollThreadCpu(benchmark::State& state) {
  navlume_test::TempFolder root;
  platform::DebugCapture capture;
  capture.SetEcho(false);
  platform::HeadlessUserInterface ui;
  ui.SetQuiet(true);
  platform::SetUserInterface(&ui);
  platform::SetDeviceRoot(root.Path());

  sim::Scenario scenario = sim::DefaultScenario();
  scenario.ttff = 0;
  sim::CUbloxReceiver receiver(scenario, sim::PowerMode::AlwaysOn);
  sim::CGpsdServer gpsd;
  std::string error;
  if (!receiver.Start() || !gpsd.Start({.devicePath = receiver.SlavePath()}, error)) {
    platform::SetUserInterface(nullptr);
    return state.SkipWithError(error.empty() ? "receiver did not start" : error.c_str());
  }
  platform::DeviceProfile profile = platform::CurrentDeviceProfile();
  profile.gpsdPort = gpsd.Port();
  platform::SetCurrentDeviceProfile(profile);

  CReportClock reports(gpsd.Port());
  CAgeListener listener(reports);
  CGPSDevice device;
  const auto before = navlume_bench::ThreadIds();
  const bool created = device.CreateEX("COM2:", 0, kGpsTypeAgps, 9600) == 1;
  std::set<int> pollThread;
  for (const int tid : navlume_bench::ThreadIds()) {
    if (!before.count(tid)) pollThread.insert(tid);
  }
  device.AddListener(&listener);
  if (!created) {
    platform::SetUserInterface(nullptr);
    return state.SkipWithError("CreateEX failed");
  }
  navlume_bench::ThreadUsage start, end;
  for (auto _ : state) {
    start = navlume_bench::UsageOf(pollThread);
    std::this_thread::sleep_for(kRunTime);
    end = navlume_bench::UsageOf(pollThread);
  }
  device.Close();
  platform::SetUserInterface(nullptr);

  std::vector<double> ages = listener.Ages();
  if (ages.empty()) return state.SkipWithError("no record carried a reported time");
  std::sort(ages.begin(), ages.end());
  state.counters["age_median_ms"] = ages[ages.size() / 2];
  state.counters["age_max_ms"] = ages.back();
  state.counters["records"] = static_cast<double>(ages.size());
  state.counters["poll_cpu_us"] = static_cast<double>(end.runNs - start.runNs) / 1000;
  state.counters["poll_wakeups"] = static_cast<double>(end.wakeups - start.wakeups);
  state.counters["poll_threads"] = static_cast<double>(pollThread.size());
}
BENCHMARK(BM_GpsMuxDataAgeAndPollThreadCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
