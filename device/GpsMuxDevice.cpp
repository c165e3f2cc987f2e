// CGPSDevice in multiplexer mode: the receiver is reached through the GPS
// multiplexer (device/GpsApi.h) and a polling thread asks it for a record
// once a second. There is no fix flag, NMEA log file or export in this mode.

#include <new>
#include <system_error>

#include "device/GPSDevice.h"
#include "device/Oem615Protocol.h"
#include "device/PortNames.h"
#include "device/WaitDialog.h"
#include "platform/Debug.h"
#include "platform/DeviceApi.h"
#include "platform/Registry.h"
#include "platform/UserInterface.h"

namespace {
constexpr const char* kGpsDriversKey = "System\\CurrentControlSet\\GPS Intermediate Driver\\Drivers";
constexpr const char* kCurrentDriverValue = "CurrentDriver";
constexpr const char* kUbloxDriverName = "UBX";
constexpr const char* kOem615DriverName = "OEM615";
constexpr const char* kAgpsDriverName = "Cinterion PH8";
constexpr uint32_t kPreparationPauseMs = 10000;
constexpr uint32_t kPreparationPromptWaitMs = 7000;
constexpr uint32_t kPollPeriodMs = 1000;
constexpr uint32_t kMuxMaxAgeMs = 6000;

const char* DriverName(uint32_t type) {
  if (type == kGpsTypeUblox) return kUbloxDriverName;
  if (type == kGpsTypeOem615) return kOem615DriverName;
  return kAgpsDriverName;
}

// Tells the multiplexer which driver serves the receiver; the result is not examined.
void WriteCurrentDriver(uint32_t type) {
  platform::RegKey key;
  if (platform::RegCreateKey(platform::RegRoot::LocalMachine, kGpsDriversKey, key) == platform::kRegSuccess) {
    platform::RegSetString(key, kCurrentDriverValue, DriverName(type));
    platform::RegCloseKey(key);
  }
  platform::RegFlushKey(platform::RegRoot::LocalMachine);
}

template <typename Proc>
Proc Lookup(const char* name) {
  return reinterpret_cast<Proc>(GetGpsApiProcAddress(name));
}
}  // namespace

int CGPSDevice::CreateEX(const std::string& port, uint32_t /*passLevel*/, uint32_t type, int32_t baud) {
  std::lock_guard lifecycle(m_LifecycleLock);
  if (m_hParseThread.joinable() || m_bGpsApiLoaded) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] %s device is already created\r\n", m_PortName.c_str());
    ShowCreateFailure();
    return 0;
  }
  ClearCancel();
  m_PortName = PortNameOf(port);
  m_BaudRate = baud;
  // Known at once, so that Close switches off a receiver powered by a CreateEX that failed later.
  m_Type = type;
  WriteCurrentDriver(type);
  if (!LoadGpsApi()) return 0;

  if (type == kGpsTypeOem615 && !PrepareOem615()) return FailCreateEX();
  TimedWaitMode = false;
  if (RunWaitDialog() != kWaitDialogDone) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Can't open %s port\r\n", m_PortName.c_str());
    return FailCreateEX();
  }
  if (m_hGPSDevice == nullptr) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Can't get GPS handle\r\n");
    return FailCreateEX();
  }
  if (type == kGpsTypeUblox) {
    platform::DebugPrint("CGPSDevice::Create GPS UBLOX7 device and turn power on\r\n");
    DeviceApiSet(kDevApiGpsPower, 0, 0, 1);
  }
  if (!StartPollThread()) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Invalid GPS ParseThrad handle\r\n");
    return FailCreateEX();
  }
  platform::DebugPrint("--- CGPSDevice::Create ---\r\n");
  return 1;
}

bool CGPSDevice::LoadGpsApi() {
  if (!LoadGpsApiLibrary()) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] CreateEX : Can't get LoadLibrary instance. \r\n");
    return false;
  }
  m_bGpsApiLoaded = true;
  m_pGPSOpenDevice = Lookup<GPSOpenDeviceProc>(kGPSOpenDeviceName);
  m_pGPSGetDeviceState = Lookup<GPSGetDeviceStateProc>(kGPSGetDeviceStateName);
  m_pGPSGetPosition = Lookup<GPSGetPositionProc>(kGPSGetPositionName);
  const char* missing = m_pGPSOpenDevice == nullptr       ? kGPSOpenDeviceName
                        : m_pGPSGetDeviceState == nullptr ? kGPSGetDeviceStateName
                        : m_pGPSGetPosition == nullptr    ? kGPSGetPositionName
                                                          : nullptr;
  if (missing == nullptr) return true;
  NAVLUME_ERROR_LOCATION();
  platform::DebugPrint("[Navlume] CreateEX : Can't get %s() function instance. \r\n", missing);
  ReleaseGpsApi();
  return false;
}

