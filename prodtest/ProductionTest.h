#pragma once
// The production-line test of up to two receivers: per receiver the seconds
// counted until its first fix, the timeout, the average SNR of the satellites
// in view and the verdict against its pass level. A panel whose test has
// finished keeps what it recorded then. The station (ProductionStation.h)
// drives it, the test page paints it and the headless run prints it.
//
// Threads: OnGPSData runs on the devices' parse threads; OnTimer and the
// readers run on one driving thread (the UI thread, or the headless run's
// loop). A panel's record and average are always read as one consistent pair.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "nmea/GpsPosition.h"

class CGPSDevice;

constexpr int kTestPanels = 2;
constexpr int32_t kTestTypeOneByOne = 0;
constexpr int32_t kTestTypeSameTime = 1;

enum class TestVerdict { None, Pass, Fail };

// What one panel shows, read at one moment.
struct PanelSnapshot {
  bool bPresent = false;  // a receiver was added for this panel
  std::string portName;
  int state = 0;  // the device's m_State
  bool bFixed = false;  // the device reports a fix and the panel holds its record
  bool bTimeout = false;
  uint32_t passLevel = 0;
  GpsPosition position{};
  uint32_t elapsedSeconds = 0;
  uint32_t averageSnr = 0;
  bool bDone = false;  // the test finished: fixed, or timed out (then never fixed)
  bool bStopped = false;  // the run ended before the test finished: it failed, and a fix no tick counted is none
};

// The texts of one panel's fields.
struct PanelTexts {
  std::string title;
  std::string view;
  std::string used;
  std::string snr;
  std::string ttff;
};

// The verdict the panel shows: None while running and for a fixed receiver
// without a pass level; Fail after a timeout without a fix, and when the run
// was stopped first.
TestVerdict VerdictOf(const PanelSnapshot& panel);
// The verdict for a result line: a fixed receiver without a level passes.
TestVerdict ResultVerdictOf(const PanelSnapshot& panel);
const char* VerdictText(TestVerdict verdict);  // "Pass", "Fail", ""

// "U-BLOX7", "OEM615", "A-GPS" or "UNKNOWN": the receiver a port stands for,
// by its first four characters, compared with the A-GPS, u-blox and OEM615 ports.
const char* ReceiverNameOfPort(const std::string& portName);

PanelTexts PanelTextsOf(const PanelSnapshot& panel);

// The average SNR of the satellites in view: the five strongest of six or
// more, the middle ones of three to five, all of one or two; 0 when every
// SNR is 0 (logged).
uint32_t AverageSnr(const GpsPosition& position);

class CProductionTest {
 public:
  CProductionTest(int32_t testType, uint32_t testTimeout);

  int32_t TestType() const { return m_TestType; }
  uint32_t TestTimeout() const { return m_TestTimeout; }

  // Gives the next panel to `device`; 0 (logged) when both panels are taken or device is null.
  int AddDevice(CGPSDevice* device);
  int DeviceCount() const;
  CGPSDevice* Device(int panel) const;

  // A new record of `device` (parse thread). Ignored unless the device is open.
  void OnGPSData(CGPSDevice* device, const GpsPosition& position);

  // One second of the test for every open receiver whose test has not
  // finished: the timeout first, then the fix, else one more second.
  void OnTimer();

  // What the panel shows: as recorded on the tick its test finished, else as it stands.
  PanelSnapshot Panel(int panel) const;
  // True when every receiver added has finished, or cannot finish any more
  // (a receiver never opened whose turn is over).
  bool AllDone() const;

  // Called on the driving thread, once per panel, on the tick its test finishes.
  void SetFinishedHandler(std::function<void(int panel, const PanelSnapshot&)> handler);

 private:
  void TickPanel(int panel);
  bool CanFinish(int panel) const;
  bool FixedLocked(const CGPSDevice& device, size_t panel) const;
  PanelSnapshot LivePanelLocked(size_t panel) const;

  const int32_t m_TestType;
  const uint32_t m_TestTimeout;
  std::array<CGPSDevice*, kTestPanels> m_Devices{};
  std::function<void(int, const PanelSnapshot&)> m_OnFinished;

  // Written by the parse threads and the driving thread; read under the lock.
  mutable std::mutex m_Lock;
  int m_DeviceCount = 0;
  std::array<bool, kTestPanels> m_bFinished{};
  std::array<PanelSnapshot, kTestPanels> m_Results{};  // as recorded when the test finished
  std::array<GpsPosition, kTestPanels> m_Positions{};
  std::array<uint32_t, kTestPanels> m_ElapsedSeconds{};
  std::array<uint32_t, kTestPanels> m_AverageSnr{};
};
