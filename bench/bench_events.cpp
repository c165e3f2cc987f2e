// Hand-over cost of the platform's events between two threads.

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "platform/Event.h"

namespace {

void BM_EventPingPong(benchmark::State& state) {
  platform::Event ping, pong;
  std::atomic<bool> stop{false};
  std::thread partner([&] {
    while (true) {
      ping.Wait(platform::kInfinite);
      if (stop.load()) return;
      pong.Set();
    }
  });
  for (auto _ : state) {
    ping.Set();
    pong.Wait(platform::kInfinite);
  }
  stop = true;
  ping.Set();
  partner.join();
}
BENCHMARK(BM_EventPingPong)->UseRealTime();

}  // namespace
