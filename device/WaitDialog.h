#pragma once
// The "Loading..." wait dialog: in normal mode it tries to reach a device's
// receiver once a second, 11 times at most; in timed mode it is a plain pause
// of one WaitDialogPeriod. Its ticks run on the caller's thread through the
// user interface (platform/UserInterface.h).

#include <cstdint>

class CGPSDevice;

// Program-wide wait-dialog state; used on the user-interface thread only.
extern bool TimedWaitMode;
extern uint32_t WaitDialogPeriod;  // milliseconds, initially 1000

constexpr int kWaitDialogDone = 1;
constexpr int kWaitDialogFailed = 3;

class CWaitDialog {
 public:
  explicit CWaitDialog(CGPSDevice* device) : m_pDevice(device) {}
  // Runs the dialog modally; 1 when the receiver was reached (or the pause ended), else 3.
  int Run();
  // One timer tick: 0 keeps the dialog open, anything else ends it with that result.
  int OnTick();

 private:
  CGPSDevice* m_pDevice;
  int m_Ticks = 0;
};

// The pause dialog: timed mode for one period of `periodMs`. TimedWaitMode stays on.
int RunPauseDialog(CGPSDevice* device, uint32_t periodMs);
