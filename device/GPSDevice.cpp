#include "device/GPSDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "device/Oem615Protocol.h"
#include "device/PortNames.h"
#include "device/UbloxProtocol.h"
#include "device/WaitDialog.h"
#include "platform/Debug.h"
#include "platform/DeviceApi.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"
#include "serial/PortHolders.h"

namespace {
constexpr const char* kCreateFailedText = "Can't create GPS devices";
constexpr const char* kActivateFailedFormat = "Can't activate %s devices";
constexpr const char* kHeldPortFormat = "%s is held by %s (pid %d): use the GPS Multiplexer mode, or stop %s";
constexpr size_t kMessageChars = 512;
constexpr const char* kTempLogFormat = "\\Temp\\NMEADATA_%s.LOG";
constexpr const char* kCardLogFormat = "\\Storage Card\\NMEADATA_%s.LOG";
constexpr size_t kLogNameChars = 4;   // characters of the port name in the log file name
constexpr size_t kMaxPathChars = 259;  // a 260-character path buffer with its terminator
constexpr uint32_t kExportBaudRate = 115200;
constexpr uint32_t kColdStartSettleMs = 500;

std::string Format(const char* format, const std::string& text) {
  char buffer[kMaxPathChars + 1];
  std::snprintf(buffer, sizeof buffer, format, text.c_str());
  return buffer;
}

void SwitchGpsPower(uint32_t on) { DeviceApiSet(kDevApiGpsPower, 0, 0, on); }

bool IsPoweredType(uint32_t type) { return type == kGpsTypeUblox || type == kGpsTypeOem615; }

// Writes all bytes; 0 on success, else the errno of the refusal (ENOSPC for a short write).
int WriteAll(int fd, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return ENOSPC;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return 0;
}

// Appends to the file at `path`; 0 on success, else the errno of the failure.
// 0 or the errno of the failure; `opened` tells whether the file could be opened at all.
int AppendToFile(const std::string& path, const uint8_t* bytes, size_t count, bool& opened) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  opened = fd >= 0;
  if (!opened) return errno;
  const int error = WriteAll(fd, bytes, count);
  ::close(fd);
  return error;
}
}  // namespace

CGPSDevice::CGPSDevice() {
  m_Position.version = kGpsPositionVersion;
  m_Position.size = kGpsPositionSize;
}

CGPSDevice::~CGPSDevice() { Close(); }

int CGPSDevice::Create(const std::string& port, uint32_t passLevel, uint32_t type, int32_t baud) {
  platform::DebugPrint("+++ CGPSDevice::Create : %s, %d +++\r\n", port.c_str(), static_cast<int>(baud));
  std::lock_guard lifecycle(m_LifecycleLock);
  if (ParseThreadExists()) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] %s device is already created\r\n", m_PortName.c_str());
    ShowCreateFailure();
    return 0;
  }
  m_PortName = PortNameOf(port);
  m_PassLevel = passLevel;
  m_BaudRate = baud;
  m_Type = type;
  // No parse thread runs yet: the decoder is this thread's to set.
  SetTalkers(platform::CurrentDeviceProfile().anyTalker ? NmeaTalkers::Any : NmeaTalkers::Gps);

  m_hSerialEvent.reset(new (std::nothrow) platform::Event());
  if (!m_hSerialEvent) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Can't set create Serial event\r\n");
    return FailCreate();
  }
  m_hTerminateEvent.reset(new (std::nothrow) platform::Event());
  if (!m_hTerminateEvent) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Can't set create Terminate event\r\n");
    return FailCreate();
  }
  if (IsPoweredType(m_Type)) {
    platform::DebugPrint("CGPSDevice::Create GPS device and turn power on\r\n");
    SwitchGpsPower(1);
  }
  if (!StartParseThread()) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Invalid GPS ParseThrad handle\r\n");
    return FailCreate();
  }
  BuildLogPath();
  platform::DebugPrint("[CGPSDevice] Create : success\r\n");
  m_State = kDeviceCreated;
  platform::DebugPrint("--- CGPSDevice::Create ---\r\n");
  return 1;
}

bool CGPSDevice::ParseThreadExists() const { return m_hParseThread.joinable() || m_bJoiningParseThread; }

