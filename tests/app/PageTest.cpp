// The page base class on a real sheet: windows made on first show, controls
// by ctrlId, commands, timers, OK and Cancel, and the scroll model.

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <memory>

#include "PageSupport.h"
#include "app/PropertySheet.h"
#include "app/ScreenLayout.h"
#include "platform/Time.h"

namespace app_test {
namespace {

class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearQuitMessage();
    g_ScrollPos = 0;
  }
  void TearDown() override {
    m_pSheet.reset();
    SetScreenSize(kDefaultScreenWidth, kDefaultScreenHeight);
    ClearQuitMessage();
  }

  void MakeSheet(int width, int height) {
    SetScreenSize(width, height);
    m_pSheet = std::make_unique<CPropertySheet>(
        "Test", std::vector<SheetTab>{{"One", &m_First}, {"Two", &m_Second}, {"Three", &m_Third}});
    m_pSheet->setFixedSize(width, height);
    m_pSheet->show();
    QApplication::processEvents();
  }

  CTestPage m_First{kPageMain};
  CTestPage m_Second{kPageSignal};
  CTestPage m_Third{kPageSettings};
  std::unique_ptr<CPropertySheet> m_pSheet;
};

TEST_F(PageTest, WindowsAreMadeWhenTheirTabIsFirstShown) {
  MakeSheet(480, 640);
  EXPECT_TRUE(m_First.HasWindow());
  EXPECT_EQ(m_First.m_Inits, 1);
  EXPECT_FALSE(m_Second.HasWindow());
  m_Second.OnGPSData(nullptr, GpsPosition{});  // heard, nothing shown without window
  QApplication::processEvents();
  EXPECT_EQ(m_Second.m_Records, 1);
  EXPECT_EQ(m_Second.m_Shown, 0);
  EXPECT_EQ(m_Second.ItemText(kLabelId), QString());
  m_pSheet->ShowTab(1);
  EXPECT_TRUE(m_Second.HasWindow());
  EXPECT_EQ(m_Second.m_Inits, 1);
  m_pSheet->ShowTab(0);
  m_pSheet->ShowTab(1);
  EXPECT_EQ(m_Second.m_Inits, 1);
  m_pSheet.reset();
  EXPECT_FALSE(m_First.HasWindow());
  EXPECT_EQ(m_First.m_Destroys, 1);
  EXPECT_EQ(m_Third.m_Destroys, 0);
}

TEST_F(PageTest, AHiddenPageShowsTheNewestRecordWhenShownAndAgainInANewSheet) {
  MakeSheet(480, 640);
  m_pSheet->ShowTab(1);
  m_pSheet->ShowTab(0);
  GpsPosition record{};
  for (const uint32_t inView : {6u, 7u}) {
    record.satellitesInView = inView;
    m_Second.OnGPSData(nullptr, record);
  }
  QApplication::processEvents();
  EXPECT_EQ(m_Second.m_Shown, 0);  // hidden: nothing reaches its widgets
  m_pSheet->ShowTab(1);
  EXPECT_EQ(m_Second.m_Shown, 1);
  EXPECT_EQ(m_Second.m_LastShown.satellitesInView, 7u);

  // A hand-over still on its way when the sheet closes holds nothing up in the next sheet.
  record.satellitesInView = 8;
  m_Second.OnGPSData(nullptr, record);
  m_pSheet.reset();
  QApplication::processEvents();
  MakeSheet(480, 640);
  m_pSheet->ShowTab(1);
  record.satellitesInView = 9;
  m_Second.OnGPSData(nullptr, record);
  EXPECT_TRUE(QTest::qWaitFor([&] { return m_Second.m_LastShown.satellitesInView == 9; }, 5000));
}

