#pragma once
// What the core shows the user, drawn with Qt: top-most message boxes, the
// "Loading..." wait dialog (105) whose ticks run from a timer on the UI event
// loop, and modal dialogs from a DialogModel and the .ui form of its dialog id.
// A stop of the process (platform/StopRequest.h) closes the boxes and dialogs
// that are up as Cancel, shows no more, and cancels the sheet.

#include <QObject>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/GPSPage.h"
#include "platform/StopRequest.h"
#include "platform/UserInterface.h"

class QDialog;
class QWidget;

class CQtUserInterface : public platform::UserInterface {
 public:
  CQtUserInterface();

  void MessageBox(const std::string& text, const std::string& caption) override;
  int RunWaitDialog(const std::string& text, uint32_t periodMs, const std::function<int()>& onTick,
                    platform::Event* stop = nullptr) override;
  int RunModalDialog(platform::DialogModel& model) override;

  // Unattended (screenshots, scripted runs): message boxes go to standard
  // error only and modal dialogs take their default button at once.
  void SetUnattended(bool unattended) { m_bUnattended = unattended; }
  // The form of a modal dialog by its id (the start-options dialog is known).
  void RegisterDialogForm(int dialogId, CGPSPage::FormSetup setup);

  std::vector<std::string> MessageBoxes() const { return m_MessageBoxes; }

 private:
  // Runs a box or modal dialog until it ends; a stop ends it as Cancel.
  int Exec(QDialog& dialog);
  // On the UI thread, after a stop: the boxes and dialogs up close first, then the sheet is cancelled.
  void GiveWayToStop();

  bool m_bUnattended = false;
  std::map<int, CGPSPage::FormSetup> m_Forms;
  std::vector<std::string> m_MessageBoxes;
  std::vector<QDialog*> m_OpenDialogs;  // innermost last; UI thread only
  QObject m_UiThread;                   // receives the stop on the UI thread (created there)
  platform::StopListener m_StopListener{[this] {
    QMetaObject::invokeMethod(&m_UiThread, [this] { GiveWayToStop(); }, Qt::QueuedConnection);
  }};
};
