#include "prodtest/ProductionStation.h"

#include <algorithm>
#include <limits>

#include "device/GPSDevice.h"
#include "platform/Time.h"
#include "prodtest/PortConf.h"

namespace {
constexpr uint32_t kTickMs = 1000;
}  // namespace

CProductionStation::CProductionStation(CPortConf& conf) : m_Conf(conf), m_Test(conf.m_TestType, conf.m_TestTimeout) {
  m_Test.SetFinishedHandler([this](int panel, const PanelSnapshot& result) { OnFinished(panel, result); });
  ScheduleAfter(platform::ScaledNowMs());
}

CProductionStation::~CProductionStation() {
  EndRun();
  std::lock_guard lock(m_DevicesLock);
  m_Devices.clear();
}

bool CProductionStation::Start(CGPSListener* presenter) {
  CGPSListener* listener = presenter != nullptr ? presenter : this;
  const bool sameTime = m_Conf.m_TestType == kTestTypeSameTime;
  for (int i = 0; i < ReceiverCount(); ++i) {
    CGPSDevice& device = NewDevice();
    m_Conf.SetRegistryKey(device, 1);
    const uint32_t port = static_cast<uint32_t>(i);
    const std::string& name = m_Conf.m_PortNames[port];
    if (!device.Create(name, m_Conf.PassLevel(port), m_Conf.ReceiverType(name), kDefaultBaudRate))
      return OpenFailed(i, device);
    if (sameTime && !device.Open()) return OpenFailed(i, device);
    device.AddListener(listener);
    m_Test.AddDevice(&device);
  }
  CGPSDevice* first = Device(0);
  if (!sameTime && first != nullptr && !first->Open()) return OpenFailed(0, *first);
  ScheduleAfter(platform::ScaledNowMs());
  return true;
}

CGPSDevice& CProductionStation::NewDevice() {
  std::lock_guard lock(m_DevicesLock);
  CGPSDevice& device = *m_Devices.emplace_back(std::make_unique<CGPSDevice>());
  if (m_bStopRequested) device.CancelStartUp();
  return device;
}

bool CProductionStation::OpenFailed(int index, const CGPSDevice& device) {
  if (!device.StartUpCancelled()) Journal(index, Result(index), TestEndReason::OpenFailed);
  return false;
}

void CProductionStation::OnGPSData(CGPSDevice* device, GpsPosition record) { m_Test.OnGPSData(device, record); }

void CProductionStation::Tick() {
  const uint64_t due = m_NextTickMs;
  if (!m_bStopRequested) {
    m_Test.OnTimer();
    if (m_Conf.m_TestType == kTestTypeOneByOne) HandOver();
  }
  ScheduleAfter(due);
}

void CProductionStation::ScheduleAfter(uint64_t due) {
  const uint64_t now = platform::ScaledNowMs();
  m_NextTickMs = due + kTickMs > now ? due + kTickMs : now + kTickMs;
}

uint32_t CProductionStation::MsUntilNextTick() const {
  const uint64_t now = platform::ScaledNowMs();
  if (m_NextTickMs <= now) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(m_NextTickMs - now, std::numeric_limits<uint32_t>::max()));
}

bool CProductionStation::WaitForTick() { return !m_StopEvent.Wait(MsUntilNextTick()); }

bool CProductionStation::Finished() const { return m_Test.AllDone(); }

void CProductionStation::OnFinished(int panel, const PanelSnapshot& result) {
  Journal(panel, result, result.bFixed ? TestEndReason::Fix : TestEndReason::Timeout);
  // One by one, a receiver that is done is switched off before the next one starts.
  if (m_Conf.m_TestType == kTestTypeOneByOne) m_Test.Device(panel)->ClosePort();
}

void CProductionStation::HandOver() {
  CGPSDevice* second = m_Test.Device(1);
  if (m_bHandedOver || second == nullptr || !m_Test.Panel(0).bDone) return;
  m_bHandedOver = true;  // a receiver that cannot be opened is not tried again
  if (second->m_State == kDeviceCreated && !second->Open()) OpenFailed(1, *second);
}

void CProductionStation::Stop() {
  m_bStopRequested = true;
  m_StopEvent.Set();
  std::lock_guard lock(m_DevicesLock);
  for (const auto& device : m_Devices) device->CancelStartUp();
}

void CProductionStation::EndRun() {
  if (m_bEnded) return;
  m_bEnded = true;
  for (int i = 0; i < ReceiverCount(); ++i) Journal(i, Result(i), TestEndReason::Stopped);
}

void CProductionStation::Journal(int index, const PanelSnapshot& result, TestEndReason reason) {
  bool& journalled = m_bJournalled[static_cast<size_t>(index)];
  if (journalled) return;
  journalled = true;
  std::string journalPath;
  if (!AppendTestResult(result, m_Conf.m_TestType, reason, &journalPath)) {
    m_Unsaved.push_back(result.portName);
  } else if (m_pResultListener) {
    m_pResultListener->OnResultJournalled(result.portName, journalPath);
  }
}

int CProductionStation::ReceiverCount() const {
  return static_cast<int>(std::min(m_Conf.m_PortCount, kMaxConfiguredPorts));
}

PanelSnapshot CProductionStation::Panel(int panel) const {
  PanelSnapshot snapshot = m_Test.Panel(panel);
  if ((m_bEnded || m_bStopRequested) && snapshot.bPresent && !snapshot.bDone) {
    snapshot.bFixed = false;
    snapshot.bStopped = true;
  }
  return snapshot;
}

PanelSnapshot CProductionStation::Result(int index) const {
  if (index < m_Test.DeviceCount()) return Panel(index);
  const uint32_t port = static_cast<uint32_t>(index);
  PanelSnapshot untested;
  untested.bPresent = true;
  untested.portName = m_Conf.m_PortNames[port];
  untested.passLevel = m_Conf.PassLevel(port);
  if (const CGPSDevice* device = Device(index)) untested.state = device->m_State;
  return untested;
}

CGPSDevice* CProductionStation::Device(int index) const {
  std::lock_guard lock(m_DevicesLock);
  return index >= 0 && static_cast<size_t>(index) < m_Devices.size() ? m_Devices[static_cast<size_t>(index)].get()
                                                                       : nullptr;
}

std::vector<std::string> CProductionStation::UnsavedResults() const { return m_Unsaved; }
