#pragma once
// A simulated receiver on a pseudo-terminal. It owns the master side; the
// program opens SlavePath() like a serial port. One thread per receiver blocks
// in poll() on the master, a wake-up descriptor and its next timer (scaled
// time). Whatever it sends passes through the line check: when the host's
// settings differ from the receiver's own rate or format, the host reads what
// a mismatched line gives, never clean sentences.

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "sim/LineFormat.h"
#include "sim/PseudoTerminal.h"
#include "sim/Recorder.h"
#include "sim/Scenario.h"

namespace sim {

enum class PowerMode {
  Platform,  // follows the platform's GPS power state (platform/DeviceApi.h)
  Manual,    // SetPower() only (a power-file watcher, tests)
  AlwaysOn,  // power-independent
};

class CSimReceiver {
 public:
  virtual ~CSimReceiver();
  CSimReceiver(const CSimReceiver&) = delete;
  CSimReceiver& operator=(const CSimReceiver&) = delete;

  // Opens the terminal and starts the thread; false when the terminal cannot
  // be opened. Stop() ends the thread (the destructor calls it).
  bool Start();
  void Stop();

  const std::string& SlavePath() const { return m_Terminal.SlavePath(); }
  virtual const char* TypeName() const = 0;

  uint32_t BaudRate() const;
  LineFormat Format() const;

  // Waits up to `ms` (scaled) until the receiver has seen the host's line
  // transmit with `line`. Bytes still queued when the host changes its
  // settings pass as sent at whichever settings suit the receiver, so a test
  // that puts the host at a wrong rate waits for this before it writes.
  bool WaitForHostLine(const LineFormat& line, uint32_t ms);

  // Switches the power; returns once the receiver follows (nothing is sent
  // after a power-off returns). Before Start() it sets the power the receiver
  // starts with. Ignored by power-independent receivers.
  void SetPower(bool on);
  bool Powered() const { return m_bPowered.load(); }

  // The device goes away: the master is closed and the host's reads fail.
  void Vanish();
  bool Vanished() const { return m_bVanished.load(); }

  bool Fixed() const { return m_bFixed.load(); }       // the last epoch had a fix
  uint32_t Epochs() const { return m_EpochCount.load(); }  // epochs emitted so far
  uint64_t ElapsedMs() const;                          // scaled ms since Start()
  // Scenario time of the last power-on or cold start; nullopt while off.
  std::optional<double> LastBootSeconds() const;

  CSimRecorder& Recording() { return m_Recorder; }
  const Scenario& GetScenario() const { return m_Scenario; }

 protected:
  // bootBaud: the rate after power-on and cold boots; 0 for a port whose line
  // rate does not matter (USB).
  CSimReceiver(Scenario scenario, PowerMode power, uint32_t bootBaud);

  // Hooks, all on the receiver thread.
  virtual void OnPowerOn() {}
  virtual void OnHostBytes(const std::string& bytes) = 0;  // as read through the line check
  virtual std::string EpochOutput(const Epoch& epoch) = 0;  // one second's output

  // Sends bytes through the line check; dropped while unpowered.
  void Send(const std::string& bytes);
  void SetLine(const LineFormat& format);
  void Schedule(double atMs, std::function<void()> action);
  double NowMs() const;  // scaled ms since Start()
  void ColdStart();      // fix lost, time to first fix counts again
  void RecordCommand(std::string text);
  uint32_t BootBaud() const { return m_BootBaud; }

 private:
  void Run();
  void Wake();
  void ApplyPower(bool on);
  bool ReadHost();  // false when the master cannot be read any more
  // One packet from the master: kHostData (into `bytes`), kHostNotice (the
  // host's settings changed), kHostNothing, or kHostGone.
  static constexpr int kHostGone = -1, kHostNothing = 0, kHostData = 1, kHostNotice = 2;
  int ReadHostPacket(std::string& bytes);
  bool ReadHostTransmit(LineFormat& hostTransmit) const;  // false when unreadable
  void PublishHostTransmit(const LineFormat& hostTransmit);
  LineFormat HostTransmit() const;
  void TakeHostBytes(const std::string& bytes, const LineFormat& sentWith);
  // Bytes that were queued when the host's settings changed from `before` to `after`.
  void TakeQueuedHostBytes(const std::string& bytes, const LineFormat& before, const LineFormat& after);
  void RunTimers();
  double EpochPeriodMs() const;  // scaled ms between two solutions
  bool VanishDue() const;  // a pending vanish fault may close the line now
  void EmitEpoch();
  std::string ApplyFault(const Fault& fault, std::string output);
  void CloseMaster();

  Scenario m_Scenario;
  const PowerMode m_PowerMode;
  const uint32_t m_BootBaud;
  PseudoTerminal m_Terminal;
  CSimRecorder m_Recorder;

  int m_WakeFd = -1;
  std::thread m_Thread;
  std::atomic<bool> m_bStop{false};
  std::atomic<bool> m_bPowerRequest{false};
  std::atomic<bool> m_bPowered{false};
  std::atomic<bool> m_bVanishRequest{false};
  std::atomic<bool> m_bVanished{false};
  std::atomic<bool> m_bFixed{false};
  std::atomic<uint32_t> m_EpochCount{0};
  std::atomic<double> m_LastBoot{std::nan("")};  // published copy of m_BootSeconds
  int m_PowerListener = -1;

  mutable std::mutex m_LineMutex;
  std::condition_variable m_StateChanged;  // power applied, vanished, stopping
  LineFormat m_Line;
  LineFormat m_HostTransmit;  // the host's transmit settings as last seen by the receiver

  // Scaled clock: re-anchored when the time scale changes.
  mutable std::mutex m_ClockMutex;
  mutable std::chrono::steady_clock::time_point m_AnchorReal;
  mutable double m_AnchorMs = 0;
  mutable double m_AnchorScale = 1;

  // Receiver-thread state.
  std::multimap<double, std::function<void()>> m_Timers;
  std::optional<double> m_BootSeconds;  // scenario time of the last boot
  // A vanish fault waits for the host to read what was sent, from m_VanishFrom until m_VanishBy.
  std::chrono::steady_clock::time_point m_VanishFrom;
  std::optional<std::chrono::steady_clock::time_point> m_VanishBy;

  double m_NextEpochMs = 0;  // the first solution comes one period after Start()
  double m_SilentUntil = 0;
  size_t m_NextFault = 0;
  uint32_t m_JunkSeed = 12345;
};

}  // namespace sim
