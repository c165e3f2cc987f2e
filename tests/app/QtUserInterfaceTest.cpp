// What the core shows the user, drawn with Qt: message boxes, the wait dialog
// ticking on the UI event loop, and the start-options dialog from its model.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <thread>

#include "app/QtUserInterface.h"
#include "device/PortNames.h"
#include "platform/Event.h"
#include "platform/Time.h"
#include "prodtest/PortConf.h"
#include "prodtest/StartOptionsDialog.h"
#include "prodtest/StartOptionsIds.h"
#include "resources/resource.h"

namespace {

template <class Control>
Control* ById(QWidget* dialog, int id) {
  for (Control* control : dialog->findChildren<Control*>())
    if (control->property("ctrlId").toInt() == id) return control;
  return nullptr;
}

// Runs `look` on the modal window once it is up.
void WhenModal(std::function<void(QWidget*)> look) {
  QTimer::singleShot(0, [look = std::move(look)] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    look(modal);
  });
}

TEST(QtUserInterfaceTest, MessageBoxIsTopMostWithTheCaption) {
  CQtUserInterface ui;
  QString text, title;
  bool onTop = false;
  WhenModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    text = box->text();
    title = box->windowTitle();
    onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    box->accept();
  });
  ui.MessageBox("Can't open GPS port", "Error");
  EXPECT_EQ(text, "Can't open GPS port");
  EXPECT_EQ(title, "Error");
  EXPECT_TRUE(onTop);
  EXPECT_EQ(ui.MessageBoxes(), std::vector<std::string>{"Can't open GPS port"});
}

TEST(QtUserInterfaceTest, WaitDialogTicksOnTheEventLoopAndShowsTheAttempts) {
  const platform::ScopedTimeScale scale(0.01);
  CQtUserInterface ui;
  int ticks = 0;
  QString text;
  std::vector<int> progress;
  bool escapeIgnored = false;
  const int result = ui.RunWaitDialog("Loading...", 1000, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return 9;
    text = ById<QLabel>(modal, IDC_WAIT_TEXT)->text();
    progress.push_back(ById<QProgressBar>(modal, IDC_WAIT_PROGRESS)->value());
    if (ticks == 0) {
      modal->close();  // cannot be dismissed: only its ticks end it
      escapeIgnored = modal->isVisible();
    }
    return ++ticks == 3 ? 1 : 0;
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(text, "Loading...");
  EXPECT_EQ(progress, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(escapeIgnored);
}

TEST(QtUserInterfaceTest, AStopSetFromAnotherThreadBringsTheNextTickForward) {
  CQtUserInterface ui;
  platform::Event stop(true);
  std::thread stopper([&] { stop.Set(); });
  // An hour between ticks: only the stop request can make this tick come.
  const int result = ui.RunWaitDialog("Loading...", 3600 * 1000, [&] { return stop.IsSet() ? 3 : 0; }, &stop);
  stopper.join();
  EXPECT_EQ(result, 3);
}

class StartOptionsViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortNames();
    m_Conf.m_GpsType = kGpsTypeUblox;
    m_Conf.m_WwanType = kWwanHardwarePhs8;
  }
  void TearDown() override { ResetPortNames(); }

  CPortConf m_Conf;
  CStartOptionsDialog m_Dialog{m_Conf};
  CQtUserInterface m_Ui;
};

TEST_F(StartOptionsViewTest, ControlsFollowTheModelAndClicksReachIt) {
  QStringList bauds;
  bool oemEnabled = true;
  bool ubxChecked = false;
  WhenModal([&](QWidget* modal) {
    ubxChecked = ById<QRadioButton>(modal, IDC_START_UBX)->isChecked();
    oemEnabled = ById<QRadioButton>(modal, IDC_START_OEM615)->isEnabled();
    ById<QRadioButton>(modal, IDC_START_AGPS)->click();
    QComboBox* combo = ById<QComboBox>(modal, IDC_START_BAUDRATE);
    for (int i = 0; i < combo->count(); ++i) bauds << combo->itemText(i);
    combo->setCurrentIndex(5);
    emit combo->activated(5);
    ById<QPushButton>(modal, IDC_START_OK)->click();
  });
  EXPECT_EQ(m_Ui.RunModalDialog(m_Dialog), 1);
  EXPECT_TRUE(ubxChecked);
  EXPECT_FALSE(oemEnabled);
  EXPECT_EQ(bauds, (QStringList{"4800", "9600", "19200", "38400", "57600", "115200"}));
  EXPECT_EQ(m_Conf.m_PortNames[0], AgpsPortName);
  EXPECT_EQ(m_Conf.m_BaudRates[0], 115200);
  EXPECT_EQ(m_Conf.m_bPrdMode, 0);
}

TEST_F(StartOptionsViewTest, UnattendedTakesTheDefaultButton) {
  m_Ui.SetUnattended(true);
  EXPECT_EQ(m_Ui.RunModalDialog(m_Dialog), 1);
  EXPECT_EQ(m_Conf.m_PortNames[0], UbloxPortName);
  EXPECT_EQ(m_Conf.m_BaudRates[0], 9600);
}

}  // namespace
