#pragma once
// One GPS receiver as the program sees it: the serial connection to it, the
// parse thread that turns its stream into GPS data records, the optional NMEA
// log file and export port, the receivers' start-up commands, and the
// listeners told about every new record.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "device/EventSlot.h"
#include "device/GPSListener.h"
#include "device/GpsApi.h"
#include "device/ReceiverTypes.h"
#include "device/ReplyMatcher.h"
#include "nmea/GpsPosition.h"
#include "nmea/NmeaParser.h"
#include "platform/Event.h"
#include "platform/StopRequest.h"
#include "serial/Serial.h"

// Values of m_State.
constexpr int kDeviceNone = 0;
constexpr int kDeviceCreated = 1;
constexpr int kDeviceClosed = 2;
constexpr int kDeviceOpen = 3;
constexpr int kDevicePortClosed = 4;

constexpr size_t kMaxListeners = 10;
constexpr size_t kRawTextSize = 4096;                  // the last batch and its NUL
constexpr size_t kMaxBatchBytes = kRawTextSize - 1;  // longer runs are published in several batches

class CGPSDevice : public NmeaParser {
 public:
  CGPSDevice();
  ~CGPSDevice() override;
  CGPSDevice(const CGPSDevice&) = delete;
  CGPSDevice& operator=(const CGPSDevice&) = delete;

  // 1 on success, 0 on failure (shown to the user as a message box).
  int Create(const std::string& port, uint32_t passLevel, uint32_t type, int32_t baud);
  int Open();
  // Reaches the receiver through the GPS multiplexer instead of a port (an
  // OEM615 is first prepared on `port`) and polls it once a second.
  int CreateEX(const std::string& port, uint32_t passLevel, uint32_t type, int32_t baud);
  // Closes the receiver's port; the parse thread keeps running.
  void ClosePort();
  // Full stop: the parse thread is signalled and joined; no listener is called afterwards.
  // A listener may call it (or ClosePort) on its own device, even while another thread closes it.
  void Close();
  // At most kMaxListeners; a listener sees only records published after it was added.
  void AddListener(CGPSListener* listener);
  // Makes a running Open give up at once, and an Open that has not started yet
  // (even before Create) give up at its start; safe from any thread, such as
  // a signal watcher's. Close does this itself before it waits for Open, and
  // clears the request when it is done. A stop of the whole process
  // (platform/StopRequest.h) cancels every device's start-up for good.
  void CancelStartUp();
  bool StartUpCancelled() const;

  // Whole copies of what the parse thread published last; safe from any thread.
  GpsPosition CopyPosition() const;
  // The record with the system of each in-view slot, from one publication.
  // A listener's OnGPSData may call it for the record it was given.
  GpsPosition CopyPosition(SatelliteSystems& systems) const;
  std::string CopyRawText() const;

  // Entry of the parse thread: -1 for a null device, else runs ParseThread and gives 0.
  static int GPSSerialThread(CGPSDevice* device);
  // Entry of the polling thread of multiplexer mode: -1 for a null device, else 0.
  static int GPSPollThread(CGPSDevice* device);

  // Options, set before Create (loaded from the registry by the configuration).
  int m_bSaveNMEAData = 0;
  int m_bExportToUart = 0;
  int m_bColdStart = 0;

  std::atomic<int> m_State{kDeviceNone};
  // Raised by the parse thread on a record that reports a fix after the
  // receiver's start-up (Open: cold start, re-rate) has finished; cleared when one begins.
  std::atomic<int> m_bFixed{0};
  std::atomic<int> m_bTimeout{0};
  uint32_t m_PassLevel = 0;
  std::string m_PortName;  // at most kPortNameChars - 1 characters
  uint32_t m_Type = 0;
  int32_t m_BaudRate = 0;

 private:
  // The decoder is driven by the parse thread alone.
  using NmeaParser::Feed;
  using NmeaParser::ForgetReports;
  using NmeaParser::GetLineBuffer;
  using NmeaParser::GetPosition;

