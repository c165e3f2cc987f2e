#include "app/pages/PrdConfig.h"

#include <QComboBox>
#include <QLineEdit>

#include "resources/resource.h"
#include "ui_prd_config.h"

CPrdConfig::CPrdConfig(CPortConf& conf)
    : CGPSPage(kPagePrdSettings, IDD_PRD_CONFIG, UseForm<Ui::PrdConfig>()), m_Model(conf) {}

bool CPrdConfig::OnInitDialog() {
  CGPSPage::OnInitDialog();
  m_Model.OnInitDialog();
  ShowModel(true);
  return true;
}

bool CPrdConfig::OnCommand(uint32_t wParam, intptr_t) {
  ReadControls();
  m_Model.OnCommand(CommandId(wParam));
  ShowModel(false);
  return true;
}

void CPrdConfig::OnGPSData(CGPSDevice*, GpsPosition) {}

void CPrdConfig::OnApply() {
  ReadControls();
  m_LastApply = m_Model.OnApply();
}

bool CPrdConfig::OnNotify(int code) {
  const bool result = CGPSPage::OnNotify(code);
  if (code != kPsnApply || m_LastApply != PrdApplyResult::InvalidLevel) return result;
  ClearQuitMessage();
  SelectRefusedLevel();
  return false;
}

// Writes the model's control states into the widgets; lists only when asked,
// so a click does not throw away what the user is typing.
void CPrdConfig::ShowModel(bool withLists) {
  for (const auto& [id, state] : m_Model.Controls()) {
    if (withLists) {
      ClearList(id);
      for (const std::string& item : state.items) AddListItem(id, QString::fromStdString(item));
      SetCurSel(id, state.selection);
      if (!state.items.empty() && state.selection < 0) SetItemText(id, state.text);  // a typed level
    }
    SetChecked(id, state.checked);
    EnableItem(id, state.enabled);
  }
}

void CPrdConfig::ReadControls() {
  for (const auto& [id, state] : m_Model.Controls()) {
    platform::ControlState& control = m_Model.Control(id);
    control.checked = IsChecked(id);
    control.selection = CurSel(id);
    control.text = ItemText(id).toStdString();
  }
}

void CPrdConfig::SelectRefusedLevel() {
  auto* combo = qobject_cast<QComboBox*>(Item(m_Model.InvalidLevelControl()));
  if (combo == nullptr || combo->lineEdit() == nullptr) return;
  combo->setFocus();
  combo->lineEdit()->selectAll();
}
