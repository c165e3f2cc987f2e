// Settings page: what each mode shows, every command with the registry value
// it writes and its message, and the log path probe, on a real registry file.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "app/pages/SettingsPage.h"
#include "pages/PageSheet.h"
#include "prodtest/DeviceRootFixture.h"
#include "prodtest/PortConf.h"
#include "resources/resource.h"

namespace {

constexpr const char* kNavlumeRestart = "To apply this option, Navlume should be restart!!";
constexpr const char* kPhoneRestart = "To apply this option, phone module should be restart!!";

class SettingsPageTest : public navlume_test::DeviceRootTest {
 protected:
  void SetUp() override {
    DeviceRootTest::SetUp();
    m_Ui.SetQuiet(true);
    platform::SetUserInterface(&m_Ui);
  }
  void TearDown() override {
    m_pSheet.reset();
    m_pPage.reset();
    DeviceRootTest::TearDown();
  }

  void Open(int directAccess, int32_t gpsType = kGpsTypeUblox) {
    m_Conf.m_bDirectAccess = directAccess;
    m_Conf.m_GpsType = gpsType;
    m_pPage = std::make_unique<CSettingsPage>(m_Conf);
    m_pSheet = std::make_unique<page_test::PageSheet>(std::vector<CGPSPage*>{m_pPage.get()});
  }

  // A tap on the check box, as a person makes it.
  void Click(int id) {
    auto* box = qobject_cast<QCheckBox*>(m_pPage->Item(id));
    ASSERT_NE(box, nullptr) << id;
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
  }

  bool Checked(int id) const { return m_pPage->IsChecked(id); }
  bool Enabled(int id) const { return m_pPage->IsItemEnabled(id); }
  std::vector<std::string> Messages() const { return m_Ui.MessageBoxes(); }