// The OEM615 is told which logs to emit over its own port before the
// multiplexer takes the port; the reader and parse thread used for that stop
// again. 1 when the exchange ran.
int CGPSDevice::PrepareOem615() {
  platform::DebugPrint("CGPSDevice::CreateEX GPS OEM615 device and turn power on\r\n");
  DeviceApiSet(kDevApiGpsPower, 0, 0, 1);
  TimedWaitMode = true;
  m_hSerialEvent.reset(new (std::nothrow) platform::Event());
  if (!m_hSerialEvent) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] CreateEX Can't set create Serial event\r\n");
    return EndOem615Preparation(0);
  }
  m_hTerminateEvent.reset(new (std::nothrow) platform::Event());
  if (!m_hTerminateEvent) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Can't set create Terminate event\r\n");
    return EndOem615Preparation(0);
  }
  hInitEvent.Create();
  if (!StartParseThread()) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] Invalid GPS ParseThrad handle\r\n");
    return EndOem615Preparation(0);
  }
  if (m_Serial.Open(m_PortName, m_hSerialEvent.get()) != 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] CreateEX Can't open %s port\r\n", m_PortName.c_str());
    return EndOem615Preparation(0);
  }
  if (m_Serial.Setup(kDefaultBaudRate, 8, 0, 0) != 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] CreateEX Can't set baudrate on GPS port : %d\r\n", static_cast<int>(m_BaudRate));
    return EndOem615Preparation(0);
  }
  RunPauseDialog(&m_StopEvent, kPreparationPauseMs);
  if (!hInitEvent.Wait(kPreparationPromptWaitMs, &m_StopEvent))
    platform::DebugPrint("[GPSPort] ___ OEM615 module Init Response Fail\r\n");
  hInitEvent.Reset();
  const int result = COem615Protocol(m_PortName, m_BaudRate, m_Serial, hInitEvent, m_StopEvent).GPSPort(0);
  return EndOem615Preparation(StartUpCancelled() ? 0 : result);
}

int CGPSDevice::EndOem615Preparation(int result) {
  if (m_Serial.IsOpen()) m_Serial.Close();
  // No listener is attached yet, so nothing on that thread can wait for the lifecycle lock.
  if (std::thread worker = TakeParseThread(); worker.joinable()) worker.join();
  hInitEvent.Close();
  m_hSerialEvent.reset();
  m_hTerminateEvent.reset();
  TimedWaitMode = false;
  m_bFixed = 0;  // kept by the parse thread only while it ran
  return result;
}

// The wait dialog's single attempt: 1 with a handle, else 3.
int CGPSDevice::OpenGpsMuxDevice() {
  m_hGPSDevice = m_pGPSOpenDevice(nullptr, nullptr, nullptr, 0);
  if (m_hGPSDevice != nullptr) return kWaitDialogDone;
  platform::DebugPrint("[Navlume] CreateEX : Can't open GPS mux device. \r\n");
  return kWaitDialogFailed;
}

bool CGPSDevice::StartPollThread() {
  m_hTerminateEvent.reset(new (std::nothrow) platform::Event());
  if (!m_hTerminateEvent) return false;
  try {
    m_hParseThread = std::thread(GPSPollThread, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

int CGPSDevice::FailCreateEX() {
  ReleaseGpsApi();
  m_hTerminateEvent.reset();
  if (!StartUpCancelled()) ShowCreateFailure();  // a device being closed has nothing to tell
  return 0;
}

void CGPSDevice::ReleaseGpsApi() {
  if (m_hGPSDevice != nullptr) {
    if (auto close = Lookup<GPSCloseDeviceProc>(kGPSCloseDeviceName)) close(m_hGPSDevice);
    m_hGPSDevice = nullptr;
  }
  if (!m_bGpsApiLoaded) return;
  FreeGpsApiLibrary();
  m_bGpsApiLoaded = false;
  m_pGPSOpenDevice = nullptr;
  m_pGPSGetDeviceState = nullptr;
  m_pGPSGetPosition = nullptr;
}

int CGPSDevice::GPSPollThread(CGPSDevice* device) {
  if (device == nullptr) {
    platform::DebugPrint("[CGPS] GPSSerialThread: invalid parameter!\r\n");
    return -1;
  }
  device->PollThread();
  return 0;
}

void CGPSDevice::PollThread() {
  GpsDeviceState state{};
  state.version = kGpsDeviceStateVersion;
  state.size = kGpsDeviceStateSize;
  m_pGPSGetDeviceState(&state);
  platform::DebugPrint("Start Thread +++++++++++\r\n");
  GpsPosition record{};
  do {
    record.version = kGpsPositionVersion;
    record.size = kGpsPositionSize;
    m_pGPSGetPosition(m_hGPSDevice, &record, kMuxMaxAgeMs, 0);
    PublishRecord(record);
  } while (!m_hTerminateEvent->Wait(kPollPeriodMs));
}

void CGPSDevice::PublishRecord(const GpsPosition& record) {
  std::array<CGPSListener*, kMaxListeners> listeners;
  size_t listenerCount = 0;
  {
    std::lock_guard lock(m_DataLock);
    m_Position = record;
    m_InViewSystems = {};  // gpsd's numbers tell the systems apart by themselves
    listeners = m_Listeners;
    listenerCount = m_ListenerCount;
  }
  for (size_t i = 0; i < listenerCount; ++i) listeners[i]->OnGPSData(this, record);
}
