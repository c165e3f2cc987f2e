// The production pages on a real sheet: the test page's titles, fields, bars
// and one-by-one hand-over, and the "PRD Settings" page's controls, file and
// refused pass levels.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <memory>
#include <ostream>
#include <thread>
#include <vector>

#include "app/PropertySheet.h"
#include "app/ScreenLayout.h"
#include "app/pages/PrdConfig.h"
#include "app/pages/PrdTestPage.h"
#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/Debug.h"
#include "platform/DeviceRoot.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"
#include "prodtest/ProductionStation.h"
#include "resources/resource.h"
#include "support/TempFolder.h"

// Failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

using navlume_test::ReadText;

constexpr int kTimerId = 1;

GpsPosition Record(uint32_t fixQuality, std::vector<uint32_t> snrs) {
  GpsPosition record{};
  record.fixQuality = fixQuality;
  for (size_t i = 0; i < snrs.size(); ++i) {
    record.inViewPrns[i] = static_cast<uint32_t>(10 + i);
    record.inViewSnr[i] = snrs[i];
  }
  record.satellitesInView = static_cast<uint32_t>(snrs.size());
  record.satelliteCount = fixQuality != 0 ? static_cast<uint32_t>(snrs.size()) : 0;
  return record;
}

class PrdPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Capture.SetEcho(false);
    ResetPortNames();
    ClearQuitMessage();
    ASSERT_TRUE(platform::SetDeviceRoot(m_Root.Path()));
    m_Ui.SetQuiet(true);
    platform::SetUserInterface(&m_Ui);
  }
  void TearDown() override {
    m_pSheet.reset();
    platform::SetUserInterface(nullptr);
    SetScreenSize(kDefaultScreenWidth, kDefaultScreenHeight);
    ClearQuitMessage();
  }

  // The pages' one-second timers start at real-time pace here; tests that
  // count seconds kill them and tick by hand.
  void ShowSheet(std::vector<SheetTab> tabs, int width = 480, int height = 640) {
    platform::ScopedTimeScale realTime(1.0);
    SetScreenSize(width, height);
    m_pSheet = std::make_unique<CPropertySheet>("Navlume", std::move(tabs));
    m_pSheet->setFixedSize(width, height);
    m_pSheet->show();
    QApplication::processEvents();
  }

  // Paints the page as its window would and returns the picture.
  static QImage Paint(CPrdTestPage& page) {
    QImage image(page.Window()->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    page.OnPaint(painter);
    return image;
  }

  static void OpenDevice(CGPSDevice& device, const char* port) {
    device.m_PortName = port;
    device.m_PassLevel = 35;
    device.m_State = kDeviceOpen;
  }

  platform::ScopedTimeScale m_Scale{0.001};
  navlume_test::TempFolder m_Root;
  platform::DebugCapture m_Capture;
  platform::HeadlessUserInterface m_Ui;
  CPortConf m_Conf;
  // Pages outlive the sheet that shows them, and stations their pages.
  template <class Page>
  Page& NewPage() {
    return static_cast<Page&>(*m_Pages.emplace_back(std::make_unique<Page>(m_Conf)));
  }
  // A test page of `devices` on a station of its own, made from the configuration as it stands.
  CPrdTestPage& NewTestPage(std::initializer_list<CGPSDevice*> devices,
                            CPrdTestPage::WaitingCount resultsWaiting = {}) {
    CProductionStation& station = *m_Stations.emplace_back(std::make_unique<CProductionStation>(m_Conf));
    for (CGPSDevice* device : devices) station.Test().AddDevice(device);
    return static_cast<CPrdTestPage&>(
        *m_Pages.emplace_back(std::make_unique<CPrdTestPage>(station, std::move(resultsWaiting))));
  }
  std::vector<std::unique_ptr<CProductionStation>> m_Stations;
  std::vector<std::unique_ptr<CGPSPage>> m_Pages;
  std::unique_ptr<CPropertySheet> m_pSheet;
};

TEST_F(PrdPagesTest, TitlesForThePortNames) {
  CGPSDevice ublox, oem615, agps, other;
  OpenDevice(ublox, "COM2:");
  OpenDevice(oem615, "COM3:");
  OpenDevice(agps, "COM9:");
  OpenDevice(other, "COM7:");
  CPrdTestPage& first = NewTestPage({&ublox, &oem615});
  EXPECT_EQ(m_Stations.back()->Test().AddDevice(&agps), 0);
  CPrdTestPage& second = NewTestPage({&agps, &other});
  ShowSheet({{"Main", &first}, {"Second", &second}});
  m_pSheet->ShowTab(1);
  Paint(first);
  Paint(second);
  EXPECT_EQ(first.ItemText(IDC_PRD_TITLE1), "COM2:(U-BLOX7)");
  EXPECT_EQ(first.ItemText(IDC_PRD_TITLE2), "COM3:(OEM615)");
  EXPECT_EQ(second.ItemText(IDC_PRD_TITLE1), "COM9:(A-GPS)");
  EXPECT_EQ(second.ItemText(IDC_PRD_TITLE2), "COM7:(UNKNOWN)");
}

