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
#include "platform/DeviceRoot.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"

namespace {
constexpr const char* kErrorCaption = "Error";
constexpr const char* kCreateFailedText = "Can't create GPS devices";
constexpr const char* kActivateFailedFormat = "Can't activate %s devices";
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

bool IsFixQuality(uint32_t fixQuality) { return fixQuality == 1 || fixQuality == 2; }

// Writes all bytes; false when the file refused some.
bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}
}  // namespace

CGPSDevice::CGPSDevice() {
  m_Position.version = kGpsPositionVersion;
  m_Position.size = kGpsPositionSize;
}

CGPSDevice::~CGPSDevice() {
  if (m_State != kDeviceClosed) Close();
  StopParseThread();
}

int CGPSDevice::Create(const std::string& port, uint32_t passLevel, uint32_t type, int32_t baud) {
  platform::DebugPrint("+++ CGPSDevice::Create : %s, %d +++\r\n", port.c_str(), static_cast<int>(baud));
  std::lock_guard lifecycle(m_LifecycleLock);
  if (m_hParseThread.joinable()) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] %s device is already created\r\n", m_PortName.c_str());
    platform::CurrentUserInterface().MessageBox(kCreateFailedText, kErrorCaption);
    return 0;
  }
  m_StopEvent.Reset();
  m_PortName = PortNameOf(port);
  m_PassLevel = passLevel;
  m_BaudRate = baud;
  m_Type = type;

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

int CGPSDevice::FailCreate() {
  StopParseThread();
  m_hSerialEvent.reset();
  m_hTerminateEvent.reset();
  platform::CurrentUserInterface().MessageBox(kCreateFailedText, kErrorCaption);
  return 0;
}

