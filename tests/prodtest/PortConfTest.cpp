// Device detection, the start-options dialog and CPortConf::Initialize.

#include "prodtest/PortConf.h"

#include <string>
#include <vector>

#include "prodtest/DeviceRootFixture.h"
#include "prodtest/StartOptionsDialog.h"
#include "prodtest/StartOptionsIds.h"

namespace {

using navlume_test::kCardFile;

const std::vector<std::string> kStandardList = {"4800", "9600", "19200", "38400", "57600", "115200"};
const std::vector<std::string> kOem615List = {"9600",   "19200",  "38400",  "57600",
                                              "115200", "230400", "460800", "921600"};

class PortConfTest : public navlume_test::DeviceRootTest {
 protected:
  void SetUp() override {
    DeviceRootTest::SetUp();
    platform::SetUserInterface(&m_Ui);
  }

  // Answers the next dialog: `inspect` sees it after its initialisation, then
  // the clicks are made in order.
  void Answer(std::vector<int> clicks, std::function<void(platform::DialogModel&)> inspect = {}) {
    m_Ui.SetDialogAnswer([clicks, inspect](platform::DialogModel& dialog) {
      if (inspect) inspect(dialog);
      for (int id : clicks) dialog.OnCommand(id);
    });
  }

  platform::HeadlessUserInterface m_Ui;
  CPortConf m_Conf;
};

TEST_F(PortConfTest, NoHardwareFails) {
  UbloxPortName = "COM5:";
  EXPECT_EQ(m_Conf.Initialize(), 0);
  EXPECT_TRUE(m_Capture.Contains("+++ CPortConf::Initialize +++"));
  EXPECT_TRUE(m_Capture.Contains("Can't find GPS deivce!!"));
  EXPECT_TRUE(m_Capture.Contains("[Navlume]GPS Type : 0"));
  EXPECT_TRUE(m_Capture.Contains("[Navlume]WWAN Type : 0"));
  EXPECT_FALSE(m_Capture.Contains("--- CPortConf::Initialize"));
  EXPECT_EQ(UbloxPortName, "COM5:");
  EXPECT_EQ(m_Ui.ModalDialogsShown(), 0);
}

TEST_F(PortConfTest, DetectionSetsTheProgramWidePortNames) {
  UbloxPortName = Oem615PortName = AgpsPortName = ExportPortName = "COM1:";
  Hardware(0, 2);
  EXPECT_EQ(m_Conf.DetectDevices(), 1);
  EXPECT_EQ(m_Conf.m_WwanType, 2);
  EXPECT_EQ(UbloxPortName, "COM2:");
  EXPECT_EQ(ExportPortName, "COM2:");
  EXPECT_EQ(Oem615PortName, "COM3:");
  EXPECT_EQ(AgpsPortName, "COM9:");
  EXPECT_TRUE(m_Capture.Contains("[Navlume]WWAN Type : 2"));
}

struct SingleReceiver {
  uint32_t gpsType;
  uint32_t wwanType;
  const char* port;
};

class SingleReceiverTest : public PortConfTest, public ::testing::WithParamInterface<SingleReceiver> {};

TEST_P(SingleReceiverTest, IsUsedAt9600WithoutDialog) {
  Hardware(GetParam().gpsType, GetParam().wwanType);
  EXPECT_EQ(m_Conf.Initialize(), 1);
  EXPECT_EQ(m_Ui.ModalDialogsShown(), 0);
  ASSERT_EQ(m_Conf.m_PortCount, 1u);
  EXPECT_EQ(m_Conf.m_PortNames[0], GetParam().port);
  EXPECT_EQ(m_Conf.m_PassLevels[0], 0u);
  EXPECT_EQ(m_Conf.m_BaudRates[0], 9600);
  EXPECT_EQ(m_Conf.m_bPrdMode, 0);
  EXPECT_TRUE(m_Capture.Contains("--- CPortConf::Initialize:1 ---"));
}

INSTANTIATE_TEST_SUITE_P(PortConf, SingleReceiverTest,
                         ::testing::Values(SingleReceiver{3, 0, "COM2:"}, SingleReceiver{4, 0, "COM3:"},
                                           SingleReceiver{0, 2, "COM9:"}));

TEST_F(PortConfTest, UnknownTypesAloneConfigureNothing) {
  Hardware(7, 0);
  EXPECT_EQ(m_Conf.Initialize(), 0);
  EXPECT_EQ(m_Conf.m_PortCount, 0u);
  EXPECT_TRUE(m_Capture.Contains("--- CPortConf::Initialize:0 ---"));
}

TEST_F(PortConfTest, UbloxAndPhs8ChooseAgps) {
  Hardware(3, 2);
  Answer({IDC_START_OEM615, IDC_START_AGPS, IDC_START_OK}, [](platform::DialogModel& dialog) {
    EXPECT_EQ(dialog.DialogId(), IDD_START_OPTIONS);
    EXPECT_TRUE(dialog.Control(IDC_START_UBX).checked);
    EXPECT_EQ(dialog.Control(IDC_START_UBX).text, "UBX GPS");
    EXPECT_FALSE(dialog.Control(IDC_START_OEM615).enabled);
    EXPECT_TRUE(dialog.Control(IDC_START_AGPS).enabled);
    EXPECT_FALSE(dialog.Control(IDC_START_AGPS).checked);
    EXPECT_TRUE(dialog.Control(IDC_START_PRD).enabled);
    EXPECT_EQ(dialog.Control(IDC_START_BAUDRATE).items, kStandardList);
    EXPECT_EQ(dialog.Control(IDC_START_BAUDRATE).selection, 1);
  });
  EXPECT_EQ(m_Conf.Initialize(), 1);
  EXPECT_EQ(m_Ui.ModalDialogsShown(), 1);
  EXPECT_EQ(m_Conf.m_StartChoice, 2);
  ASSERT_EQ(m_Conf.m_PortCount, 1u);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM9:");
  EXPECT_EQ(m_Conf.m_PortNames[1], "");
  EXPECT_EQ(m_Conf.m_BaudRates[0], 9600);
  EXPECT_EQ(m_Conf.m_bPrdMode, 0);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] CPortConf::_DlgProc nCurSel : 0x1"));
}