TEST_F(PageTest, ControlsAreReachedByTheirId) {
  MakeSheet(480, 640);
  CTestPage& page = m_First;
  page.SetItemText(kLabelId, "Fix");
  page.SetItemText(kButtonId, std::string("Go"));
  page.SetItemText(kEditId, "12");
  EXPECT_EQ(page.ItemText(kLabelId), "Fix");
  EXPECT_EQ(page.ItemText(kButtonId), "Go");
  EXPECT_EQ(page.ItemText(kEditId), "12");
  page.SetChecked(kCheckId, true);
  EXPECT_TRUE(page.IsChecked(kCheckId));
  page.EnableItem(kButtonId, false);
  EXPECT_FALSE(page.IsItemEnabled(kButtonId));
  page.ShowItem(kLabelId, false);
  EXPECT_FALSE(page.IsItemVisible(kLabelId));

  EXPECT_EQ(page.AddListItem(kComboId, "4800"), 0);
  EXPECT_EQ(page.AddListItem(kComboId, "9600"), 1);
  page.SetCurSel(kComboId, 1);
  EXPECT_EQ(page.CurSel(kComboId), 1);
  EXPECT_EQ(page.ItemText(kComboId), "9600");
  for (int i = 0; i < 5; ++i) page.AddListItem(kListId, QString("line %1").arg(i));
  page.RemoveListItem(kListId, 0);
  EXPECT_EQ(page.ListCount(kListId), 4);
  EXPECT_EQ(page.ListItemText(kListId, 0), "line 1");
  page.SetCurSel(kListId, 3);
  EXPECT_EQ(page.CurSel(kListId), 3);
  page.ClearList(kListId);
  EXPECT_EQ(page.ListItems(kListId), QStringList());

  // Unknown controls read as empty and ignore writes.
  page.SetItemText(4242, "x");
  EXPECT_EQ(page.ItemText(4242), QString());
  EXPECT_FALSE(page.IsChecked(4242));
  EXPECT_EQ(page.AddListItem(4242, "x"), -1);
  EXPECT_EQ(page.CurSel(4242), -1);
  EXPECT_EQ(page.ItemRect(4242), QRect());
}

TEST_F(PageTest, ClicksAndSelectionsArriveAsCommands) {
  MakeSheet(480, 640);
  auto* button = qobject_cast<QPushButton*>(m_First.Item(kButtonId));
  QTest::mouseClick(button, Qt::LeftButton);
  auto* check = qobject_cast<QCheckBox*>(m_First.Item(kCheckId));
  QStyleOptionButton option;
  option.initFrom(check);
  const QRect indicator = check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
  QTest::mouseClick(check, Qt::LeftButton, {}, indicator.center());
  m_First.AddListItem(kComboId, "a");
  m_First.AddListItem(kComboId, "b");
  emit qobject_cast<QComboBox*>(m_First.Item(kComboId))->activated(1);
  m_First.SetCurSel(kComboId, 0);  // set by the program: no command
  ASSERT_EQ(m_First.m_Commands.size(), 3u);
  EXPECT_EQ(m_First.m_Commands[0], MakeCommand(kButtonId, kBnClicked));
  EXPECT_EQ(m_First.m_Commands[1], MakeCommand(kCheckId, kBnClicked));
  EXPECT_TRUE(m_First.IsChecked(kCheckId));
  EXPECT_EQ(CommandId(m_First.m_Commands[2]), kComboId);
  EXPECT_EQ(CommandCode(m_First.m_Commands[2]), kSelChange);
}

TEST_F(PageTest, TimersTickOnTheScaledClockUntilKilled) {
  const platform::ScopedTimeScale scale(0.01);
  MakeSheet(480, 640);
  m_First.SetTimer(1, 1000);
  EXPECT_TRUE(m_First.TimerActive(1));
  EXPECT_TRUE(QTest::qWaitFor([&] { return m_First.m_Timers.size() >= 2; }, 10000));
  EXPECT_EQ(m_First.m_Timers.front(), 1);
  m_First.KillTimer(1);
  EXPECT_FALSE(m_First.TimerActive(1));
  m_Second.SetTimer(2, 1000);  // no window yet: no timer
  EXPECT_FALSE(m_Second.TimerActive(2));
}

TEST_F(PageTest, OkAppliesEveryOpenedPageThenQuits) {
  MakeSheet(480, 640);
  m_pSheet->ShowTab(2);
  m_pSheet->Apply();
  EXPECT_EQ(m_First.m_Applies, 1);
  EXPECT_EQ(m_Second.m_Applies, 0);
  EXPECT_EQ(m_Third.m_Applies, 1);
  EXPECT_EQ(m_First.m_Resets, 0);
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(QuitExitCode(), 0);
  EXPECT_EQ(m_pSheet->result(), QDialog::Accepted);
}

TEST_F(PageTest, CancelAndTheCloseButtonResetThenQuit) {
  MakeSheet(480, 640);
  m_pSheet->close();
  EXPECT_EQ(m_First.m_Resets, 1);
  EXPECT_EQ(m_First.m_Applies, 0);
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(m_pSheet->result(), QDialog::Rejected);
}