int CGPSDevice::FailCreate() {
  m_hSerialEvent.reset();
  m_hTerminateEvent.reset();
  ShowCreateFailure();
  return 0;
}

void CGPSDevice::ShowCreateFailure() { platform::ShowError(kCreateFailedText); }

bool CGPSDevice::StartParseThread() {
  try {
    m_hParseThread = std::thread(GPSSerialThread, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

std::thread CGPSDevice::TakeParseThread() {
  if (!m_hParseThread.joinable()) return {};
  m_hTerminateEvent->Set();
  // Called by a listener: the thread ends when the listener returns, and its owner joins it.
  if (m_hParseThread.get_id() == std::this_thread::get_id()) return {};
  return std::move(m_hParseThread);
}

void CGPSDevice::BuildLogPath() {
  std::string prefix = m_PortName.substr(0, kLogNameChars);
  std::replace_if(prefix.begin(), prefix.end(), [](char c) { return c == '/' || c == '\\'; }, '_');
  const std::string tempPath = Format(kTempLogFormat, prefix);
  const int fd = ::open(platform::MapHandheldPath(tempPath).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    m_LogPath = Format(kCardLogFormat, prefix);
    return;
  }
  ::close(fd);
  m_LogPath = tempPath;
}

int CGPSDevice::Open() {
  std::lock_guard lifecycle(m_LifecycleLock);
  if (!m_hParseThread.joinable()) {  // never created, or closed: nothing would read the port
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Can't open %s port\r\n", m_PortName.c_str());
    ShowActivateFailure();
    return 0;
  }
  BeginStartUp();
  const bool oem615 = m_PortName == Oem615PortName;
  if (oem615) {
    uint32_t power = 0;
    DeviceApiGet(kDevApiGpsPower, 0, 0, 0, &power);
    if (power == 0) SwitchGpsPower(1);
    hInitEvent.Create();
  }
  TimedWaitMode = false;
  if (RunWaitDialog() != kWaitDialogDone) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Can't open %s port\r\n", m_PortName.c_str());
    return FailOpen();
  }
  platform::DebugPrint("[CGPSDevice] Create : %d baudrate\r\n", static_cast<int>(m_BaudRate));
  if (m_BaudRate != kDefaultBaudRate) GPSBaudRateChagne();
  if (m_Serial.Setup(static_cast<uint32_t>(m_BaudRate), 8, 0, 0) != 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Can't set baudrate on GPS port : %d\r\n", static_cast<int>(m_BaudRate));
    return FailOpen();
  }
  if (!oem615) {
    if (const uint32_t error = m_Serial.SetupHandshaking(HandshakeOff); error != 0) {
      NAVLUME_ERROR_LOCATION();
      platform::DebugPrint("[CGPS] Can't set Handshaking mode on GPS port : %d\r\n", static_cast<int>(error));
      return FailOpen();
    }
  } else if (!COem615Protocol(m_PortName, m_BaudRate, m_Serial, hInitEvent, m_StopEvent).StartUp(m_bColdStart)) {
    return FailOpen();
  }
  if (m_bColdStart && m_PortName == UbloxPortName) {
    m_StopEvent.Wait(kColdStartSettleMs);  // a pause that a cancel ends at once
    if (m_Type == kGpsTypeUblox) CUbloxProtocol(m_Serial, m_hUbxAckEvent, m_StopEvent).ColdStart();
  }
  if (StartUpCancelled()) return FailOpen();
  if (m_bExportToUart && m_PortName == AgpsPortName) OpenExportPort();
  EndStartUp();
  m_State = kDeviceOpen;
  m_bTimeout = 0;
  return 1;
}

void CGPSDevice::BeginStartUp() {
  m_StartUp = StartUp::Running;
  ForgetRecord();
}

void CGPSDevice::EndStartUp() {
  m_StartUp = StartUp::Finished;
  ForgetRecord();  // what the start-up published came from before it
}

void CGPSDevice::ForgetRecord() {
  m_bFixed = 0;
  GpsPosition empty{};
  empty.version = kGpsPositionVersion;
  empty.size = kGpsPositionSize;
  std::lock_guard lock(m_DataLock);
  m_Position = empty;
  m_InViewSystems = SatelliteSystems{};
}

bool CGPSDevice::FixesCount() {
  StartUp phase = StartUp::Finished;
  if (m_StartUp.compare_exchange_strong(phase, StartUp::Counting)) {
    ForgetReports();
    return true;
  }
  return phase == StartUp::Counting;
}

int CGPSDevice::FailOpen() {
  if (m_Serial.IsOpen()) m_Serial.Close();
  hInitEvent.Close();
  TimedWaitMode = false;
  if (!StartUpCancelled()) ShowActivateFailure();  // a device being closed has nothing to tell
  return 0;
}

void CGPSDevice::ShowActivateFailure() const {
  platform::ShowError(Format(kActivateFailedFormat, m_PortName));
}

int CGPSDevice::WaitDialogAttempt() {
  if (m_bGpsApiLoaded) return OpenGpsMuxDevice();
  if (HeldByAnotherProgram()) return kWaitDialogFailed;
  if (m_Serial.Open(m_PortName, m_hSerialEvent.get()) != 0) return 0;
  platform::DebugPrint("[Navlume] %s device open success!\r\n", m_PortName.c_str());
  return kWaitDialogDone;
}

bool CGPSDevice::HeldByAnotherProgram() const {
  const std::optional<std::string> path = platform::PortDevicePath(m_PortName);
  const std::optional<PortHolder> holder = path ? OtherPortHolder(*path) : std::nullopt;
  if (!holder) return false;
  char text[kMessageChars];
  std::snprintf(text, sizeof text, kHeldPortFormat, path->c_str(), holder->name.c_str(), static_cast<int>(holder->pid),
                holder->name.c_str());
  platform::DebugPrint("[Navlume] %s\r\n", text);
  platform::ShowError(text);
  return true;
}

int CGPSDevice::RunWaitDialog() {
  return CWaitDialog([this] { return WaitDialogAttempt(); }, m_PortName, &m_StopEvent).Run();
}

int CGPSDevice::GPSBaudRateChagne() {
  if (m_Serial.Setup(kDefaultBaudRate, 8, 0, 0) != 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] GPSBaudRateChagne Can't set baudrate on GPS port : %d\r\n",
                         static_cast<int>(kDefaultBaudRate));
    return 0;
  }
  if (m_PortName == UbloxPortName) {
    CUbloxProtocol(m_Serial, m_hUbxAckEvent, m_StopEvent).ChangeBaudRate(m_BaudRate);
    return 1;
  }
  if (m_PortName != Oem615PortName) return 1;
  return COem615Protocol(m_PortName, m_BaudRate, m_Serial, hInitEvent, m_StopEvent).ChangeBaudRate();
}