  // One attempt of the "Loading..." dialog to reach the receiver: the dialog's
  // result when the attempt decides it (1 reached), else 0 to try again.
  int WaitDialogAttempt();
  // Another program (gpsd, ModemManager) holds the receiver's port: sharing it
  // would split the stream, so the user is told which one, and the start-up stops.
  bool HeldByAnotherProgram() const;
  // The "Loading..." dialog making that attempt; a cancelled start-up ends it.
  int RunWaitDialog();
  int OpenPortAndReceiver();
  int GPSBaudRateChagne();
  int StartOem615();
  void OpenExportPort();
  void BuildLogPath();
  bool StartParseThread();
  // Signals the parse thread to end and hands it over for joining; empty when
  // there is none or when the caller is the parse thread itself.
  std::thread TakeParseThread();
  // A parse thread runs, or a Close is joining it: Create must not replace its events.
  bool ParseThreadExists() const;
  int FailCreate();
  static void ShowCreateFailure();
  int FailOpen();
  void ShowActivateFailure() const;
  // A cancel is served: a new Create and Open may run, unless the process is stopping.
  void ClearCancel();

  // Multiplexer mode (device/GpsMuxDevice.cpp).
  bool LoadGpsApi();
  int PrepareOem615();
  int EndOem615Preparation(int result);
  int OpenGpsMuxDevice();
  bool StartPollThread();
  int FailCreateEX();
  void ReleaseGpsApi();
  void PollThread();
  void PublishRecord(const GpsPosition& record);

  // Where Open's start-up of the receiver stands, for the parse thread's fix flag.
  enum class StartUp { Counting, Running, Finished };
  // Open begins: no fix counts until it has finished, and the last record is forgotten.
  void BeginStartUp();
  // Open has started the receiver: the parse thread forgets what it decoded before.
  void EndStartUp();
  void ForgetRecord();
  // Parse thread: whether a fix may count now; forgets the decoder's reports
  // from before the start-up on the first call after it finished.
  bool FixesCount();

  void ParseThread();
  void DrainQueue(uint8_t* batch);
  // The reply a start-up waits for, and in `waitId` the Id of the event that waits (0: none).
  AwaitedReply Awaited(uint64_t& waitId) const;
  void SignalReply();
  void PublishBatch(const uint8_t* batch, size_t count);
  void UpdateFix(const GpsPosition& record, bool fixesCount);
  void AppendToLogFile(const uint8_t* bytes, size_t count);
  void ExportBatch(const uint8_t* bytes, size_t count);

  CSerial m_Serial;
  std::unique_ptr<platform::Event> m_hSerialEvent;
  std::thread m_hParseThread;
  std::unique_ptr<platform::Event> m_hTerminateEvent;
  CEventSlot m_hUbxAckEvent;
  CEventSlot hInitEvent;
  CSerial m_ExportSerial;
  std::atomic<bool> m_bExportReady{false};  // m_ExportSerial is set up for the parse thread's writes
  std::string m_LogPath;                    // handheld path, below the device root
  bool m_bLogFailing = false;               // parse thread only: the log file refuses writes
  uint64_t m_LogBytesLost = 0;              // parse thread only: bytes offered to it meanwhile

  // Guards what the parse thread publishes and the listener table.
  mutable std::mutex m_DataLock;
  GpsPosition m_Position{};
  SatelliteSystems m_InViewSystems{};  // of m_Position's in-view slots
  std::array<char, kRawTextSize> m_RawText{};
  uint32_t m_RawLength = 0;
  std::array<CGPSListener*, kMaxListeners> m_Listeners{};
  size_t m_ListenerCount = 0;

  std::atomic<StartUp> m_StartUp{StartUp::Counting};
  CReplyMatcher m_ReplyMatcher;  // parse thread only
  uint64_t m_ComparedWaitId = 0;  // parse thread only: the wait whose reply m_ReplyMatcher compares

  // The multiplexer's library as this device loaded it, and its handle.
  bool m_bGpsApiLoaded = false;
  GPSOpenDeviceProc m_pGPSOpenDevice = nullptr;
  GPSGetDeviceStateProc m_pGPSGetDeviceState = nullptr;
  GPSGetPositionProc m_pGPSGetPosition = nullptr;
  GpsApiHandle m_hGPSDevice = nullptr;

  // Set while the device is being closed, or once the process is asked to
  // stop: start-up waits end at once.
  platform::Event m_StopEvent{true};
  platform::StopListener m_ProcessStop{[this] { CancelStartUp(); }};
  // Create, Open, ClosePort and Close run one at a time; Close joins the parse
  // thread outside it.
  std::mutex m_LifecycleLock;
  bool m_bJoiningParseThread = false;  // guarded by m_LifecycleLock
};
