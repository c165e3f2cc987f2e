// The "PRD Settings" page's logic: what it shows for a configuration and the
// test configuration file it writes, read back by the program's own reader.

#include "prodtest/PrdConfigModel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "prodtest/DeviceRootFixture.h"
#include "prodtest/PrdConfigIds.h"
#include "support/ChildProcess.h"

namespace {

using navlume_test::kCardFile;
using navlume_test::kRootFile;
using navlume_test::ReadText;

// The names in a folder, sorted.
std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

const std::vector<std::string> kTimeoutItems = {"30 sec", "40 sec", "50 sec", "60 sec", "70 sec",
                                                "80 sec", "90 sec", "100 sec", "No timeout"};

class PrdConfigModelTest : public navlume_test::DeviceRootTest {
 protected:
  void SetUp() override {
    DeviceRootTest::SetUp();
    m_Ui.SetQuiet(true);
    platform::SetUserInterface(&m_Ui);
  }

  // u-blox and PHS8 fitted, normal mode on the u-blox.
  void NormalMode() {
    m_Conf.m_GpsType = kGpsTypeUblox;
    m_Conf.m_WwanType = kWwanHardwarePhs8;
    m_Conf.AddPort(UbloxPortName, 0);
  }

  void Card() { std::filesystem::create_directories(Root() / "files/Storage Card"); }

  platform::ControlState& Control(int id) { return m_Model.Control(id); }

