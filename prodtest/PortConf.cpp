#include "prodtest/PortConf.h"

#include <cstdio>

#include "device/PortNames.h"
#include "platform/Debug.h"
#include "platform/DeviceApi.h"
#include "platform/DeviceRoot.h"
#include "platform/UserInterface.h"
#include "prodtest/ConfigText.h"
#include "prodtest/RegGetDword.h"
#include "prodtest/StartOptionsDialog.h"

const std::array<const char*, 10> kPortNameTable = {"",      "COM1:", "COM2:", "COM3:", "COM4:",
                                                    "COM5:", "COM6:", "COM7:", "COM8:", "COM9:"};

namespace {

constexpr uint32_t kMaxTestTimeout = 100;
constexpr uint32_t kMaxTestType = 1;

// The receiver kinds a PORTn value may name, in the order they are compared.
const std::string* PortNameOfKind(std::string_view kind) {
  if (kind == "A-GPS") return &AgpsPortName;
  if (kind == "U-BLOX") return &UbloxPortName;
  if (kind == "OEM615") return &Oem615PortName;
  return nullptr;
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
  RegGetDword(platform::RegRoot::LocalMachine, kRilRegistryKey, "StartOptions", &startOptions);
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
  if (m_GpsType == kGpsHardwareUblox) AddPort(UbloxPortName, 0);
  if (m_GpsType == kGpsHardwareOem615) AddPort(Oem615PortName, 0);
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
  ++m_PortCount;
  return 1;
}

void CPortConf::ClearPorts() {
  for (auto& name : m_PortNames) name.clear();
  m_PassLevels = {0, 0};
  m_PortCount = 0;
}

int CPortConf::ConfigFileOpen() {
  CConfigText file;
  if (!file.Open(platform::MapHandheldPath(kCardConfigPath))) {
    platform::DebugPrint("[Navlume] Can't find Navlume.ini file in SD card directory\r\n");
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
  ReadPort(text, 1);
  ReadPort(text, 2);
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
    if (static_cast<uint32_t>(m_TestType) > kMaxTestType) m_TestType = 0;
  }
}

void CPortConf::ReadPort(std::string_view text, int slot) {
  char key[16];
  ConfigValue port;
  std::snprintf(key, sizeof key, "PORT%d:", slot);
  Getstring(text, key, &port);
  ConfigValue level;
  std::snprintf(key, sizeof key, "LEVEL%d:", slot);
  Getstring(text, key, &level);

  const std::string* portName = port.bTooLong ? nullptr : PortNameOfKind(port.View());
  if (portName == nullptr) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] %s port was not identified !!\r\n", port.text);
    return;
  }
  const uint32_t passLevel = level.bTooLong ? 0 : static_cast<uint32_t>(ParseDecimal(level.View()));
  AddPort(*portName, passLevel);
  platform::DebugPrint("[Navlume] TestType : %d, PORT%d : %s , LEVEL%d : %d\r\n", m_TestType, slot, port.text, slot,
                       static_cast<int>(passLevel));
}
