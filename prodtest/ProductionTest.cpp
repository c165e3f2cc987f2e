#include "prodtest/ProductionTest.h"

#include <algorithm>

#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/Debug.h"
#include "prodtest/FormatText.h"

namespace {

constexpr size_t kComparedPortChars = 4;  // titles compare the port names' first four characters
constexpr size_t kStrongestAveraged = 5;  // six or more satellites: the five strongest count
constexpr size_t kManySatellites = 6;
constexpr size_t kFewSatellites = 3;  // three to five: all but the strongest and the weakest
constexpr uint32_t kSecondsPerMinute = 60;


bool SamePrefix(const std::string& portName, const std::string& known) {
  return portName.compare(0, kComparedPortChars, known, 0, kComparedPortChars) == 0;
}

}  // namespace

const char* ReceiverNameOfPort(const std::string& portName) {
  if (SamePrefix(portName, AgpsPortName)) return "A-GPS";
  if (SamePrefix(portName, UbloxPortName)) return "U-BLOX7";
  if (SamePrefix(portName, Oem615PortName)) return "OEM615";
  return "UNKNOWN";
}

uint32_t AverageSnr(const GpsPosition& position) {
  std::array<uint32_t, kGpsMaxSatellites> snr{};
  std::copy(std::begin(position.inViewSnr), std::end(position.inViewSnr), snr.begin());
  const auto tracked = static_cast<size_t>(std::count_if(snr.begin(), snr.end(), [](uint32_t s) { return s != 0; }));
  std::sort(snr.begin(), snr.end());
  if (snr.back() == 0) {
    platform::DebugPrint("[Navlume] SNR value is all zero!");
    return 0;
  }
  // The tracked values are the last `tracked` entries of the sorted array.
  size_t first = snr.size() - tracked;
  size_t last = snr.size();  // one past the last value averaged
  if (tracked >= kManySatellites) {
    first = snr.size() - kStrongestAveraged;
  } else if (tracked >= kFewSatellites) {
    ++first;
    --last;
  }
  uint64_t sum = 0;
  for (size_t i = first; i < last; ++i) sum += snr[i];
  return static_cast<uint32_t>(sum / (last - first));
}

TestVerdict VerdictOf(const PanelSnapshot& panel) {
  if (panel.bStopped) return TestVerdict::Fail;
  if (panel.bFixed) {
    if (panel.passLevel == 0) return TestVerdict::None;
    return panel.averageSnr >= panel.passLevel ? TestVerdict::Pass : TestVerdict::Fail;
  }
  return panel.bTimeout ? TestVerdict::Fail : TestVerdict::None;
}

TestVerdict ResultVerdictOf(const PanelSnapshot& panel) {
  return panel.bFixed && panel.averageSnr >= panel.passLevel ? TestVerdict::Pass : TestVerdict::Fail;
}

const char* VerdictText(TestVerdict verdict) {
  switch (verdict) {
    case TestVerdict::Pass: return "Pass";
    case TestVerdict::Fail: return "Fail";
    default: return "";
  }
}

PanelTexts PanelTextsOf(const PanelSnapshot& panel) {
  PanelTexts texts;
  const std::string& port = panel.portName;
  texts.title = FormatText("%s(%s)", port.c_str(), ReceiverNameOfPort(port));
  texts.view = FormatText("%d", static_cast<int>(panel.position.satellitesInView));
  texts.used = FormatText("%d", static_cast<int>(panel.position.satelliteCount));
  const int minutes = static_cast<int>(panel.elapsedSeconds / kSecondsPerMinute);
  const int seconds = static_cast<int>(panel.elapsedSeconds % kSecondsPerMinute);
  const int average = static_cast<int>(panel.averageSnr);
  const TestVerdict verdict = VerdictOf(panel);
  if (verdict == TestVerdict::None) {
    texts.snr = FormatText("%d", average);
  } else {
    texts.snr = FormatText("%d( %s )", average, VerdictText(verdict));
  }
  if (panel.bFixed) {
    texts.ttff = FormatText("%02d:%02d(Fixed)", minutes, seconds);
  } else if (panel.bTimeout) {
    texts.ttff = FormatText("%02d:%02d(Timeout)", minutes, seconds);
  } else {
    texts.ttff = FormatText("%02d:%02d", minutes, seconds);
  }
  return texts;
}

CProductionTest::CProductionTest(int32_t testType, uint32_t testTimeout)
    : m_TestType(testType), m_TestTimeout(testTimeout) {}

