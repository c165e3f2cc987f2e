#pragma once
// The "Loading..." wait dialog: in normal mode it makes an attempt to reach a
// receiver once a second, 11 times at most; in timed mode it is a plain pause
// of one WaitDialogPeriod. Its ticks run on the caller's thread through the
// user interface (platform/UserInterface.h).

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/Event.h"

// Program-wide wait-dialog state; used on the user-interface thread only.
extern bool TimedWaitMode;
extern uint32_t WaitDialogPeriod;  // milliseconds, initially 1000

constexpr int kWaitDialogDone = 1;
constexpr int kWaitDialogFailed = 3;

// One attempt to reach the receiver: 0 to try again on the next tick, anything
// else ends the dialog with that result.
using WaitAttempt = std::function<int()>;

class CWaitDialog {
 public:
  // `portName` names the receiver in the timeout message; a set `stop` (may be
  // null) ends the dialog as failed.
  CWaitDialog(WaitAttempt attempt, std::string portName, platform::Event* stop)
      : m_Attempt(std::move(attempt)), m_PortName(std::move(portName)), m_pStop(stop) {}
  // Runs the dialog modally; 1 when the receiver was reached (or the pause ended), else 3.
  int Run();
  // One timer tick: 0 keeps the dialog open, anything else ends it with that result.
  int OnTick();

 private:
  WaitAttempt m_Attempt;
  std::string m_PortName;
  platform::Event* m_pStop;
  int m_Ticks = 0;
};

// The pause dialog: timed mode for one period of `periodMs`, ended early by a
// set `stop`. TimedWaitMode stays on.
int RunPauseDialog(platform::Event* stop, uint32_t periodMs);
