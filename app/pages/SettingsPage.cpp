#include "app/pages/SettingsPage.h"

#include "app/pages/logic/SettingsOptions.h"
#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"
#include "resources/resource.h"
#include "ui_settings_page.h"

namespace {
void ShowRestartMessage(const char* message) { platform::CurrentUserInterface().MessageBox(message, kRestartCaption); }
}  // namespace

CSettingsPage::CSettingsPage(CPortConf& conf)
    : CGPSPage(kPageSettings, IDD_SETTINGS_PAGE, UseForm<Ui::SettingsPage>()), m_Conf(conf) {}

bool CSettingsPage::OnInitDialog() {
  const bool directAccess = m_Conf.m_bDirectAccess == 1;
  SetChecked(IDC_SETTINGS_MULTIPLEXER, m_Conf.m_bDirectAccess == 0);
  SetChecked(IDC_SETTINGS_DIRECT_ACCESS, directAccess);
  EnableItem(IDC_SETTINGS_MULTIPLEXER, true);
  EnableItem(IDC_SETTINGS_DIRECT_ACCESS, true);

  EnableItem(IDC_SETTINGS_COLD_START, directAccess);
  EnableItem(IDC_SETTINGS_SAVE, directAccess);
  if (directAccess) LoadReceiverOptions();

  EnableItem(IDC_SETTINGS_LOG_PATH, false);
  EnableItem(IDC_SETTINGS_BROWSE, false);
  SetItemText(IDC_SETTINGS_LOG_PATH, ProbeLogPath());

  if (m_Conf.m_GpsType == kExportableGpsType) {
    SetChecked(IDC_SETTINGS_EXPORT, ReadRilOption(kExportToUartValue) != 0);
  } else {
    WriteRilOption(kExportToUartValue, 0);
    EnableItem(IDC_SETTINGS_EXPORT, false);
  }

  EnableItem(IDC_SETTINGS_SHOW_TTFF, false);
  UpdateScreenLayout(*this);
  return true;
}

void CSettingsPage::LoadReceiverOptions() {
  SetChecked(IDC_SETTINGS_COLD_START, ReadRilOption(kExtGpsTestModeValue) != 0);
  SetChecked(IDC_SETTINGS_SAVE, ReadRilOption(kSaveNmeaDataValue) != 0);
}

bool CSettingsPage::OnCommand(uint32_t wParam, intptr_t) {
  switch (const int ctrlId = CommandId(wParam)) {
    case IDC_SETTINGS_SAVE:
      WriteCheckState(ctrlId, kSaveNmeaDataValue, kRestartNavlumeMessage);
      break;
    case IDC_SETTINGS_EXPORT:
      WriteCheckState(ctrlId, kExportToUartValue, kRestartNavlumeMessage);
      break;
    case IDC_SETTINGS_COLD_START:
      WriteCheckState(ctrlId, kExtGpsTestModeValue, kRestartPhoneModuleMessage);
      break;
    case IDC_SETTINGS_MULTIPLEXER:
    case IDC_SETTINGS_DIRECT_ACCESS:
      ChooseStartOption(ctrlId);
      break;
    default:
      break;
  }
  return true;
}

void CSettingsPage::WriteCheckState(int ctrlId, std::string_view valueName, const char* message) {
  WriteRilOption(valueName, IsChecked(ctrlId) ? 1 : 0);
  ShowRestartMessage(message);
}

// The two start options behave as a pair: checking one unchecks the other;
// unchecking the checked one leaves both unchecked and writes nothing.
void CSettingsPage::ChooseStartOption(int ctrlId) {
  if (!IsChecked(ctrlId)) return;
  const bool directAccess = ctrlId == IDC_SETTINGS_DIRECT_ACCESS;
  EnableItem(IDC_SETTINGS_COLD_START, directAccess);
  EnableItem(IDC_SETTINGS_SAVE, directAccess);
  if (directAccess) LoadReceiverOptions();
  SetChecked(directAccess ? IDC_SETTINGS_MULTIPLEXER : IDC_SETTINGS_DIRECT_ACCESS, false);
  WriteRilOption(kStartOptionsValue, directAccess ? kStartOptionDirectAccess : kStartOptionMultiplexer);
  ShowRestartMessage(kRestartPhoneModuleMessage);
}
