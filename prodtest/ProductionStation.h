#pragma once
// The production station: the one driver of a production-line test, which
// the production sheet and `navlume-cli prodtest` only present. From a
// production configuration (CPortConf after Initialize) it creates and opens
// the receivers as the program's production start-up does, owns the test that
// counts them and the journal that records them, hands the second receiver
// of a one-by-one test over, and keeps the one-second tick schedule.
//
// A late tick counts once: a tick that comes late, or that blocks (the
// hand-over opens the second receiver; an OEM615 start-up takes about 12 s),
// is followed by the next one a full second after it, never by the missed ones.
//
// Every receiver of the run gets exactly one journal line: when its test ends
// ("fix", "timeout"), when it cannot be opened ("open failed"), or when the
// run ends first ("stopped"). A test ends on a tick: a receiver whose fix no
// tick counted before the run ended or a stop was requested fails, stopped.
//
// Threads: Start, Tick and EndRun run on one driving thread (the UI thread or
// the command's loop); OnGPSData on the devices' parse threads; Stop on any
// thread (a stop-signal watcher's).

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/GPSListener.h"
#include "platform/Event.h"
#include "prodtest/ProductionTest.h"
#include "prodtest/ResultJournal.h"
#include "prodtest/ResultListener.h"

class CGPSDevice;
class CPortConf;

class CProductionStation : public CGPSListener {
 public:
  explicit CProductionStation(CPortConf& conf);
  // Ends the run, then closes the receivers (their threads stop) before the test goes.
  ~CProductionStation() override;
  CProductionStation(const CProductionStation&) = delete;
  CProductionStation& operator=(const CProductionStation&) = delete;

  // Creates every configured receiver and opens it: at the same time each one
  // right after it is created, one by one only the first, once all are
  // created. Their records go to `presenter`, which hands them on to
  // OnGPSData, or straight to the station without one. False when a receiver
  // cannot be created or opened: the run is then over.
  bool Start(CGPSListener* presenter = nullptr);
  // A new record of `device` (parse thread).
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;

  // One second of the test: counting and timeouts, the journal lines of the
  // tests that end, and in the one-by-one test the hand-over, which blocks
  // while the second receiver starts up. Counts nothing once a stop is requested.
  void Tick();
  // System milliseconds until the next tick is due; 0 when it is due now.
  uint32_t MsUntilNextTick() const;
  // Waits until the next tick is due; false at once when a stop is requested.
  bool WaitForTick();
  // Every receiver's test has ended or can no longer run.
  bool Finished() const;

  // Ends the run early, from any thread: a start-up under way gives up at once.
  void Stop();
  // The run is over: each receiver without a journal line gets one, "stopped".
  void EndRun();

  // The receivers of the run: the configured ports, in their order.
  int ReceiverCount() const;
  // What `panel` shows: the test's panel, stopped once the run is over before its test finished.
  PanelSnapshot Panel(int panel) const;
  // What receiver `index` shows or recorded (its port and level when it was never tested).
  PanelSnapshot Result(int index) const;
  const CProductionTest& Test() const { return m_Test; }
  CProductionTest& Test() { return m_Test; }
  CGPSDevice* Device(int index) const;
  // `listener` hears of every line journalled from now on (nullptr: nobody); set it before Start.
  void SetResultListener(CResultListener* listener) { m_pResultListener = listener; }
  // Ports whose line neither the card nor \Temp took, in the order they were written.
  std::vector<std::string> UnsavedResults() const;

 private:
  CGPSDevice& NewDevice();
  // Journals receiver `index` as not opened, unless a stop cut its start-up short; false.
  bool OpenFailed(int index, const CGPSDevice& device);
  void OnFinished(int panel, const PanelSnapshot& result);
  void HandOver();
  void Journal(int index, const PanelSnapshot& result, TestEndReason reason);
  // The tick due at `due` has run: the next one is a second later, or a second from now when that has passed.
  void ScheduleAfter(uint64_t due);

  CPortConf& m_Conf;
  CProductionTest m_Test;
  std::atomic<bool> m_bStopRequested{false};
  platform::Event m_StopEvent{true};
  // The receivers, in configured order; a stop reaches them from another thread.
  mutable std::mutex m_DevicesLock;
  std::vector<std::unique_ptr<CGPSDevice>> m_Devices;

  // Driving thread only.
  uint64_t m_NextTickMs = 0;
  bool m_bHandedOver = false;
  bool m_bEnded = false;
  std::array<bool, kTestPanels> m_bJournalled{};
  std::vector<std::string> m_Unsaved;
  CResultListener* m_pResultListener = nullptr;
};
