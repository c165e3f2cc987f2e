#include "device/WaitDialog.h"

#include "platform/Debug.h"
#include "platform/UserInterface.h"

bool TimedWaitMode = false;
uint32_t WaitDialogPeriod = 1000;

namespace {
constexpr const char* kWaitDialogText = "Loading...";
constexpr uint32_t kAttemptPeriodMs = 1000;
constexpr int kMaxAttemptTicks = 10;  // the tick after the tenth failed one gives up: 11 attempts
}  // namespace

int CWaitDialog::Run() {
  m_Ticks = 0;
  const uint32_t period = TimedWaitMode ? WaitDialogPeriod : kAttemptPeriodMs;
  return platform::CurrentUserInterface().RunWaitDialog(kWaitDialogText, period, [this] { return OnTick(); }, m_pStop);
}

int CWaitDialog::OnTick() {
  if (m_pStop != nullptr && m_pStop->IsSet()) return kWaitDialogFailed;
  if (TimedWaitMode) return kWaitDialogDone;
  if (!m_Attempt) {
    platform::DebugPrint("[Navlume] WaitTimeDlgProc : Can't get GPSDevice handle !\r\n");
    return kWaitDialogFailed;
  }
  if (const int result = m_Attempt(); result != 0) return result;
  if (++m_Ticks > kMaxAttemptTicks) {
    platform::DebugPrint("[Navlume] %s device wait timeout!\r\n", m_PortName.c_str());
    return kWaitDialogFailed;
  }
  return 0;
}

int RunPauseDialog(platform::Event* stop, uint32_t periodMs) {
  TimedWaitMode = true;
  WaitDialogPeriod = periodMs;
  return CWaitDialog(nullptr, "", stop).Run();
}