TEST_F(PortConfTest, Oem615PreCheckedWithTheStandardListUntilClicked) {
  Hardware(4, 2);
  m_Ui.SetDialogAnswer([](platform::DialogModel& dialog) {
    EXPECT_TRUE(dialog.Control(IDC_START_OEM615).checked);
    EXPECT_FALSE(dialog.Control(IDC_START_UBX).enabled);
    EXPECT_EQ(dialog.Control(IDC_START_BAUDRATE).items, kStandardList);
    dialog.OnCommand(IDC_START_OEM615);
    auto& combo = dialog.Control(IDC_START_BAUDRATE);
    EXPECT_EQ(combo.items, kOem615List);
    EXPECT_EQ(combo.selection, 0);
    combo.selection = 6;  // "460800"
    dialog.OnCommand(IDC_START_BAUDRATE);
    dialog.OnCommand(IDC_START_OK);
  });
  EXPECT_EQ(m_Conf.Initialize(), 1);
  ASSERT_EQ(m_Conf.m_PortCount, 1u);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM3:");
  EXPECT_EQ(m_Conf.m_BaudRates[0], 460800);
  EXPECT_EQ(m_Conf.m_StartChoice, 1);
}

TEST_F(PortConfTest, RadioButtonsKeepOneChecked) {
  Hardware(3, 2);
  CStartOptionsDialog dialog(m_Conf);
  m_Conf.DetectDevices();
  dialog.OnInitDialog();
  dialog.OnCommand(IDC_START_AGPS);
  dialog.OnCommand(IDC_START_UBX);
  int checked = 0;
  for (int id : {IDC_START_UBX, IDC_START_OEM615, IDC_START_AGPS, IDC_START_PRD}) checked += dialog.Control(id).checked;
  EXPECT_EQ(checked, 1);
  EXPECT_TRUE(dialog.Control(IDC_START_UBX).checked);
  EXPECT_EQ(dialog.Control(IDC_START_BAUDRATE).items, kStandardList);
  EXPECT_FALSE(dialog.Ended());
}