  platform::HeadlessUserInterface m_Ui;
  CPortConf m_Conf;
  CPrdConfigModel m_Model{m_Conf};
};

TEST_F(PrdConfigModelTest, NormalModeOffersTheFittedReceiversUnchecked) {
  NormalMode();
  m_Model.OnInitDialog();
  EXPECT_EQ(m_Model.DialogId(), 112);
  EXPECT_EQ(Control(IDC_PRD_TEST_TYPE).items, (std::vector<std::string>{"One by one", "At the same time"}));
  EXPECT_EQ(Control(IDC_PRD_TEST_TYPE).selection, 0);
  EXPECT_EQ(Control(IDC_PRD_TIMEOUT).items, kTimeoutItems);
  EXPECT_EQ(Control(IDC_PRD_TIMEOUT).selection, 3);  // 60 sec
  EXPECT_EQ(Control(IDC_PRD_LEVEL1).items.size(), 41u);
  EXPECT_EQ(Control(IDC_PRD_LEVEL1).items.front(), "10");
  EXPECT_EQ(Control(IDC_PRD_LEVEL2).items.back(), "50");

  EXPECT_EQ(Control(IDC_PRD_PORT1).items, std::vector<std::string>{"UBX GPS"});
  EXPECT_EQ(Control(IDC_PRD_PORT2).items, std::vector<std::string>{"PHS8 GPS"});
  for (int id : {IDC_PRD_ENABLE_GPS1, IDC_PRD_ENABLE_GPS2}) EXPECT_FALSE(Control(id).checked);
  for (int id = IDC_PRD_ENABLE_GPS1; id <= IDC_PRD_LEVEL2; ++id) EXPECT_TRUE(Control(id).enabled) << id;
  EXPECT_EQ(Control(IDC_PRD_LEVEL1).selection, 25);  // 35
  EXPECT_EQ(Control(IDC_PRD_LEVEL1).text, "35");
  EXPECT_TRUE(m_Capture.Contains("+++ CPrdConfig::OnInitDialog +++"));
  EXPECT_TRUE(m_Capture.Contains("--- CPrdConfig::OnInitDialog ---"));
}

TEST_F(PrdConfigModelTest, ProductionModeChecksTheConfiguredSlotsWithTheirOwnLevels) {
  m_Conf.m_GpsType = kGpsTypeUblox;
  m_Conf.m_WwanType = kWwanHardwarePhs8;
  m_Conf.m_bPrdMode = 1;
  m_Conf.m_TestType = 1;
  m_Conf.m_TestTimeout = 45;  // not in the table
  m_Conf.AddPort(AgpsPortName, 40);
  m_Conf.AddPort(UbloxPortName, 20);
  m_Model.OnInitDialog();
  EXPECT_EQ(Control(IDC_PRD_TEST_TYPE).selection, 1);
  EXPECT_EQ(Control(IDC_PRD_TIMEOUT).selection, 8);  // "No timeout"
  EXPECT_TRUE(Control(IDC_PRD_ENABLE_GPS1).checked);
  EXPECT_TRUE(Control(IDC_PRD_ENABLE_GPS2).checked);
  EXPECT_EQ(Control(IDC_PRD_LEVEL1).text, "20");  // u-blox: its own level, entry 1
  EXPECT_EQ(Control(IDC_PRD_LEVEL2).text, "40");  // A-GPS: entry 0

  m_Conf.ClearPorts();
  ASSERT_EQ(m_Model.OnApply(), PrdApplyResult::Written);
  EXPECT_EQ(ReadText(Root() / kRootFile),
            "TESTTYPE: 1\r\nTESTTIMEOUT: 0\r\nPORT1: U-BLOX\r\nLEVEL1: 20\r\nPORT2: A-GPS\r\nLEVEL2: 40\r\n");
  EXPECT_TRUE(m_Capture.Contains("+++ [Navlume] CPrdConfig::GetnerateFile +++"));
  EXPECT_TRUE(m_Capture.Contains("[Navlume]CPrdConfig::GetnerateFile : \\Navlume.ini is created!"));
  EXPECT_EQ(m_Conf.m_PortCount, 2u);  // AddPort for each written slot
}

TEST_F(PrdConfigModelTest, OneReceiverLeavesTheSecondSlotDisabled) {
  m_Conf.m_GpsType = kGpsTypeOem615;
  m_Conf.m_bPrdMode = 1;
  m_Conf.AddPort(Oem615PortName, 0);
  m_Model.OnInitDialog();
  EXPECT_EQ(Control(IDC_PRD_PORT1).items, std::vector<std::string>{"OEM615 GPS"});
  EXPECT_TRUE(Control(IDC_PRD_ENABLE_GPS1).checked);
  EXPECT_EQ(Control(IDC_PRD_LEVEL1).text, "35");  // level 0 shows 35
  for (int id : {IDC_PRD_ENABLE_GPS2, IDC_PRD_PORT2, IDC_PRD_LEVEL2}) EXPECT_FALSE(Control(id).enabled) << id;
  EXPECT_FALSE(Control(IDC_PRD_ENABLE_GPS2).checked);
  EXPECT_TRUE(Control(IDC_PRD_PORT2).items.empty());
}

TEST_F(PrdConfigModelTest, CheckBoxesEnableTheirSlot) {
  NormalMode();
  m_Model.OnInitDialog();
  Control(IDC_PRD_ENABLE_GPS2).checked = false;
  m_Model.OnCommand(IDC_PRD_ENABLE_GPS2);
  EXPECT_FALSE(Control(IDC_PRD_PORT2).enabled);
  EXPECT_FALSE(Control(IDC_PRD_LEVEL2).enabled);
  EXPECT_TRUE(Control(IDC_PRD_PORT1).enabled);
  Control(IDC_PRD_ENABLE_GPS2).checked = true;
  m_Model.OnCommand(IDC_PRD_ENABLE_GPS2);
  EXPECT_TRUE(Control(IDC_PRD_PORT2).enabled);
  EXPECT_TRUE(Control(IDC_PRD_LEVEL2).enabled);
}

TEST_F(PrdConfigModelTest, BothSlotsUncheckedDeleteBothFilesAndWriteTwoLines) {
  NormalMode();
  Card();
  WriteFile(kCardFile, "PORT1: U-BLOX\r\n");
  WriteFile(kRootFile, "PORT1: OEM615\r\n");
  m_Model.OnInitDialog();
  Control(IDC_PRD_TIMEOUT).selection = 0;
  ASSERT_EQ(m_Model.OnApply(), PrdApplyResult::Written);
  EXPECT_EQ(ReadText(Root() / kCardFile), "TESTTYPE: 0\r\nTESTTIMEOUT: 30\r\n");
  EXPECT_FALSE(std::filesystem::exists(Root() / kRootFile));
  EXPECT_TRUE(m_Capture.Contains("\\Storage Card\\Navlume.ini is created!"));

  // At the next start no receiver is configured.
  CPortConf next;
  EXPECT_EQ(next.ConfigFileOpen(), 0);
  EXPECT_EQ(next.m_bPrdMode, 0);
}

TEST_F(PrdConfigModelTest, CardFileLeavesTheRootFileAlone) {
  NormalMode();
  Card();
  WriteFile(kRootFile, "PORT1: OEM615\r\n");
  m_Model.OnInitDialog();
  Control(IDC_PRD_ENABLE_GPS1).checked = true;
  ASSERT_EQ(m_Model.OnApply(), PrdApplyResult::Written);
  EXPECT_EQ(ReadText(Root() / kRootFile), "PORT1: OEM615\r\n");
  EXPECT_EQ(ReadText(Root() / kCardFile), "TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\n");
}

// What the page writes is what the program reads at its next start.
TEST_F(PrdConfigModelTest, WrittenFileReadsBack) {
  m_Conf.m_GpsType = kGpsTypeOem615;
  m_Conf.m_WwanType = kWwanHardwarePhs8;
  m_Model.OnInitDialog();
  Control(IDC_PRD_TEST_TYPE).selection = 1;
  Control(IDC_PRD_TIMEOUT).selection = 7;  // 100 sec
  Control(IDC_PRD_ENABLE_GPS1).checked = true;
  Control(IDC_PRD_ENABLE_GPS2).checked = true;
  Control(IDC_PRD_LEVEL1) = {"", false, true, Control(IDC_PRD_LEVEL1).items, 0};   // 10
  Control(IDC_PRD_LEVEL2) = {"", false, true, Control(IDC_PRD_LEVEL2).items, 40};  // 50
  ASSERT_EQ(m_Model.OnApply(), PrdApplyResult::Written);

  CPortConf next;
  ASSERT_EQ(next.ConfigFileOpen(), 1);
  EXPECT_EQ(next.m_bPrdMode, 1);
  EXPECT_EQ(next.m_TestType, 1);
  EXPECT_EQ(next.m_TestTimeout, 100u);
  ASSERT_EQ(next.m_PortCount, 2u);
  EXPECT_EQ(next.m_PortNames[0], "COM3:");
  EXPECT_EQ(next.m_PassLevels[0], 10u);
  EXPECT_EQ(next.m_PortNames[1], "COM9:");
  EXPECT_EQ(next.m_PassLevels[1], 50u);
}

TEST_F(PrdConfigModelTest, TypedPassLevels) {
  const auto level = [](const std::string& text, int selection) {
    uint32_t value = 0;
    return PassLevelOf({text, false, true, {}, selection}, value) ? static_cast<int>(value) : -1;
  };
  EXPECT_EQ(level("42", -1), 42);
  EXPECT_EQ(level(" 12 ", -1), 12);
  EXPECT_EQ(level("10", -1), 10);
  EXPECT_EQ(level("50", -1), 50);
  EXPECT_EQ(level("035", -1), 35);
  EXPECT_EQ(level("45", 0), 45);  // the typed text wins over an older selection
  EXPECT_EQ(level("", 25), 35);
  for (const char* refused : {"9", "51", "", "abc", "4.5", "-20", "20x", "99999999999999999999"}) {
    EXPECT_EQ(level(refused, -1), -1) << refused;
  }
}

TEST_F(PrdConfigModelTest, RefusedTypedLevelWritesNothing) {
  NormalMode();
  WriteFile(kRootFile, "OLD\r\n");
  m_Model.OnInitDialog();
  Control(IDC_PRD_ENABLE_GPS2).checked = true;
  Control(IDC_PRD_LEVEL2).selection = -1;
  Control(IDC_PRD_LEVEL2).text = "9";
  EXPECT_EQ(m_Model.OnApply(), PrdApplyResult::InvalidLevel);
  EXPECT_EQ(m_Model.InvalidLevelControl(), IDC_PRD_LEVEL2);
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Invalid PASS LEVEL"});
  EXPECT_EQ(ReadText(Root() / kRootFile), "OLD\r\n");
  EXPECT_EQ(m_Conf.m_PortCount, 1u);

  Control(IDC_PRD_LEVEL2).text = "27";
  EXPECT_EQ(m_Model.OnApply(), PrdApplyResult::Written);
  EXPECT_EQ(m_Model.InvalidLevelControl(), 0);
  EXPECT_EQ(ReadText(Root() / kRootFile), "TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT2: A-GPS\r\nLEVEL2: 27\r\n");
}

// A level of the file outside 10..50 is shown as the file has it, and OK
// names the file's line as the reason it is refused until a level is chosen.
TEST_F(PrdConfigModelTest, AFileLevelOutsideTheRangeIsTheReasonGiven) {
  Hardware(kGpsTypeUblox, kWwanHardwarePhs8);
  WriteFile(kRootFile, "TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: -1\r\n");
  ASSERT_EQ(m_Conf.Initialize(), 1);
  m_Model.OnInitDialog();
  EXPECT_TRUE(Control(IDC_PRD_ENABLE_GPS1).checked);
  EXPECT_EQ(Control(IDC_PRD_LEVEL1).text, "-1");
  EXPECT_EQ(m_Model.OnApply(), PrdApplyResult::InvalidLevel);
  ASSERT_EQ(m_Ui.MessageBoxes().size(), 1u);
  EXPECT_NE(m_Ui.MessageBoxes()[0].find("line 4: \"LEVEL1: -1\""), std::string::npos) << m_Ui.MessageBoxes()[0];

  Control(IDC_PRD_LEVEL1).text.clear();
  Control(IDC_PRD_LEVEL1).selection = 30;
  EXPECT_EQ(m_Model.OnApply(), PrdApplyResult::Written);
  EXPECT_EQ(ReadText(Root() / kRootFile), "TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\nPORT1: U-BLOX\r\nLEVEL1: 40\r\n");
}

// A card that is there but cannot take the file (write-protected, or full):
// nothing is written anywhere else, so the card's file, which the next start
// reads, stays whole. The superuser ignores permission bits, and a full disk
// is a file-size limit, so the page's apply runs in a child process.
TEST_F(PrdConfigModelTest, ACardThatCannotTakeTheFileKeepsItsFileAndNothingGoesElsewhere) {
  const std::string old = "TESTTYPE: 1\r\nTESTTIMEOUT: 90\r\nPORT1: A-GPS\r\nLEVEL1: 20\r\n";
  NormalMode();
  Card();
  WriteFile(kCardFile, old);
  m_Model.OnInitDialog();
  Control(IDC_PRD_ENABLE_GPS1).checked = true;
  ASSERT_EQ(::chmod(Root().c_str(), 0755), 0);
  ASSERT_EQ(::chmod((Root() / "files").c_str(), 0777), 0);  // the root folder could take a file
  const struct {
    bool writeProtected;
    PrdApplyResult expected;
  } cases[] = {{true, PrdApplyResult::CannotCreate}, {false, PrdApplyResult::CannotWrite}};
  for (const auto& card : cases) {
    ASSERT_EQ(::chmod((Root() / "files/Storage Card").c_str(), card.writeProtected ? 0555 : 0777), 0);
    const int result = navlume_test::ExitCodeInChild([&] {
      if (card.writeProtected && !navlume_test::ActAsOrdinaryUser()) return -1;
      if (!card.writeProtected) navlume_test::LimitFileSize(old.size() / 2);
      return static_cast<int>(m_Model.OnApply());
    });
    EXPECT_EQ(result, static_cast<int>(card.expected)) << card.writeProtected;
    EXPECT_EQ(ReadText(Root() / kCardFile), old) << card.writeProtected;
    EXPECT_FALSE(std::filesystem::exists(Root() / kRootFile)) << card.writeProtected;
    EXPECT_EQ(FilesIn(Root() / "files/Storage Card"), std::vector<std::string>{"Navlume.ini"}) << card.writeProtected;
  }
  ::chmod((Root() / "files").c_str(), 0755);
  ::chmod((Root() / "files/Storage Card").c_str(), 0755);
}

// The new file replaces the old one whole or not at all: a step that fails
// after the new file was made (here the rename, onto a folder) keeps the old
// file as it was and leaves no temporary file.
TEST_F(PrdConfigModelTest, AFileThatCannotBeReplacedStaysAsItWas) {
  NormalMode();
  std::filesystem::create_directories(Root() / kRootFile / "x");
  m_Model.OnInitDialog();
  EXPECT_EQ(m_Model.OnApply(), PrdApplyResult::CannotWrite);
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Can't write config file!\r\n"});
  EXPECT_TRUE(std::filesystem::exists(Root() / kRootFile / "x"));
  EXPECT_EQ(FilesIn(Root() / "files"), (std::vector<std::string>{"Navlume.ini", "Temp"}));
}

// Both slots unchecked: the other place's file is deleted too; a delete that
// fails is said, although the new file is in place.
TEST_F(PrdConfigModelTest, ARootFileThatCannotBeDeletedIsSaid) {
  NormalMode();
  Card();
  std::filesystem::create_directories(Root() / kRootFile / "x");  // a folder that is not empty
  m_Model.OnInitDialog();
  EXPECT_EQ(m_Model.OnApply(), PrdApplyResult::CannotDelete);
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Can't delete config file!\r\n"});
  EXPECT_EQ(ReadText(Root() / kCardFile), "TESTTYPE: 0\r\nTESTTIMEOUT: 60\r\n");
}

TEST_F(PrdConfigModelTest, NothingCreatedShowsAMessage) {
  NormalMode();
  m_Model.OnInitDialog();
  std::filesystem::remove_all(Root() / "files");  // no folder where the file goes; no card
  EXPECT_EQ(m_Model.OnApply(), PrdApplyResult::CannotCreate);
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Can't create config file!\r\n"});
}

}  // namespace