int CProductionTest::AddDevice(CGPSDevice* device) {
  if (device == nullptr) return 0;
  std::lock_guard lock(m_Lock);
  if (m_DeviceCount >= kTestPanels) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] AddDevice : no panel left for %s, at most %d receivers are tested !!\r\n",
                         device->m_PortName.c_str(), kTestPanels);
    return 0;
  }
  m_Devices[static_cast<size_t>(m_DeviceCount++)] = device;
  return 1;
}

int CProductionTest::DeviceCount() const {
  std::lock_guard lock(m_Lock);
  return m_DeviceCount;
}

CGPSDevice* CProductionTest::Device(int panel) const {
  std::lock_guard lock(m_Lock);
  return m_Devices[static_cast<size_t>(panel)];
}

void CProductionTest::OnGPSData(CGPSDevice* device, const GpsPosition& position) {
  if (device == nullptr || device->m_State != kDeviceOpen) return;
  const uint32_t average = AverageSnr(position);
  std::lock_guard lock(m_Lock);
  for (size_t i = 0; i < kTestPanels; ++i) {
    if (m_Devices[i] != device) continue;
    m_Positions[i] = position;
    m_AverageSnr[i] = average;
  }
}

void CProductionTest::OnTimer() {
  for (int panel = 0; panel < kTestPanels; ++panel) TickPanel(panel);
}

void CProductionTest::TickPanel(int panel) {
  const size_t i = static_cast<size_t>(panel);
  CGPSDevice* device = Device(panel);
  if (device == nullptr || device->m_State != kDeviceOpen) return;
  PanelSnapshot result;
  {
    std::lock_guard lock(m_Lock);
    if (m_bFinished[i]) return;
    bool timedOut = false;
    if (m_TestTimeout != 0 && m_ElapsedSeconds[i] >= m_TestTimeout) {
      device->m_bTimeout = 1;
      platform::DebugPrint("[Navlume] Port %s is detected timeout !", device->m_PortName.c_str());
      timedOut = true;
    }
    if (!FixedLocked(*device, i) && !timedOut) {
      ++m_ElapsedSeconds[i];
      return;
    }
    result = LivePanelLocked(i);
    result.bFixed = result.bFixed && !timedOut;  // the timeout comes first: a fix on its tick is too late
    result.bTimeout = timedOut;
    result.bDone = true;
    m_Results[i] = result;
    m_bFinished[i] = true;
  }
  if (m_OnFinished) m_OnFinished(panel, result);
}

PanelSnapshot CProductionTest::Panel(int panel) const {
  const size_t i = static_cast<size_t>(panel);
  std::lock_guard lock(m_Lock);
  if (m_bFinished[i]) return m_Results[i];
  return LivePanelLocked(i);
}

PanelSnapshot CProductionTest::LivePanelLocked(size_t i) const {
  PanelSnapshot snapshot;
  const CGPSDevice* device = m_Devices[i];
  if (device == nullptr) return snapshot;
  snapshot.bPresent = true;
  snapshot.portName = device->m_PortName;
  snapshot.state = device->m_State;
  snapshot.bFixed = FixedLocked(*device, i);
  snapshot.bTimeout = device->m_bTimeout != 0;
  snapshot.passLevel = device->m_PassLevel;
  snapshot.position = m_Positions[i];
  snapshot.elapsedSeconds = m_ElapsedSeconds[i];
  snapshot.averageSnr = m_AverageSnr[i];
  return snapshot;
}

bool CProductionTest::FixedLocked(const CGPSDevice& device, size_t panel) const {
  // The device raises its flag a moment before it hands over the record of
  // the fix; the panel counts the fix once it holds that record too.
  return device.m_bFixed != 0 && IsFixQuality(m_Positions[panel].fixQuality);
}

bool CProductionTest::CanFinish(int panel) const {
  const CGPSDevice* device = Device(panel);
  if (device == nullptr) return false;
  if (device->m_State == kDeviceOpen) return true;
  // The second receiver of a one-by-one test waits for the first one's turn to end.
  const CGPSDevice* first = Device(0);
  return m_TestType == kTestTypeOneByOne && panel == 1 && device->m_State == kDeviceCreated && first != nullptr &&
         first->m_State == kDeviceOpen;
}

bool CProductionTest::AllDone() const {
  for (int panel = 0; panel < kTestPanels; ++panel) {
    if (Device(panel) != nullptr && !Panel(panel).bDone && CanFinish(panel)) return false;
  }
  return true;
}

void CProductionTest::SetFinishedHandler(std::function<void(int, const PanelSnapshot&)> handler) {
  m_OnFinished = std::move(handler);
}
