#include "prodtest/PortConf.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/Debug.h"
#include "platform/DeviceApi.h"
#include "platform/DeviceRoot.h"
#include "platform/UserInterface.h"
#include "prodtest/ConfigText.h"
#include "prodtest/FormatText.h"
#include "prodtest/ProductionTest.h"
#include "prodtest/RegGetDword.h"
#include "prodtest/StartOptionsDialog.h"

const std::array<const char*, 10> kPortNameTable = {"",      "COM1:", "COM2:", "COM3:", "COM4:",
                                                    "COM5:", "COM6:", "COM7:", "COM8:", "COM9:"};

namespace {

constexpr uint32_t kMaxTestTimeout = 100;

// The receiver kinds a PORTn value may name, in the order they are compared.
const std::string* PortNameOfKind(std::string_view kind) {
  if (kind == "A-GPS") return &AgpsPortName;
  if (kind == "U-BLOX") return &UbloxPortName;
  if (kind == "OEM615") return &Oem615PortName;
  return nullptr;
}

// Where `offset` lies in `text`: its line's number (from 1) and its text without the line end.
std::pair<int, std::string_view> LineAt(std::string_view text, size_t offset) {
  const size_t previousEnd = text.rfind('\n', offset);
  const size_t start = previousEnd == std::string_view::npos ? 0 : previousEnd + 1;
  const size_t end = std::min(text.find_first_of("\r\n", offset), text.size());
  const auto breaks = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(start), '\n');
  return {static_cast<int>(breaks) + 1, text.substr(start, end - start)};
}

// The pass level a LEVELn token gives: 0 when it is empty or outside the pass levels.
uint32_t PassLevelOfToken(const ConfigValue& level) {
  if (level.bTooLong) return 0;
  const int32_t value = ParseDecimal(level.View());
  const bool inRange = value >= static_cast<int32_t>(kMinPassLevel) && value <= static_cast<int32_t>(kMaxPassLevel);
  return inRange ? static_cast<uint32_t>(value) : 0;
}

int32_t QueryHardwareType(uint32_t code, const char* failure) {
  uint32_t type = 0;
  if (DeviceApiGet(code, 0, 0, 0, &type) == 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("%s", failure);
    type = 0;
  }
  return static_cast<int32_t>(type);
}

}  // namespace

uint32_t ReceiverTypeOfPort(const std::string& port, int32_t gpsType) {
  return port == AgpsPortName ? kGpsTypeAgps : static_cast<uint32_t>(gpsType);
}

uint32_t CPortConf::PassLevel(uint32_t index) const {
  return m_PassLevels[index] != 0 ? m_PassLevels[index] : kDefaultPassLevel;
}

std::string CPortConf::FileProblem() const {
  for (uint32_t i = 0; i < m_PortCount; ++i)
    if (!m_RefusedLevels[i].reason.empty()) return m_RefusedLevels[i].reason;
  return {};
}

int CPortConf::Initialize() {
  platform::DebugPrint("+++ CPortConf::Initialize +++\r\n");
  if (!DetectDevices()) return 0;
  ClearPorts();
  if (!ConfigFileOpen()) {
    AddHardwarePorts();
    if (m_PortCount >= 2) {
      CStartOptionsDialog dialog(*this);
      platform::CurrentUserInterface().RunModalDialog(dialog);
    }
  }
  uint32_t startOptions = 0;
  RegGetDword(platform::RegRoot::LocalMachine, kRilRegistryKey, kStartOptionsValue, &startOptions);
  m_bDirectAccess = startOptions != 0 ? 1 : 0;
  platform::DebugPrint("--- CPortConf::Initialize:%d ---\r\n", static_cast<int>(m_PortCount));
  return (m_bPrdMode || m_PortCount > 0) ? 1 : 0;
}

int CPortConf::DetectDevices() {
  DeviceApiInit();
  m_GpsType = QueryHardwareType(kDevApiGpsHardwareType, "Can't get GPS type! \r\n");
  platform::DebugPrint("[Navlume]GPS Type : %d\r\n", m_GpsType);
  m_WwanType = QueryHardwareType(kDevApiWwanHardwareType, "Can't get WWAN type! \r\n");
  platform::DebugPrint("[Navlume]WWAN Type : %d\r\n", m_WwanType);
  DeviceApiDeinit();
  if (m_GpsType == 0 && m_WwanType == 0) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("Can't find GPS deivce!!");
    return 0;
  }
  UbloxPortName = kPortNameTable[2];
  ExportPortName = kPortNameTable[2];
  Oem615PortName = kPortNameTable[3];
  AgpsPortName = kPortNameTable[9];
  return 1;
}

