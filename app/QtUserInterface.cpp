#include "app/QtUserInterface.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/PropertySheet.h"
#include "platform/Event.h"
#include "platform/Time.h"
#include "resources/resource.h"
#include "ui_start_options.h"
#include "ui_wait_dialog.h"

namespace {

constexpr const char* kCtrlIdProperty = "ctrlId";

// The wait dialog cannot be dismissed: only its ticks end it.
class CWaitDialogView : public QDialog {
 public:
  using QDialog::QDialog;
  void reject() override {}
};

std::map<int, QWidget*> ControlsById(QWidget* form) {
  std::map<int, QWidget*> controls;
  for (QWidget* child : form->findChildren<QWidget*>()) {
    const QVariant id = child->property(kCtrlIdProperty);
    if (id.isValid()) controls[id.toInt()] = child;
  }
  return controls;
}

void ShowState(const platform::ControlState& state, QWidget* control) {
  control->setEnabled(state.enabled);
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    if (!state.text.empty()) button->setText(QString::fromStdString(state.text));
    button->setChecked(state.checked);
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (const std::string& item : state.items) combo->addItem(QString::fromStdString(item));
    combo->setCurrentIndex(state.selection);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    if (!state.text.empty()) label->setText(QString::fromStdString(state.text));
  }
}

void ShowModel(platform::DialogModel& model, const std::map<int, QWidget*>& controls) {
  for (const auto& [id, state] : model.Controls())
    if (const auto found = controls.find(id); found != controls.end()) ShowState(state, found->second);
}

// What the user changed goes into the model before it hears the command.
void ReadBack(platform::DialogModel& model, const std::map<int, QWidget*>& controls) {
  for (const auto& [id, control] : controls) {
    if (auto* button = qobject_cast<QAbstractButton*>(control); button && button->isCheckable())
      model.Control(id).checked = button->isChecked();
    else if (auto* combo = qobject_cast<QComboBox*>(control))
      model.Control(id).selection = combo->currentIndex();
  }
}

QPushButton* DefaultButton(QWidget* form) {
  for (QPushButton* button : form->findChildren<QPushButton*>())
    if (button->isDefault()) return button;
  return nullptr;
}

int ScaledIntervalMs(uint32_t periodMs) {
  const auto scaled = std::chrono::duration_cast<std::chrono::milliseconds>(platform::ScaledDuration(periodMs));
  return static_cast<int>(std::clamp<int64_t>(scaled.count(), 1, INT32_MAX));
}

}  // namespace

CQtUserInterface::CQtUserInterface() {
  RegisterDialogForm(IDD_START_OPTIONS, CGPSPage::UseForm<Ui::StartOptionsDialog>());
}

void CQtUserInterface::RegisterDialogForm(int dialogId, CGPSPage::FormSetup setup) {
  m_Forms[dialogId] = std::move(setup);
}

void CQtUserInterface::MessageBox(const std::string& text, const std::string& caption) {
  m_MessageBoxes.push_back(text);
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  if (m_bUnattended || platform::StopRequested()) return;
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  Exec(box);
}

int CQtUserInterface::Exec(QDialog& dialog) {
  m_OpenDialogs.push_back(&dialog);
  const int result = dialog.exec();
  m_OpenDialogs.pop_back();
  return result;
}

void CQtUserInterface::GiveWayToStop() {
  if (!m_OpenDialogs.empty()) {
    for (QDialog* dialog : m_OpenDialogs) dialog->done(QDialog::Rejected);
    // The code that showed them goes on first; the sheet (if any) is cancelled after it.
    QMetaObject::invokeMethod(&m_UiThread, [this] { GiveWayToStop(); }, Qt::QueuedConnection);
    return;
  }
  if (CPropertySheet* sheet = CurrentSheet()) sheet->Cancel();
}

int CQtUserInterface::RunWaitDialog(const std::string& text, uint32_t periodMs, const std::function<int()>& onTick,
                                    platform::Event* stop) {
  CWaitDialogView dialog;
  dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
  dialog.setWindowFlag(Qt::WindowCloseButtonHint, false);
  auto* form = new QWidget(&dialog);
  Ui::WaitDialog ui;
  ui.setupUi(form);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(form);
  const std::map<int, QWidget*> controls = ControlsById(form);
  if (auto* label = qobject_cast<QLabel*>(controls.at(IDC_WAIT_TEXT))) label->setText(QString::fromStdString(text));
  auto* progress = qobject_cast<QProgressBar*>(controls.at(IDC_WAIT_PROGRESS));

  QTimer timer;
  int ticks = 0;
  const auto tick = [&] {
    if (!timer.isActive()) return;  // the dialog has already ended
    const int result = onTick();
    ++ticks;
    if (progress) progress->setValue(std::min(ticks, progress->maximum()));
    if (result != 0) {
      timer.stop();
      dialog.done(result);
    }
  };
  QObject::connect(&timer, &QTimer::timeout, &dialog, tick);
  // A pause lasts its period, as it does headless: a coarse timer may end a 5 s pause 250 ms early.
  timer.setTimerType(Qt::PreciseTimer);
  timer.start(ScaledIntervalMs(periodMs));

  // A stop request (set from any thread) brings the next tick forward at once.
  platform::Event dialogEnded(true);
  std::thread stopWatcher;
  if (stop != nullptr) {
    stopWatcher = std::thread([&] {
      if (platform::WaitForAny({stop, &dialogEnded}, platform::kInfinite) == 0) {
        QMetaObject::invokeMethod(&dialog, tick, Qt::QueuedConnection);
      }
    });
  }
  const int result = dialog.exec();
  dialogEnded.Set();
  if (stopWatcher.joinable()) stopWatcher.join();
  return result;
}

int CQtUserInterface::RunModalDialog(platform::DialogModel& model) {
  if (platform::StopRequested()) return 0;  // as Cancel
  const auto form = m_Forms.find(model.DialogId());
  if (form == m_Forms.end()) {
    std::fprintf(stderr, "navlume: no form for dialog %d\n", model.DialogId());
    return 0;
  }
  QDialog dialog;
  dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
  auto* view = new QWidget(&dialog);
  form->second(view);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(view);
  const std::map<int, QWidget*> controls = ControlsById(view);

  auto command = [&](int id) {
    ReadBack(model, controls);
    model.OnCommand(id);
    ShowModel(model, controls);
    if (model.Ended()) dialog.done(model.Result());
  };
  for (const auto& [id, control] : controls) {
    const int ctrlId = id;
    if (auto* button = qobject_cast<QAbstractButton*>(control))
      QObject::connect(button, &QAbstractButton::clicked, &dialog, [&command, ctrlId] { command(ctrlId); });
    else if (auto* combo = qobject_cast<QComboBox*>(control))
      QObject::connect(combo, &QComboBox::activated, &dialog, [&command, ctrlId] { command(ctrlId); });
  }
  model.OnInitDialog();
  ShowModel(model, controls);
  if (m_bUnattended) {
    if (QPushButton* button = DefaultButton(view)) button->click();
    return model.Ended() ? model.Result() : 0;
  }
  Exec(dialog);
  return model.Ended() ? model.Result() : 0;
}
