#include "prodtest/PrdConfigModel.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "device/PortNames.h"
#include "platform/AtomicFile.h"
#include "platform/Debug.h"
#include "platform/DeviceRoot.h"
#include "prodtest/FormatText.h"
#include "prodtest/PrdConfigIds.h"

namespace {

constexpr const char* kInvalidLevelText = "Invalid PASS LEVEL";
constexpr const char* kCannotCreateText = "Can't create config file!\r\n";
constexpr const char* kCannotWriteText = "Can't write config file!\r\n";
constexpr const char* kCannotDeleteText = "Can't delete config file!\r\n";
constexpr mode_t kConfigFileMode = 0666;  // less the umask, as any file the program creates
constexpr size_t kMaxLevelDigits = 9;  // longer texts are refused before they are converted
constexpr const char* kNoTimeoutText = "No timeout";

// Receiver texts of the slots' port lists.
constexpr const char* kUbloxReceiverText = "UBX GPS";
constexpr const char* kOem615ReceiverText = "OEM615 GPS";
constexpr const char* kAgpsReceiverText = "PHS8 GPS";


std::string SelectedItem(const platform::ControlState& combo) {
  if (combo.selection < 0 || static_cast<size_t>(combo.selection) >= combo.items.size()) return combo.text;
  return combo.items[static_cast<size_t>(combo.selection)];
}

int LevelIndex(uint32_t level) { return static_cast<int>(level - kMinPassLevel); }

// A card that is present takes the file or nothing does: the next start reads
// the card's file first, so a file written anywhere else would not count.
const char* ConfigFilePath() { return platform::StorageCardPresent() ? kCardConfigPath : kRootConfigPath; }

}  // namespace

const std::array<CPrdConfigModel::Slot, 2> CPrdConfigModel::kSlots = {{
    {1, IDC_PRD_ENABLE_GPS1, IDC_PRD_PORT1, IDC_PRD_LEVEL1},
    {2, IDC_PRD_ENABLE_GPS2, IDC_PRD_PORT2, IDC_PRD_LEVEL2},
}};

bool PassLevelOf(const platform::ControlState& combo, uint32_t& level) {
  const size_t first = combo.text.find_first_not_of(' ');
  if (first == std::string::npos) {
    if (combo.selection < 0) return false;
    level = kMinPassLevel + static_cast<uint32_t>(combo.selection);
    return level <= kMaxPassLevel;
  }
  const std::string typed = combo.text.substr(first, combo.text.find_last_not_of(' ') + 1 - first);
  if (typed.size() > kMaxLevelDigits || typed.find_first_not_of("0123456789") != std::string::npos) return false;
  level = static_cast<uint32_t>(std::stoul(typed));
  return level >= kMinPassLevel && level <= kMaxPassLevel;
}

int CPrdConfigModel::DialogId() const { return IDD_PRD_CONFIG; }

void CPrdConfigModel::OnInitDialog() {
  platform::DebugPrint("+++ CPrdConfig::OnInitDialog +++\r\n");
  FillCombos();
  for (const Slot& slot : kSlots) {
    for (int id : {slot.enableId, slot.portId, slot.levelId}) Control(id).enabled = false;
  }
  size_t nextSlot = 0;
  const auto give = [&](const char* text, const std::string& portName) {
    if (nextSlot < kSlots.size()) GiveReceiverToSlot(kSlots[nextSlot++], text, portName);
  };
  if (m_pPortConf->m_GpsType == kGpsTypeUblox) give(kUbloxReceiverText, UbloxPortName);
  if (m_pPortConf->m_GpsType == kGpsTypeOem615) give(kOem615ReceiverText, Oem615PortName);
  if (m_pPortConf->m_WwanType == kWwanHardwarePhs8) give(kAgpsReceiverText, AgpsPortName);
  platform::DebugPrint("--- CPrdConfig::OnInitDialog ---\r\n");
}