void CPortConf::AddHardwarePorts() {
  if (m_GpsType == kGpsTypeUblox) AddPort(UbloxPortName, 0);
  if (m_GpsType == kGpsTypeOem615) AddPort(Oem615PortName, 0);
  if (m_WwanType == kWwanHardwarePhs8) AddPort(AgpsPortName, 0);
}

int CPortConf::AddPort(std::string_view name, uint32_t passLevel) {
  if (m_PortCount >= kMaxConfiguredPorts) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] CPortConf::AddPort : no room for port %.*s !!\r\n", static_cast<int>(name.size()),
                         name.data());
    return 0;
  }
  m_PortNames[m_PortCount] = PortNameOf(name);
  m_PassLevels[m_PortCount] = passLevel;
  m_RefusedLevels[m_PortCount] = {};
  ++m_PortCount;
  return 1;
}

void CPortConf::ClearPorts() {
  for (auto& name : m_PortNames) name.clear();
  m_PassLevels = {0, 0};
  m_RefusedLevels = {};
  m_PortCount = 0;
}

int CPortConf::ConfigFileOpen() {
  CConfigText file;
  const char* path = kCardConfigPath;
  if (!file.Open(platform::MapHandheldPath(kCardConfigPath))) {
    platform::DebugPrint("[Navlume] Can't find Navlume.ini file in SD card directory\r\n");
    path = kRootConfigPath;
    if (!file.Open(platform::MapHandheldPath(kRootConfigPath))) {
      platform::DebugPrint("[Navlume] Can't find Navlume.ini file in root directory\r\n");
      return 0;
    }
  }
  ClearPorts();
  if (file.Read() == 0) return 0;
  const std::string_view text = file.Text();
  platform::DebugPrint("[Navlume] ConfigFileOpen readBuf : %.*s\r\n", static_cast<int>(text.size()), text.data());
  ReadTestOptions(text);
  ReadPort(text, 1, path);
  ReadPort(text, 2, path);
  if (m_PortCount > 0) m_bPrdMode = 1;
  return m_PortCount > 0 ? 1 : 0;
}

void CPortConf::ReadTestOptions(std::string_view text) {
  ConfigValue value;
  if (Getstring(text, "TESTTIMEOUT:", &value) && !value.bTooLong) {
    m_TestTimeout = static_cast<uint32_t>(ParseDecimal(value.View()));
    if (m_TestTimeout > kMaxTestTimeout) m_TestTimeout = kDefaultTestTimeout;
  }
  value = {};
  if (Getstring(text, "TESTTYPE:", &value) && !value.bTooLong) {
    m_TestType = ParseDecimal(value.View());
    if (static_cast<uint32_t>(m_TestType) > kTestTypeSameTime) m_TestType = 0;
  }
}

void CPortConf::ReadPort(std::string_view text, int slot, const char* file) {
  char key[16];
  ConfigValue port;
  std::snprintf(key, sizeof key, "PORT%d:", slot);
  Getstring(text, key, &port);
  ConfigValue level;
  char levelKey[16];
  std::snprintf(levelKey, sizeof levelKey, "LEVEL%d:", slot);
  Getstring(text, levelKey, &level);

  const std::string* portName = port.bTooLong ? nullptr : PortNameOfKind(port.View());
  if (portName == nullptr) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] %s port was not identified !!\r\n", port.text);
    return;
  }
  const uint32_t index = m_PortCount;
  const uint32_t passLevel = PassLevelOfToken(level);
  if (!AddPort(*portName, passLevel)) return;
  if (passLevel == 0 && (level.bTooLong || !level.View().empty())) {
    m_RefusedLevels[index].text = level.text;
    const auto [number, line] = LineAt(text, text.find(levelKey));
    // The file as found on this machine, then as the handheld names it.
    m_RefusedLevels[index].reason = FormatText("%s (%s) line %d: \"%.*s\": the pass level must be %u to %u",
                                               platform::MapHandheldPath(file).c_str(), file, number,
                                               static_cast<int>(line.size()), line.data(), kMinPassLevel, kMaxPassLevel);
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] %s\r\n", m_RefusedLevels[index].reason.c_str());
  }
  platform::DebugPrint("[Navlume] TestType : %d, PORT%d : %s , LEVEL%d : %d\r\n", m_TestType, slot, port.text, slot,
                       static_cast<int>(passLevel));
}