void CGPSDevice::OpenExportPort() {
  const char* name = ExportPortName.c_str();
  // Nothing reads what the export port receives (a PC may echo or poll): it is dropped.
  if (m_ExportSerial.Open(ExportPortName, nullptr, 0, 0, false, DiscardingSerialThread) != 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] Can't create %s port for export UART!\r\n", name);
    return;
  }
  if (m_ExportSerial.Setup(kExportBaudRate, 8, 0, 0) != 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] Can't set to 115200 %s port for export UART!\r\n", name);
    m_ExportSerial.Close();
    return;
  }
  if (m_ExportSerial.SetupHandshaking(HandshakeOff) != 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] Can't set handshake mode for %s port !\r\n", name);
    m_ExportSerial.Close();
    return;
  }
  platform::DebugPrint("[Navlume] %s port open success!\r\n", name);
  m_bExportReady = true;
}

void CGPSDevice::ClosePort() {
  std::lock_guard lifecycle(m_LifecycleLock);
  if (m_Serial.IsOpen()) m_Serial.Close();
  m_State = kDevicePortClosed;
  if (m_Type == kGpsTypeOem615) {
    platform::DebugPrint("CGPSDevice::Close GPS device and turn power off\r\n");
    SwitchGpsPower(0);
  }
}

void CGPSDevice::Close() {
  CancelStartUp();
  // The worker goes first: nothing reads the ports or calls a listener once they close.
  // It is joined outside the lifecycle lock, since a listener may take that lock
  // (ClosePort, Close) while it runs; a listener closing its own device only signals it.
  std::thread worker;
  {
    std::lock_guard lifecycle(m_LifecycleLock);
    worker = TakeParseThread();
    if (worker.joinable()) m_bJoiningParseThread = true;
  }
  const bool joining = worker.joinable();
  if (joining) worker.join();

  std::lock_guard lifecycle(m_LifecycleLock);
  if (joining) m_bJoiningParseThread = false;
  platform::DebugPrint("+++ CGPSDevice::Close: %s +++\r\n", m_PortName.c_str());
  if (IsPoweredType(m_Type)) {
    platform::DebugPrint("CGPSDevice::Close GPS device and turn power off\r\n");
    SwitchGpsPower(0);
  }
  m_bExportReady = false;
  if (m_Serial.IsOpen()) m_Serial.Close();
  if (m_ExportSerial.IsOpen()) m_ExportSerial.Close();
  {
    std::lock_guard lock(m_DataLock);
    m_ListenerCount = 0;
  }
  m_bFixed = 0;
  m_State = kDeviceClosed;
  // The multiplexer connection outlives a worker that is still running (a
  // listener closing its own device): the Close that joins the worker releases it.
  if (!m_hParseThread.joinable()) ReleaseGpsApi();
  ClearCancel();
  platform::DebugPrint("--- CGPSDevice::Close ---\r\n");
}