void CPrdConfigModel::FillCombos() {
  platform::ControlState& testType = Control(IDC_PRD_TEST_TYPE);
  testType.items = {"One by one", "At the same time"};
  testType.selection = m_pPortConf->m_TestType != 0 ? 1 : 0;

  platform::ControlState& timeout = Control(IDC_PRD_TIMEOUT);
  timeout.items.clear();
  timeout.selection = static_cast<int>(kTimeoutTable.size()) - 1;
  for (size_t i = 0; i < kTimeoutTable.size(); ++i) {
    const uint32_t seconds = kTimeoutTable[i];
    timeout.items.push_back(seconds == 0 ? kNoTimeoutText : FormatText("%d sec", static_cast<int>(seconds)));
    if (seconds == m_pPortConf->m_TestTimeout && seconds != 0) timeout.selection = static_cast<int>(i);
  }

  for (int id : {IDC_PRD_LEVEL1, IDC_PRD_LEVEL2}) {
    platform::ControlState& level = Control(id);
    level.items.clear();
    for (uint32_t value = kMinPassLevel; value <= kMaxPassLevel; ++value) {
      level.items.push_back(FormatText("%d", static_cast<int>(value)));
    }
    level.selection = -1;
    level.text.clear();
  }
}

void CPrdConfigModel::GiveReceiverToSlot(const Slot& slot, const char* receiverText, const std::string& portName) {
  platform::ControlState& port = Control(slot.portId);
  port.items = {receiverText};
  port.selection = 0;
  port.text = receiverText;

  // The slot shows its own port's configured level; 35 when it has none.
  uint32_t level = kDefaultPassLevel;
  bool configured = false;
  RefusedPassLevel& fileLevel = m_FileLevels[static_cast<size_t>(slot.number - 1)];
  fileLevel = {};
  for (uint32_t i = 0; i < m_pPortConf->m_PortCount && i < kMaxConfiguredPorts; ++i) {
    if (m_pPortConf->m_PortNames[i] != portName) continue;
    configured = true;
    level = m_pPortConf->PassLevel(i);
    fileLevel = m_pPortConf->m_RefusedLevels[i];
    break;
  }
  Control(slot.enableId).checked = m_pPortConf->m_bPrdMode && configured;

  platform::ControlState& levelCombo = Control(slot.levelId);
  // A level the list does not offer (one the file gave outside it) stays visible as written.
  const bool listed = fileLevel.text.empty() && level >= kMinPassLevel && level <= kMaxPassLevel;
  levelCombo.selection = listed ? LevelIndex(level) : -1;
  if (listed) {
    levelCombo.text = levelCombo.items[static_cast<size_t>(levelCombo.selection)];
  } else {
    levelCombo.text = fileLevel.text.empty() ? std::to_string(level) : fileLevel.text;
  }

  for (int id : {slot.enableId, slot.portId, slot.levelId}) Control(id).enabled = true;
}

void CPrdConfigModel::OnCommand(int controlId) {
  for (const Slot& slot : kSlots) {
    if (controlId != slot.enableId) continue;
    const bool checked = Control(slot.enableId).checked;
    Control(slot.portId).enabled = checked;
    Control(slot.levelId).enabled = checked;
  }
}

PrdApplyResult CPrdConfigModel::OnApply() {
  const bool noSlot = !Control(IDC_PRD_ENABLE_GPS1).checked && !Control(IDC_PRD_ENABLE_GPS2).checked;
  const PrdApplyResult result = GetnerateFile();
  if (noSlot && result == PrdApplyResult::Written && !DeleteOtherConfigFile()) return PrdApplyResult::CannotDelete;
  return result;
}

// No receiver is configured whichever place the next start finds: the file of
// the place not written goes (a missing card has none).
bool CPrdConfigModel::DeleteOtherConfigFile() {
  const char* other = platform::StorageCardPresent() ? kRootConfigPath : kCardConfigPath;
  std::error_code error;
  std::filesystem::remove(platform::MapHandheldPath(other), error);
  if (!error || error == std::errc::not_a_directory) return true;
  platform::DebugPrint("[Navlume]CPrdConfig::OnApply : Can't delete %s: %s\r\n", other, error.message().c_str());
  platform::ShowError(kCannotDeleteText);
  return false;
}