TEST_F(PrdPagesTest, PanelWithoutReceiverKeepsTheTemplate) {
  CGPSDevice ublox;
  OpenDevice(ublox, "COM2:");
  CPrdTestPage& page = NewTestPage({&ublox});
  ShowSheet({{"Main", &page}});
  Paint(page);
  for (int id : {IDC_PRD_VIEW2, IDC_PRD_USED2, IDC_PRD_SNR2, IDC_PRD_TTFF2}) EXPECT_EQ(page.ItemText(id), "--");
  EXPECT_EQ(page.ItemText(IDC_PRD_TITLE2), "Not Installed");
  EXPECT_EQ(page.ItemText(IDC_PRD_PRN2_FIRST), "00");
  for (int k = 0; k < 12; ++k) EXPECT_FALSE(page.IsItemVisible(IDC_PRD_BAR1_FIRST + k));
  EXPECT_TRUE(page.TimerActive(kTimerId));
}

TEST_F(PrdPagesTest, FieldsAndBarsFollowTheReceiver) {
  m_Conf.m_TestTimeout = 0;
  CGPSDevice ublox;
  OpenDevice(ublox, "COM2:");
  CPrdTestPage& page = NewTestPage({&ublox});
  ShowSheet({{"Main", &page}}, 240, 320);
  page.KillTimer(kTimerId);

  // From the device's own thread, as its parse thread calls it.
  std::thread([&] { page.OnGPSData(&ublox, Record(0, {45, 44, 0, 40})); }).join();
  for (int i = 0; i < 75; ++i) page.OnTimer(kTimerId);
  QImage image = Paint(page);
  EXPECT_EQ(page.ItemText(IDC_PRD_VIEW1), "4");
  EXPECT_EQ(page.ItemText(IDC_PRD_USED1), "0");
  EXPECT_EQ(page.ItemText(IDC_PRD_SNR1), "44");  // 45, 44, 40: the middle one
  EXPECT_EQ(page.ItemText(IDC_PRD_TTFF1), "01:15");
  EXPECT_EQ(page.ItemText(IDC_PRD_PRN1_FIRST), "10");
  EXPECT_EQ(page.ItemText(IDC_PRD_PRN1_FIRST + 2), "12");  // PRN given, SNR 0: an empty bar
  EXPECT_EQ(page.ItemText(IDC_PRD_PRN1_FIRST + 4), "00");  // no satellite: the label keeps its text
  const auto pixelAtBarFoot = [&](const QImage& picture, int channel) {
    const QRect place = page.ItemRect(IDC_PRD_BAR1_FIRST + channel);
    return picture.pixelColor(place.center().x(), place.bottom() - 3);
  };
  EXPECT_EQ(pixelAtBarFoot(image, 0), QColor(0xFF, 0x00, 0x00));  // no fix: red
  EXPECT_EQ(pixelAtBarFoot(image, 4), QColor(0xAB, 0xC0, 0xE9));  // empty: light blue
  // A channel that loses its satellite shows no PRN under its empty bar.
  GpsPosition lost = Record(0, {45, 44, 0, 40});
  lost.inViewPrns[0] = 0;
  page.OnGPSData(&ublox, lost);
  Paint(page);
  EXPECT_EQ(page.ItemText(IDC_PRD_PRN1_FIRST), "00");

  ublox.m_bFixed = 1;
  page.OnGPSData(&ublox, Record(1, {45, 44, 0, 40}));
  page.OnTimer(kTimerId);
  image = Paint(page);
  EXPECT_EQ(page.ItemText(IDC_PRD_TTFF1), "01:15(Fixed)");
  EXPECT_EQ(page.ItemText(IDC_PRD_SNR1), "44( Pass )");
  EXPECT_EQ(page.ItemText(IDC_PRD_USED1), "4");
  EXPECT_EQ(pixelAtBarFoot(image, 0), QColor(0x00, 0xFF, 0x00));  // fix: green
  EXPECT_TRUE(std::filesystem::exists(m_Root.Path() / "files/Temp/NAVLUME_RESULTS.CSV"));
}

