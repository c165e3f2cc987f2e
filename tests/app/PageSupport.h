#pragma once
// A page for the shell's tests: a form of every control kind, each with a
// ctrlId, and a record of what the sheet told the page.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <atomic>
#include <mutex>
#include <vector>

#include "app/GPSPage.h"

namespace app_test {

constexpr int kLabelId = 2000;
constexpr int kCheckId = 2001;
constexpr int kComboId = 2002;
constexpr int kListId = 2003;
constexpr int kButtonId = 2004;
constexpr int kEditId = 2005;
constexpr int kFormHeight = 700;

inline void BuildTestForm(QWidget* form) {
  form->resize(200, kFormHeight);
  auto add = [form](QWidget* control, int id, int y) {
    control->setProperty("ctrlId", id);
    control->setGeometry(10, y, 150, 24);
  };
  add(new QLabel("label", form), kLabelId, 10);
  add(new QCheckBox("check", form), kCheckId, 40);
  add(new QComboBox(form), kComboId, 70);
  add(new QListWidget(form), kListId, 100);
  add(new QPushButton("button", form), kButtonId, 130);
  add(new QLineEdit(form), kEditId, 160);
  add(new QLabel("(v0.0.0)", form), 1001, 190);
}

class CTestPage : public CGPSPage {
 public:
  explicit CTestPage(int kind = kPageMain) : CGPSPage(kind, 900 + kind, BuildTestForm) {}

  bool OnInitDialog() override {
    ++m_Inits;
    return CGPSPage::OnInitDialog();
  }
  bool OnCommand(uint32_t wParam, intptr_t) override {
    m_Commands.push_back(wParam);
    return true;
  }
  void OnTimer(int id) override { m_Timers.push_back(id); }
  void OnApply() override { ++m_Applies; }
  void OnReset() override { ++m_Resets; }
  void OnDestroy() override { ++m_Destroys; }
  void OnGPSData(CGPSDevice*, GpsPosition record) override {
    ++m_Records;
    if (HasWindow()) PostGPSData(nullptr, record);
  }
  void ShowGPSData(CGPSDevice*, const GpsPosition& record) override {
    ++m_Shown;
    m_LastShown = record;
  }

  int m_Inits = 0;
  int m_Applies = 0;
  int m_Resets = 0;
  int m_Destroys = 0;
  int m_Shown = 0;
  GpsPosition m_LastShown{};
  std::atomic<int> m_Records{0};
  std::vector<uint32_t> m_Commands;
  std::vector<int> m_Timers;
};

}  // namespace app_test