void CGPSDevice::AddListener(CGPSListener* listener) {
  if (listener == nullptr) return;
  std::lock_guard lock(m_DataLock);
  if (m_ListenerCount == kMaxListeners) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] %s device can't take more than %d listeners\r\n", m_PortName.c_str(),
                         static_cast<int>(kMaxListeners));
    return;
  }
  listener->m_pDevice = this;
  m_Listeners[m_ListenerCount++] = listener;
}

void CGPSDevice::CancelStartUp() { m_StopEvent.Set(); }

// RequestStop marks the process stopping before it cancels the devices, so a
// stop that comes meanwhile is set again here.
void CGPSDevice::ClearCancel() {
  m_StopEvent.Reset();
  if (platform::StopRequested()) m_StopEvent.Set();
}

bool CGPSDevice::StartUpCancelled() const { return m_StopEvent.IsSet(); }

GpsPosition CGPSDevice::CopyPosition() const {
  std::lock_guard lock(m_DataLock);
  return m_Position;
}

GpsPosition CGPSDevice::CopyPosition(SatelliteSystems& systems) const {
  std::lock_guard lock(m_DataLock);
  systems = m_InViewSystems;
  return m_Position;
}

std::string CGPSDevice::CopyRawText() const {
  std::lock_guard lock(m_DataLock);
  return std::string(m_RawText.data(), m_RawLength);
}

int CGPSDevice::GPSSerialThread(CGPSDevice* device) {
  if (device == nullptr) {
    platform::DebugPrint("[CGPS] GPSSerialThread: invalid parameter!\r\n");
    return -1;
  }
  device->ParseThread();
  return 0;
}

void CGPSDevice::ParseThread() {
  const std::unique_ptr<uint8_t[]> batch(new (std::nothrow) uint8_t[kRawTextSize]);
  if (!batch) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] CGPSDevice::ParseThread : Can't create Queue buffer!\r\n");
  } else {
    GetLineBuffer().Clear();
    m_ReplyMatcher.Reset();
    while (platform::WaitForAny({m_hSerialEvent.get(), m_hTerminateEvent.get()}, platform::kInfinite) == 0) {
      DrainQueue(batch.get());
    }
  }
  platform::DebugPrint("[GPS] ParseThread : Terminate thread !\r\n");
}