// A result that neither the card nor \Temp takes is named on the page.
TEST_F(PrdPagesTest, AResultNoPlaceTookIsNamed) {
  std::filesystem::create_directories(m_Root.Path() / "files/Temp/NAVLUME_RESULTS.CSV");
  CGPSDevice ublox;
  OpenDevice(ublox, "COM2:");
  CPrdTestPage& page = NewTestPage({&ublox});
  ShowSheet({{"Main", &page}});
  page.KillTimer(kTimerId);
  ublox.m_bFixed = 1;
  page.OnGPSData(&ublox, Record(1, {40, 41, 42}));
  EXPECT_FALSE(page.IsItemVisible(IDC_PRD_UNSAVED));
  page.OnTimer(kTimerId);
  EXPECT_TRUE(page.IsItemVisible(IDC_PRD_UNSAVED));
  EXPECT_EQ(page.ItemText(IDC_PRD_UNSAVED), "Result not saved: COM2:");
}

// Results that wait for the database are counted in one line, gone once they are sent.
TEST_F(PrdPagesTest, ResultsWaitingForTheDatabaseAreCounted) {
  CGPSDevice ublox;
  OpenDevice(ublox, "COM2:");
  uint64_t waiting = 3;
  CPrdTestPage& page = NewTestPage({&ublox}, [&waiting] { return waiting; });
  ShowSheet({{"Main", &page}});
  page.KillTimer(kTimerId);
  EXPECT_FALSE(page.IsItemVisible(IDC_PRD_RESULTS_WAITING));
  page.OnTimer(kTimerId);
  EXPECT_TRUE(page.IsItemVisible(IDC_PRD_RESULTS_WAITING));
  EXPECT_EQ(page.ItemText(IDC_PRD_RESULTS_WAITING), "Results waiting: 3");
  waiting = 0;
  page.OnTimer(kTimerId);
  EXPECT_FALSE(page.IsItemVisible(IDC_PRD_RESULTS_WAITING));
}

// A fix that no tick counted before a stop is none: the page shows the Fail the journal has.
TEST_F(PrdPagesTest, AStopBeforeATickCountedTheFixShowsFail) {
  CGPSDevice ublox;
  OpenDevice(ublox, "COM2:");
  CPrdTestPage& page = NewTestPage({&ublox});
  ShowSheet({{"Main", &page}});
  page.KillTimer(kTimerId);
  ublox.m_bFixed = 1;
  page.OnGPSData(&ublox, Record(1, {40, 41, 42}));
  Paint(page);
  EXPECT_EQ(page.ItemText(IDC_PRD_SNR1), "41( Pass )");
  m_Stations.back()->Stop();
  page.OnTimer(kTimerId);
  Paint(page);
  EXPECT_EQ(page.ItemText(IDC_PRD_TTFF1), "00:00");
  EXPECT_EQ(page.ItemText(IDC_PRD_SNR1), "41( Fail )");
}

TEST_F(PrdPagesTest, OneByOneSecondPanelWaitsAtZero) {
  m_Conf.m_TestType = 0;
  m_Conf.m_TestTimeout = 30;
  CGPSDevice ublox, agps;
  OpenDevice(ublox, "COM2:");
  ASSERT_EQ(agps.Create("COM9:", 40, kGpsTypeAgps, 9600), 1);  // its port is not mapped: it cannot be opened
  CPrdTestPage& page = NewTestPage({&ublox, &agps});
  ShowSheet({{"Main", &page}});
  page.KillTimer(kTimerId);
  for (int i = 0; i < 30; ++i) page.OnTimer(kTimerId);
  Paint(page);
  EXPECT_EQ(page.ItemText(IDC_PRD_TTFF1), "00:30");
  EXPECT_EQ(page.ItemText(IDC_PRD_TTFF2), "00:00");
  EXPECT_EQ(page.ItemText(IDC_PRD_TITLE2), "COM9:(A-GPS)");

  page.OnTimer(kTimerId);  // the first times out; the second cannot be opened
  Paint(page);
  EXPECT_EQ(page.ItemText(IDC_PRD_TTFF1), "00:30(Timeout)");
  EXPECT_EQ(page.ItemText(IDC_PRD_SNR1), "0( Fail )");
  EXPECT_EQ(ublox.m_State, kDevicePortClosed);
  EXPECT_EQ(agps.m_State, kDeviceCreated);
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Can't activate COM9: devices"});
  for (int i = 0; i < 3; ++i) page.OnTimer(kTimerId);
  Paint(page);
  EXPECT_EQ(page.ItemText(IDC_PRD_TTFF2), "00:00");
  EXPECT_EQ(m_Ui.WaitDialogsShown(), 1);
}

class PrdConfigPageTest : public PrdPagesTest {
 protected:
  void SetUp() override {
    PrdPagesTest::SetUp();
    m_Conf.m_GpsType = kGpsTypeUblox;
    m_Conf.m_WwanType = kWwanHardwarePhs8;
  }
  QComboBox* Combo(CGPSPage& page, int id) { return qobject_cast<QComboBox*>(page.Item(id)); }
};