bool CGPSDevice::StartParseThread() {
  try {
    m_hParseThread = std::thread(GPSSerialThread, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CGPSDevice::StopParseThread() {
  if (!m_hParseThread.joinable() || m_hParseThread.get_id() == std::this_thread::get_id()) return;
  m_hTerminateEvent->Set();
  m_hParseThread.join();
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
  const bool oem615 = m_PortName == Oem615PortName;
  if (oem615) {
    uint32_t power = 0;
    DeviceApiGet(kDevApiGpsPower, 0, 0, 0, &power);
    if (power == 0) SwitchGpsPower(1);
    hInitEvent.Create();
  }
  TimedWaitMode = false;
  if (CWaitDialog(this).Run() != kWaitDialogDone) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Can't open %s port\r\n", m_PortName.c_str());
    return FailOpen();
  }
  platform::DebugPrint("[CGPSDevice] Create : %d baudrate\r\n", static_cast<int>(m_BaudRate));
  if (m_BaudRate != static_cast<int32_t>(kDefaultBaudRate)) GPSBaudRateChagne();
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
  } else if (!COem615Protocol(*this, m_Serial, hInitEvent, m_StopEvent).StartUp(m_bColdStart)) {
    return FailOpen();
  }
  if (m_bColdStart && m_PortName == UbloxPortName) {
    platform::SleepMs(kColdStartSettleMs);
    if (m_Type == kGpsTypeUblox) CUbloxProtocol(m_Serial, m_hUbxAckEvent, m_StopEvent).ColdStart();
  }
  if (StartUpCancelled()) return FailOpen();
  if (m_bExportToUart && m_PortName == AgpsPortName) OpenExportPort();
  m_State = kDeviceOpen;
  m_bTimeout = 0;
  m_bFixed = 0;
  return 1;
}

int CGPSDevice::FailOpen() {
  if (m_Serial.IsOpen()) m_Serial.Close();
  hInitEvent.Close();
  TimedWaitMode = false;
  if (!StartUpCancelled()) ShowActivateFailure();  // a device being closed has nothing to tell
  return 0;
}

void CGPSDevice::ShowActivateFailure() const {
  platform::CurrentUserInterface().MessageBox(Format(kActivateFailedFormat, m_PortName), kErrorCaption);
}

int CGPSDevice::WaitDialogAttempt() {
  if (m_bGpsApiLoaded) return OpenGpsMuxDevice();
  if (m_Serial.Open(m_PortName, m_hSerialEvent.get()) != 0) return 0;
  platform::DebugPrint("[Navlume] %s device open success!\r\n", m_PortName.c_str());
  return kWaitDialogDone;
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
  return COem615Protocol(*this, m_Serial, hInitEvent, m_StopEvent).ChangeBaudRate();
}

void CGPSDevice::OpenExportPort() {
  const char* name = ExportPortName.c_str();
  if (m_ExportSerial.Open(ExportPortName, nullptr) != 0) {
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
  std::lock_guard lifecycle(m_LifecycleLock);
  platform::DebugPrint("+++ CGPSDevice::Close: %s +++\r\n", m_PortName.c_str());
  if (IsPoweredType(m_Type)) {
    platform::DebugPrint("CGPSDevice::Close GPS device and turn power off\r\n");
    SwitchGpsPower(0);
  }
  // The worker goes first: nothing reads the ports or calls a listener once they close.
  const bool stopped = !m_hParseThread.joinable() || m_hParseThread.get_id() != std::this_thread::get_id();
  StopParseThread();
  m_bExportReady = false;
  if (m_Serial.IsOpen()) m_Serial.Close();
  if (m_ExportSerial.IsOpen()) m_ExportSerial.Close();
  {
    std::lock_guard lock(m_DataLock);
    m_ListenerCount = 0;
  }
  m_bFixed = 0;
  m_State = kDeviceClosed;
  if (stopped) {
    m_hSerialEvent.reset();
    m_hTerminateEvent.reset();
  } else {
    m_hTerminateEvent->Set();  // called by a listener: the thread ends when the listener returns
  }
  ReleaseGpsApi();
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

bool CGPSDevice::StartUpCancelled() const { return m_StopEvent.IsSet(); }

GpsPosition CGPSDevice::CopyPosition() const {
  std::lock_guard lock(m_DataLock);
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
    const AwaitedReply awaited = m_ReplyMatcher.NeedsAwaited(byte) ? Awaited() : AwaitedReply::None;
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

AwaitedReply CGPSDevice::Awaited() const {
  if (m_hUbxAckEvent.Exists()) return AwaitedReply::UbxAck;
  if (hInitEvent.Exists()) return AwaitedReply::Oem615Prompt;
  return AwaitedReply::None;
}

void CGPSDevice::SignalReply() {
  if (!m_hUbxAckEvent.Set()) hInitEvent.Set();
}

void CGPSDevice::PublishBatch(const uint8_t* batch, size_t count) {
  Feed(reinterpret_cast<const char*>(batch), static_cast<uint32_t>(count));
  GpsPosition record{};
  record.version = kGpsPositionVersion;
  record.size = kGpsPositionSize;
  GetPosition(record, kNmeaMaxAgeMs);
  UpdateFix(record);

  std::array<CGPSListener*, kMaxListeners> listeners;
  size_t listenerCount = 0;
  {
    std::lock_guard lock(m_DataLock);
    std::memcpy(m_RawText.data(), batch, count);
    m_RawText[count] = '\0';
    m_RawLength = static_cast<uint32_t>(count);
    m_Position = record;
    listeners = m_Listeners;
    listenerCount = m_ListenerCount;
  }
  if (m_bSaveNMEAData && !m_LogPath.empty()) AppendToLogFile(batch, count);
  if (m_bExportToUart && m_bExportReady) ExportBatch(batch, count);
  for (size_t i = 0; i < listenerCount; ++i) listeners[i]->OnGPSData(this, record);
}

void CGPSDevice::UpdateFix(const GpsPosition& record) {
  if (!IsFixQuality(record.fixQuality)) {
    m_bFixed = 0;
    return;
  }
  if (m_bFixed.exchange(1) == 0) platform::DebugPrint("[Navlume] %s device position fixed!", m_PortName.c_str());
}

void CGPSDevice::AppendToLogFile(const uint8_t* bytes, size_t count) const {
  const int fd = ::open(platform::MapHandheldPath(m_LogPath).c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] Can't create %s file!\r\n", m_LogPath.c_str());
    return;
  }
  if (!WriteAll(fd, bytes, count)) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] Can't write %s file!\r\n", m_LogPath.c_str());
  }
  ::close(fd);
}

void CGPSDevice::ExportBatch(const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  if (m_ExportSerial.Write(bytes, static_cast<uint32_t>(count)) != 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] %s port written failed!\r\n", ExportPortName.c_str());
  }
}
