#pragma once
// The property sheet: one tab per page, OK and Cancel. A page's window is
// made the first time its tab is shown; leaving a tab deactivates its page.
// OK sends kPsnApply, Cancel (and closing the window) kPsnReset to every
// page that has a window; the pages then post the quit message.

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "app/GPSPage.h"

class QTabWidget;
class QScrollBar;

struct SheetTab {
  QString title;
  CGPSPage* page;
};

class CPropertySheet : public QDialog {
  Q_OBJECT

 public:
  CPropertySheet(const QString& caption, std::vector<SheetTab> tabs, QWidget* parent = nullptr);
  ~CPropertySheet() override;

  QString Caption() const { return windowTitle(); }
  int TabCount() const { return static_cast<int>(m_Tabs.size()); }
  QString TabTitle(int index) const { return m_Tabs.at(index).title; }
  CGPSPage* Page(int index) const { return m_Tabs.at(index).page; }
  int CurrentTab() const;
  void ShowTab(int index);  // as a tap on the tab
  void Apply();             // as OK
  void Cancel();            // as Cancel
  void BringToFront();

  void reject() override;   // Escape and the window's close button: Cancel

 private:
  struct Tab {
    QString title;
    CGPSPage* page;
    QWidget* host;
    QWidget* slot;
    QScrollBar* scrollBar;
  };
  void OnTabChanged(int index);
  void EnsureWindow(int index);
  void NotifyPages(int code);

  QTabWidget* m_pTabWidget;
  std::vector<Tab> m_Tabs;
  int m_CurrentTab = -1;
};

// The sheet that runs now (the single-instance check asks for it); null when none.
CPropertySheet* CurrentSheet();

// Called with every sheet once it is shown, before it runs (screenshots, tests).
void SetSheetShownHook(std::function<void(CPropertySheet&)> hook);

// Runs the sheet modally until OK or Cancel; true when it ended with OK.
// The window has the emulated screen's size, or the whole screen with fullScreen.
bool RunPropertySheet(const QString& caption, std::vector<SheetTab> tabs, bool fullScreen);
