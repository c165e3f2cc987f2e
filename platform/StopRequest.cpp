#include "platform/StopRequest.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace platform {
namespace {

std::atomic<bool> g_bStopRequested{false};
std::mutex g_ListenersLock;  // held while a listener is called
std::vector<StopListener*> g_Listeners;

}  // namespace

void RequestStop() {
  std::lock_guard lock(g_ListenersLock);
  if (g_bStopRequested.exchange(true)) return;
  for (StopListener* listener : g_Listeners) listener->m_OnStop();
}

bool StopRequested() { return g_bStopRequested.load(); }

StopListener::StopListener(std::function<void()> onStop) : m_OnStop(std::move(onStop)) {
  std::lock_guard lock(g_ListenersLock);
  g_Listeners.push_back(this);
  if (g_bStopRequested.load()) m_OnStop();
}

StopListener::~StopListener() {
  std::lock_guard lock(g_ListenersLock);
  std::erase(g_Listeners, this);
}

}  // namespace platform
