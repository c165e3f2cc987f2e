#include "prodtest/StartOptionsDialog.h"

#include <array>

#include "device/PortNames.h"
#include "platform/Debug.h"
#include "prodtest/ConfigText.h"
#include "prodtest/StartOptionsIds.h"

namespace {

constexpr std::array<const char*, 6> kStandardBaudRates = {"4800", "9600", "19200", "38400", "57600", "115200"};
constexpr std::array<const char*, 8> kOem615BaudRates = {"9600",   "19200",  "38400",  "57600",
                                                         "115200", "230400", "460800", "921600"};
constexpr int kStandardDefaultIndex = 1;  // "9600"
constexpr int kOem615DefaultIndex = 0;    // "9600"

constexpr std::array<int, 4> kRadioIds = {IDC_START_UBX, IDC_START_OEM615, IDC_START_AGPS, IDC_START_PRD};

// Combo box texts hold at most 10 characters, terminator included.
constexpr size_t kBaudTextChars = 10;

int ChoiceOfRadio(int controlId) {
  switch (controlId) {
    case IDC_START_UBX: return kStartChoiceUblox;
    case IDC_START_OEM615: return kStartChoiceOem615;
    case IDC_START_AGPS: return kStartChoiceAgps;
    default: return kStartChoicePrd;
  }
}

}  // namespace

int CStartOptionsDialog::DialogId() const { return IDD_START_OPTIONS; }

void CStartOptionsDialog::OnInitDialog() {
  Control(IDC_START_UBX).text = "UBX GPS";
  Control(IDC_START_OEM615).text = "OEM615 GPS";
  Control(IDC_START_AGPS).text = "PHS8 A-GPS";
  Control(IDC_START_PRD).text = "PRD setting";
  Control(IDC_START_OK).text = "OK";

  bool noneChecked = true;
  if (m_Conf.m_GpsType == kGpsTypeUblox) {
    m_Conf.m_StartChoice = kStartChoiceUblox;
    CheckRadio(IDC_START_UBX);
    noneChecked = false;
  } else {
    Control(IDC_START_UBX).enabled = false;
  }
  if (m_Conf.m_GpsType == kGpsTypeOem615) {
    if (noneChecked) {
      m_Conf.m_StartChoice = kStartChoiceOem615;
      CheckRadio(IDC_START_OEM615);
      noneChecked = false;
    }
  } else {
    Control(IDC_START_OEM615).enabled = false;
  }
  if (m_Conf.m_WwanType == kWwanHardwarePhs8) {
    if (noneChecked) {
      m_Conf.m_StartChoice = kStartChoiceAgps;
      CheckRadio(IDC_START_AGPS);
    }
  } else {
    Control(IDC_START_AGPS).enabled = false;
    if (noneChecked) {
      m_Conf.m_StartChoice = kStartChoicePrd;
      CheckRadio(IDC_START_PRD);
    }
  }
  m_Conf.m_PortCount = 0;
  // The standard list even when "OEM615 GPS" is pre-checked; a click changes it.
  FillBaudRates(kStartChoiceUblox);
}

void CStartOptionsDialog::OnCommand(int controlId) {
  const auto control = Controls().find(controlId);
  if (control != Controls().end() && !control->second.enabled) return;
  switch (controlId) {
    case IDC_START_UBX:
    case IDC_START_OEM615:
    case IDC_START_AGPS:
    case IDC_START_PRD:
      CheckRadio(controlId);
      m_Conf.m_StartChoice = ChoiceOfRadio(controlId);
      FillBaudRates(m_Conf.m_StartChoice);
      break;
    case IDC_START_OK:
      Accept();
      break;
    default:
      break;
  }
}

void CStartOptionsDialog::CheckRadio(int controlId) {
  for (int id : kRadioIds) Control(id).checked = id == controlId;
}

void CStartOptionsDialog::FillBaudRates(int choice) {
  platform::ControlState& combo = Control(IDC_START_BAUDRATE);
  combo.items.clear();
  combo.selection = -1;
  if (choice == kStartChoiceOem615) {
    combo.items.assign(kOem615BaudRates.begin(), kOem615BaudRates.end());
    combo.selection = kOem615DefaultIndex;
  } else if (choice != kStartChoicePrd) {
    combo.items.assign(kStandardBaudRates.begin(), kStandardBaudRates.end());
    combo.selection = kStandardDefaultIndex;
  }
}

void CStartOptionsDialog::Accept() {
  const platform::ControlState& combo = Control(IDC_START_BAUDRATE);
  const int selection = combo.selection;
  platform::DebugPrint("[Navlume] CPortConf::_DlgProc nCurSel : 0x%x\r\n", static_cast<unsigned>(selection));
  int32_t baudRate = kDefaultBaudRate;
  if (selection >= 0 && static_cast<size_t>(selection) < combo.items.size()) {
    const std::string& text = combo.items[static_cast<size_t>(selection)];
    baudRate = ParseDecimal(std::string_view(text).substr(0, kBaudTextChars - 1));
  }
  m_Conf.m_BaudRates[0] = baudRate;

  m_Conf.ClearPorts();
  switch (m_Conf.m_StartChoice) {
    case kStartChoiceUblox: m_Conf.AddPort(UbloxPortName, 0); break;
    case kStartChoiceOem615: m_Conf.AddPort(Oem615PortName, 0); break;
    case kStartChoiceAgps: m_Conf.AddPort(AgpsPortName, 0); break;
    default: break;
  }
  m_Conf.m_bPrdMode = m_Conf.m_StartChoice == kStartChoicePrd ? 1 : 0;
  EndDialog(1);
}