TEST_F(PrdConfigPageTest, NormalModeShowsTheFittedReceivers) {
  m_Conf.AddPort(UbloxPortName, 0);
  m_Conf.m_TestTimeout = 45;  // not in the table
  CPrdConfig& page = NewPage<CPrdConfig>();
  ShowSheet({{"PRD Settings", &page}}, 240, 320);
  EXPECT_EQ(page.ListItems(IDC_PRD_TEST_TYPE), (QStringList{"One by one", "At the same time"}));
  EXPECT_EQ(page.ItemText(IDC_PRD_TIMEOUT), "No timeout");
  EXPECT_EQ(page.ListCount(IDC_PRD_TIMEOUT), 9);
  EXPECT_EQ(page.ItemText(IDC_PRD_PORT1), "UBX GPS");
  EXPECT_EQ(page.ItemText(IDC_PRD_PORT2), "PHS8 GPS");
  EXPECT_EQ(page.ItemText(IDC_PRD_LEVEL1), "35");
  EXPECT_EQ(page.ListCount(IDC_PRD_LEVEL2), 41);
  EXPECT_EQ(page.ItemText(IDC_PRD_ENABLE_GPS1), "Enable GPS1");
  EXPECT_FALSE(page.IsChecked(IDC_PRD_ENABLE_GPS1));
  EXPECT_FALSE(page.IsChecked(IDC_PRD_ENABLE_GPS2));
  EXPECT_TRUE(page.IsItemEnabled(IDC_PRD_LEVEL2));

  // The check box switches its slot's controls.
  page.SetChecked(IDC_PRD_ENABLE_GPS1, false);
  page.OnCommand(MakeCommand(IDC_PRD_ENABLE_GPS1, kBnClicked), 0);
  EXPECT_FALSE(page.IsItemEnabled(IDC_PRD_PORT1));
  EXPECT_FALSE(page.IsItemEnabled(IDC_PRD_LEVEL1));
  EXPECT_TRUE(page.IsItemEnabled(IDC_PRD_LEVEL2));

  // Accepted with both slots unchecked: only the two test lines; the table's 0 for "No timeout".
  m_pSheet->Apply();
  EXPECT_EQ(ReadText(m_Root.Path() / "files/Navlume.ini"), "TESTTYPE: 0\r\nTESTTIMEOUT: 0\r\n");
  EXPECT_TRUE(QuitPosted());
}

TEST_F(PrdConfigPageTest, ProductionModeChecksTheConfiguredSlots) {
  m_Conf.m_bPrdMode = 1;
  m_Conf.m_TestType = 1;
  m_Conf.AddPort(AgpsPortName, 44);
  CPrdConfig& page = NewPage<CPrdConfig>();
  ShowSheet({{"PRD Settings", &page}});
  EXPECT_EQ(page.CurSel(IDC_PRD_TEST_TYPE), 1);
  EXPECT_EQ(page.ItemText(IDC_PRD_TIMEOUT), "60 sec");
  EXPECT_FALSE(page.IsChecked(IDC_PRD_ENABLE_GPS1));
  EXPECT_TRUE(page.IsChecked(IDC_PRD_ENABLE_GPS2));
  EXPECT_EQ(page.ItemText(IDC_PRD_LEVEL2), "44");
  m_pSheet->Apply();
  EXPECT_EQ(ReadText(m_Root.Path() / "files/Navlume.ini"),
            "TESTTYPE: 1\r\nTESTTIMEOUT: 60\r\nPORT2: A-GPS\r\nLEVEL2: 44\r\n");
}

TEST_F(PrdConfigPageTest, RefusedTypedLevelKeepsTheSheetOpen) {
  m_Conf.AddPort(UbloxPortName, 0);
  CPrdConfig& page = NewPage<CPrdConfig>();
  ShowSheet({{"PRD Settings", &page}});
  page.SetChecked(IDC_PRD_ENABLE_GPS1, true);
  page.OnCommand(MakeCommand(IDC_PRD_ENABLE_GPS1, kBnClicked), 0);
  QComboBox* level = Combo(page, IDC_PRD_LEVEL1);
  ASSERT_NE(level, nullptr);
  level->setCurrentIndex(-1);
  level->setEditText("9");

  m_pSheet->Apply();
  EXPECT_TRUE(m_pSheet->isVisible());
  EXPECT_FALSE(QuitPosted());
  EXPECT_EQ(page.LastApplyResult(), PrdApplyResult::InvalidLevel);
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Invalid PASS LEVEL"});
  EXPECT_EQ(level->lineEdit()->selectedText(), "9");
  EXPECT_FALSE(std::filesystem::exists(m_Root.Path() / "files/Navlume.ini"));

  level->setEditText("42");
  m_pSheet->Apply();
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(ReadText(m_Root.Path() / "files/Navlume.ini"),
            "TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 42\r\n");
}

}  // namespace