void CGPSDevice::DrainQueue(uint8_t* batch) {
  RxQueue& queue = m_Serial.Queue();
  size_t count = 0;
  bool published = false;
  uint8_t byte = 0;
  while (queue.Get(byte)) {
    if (m_ReplyMatcher.Comparing()) {
      uint64_t waitId = 0;
      Awaited(waitId);
      // Nothing waits for the reply being compared any more: its bytes are ordinary again.
      if (waitId != m_ComparedWaitId) m_ReplyMatcher.Reset();
    }
    const AwaitedReply awaited = m_ReplyMatcher.NeedsAwaited(byte) ? Awaited(m_ComparedWaitId) : AwaitedReply::None;
    switch (m_ReplyMatcher.Take(byte, awaited)) {
      case CReplyMatcher::Outcome::Ordinary:
        batch[count++] = byte;
        if (count == kMaxBatchBytes) {
          PublishBatch(batch, count);
          published = true;
          count = 0;
        }
        break;
      case CReplyMatcher::Outcome::Consumed:
        break;
      case CReplyMatcher::Outcome::Matched:
        SignalReply();  // what this batch held so far is dropped
        return;
    }
  }
  if (count > 0 || !published) PublishBatch(batch, count);
}

AwaitedReply CGPSDevice::Awaited(uint64_t& waitId) const {
  if ((waitId = m_hUbxAckEvent.Id()) != 0) return AwaitedReply::UbxAck;
  if ((waitId = hInitEvent.Id()) != 0) return AwaitedReply::Oem615Prompt;
  return AwaitedReply::None;
}

void CGPSDevice::SignalReply() {
  if (!m_hUbxAckEvent.Set()) hInitEvent.Set();
}

void CGPSDevice::PublishBatch(const uint8_t* batch, size_t count) {
  const bool fixesCount = FixesCount();
  Feed(reinterpret_cast<const char*>(batch), static_cast<uint32_t>(count));
  GpsPosition record{};
  record.version = kGpsPositionVersion;
  record.size = kGpsPositionSize;
  GetPosition(record, kNmeaMaxAgeMs);
  SatelliteSystems systems;
  GetInViewSystems(record, systems);
  UpdateFix(record, fixesCount);

  std::array<CGPSListener*, kMaxListeners> listeners;
  size_t listenerCount = 0;
  {
    std::lock_guard lock(m_DataLock);
    std::memcpy(m_RawText.data(), batch, count);
    m_RawText[count] = '\0';
    m_RawLength = static_cast<uint32_t>(count);
    m_Position = record;
    m_InViewSystems = systems;
    listeners = m_Listeners;
    listenerCount = m_ListenerCount;
  }
  if (m_bSaveNMEAData && !m_LogPath.empty()) AppendToLogFile(batch, count);
  if (m_bExportToUart && m_bExportReady) ExportBatch(batch, count);
  for (size_t i = 0; i < listenerCount; ++i) listeners[i]->OnGPSData(this, record);
}

void CGPSDevice::UpdateFix(const GpsPosition& record, bool fixesCount) {
  if (!fixesCount || !IsFixQuality(record.fixQuality)) {
    m_bFixed = 0;
    return;
  }
  if (m_bFixed.exchange(1) == 0) platform::DebugPrint("[Navlume] %s device position fixed!", m_PortName.c_str());
}

// A log file that cannot be written (full disk, removed card) is reported once
// when the trouble starts and once when writing works again, with what was lost.
void CGPSDevice::AppendToLogFile(const uint8_t* bytes, size_t count) {
  const std::string path = platform::MapHandheldPath(m_LogPath).string();
  bool opened = false;
  const int error = AppendToFile(path, bytes, count, opened);
  if (error != 0) {
    if (!m_bLogFailing) {
      m_bLogFailing = true;
      if (!opened) platform::DebugPrint("[Navlume] Can't create %s file!\r\n", m_LogPath.c_str());
      NAVLUME_ERROR_LOCATION();
      platform::DebugPrint("[Navlume] Can't write %s file (%s): NMEA data is not saved\r\n", path.c_str(),
                           std::strerror(error));
    }
    m_LogBytesLost += count;
    return;
  }
  if (m_bLogFailing) {
    platform::DebugPrint("[Navlume] %s file is written again; up to %llu bytes of NMEA data were not saved\r\n",
                         path.c_str(), static_cast<unsigned long long>(m_LogBytesLost));
    m_bLogFailing = false;
    m_LogBytesLost = 0;
  }
}

void CGPSDevice::ExportBatch(const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  if (m_ExportSerial.Write(bytes, static_cast<uint32_t>(count)) != 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] %s port written failed!\r\n", ExportPortName.c_str());
  }
}
