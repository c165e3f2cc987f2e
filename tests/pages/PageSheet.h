#pragma once
// Pages shown in a property sheet of an emulated handheld screen, for the
// page suites: tabs, rendered images and waits on the UI thread's events.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "app/GPSPage.h"
#include "app/PropertySheet.h"
#include "app/ScreenLayout.h"

namespace page_test {

// Real time allowed for anything a test waits for; far beyond what it needs.
constexpr int kPatienceMs = 20000;

// Runs the UI thread's events until `done` holds; false when patience ran out.
inline bool ProcessEventsUntil(const std::function<bool()>& done) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!done()) {
    if (elapsed.elapsed() > kPatienceMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

inline void SettleEvents() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

inline QString TabTitle(const CGPSPage& page) {
  switch (page.PageKind()) {
    case kPageMain: return "Main";
    case kPageSignal: return "Signal";
    case kPagePosition: return "Position";
    case kPageNmea: return "NMEA data";
    case kPageSettings: return "Settings";
    default: return "PRD Settings";
  }
}

// The sheet closes (and the pages lose their windows) before the pages go.
class PageSheet {
 public:
  PageSheet(std::vector<CGPSPage*> pages, int screenWidth = kDefaultScreenWidth,
            int screenHeight = kDefaultScreenHeight) {
    SetScreenSize(screenWidth, screenHeight);
    std::vector<SheetTab> tabs;
    for (CGPSPage* page : pages) tabs.push_back(SheetTab{TabTitle(*page), page});
    m_pSheet = std::make_unique<CPropertySheet>("Navlume", std::move(tabs));
    m_pSheet->setFixedSize(screenWidth, screenHeight);
    m_pSheet->show();
    SettleEvents();
  }
  ~PageSheet() {
    m_pSheet.reset();
    SetScreenSize(kDefaultScreenWidth, kDefaultScreenHeight);
    ClearQuitMessage();
  }
  PageSheet(const PageSheet&) = delete;
  PageSheet& operator=(const PageSheet&) = delete;

  CPropertySheet& Sheet() { return *m_pSheet; }
  void ShowTab(int index) {
    m_pSheet->ShowTab(index);
    SettleEvents();
  }
  // The sheet as the screen shows it.
  QImage Grab() {
    SettleEvents();
    return m_pSheet->grab().toImage();
  }

 private:
  std::unique_ptr<CPropertySheet> m_pSheet;
};

// The page's window as drawn now, in the page's coordinates.
inline QImage GrabPage(CGPSPage& page) {
  SettleEvents();
  return page.Window()->grab().toImage();
}

}  // namespace page_test