TEST_F(PageTest, ShowVersionWritesTheLabel) {
  MakeSheet(480, 640);
  EXPECT_EQ(m_First.ItemText(1001), "(v0.0.0)");
  ShowVersion(m_First);
  EXPECT_EQ(m_First.ItemText(1001), "(v3.6.13)");
}

struct ScreenCase {
  int width;
  int height;
  int layout;
  int range;  // 0: no scroll bar
};

class ScreenSizeTest : public PageTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ScreenSizeTest, LayoutCodeAndScrollBarFollowTheScreen) {
  const ScreenCase screen = GetParam();
  MakeSheet(screen.width, screen.height);
  EXPECT_EQ(m_First.LayoutCode(), screen.layout);
  EXPECT_EQ(m_First.ScreenWidth(), screen.width);
  EXPECT_EQ(m_First.HasScrollBar(), screen.range != 0);
  if (screen.range != 0) {
    EXPECT_EQ(m_First.ScrollBarInfo().maximum, screen.range);
    EXPECT_EQ(m_First.ScrollBarInfo().page, m_First.Window()->height());
    EXPECT_EQ(m_First.ScrollBarInfo().position, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(AllScreens, ScreenSizeTest,
                         ::testing::Values(ScreenCase{240, 320, 0, 0}, ScreenCase{320, 240, 1, 258},
                                           ScreenCase{480, 640, 2, 0}, ScreenCase{480, 854, 4, 0},
                                           ScreenCase{640, 480, 3, 516}, ScreenCase{854, 480, 5, 516}));

TEST_F(PageTest, ScrollingMovesTheChildrenAndStopsAtTheLargestPosition) {
  MakeSheet(320, 240);
  const QRect before = m_First.ItemRect(kLabelId);
  m_First.OnVScroll(kSbLineDown, 0);
  EXPECT_EQ(g_ScrollPos, 1);
  EXPECT_EQ(m_First.ScrollOffset(), -1);
  EXPECT_EQ(m_First.ItemRect(kLabelId), before.translated(0, -1));

  m_First.OnVScroll(kSbBottom, 0);
  const int largest = m_First.ScrollBarInfo().LargestPosition();
  EXPECT_EQ(g_ScrollPos, largest);
  const QRect atBottom = m_First.ItemRect(kLabelId);
  EXPECT_EQ(atBottom, before.translated(0, -largest));
  m_First.OnVScroll(kSbLineDown, 0);
  EXPECT_EQ(g_ScrollPos, largest);
  EXPECT_EQ(m_First.ItemRect(kLabelId), atBottom);
  m_First.OnVScroll(kSbEndScroll, 0);
  EXPECT_EQ(g_ScrollPos, largest);

  m_First.OnVScroll(kSbThumbTrack, 5);
  EXPECT_EQ(g_ScrollPos, 5);
  EXPECT_EQ(m_First.ItemRect(kLabelId), before.translated(0, -5));
}

TEST_F(PageTest, TheScrollBarDrivesTheModel) {
  MakeSheet(640, 480);
  QScrollBar* bar = m_First.Window()->parentWidget()->parentWidget()->findChild<QScrollBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isVisible());
  const QRect before = m_First.ItemRect(kLabelId);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  const ScrollInfo& info = m_First.ScrollBarInfo();
  EXPECT_EQ(g_ScrollPos, std::min(info.page, info.LargestPosition()));
  EXPECT_GT(g_ScrollPos, 0);
  EXPECT_EQ(bar->value(), g_ScrollPos);
  EXPECT_EQ(m_First.ItemRect(kLabelId), before.translated(0, -g_ScrollPos));
}

TEST_F(PageTest, LeavingATabResetsTheSharedPositionAndMovesTheChildrenBack) {
  MakeSheet(320, 240);
  const QRect before = m_First.ItemRect(kLabelId);
  m_First.OnVScroll(kSbPageDown, 0);
  ASSERT_NE(g_ScrollPos, 0);
  m_pSheet->ShowTab(1);
  EXPECT_EQ(g_ScrollPos, 0);
  EXPECT_EQ(m_First.ScrollOffset(), 0);
  EXPECT_EQ(m_First.ScrollBarInfo().position, 0);
  EXPECT_EQ(m_First.ItemRect(kLabelId), before);
  // The next page starts from the top too.
  m_Second.OnVScroll(kSbLineDown, 0);
  EXPECT_EQ(g_ScrollPos, 1);
  EXPECT_EQ(m_Second.ScrollOffset(), -1);
}

}  // namespace
}  // namespace app_test