bool CPrdConfigModel::LevelsValid() {
  m_InvalidLevelControl = 0;
  for (const Slot& slot : kSlots) {
    uint32_t level = 0;
    if (!Control(slot.enableId).checked || PassLevelOf(Control(slot.levelId), level)) continue;
    m_InvalidLevelControl = slot.levelId;
    // Left as the file had it: the file's line is the reason.
    const RefusedPassLevel& fileLevel = m_FileLevels[static_cast<size_t>(slot.number - 1)];
    const bool fromFile = !fileLevel.text.empty() && Control(slot.levelId).text == fileLevel.text;
    platform::ShowError(fromFile ? fileLevel.reason : kInvalidLevelText);
    return false;
  }
  return true;
}

PrdApplyResult CPrdConfigModel::GetnerateFile() {
  platform::DebugPrint("+++ [Navlume] CPrdConfig::GetnerateFile +++\r\n");
  // Every level is checked before the file is touched: a refused level leaves the old file as it was.
  if (!LevelsValid()) return PrdApplyResult::InvalidLevel;

  const int testType = std::max(Control(IDC_PRD_TEST_TYPE).selection, 0);
  const int timeoutIndex = Control(IDC_PRD_TIMEOUT).selection;
  const uint32_t timeout = timeoutIndex >= 0 && static_cast<size_t>(timeoutIndex) < kTimeoutTable.size()
                               ? kTimeoutTable[static_cast<size_t>(timeoutIndex)]
                               : kTimeoutTable.back();
  std::string text =
      FormatText("TESTTYPE: %d\r\n", testType) + FormatText("TESTTIMEOUT: %d\r\n", static_cast<int>(timeout));
  std::vector<ConfiguredPort> ports;
  for (const Slot& slot : kSlots) {
    if (Control(slot.enableId).checked) text += SlotLines(slot, ports);
  }

  // The new file replaces the old one whole, or the old one stays as it was.
  const char* path = ConfigFilePath();
  bool created = false;
  const int error = platform::ReplaceFileAtomically(platform::MapHandheldPath(path), text, kConfigFileMode, &created);
  if (error != 0) {
    platform::DebugPrint("[Navlume]CPrdConfig::GetnerateFile : Can't write %s: %s\r\n", path, std::strerror(error));
    platform::ShowError(created ? kCannotWriteText : kCannotCreateText);
    return created ? PrdApplyResult::CannotWrite : PrdApplyResult::CannotCreate;
  }
  platform::DebugPrint("[Navlume]CPrdConfig::GetnerateFile : %s is created!\r\n", path);
  for (const ConfiguredPort& port : ports) m_pPortConf->AddPort(*port.name, port.level);
  return PrdApplyResult::Written;
}

std::string CPrdConfigModel::SlotLines(const Slot& slot, std::vector<ConfiguredPort>& ports) {
  uint32_t level = 0;
  PassLevelOf(Control(slot.levelId), level);
  const std::string receiver = SelectedItem(Control(slot.portId));
  const char* kind = nullptr;
  const std::string* portName = nullptr;
  if (receiver == kUbloxReceiverText) {
    kind = "U-BLOX";
    portName = &UbloxPortName;
  } else if (receiver == kOem615ReceiverText) {
    kind = "OEM615";
    portName = &Oem615PortName;
  } else if (receiver == kAgpsReceiverText) {
    kind = "A-GPS";
    portName = &AgpsPortName;
  }
  std::string lines;
  if (kind != nullptr) {
    lines = FormatText("PORT%d: %s\r\n", slot.number, kind);
    ports.push_back({portName, level});
  }
  return lines + FormatText("LEVEL%d: %d\r\n", slot.number, static_cast<int>(level));
}