  platform::HeadlessUserInterface m_Ui;
  CPortConf m_Conf;
  std::unique_ptr<CSettingsPage> m_pPage;
  std::unique_ptr<page_test::PageSheet> m_pSheet;
};

TEST_F(SettingsPageTest, FormTexts) {
  Open(1);
  EXPECT_EQ(m_pPage->ItemText(IDC_SETTINGS_MULTIPLEXER), "GPS Multiplexer");
  EXPECT_EQ(m_pPage->ItemText(IDC_SETTINGS_DIRECT_ACCESS), "Direct Access");
  EXPECT_EQ(m_pPage->ItemText(IDC_SETTINGS_SAVE), "Save to storage");
  EXPECT_EQ(m_pPage->ItemText(IDC_SETTINGS_BROWSE), "...");
  EXPECT_EQ(m_pPage->ItemText(IDC_SETTINGS_EXPORT), "Export to UART");
  EXPECT_EQ(m_pPage->ItemText(IDC_SETTINGS_COLD_START), "Cold start for external GPS.");
  EXPECT_EQ(m_pPage->ItemText(IDC_SETTINGS_SHOW_TTFF), "Display TTFF result");
}

TEST_F(SettingsPageTest, DirectAccessShowsTheSavedOptions) {
  SetRilDword("ExtGpsTestMode", 1);
  SetRilDword("SaveNMEAData", 1);
  Open(1);
  EXPECT_TRUE(Checked(IDC_SETTINGS_DIRECT_ACCESS));
  EXPECT_FALSE(Checked(IDC_SETTINGS_MULTIPLEXER));
  EXPECT_TRUE(Enabled(IDC_SETTINGS_MULTIPLEXER) && Enabled(IDC_SETTINGS_DIRECT_ACCESS));
  EXPECT_TRUE(Checked(IDC_SETTINGS_COLD_START) && Enabled(IDC_SETTINGS_COLD_START));
  EXPECT_TRUE(Checked(IDC_SETTINGS_SAVE) && Enabled(IDC_SETTINGS_SAVE));
  EXPECT_FALSE(Enabled(IDC_SETTINGS_LOG_PATH));
  EXPECT_FALSE(Enabled(IDC_SETTINGS_BROWSE));
  EXPECT_FALSE(Enabled(IDC_SETTINGS_SHOW_TTFF));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SettingsPageTest, MultiplexerModeDisablesTheReceiverOptions) {
  SetRilDword("ExtGpsTestMode", 1);
  SetRilDword("SaveNMEAData", 1);
  Open(0);
  EXPECT_TRUE(Checked(IDC_SETTINGS_MULTIPLEXER));
  EXPECT_FALSE(Checked(IDC_SETTINGS_DIRECT_ACCESS));
  EXPECT_FALSE(Enabled(IDC_SETTINGS_COLD_START) || Checked(IDC_SETTINGS_COLD_START));
  EXPECT_FALSE(Enabled(IDC_SETTINGS_SAVE) || Checked(IDC_SETTINGS_SAVE));
}

TEST_F(SettingsPageTest, ExportIsForcedOffUnlessTheTypeIs2) {
  SetRilDword("ExportToUart", 1);
  Open(1, kGpsTypeOem615);
  EXPECT_FALSE(Enabled(IDC_SETTINGS_EXPORT));
  EXPECT_FALSE(Checked(IDC_SETTINGS_EXPORT));
  EXPECT_TRUE(SavedRilDwordIs("ExportToUart", 0));
}

TEST_F(SettingsPageTest, ExportShowsItsValueForType2) {
  SetRilDword("ExportToUart", 1);
  Open(1, 2);
  EXPECT_TRUE(Enabled(IDC_SETTINGS_EXPORT));
  EXPECT_TRUE(Checked(IDC_SETTINGS_EXPORT));
  Click(IDC_SETTINGS_EXPORT);
  EXPECT_TRUE(SavedRilDwordIs("ExportToUart", 0));
  EXPECT_EQ(Messages(), std::vector<std::string>{kNavlumeRestart});
}

TEST_F(SettingsPageTest, MissingValuesShowUnchecked) {
  Open(1, 2);
  EXPECT_FALSE(Checked(IDC_SETTINGS_EXPORT));
  EXPECT_FALSE(Checked(IDC_SETTINGS_SAVE));
  EXPECT_FALSE(Checked(IDC_SETTINGS_COLD_START));
}

TEST_F(SettingsPageTest, ReceiverOptionsAreWrittenWithTheirMessages) {
  Open(1);
  Click(IDC_SETTINGS_SAVE);
  EXPECT_TRUE(SavedRilDwordIs("SaveNMEAData", 1));
  Click(IDC_SETTINGS_COLD_START);
  EXPECT_TRUE(SavedRilDwordIs("ExtGpsTestMode", 1));
  Click(IDC_SETTINGS_SAVE);
  EXPECT_TRUE(SavedRilDwordIs("SaveNMEAData", 0));
  EXPECT_EQ(Messages(), (std::vector<std::string>{kNavlumeRestart, kPhoneRestart, kNavlumeRestart}));
}

TEST_F(SettingsPageTest, StartOptionsBehaveAsAPair) {
  SetRilDword("ExtGpsTestMode", 1);
  Open(0);
  Click(IDC_SETTINGS_DIRECT_ACCESS);
  EXPECT_TRUE(SavedRilDwordIs("StartOptions", 1));
  EXPECT_FALSE(Checked(IDC_SETTINGS_MULTIPLEXER));
  EXPECT_TRUE(Enabled(IDC_SETTINGS_COLD_START) && Checked(IDC_SETTINGS_COLD_START));
  EXPECT_TRUE(Enabled(IDC_SETTINGS_SAVE));
  EXPECT_FALSE(Checked(IDC_SETTINGS_SAVE));  // missing: unchecked
  EXPECT_EQ(Messages(), std::vector<std::string>{kPhoneRestart});
  EXPECT_EQ(m_Conf.m_bDirectAccess, 0);  // the running program keeps its mode

  Click(IDC_SETTINGS_MULTIPLEXER);
  EXPECT_TRUE(SavedRilDwordIs("StartOptions", 0));
  EXPECT_FALSE(Checked(IDC_SETTINGS_DIRECT_ACCESS));
  EXPECT_FALSE(Enabled(IDC_SETTINGS_COLD_START));
  EXPECT_FALSE(Enabled(IDC_SETTINGS_SAVE));
  EXPECT_EQ(Messages().size(), 2u);

  Click(IDC_SETTINGS_MULTIPLEXER);  // unchecking the checked one: both unchecked, nothing written
  EXPECT_FALSE(Checked(IDC_SETTINGS_MULTIPLEXER) || Checked(IDC_SETTINGS_DIRECT_ACCESS));
  EXPECT_TRUE(SavedRilDwordIs("StartOptions", 0));
  EXPECT_EQ(Messages().size(), 2u);
}

TEST_F(SettingsPageTest, MissingValueReadsUncheckedOnTheDirectAccessPathToo) {
  SetRilDword("SaveNMEAData", 1);
  Open(1);
  Click(IDC_SETTINGS_MULTIPLEXER);
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::RegRoot::LocalMachine, kRilRegistryKey, key), platform::kRegSuccess);
  ASSERT_EQ(platform::RegSetString(key, "SaveNMEAData", "gone"), platform::kRegSuccess);
  platform::RegCloseKey(key);
  Click(IDC_SETTINGS_DIRECT_ACCESS);
  EXPECT_FALSE(Checked(IDC_SETTINGS_SAVE));
}

TEST_F(SettingsPageTest, LogPathWithoutCard) {
  Open(1);
  EXPECT_EQ(m_pPage->ItemText(IDC_SETTINGS_LOG_PATH), "\\Temp\\NMEADATA.LOG");
}

TEST_F(SettingsPageTest, LogPathOnTheCardWhenItsFileOpens) {
  WriteFile("files/Storage Card/NMEADATA.LOG", "$GPGGA\r\n");
  Open(1);
  EXPECT_EQ(m_pPage->ItemText(IDC_SETTINGS_LOG_PATH), "\\Storage Card\\NMEADATA.LOG");
  EXPECT_EQ(navlume_test::ReadText(Root() / "files/Storage Card/NMEADATA.LOG"), "$GPGGA\r\n");
}

TEST_F(SettingsPageTest, OtherCommandsDoNothing) {
  Open(1);
  m_pPage->OnCommand(MakeCommand(IDC_SETTINGS_BROWSE, kBnClicked), 0);
  m_pPage->OnCommand(MakeCommand(IDC_SETTINGS_SHOW_TTFF, kBnClicked), 0);
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