TEST_F(PortConfTest, PrdSettingGivesProductionModeWithoutPorts) {
  Hardware(3, 2);
  Answer({IDC_START_PRD, IDC_START_OK}, [](platform::DialogModel&) {});
  EXPECT_EQ(m_Conf.Initialize(), 1);
  EXPECT_EQ(m_Conf.m_bPrdMode, 1);
  EXPECT_EQ(m_Conf.m_PortCount, 0u);
  EXPECT_EQ(m_Conf.m_PortNames[0], "");
  EXPECT_EQ(m_Conf.m_StartChoice, 3);
  EXPECT_EQ(m_Conf.m_BaudRates[0], 9600);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] CPortConf::_DlgProc nCurSel : 0xffffffff"));
  EXPECT_TRUE(m_Capture.Contains("--- CPortConf::Initialize:0 ---"));
}

TEST_F(PortConfTest, DialogLeftWithoutOkConfiguresNothing) {
  Hardware(3, 2);
  EXPECT_EQ(m_Conf.Initialize(), 0);
  EXPECT_EQ(m_Ui.ModalDialogsShown(), 1);
  EXPECT_EQ(m_Conf.m_PortCount, 0u);
}

TEST_F(PortConfTest, ConfiguredFileSkipsTheDialog) {
  Hardware(3, 2);
  WriteFile(kCardFile, "PORT1: U-BLOX\r\nLEVEL1: 30\r\n");
  EXPECT_EQ(m_Conf.Initialize(), 1);
  EXPECT_EQ(m_Ui.ModalDialogsShown(), 0);
  EXPECT_EQ(m_Conf.m_bPrdMode, 1);
  ASSERT_EQ(m_Conf.m_PortCount, 1u);
  EXPECT_EQ(m_Conf.m_PassLevels[0], 30u);
}

TEST_F(PortConfTest, StartOptionChoosesDirectAccess) {
  Hardware(3, 0);
  m_Conf.Initialize();
  EXPECT_EQ(m_Conf.m_bDirectAccess, 0);
  uint32_t value = 5;
  EXPECT_FALSE(SavedRilDword("StartOptions", value));
  EXPECT_EQ(value, 5u);

  SetRilDword("StartOptions", 2);
  CPortConf direct;
  direct.Initialize();
  EXPECT_EQ(direct.m_bDirectAccess, 1);
}

TEST_F(PortConfTest, AddPortRefusesAThirdPort) {
  EXPECT_EQ(m_Conf.AddPort("COM2:", 10), 1);
  EXPECT_EQ(m_Conf.AddPort("A-VERY-LONG-PORT-NAME", 20), 1);
  EXPECT_EQ(m_Conf.AddPort("COM3:", 30), 0);
  EXPECT_EQ(m_Conf.m_PortCount, 2u);
  EXPECT_EQ(m_Conf.m_PortNames[1], "A-VERY-LO");
  EXPECT_EQ(m_Conf.m_PassLevels[1], 20u);
  EXPECT_TRUE(m_Capture.Contains("no room for port COM3:"));
}

TEST_F(PortConfTest, RegGetDwordReadsOnlyFourByteValues) {
  uint32_t value = 7;
  EXPECT_EQ(RegGetDword(platform::RegRoot::LocalMachine, "Software\\Test", "Missing", &value), 0);
  EXPECT_EQ(value, 7u);
  platform::RegKey key;
  EXPECT_EQ(platform::RegOpenKey(platform::RegRoot::LocalMachine, "Software\\Test", key), platform::kRegSuccess);
  platform::RegSetString(key, "Text", "1");
  platform::RegSetDword(key, "Number", 0x12345678);
  platform::RegCloseKey(key);
  EXPECT_EQ(RegGetDword(platform::RegRoot::LocalMachine, "Software\\Test", "Text", &value), 0);
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(RegGetDword(platform::RegRoot::LocalMachine, "Software\\Test", "Number", &value), 1);
  EXPECT_EQ(value, 0x12345678u);
  EXPECT_EQ(RegGetDword(platform::RegRoot::LocalMachine, "Software\\Test", "Number", nullptr), 0);
}

}  // namespace
