#pragma once
// CPU time and wake-ups of a set of this process's threads, read from /proc.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace navlume_bench {

inline std::set<int> ThreadIds() {
  std::set<int> ids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    ids.insert(std::stoi(entry.path().filename().string()));
  }
  return ids;
}

struct ThreadUsage {
  double cpuSeconds = 0;  // in clock ticks' resolution (10 ms)
  uint64_t runNs = 0;     // time on a CPU from the scheduler's statistics, in ns
  uint64_t wakeups = 0;  // context switches
};

inline ThreadUsage UsageOf(const std::set<int>& threads) {
  ThreadUsage usage;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  for (const int tid : threads) {
    const std::string base = "/proc/self/task/" + std::to_string(tid);
    std::ifstream stat(base + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    std::vector<std::string> values;
    while (fields >> field) values.push_back(field);
    if (values.size() > 12) usage.cpuSeconds += (std::stod(values[11]) + std::stod(values[12])) / tick;
    uint64_t runNs = 0;
    if (std::ifstream(base + "/schedstat") >> runNs) usage.runNs += runNs;
    std::ifstream status(base + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        usage.wakeups += std::stoull(line.substr(line.find(':') + 1));
      }
    }
  }
  return usage;
}

}  // namespace navlume_bench
