// Reading Navlume.ini from the device root into the port configuration.

#include <sys/stat.h>

#include <string>

#include "prodtest/DeviceRootFixture.h"
#include "prodtest/PortConf.h"

namespace {

using navlume_test::kCardFile;
using navlume_test::kRootFile;

class ConfigFileOpenTest : public navlume_test::DeviceRootTest {
 protected:
  int Read(const std::string& text) {
    WriteFile(kCardFile, text);
    return m_Conf.ConfigFileOpen();
  }

  CPortConf m_Conf;
};

TEST_F(ConfigFileOpenTest, TypicalFileStartsProductionMode) {
  ASSERT_EQ(Read("TESTTYPE: 1\r\nTESTTIMEOUT: 90\r\nPORT1: U-BLOX\r\nLEVEL1: 35\r\nPORT2: OEM615\r\nLEVEL2: 42\r\n"), 1);
  EXPECT_EQ(m_Conf.m_TestType, 1);
  EXPECT_EQ(m_Conf.m_TestTimeout, 90u);
  ASSERT_EQ(m_Conf.m_PortCount, 2u);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM2:");
  EXPECT_EQ(m_Conf.m_PassLevels[0], 35u);
  EXPECT_EQ(m_Conf.m_PortNames[1], "COM3:");
  EXPECT_EQ(m_Conf.m_PassLevels[1], 42u);
  EXPECT_EQ(m_Conf.m_bPrdMode, 1);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] ConfigFileOpen readBuf : TESTTYPE: 1\r\nTESTTIMEOUT: 90"));
  EXPECT_TRUE(m_Capture.Contains("[Navlume] TestType : 1, PORT1 : U-BLOX , LEVEL1 : 35"));
  EXPECT_TRUE(m_Capture.Contains("[Navlume] TestType : 1, PORT2 : OEM615 , LEVEL2 : 42"));
}

TEST_F(ConfigFileOpenTest, CardFileHidesRootFile) {
  WriteFile(kRootFile, "PORT1: A-GPS\r\n");
  ASSERT_EQ(Read("PORT1: OEM615\r\n"), 1);
  ASSERT_EQ(m_Conf.m_PortCount, 1u);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM3:");
  EXPECT_FALSE(m_Capture.Contains("Can't find Navlume.ini"));
}

TEST_F(ConfigFileOpenTest, RootFileIsReadWhenTheCardHasNone) {
  std::filesystem::create_directories(Root() / "files/Storage Card");
  WriteFile(kRootFile, "PORT2: A-GPS\r\n");
  ASSERT_EQ(m_Conf.ConfigFileOpen(), 1);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM9:");
  EXPECT_TRUE(m_Capture.Contains("[Navlume] Can't find Navlume.ini file in SD card directory"));
  EXPECT_FALSE(m_Capture.Contains("[Navlume] Can't find Navlume.ini file in root directory"));
}

TEST_F(ConfigFileOpenTest, MissingFileKeepsTheDefaults) {
  EXPECT_EQ(m_Conf.ConfigFileOpen(), 0);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] Can't find Navlume.ini file in SD card directory"));
  EXPECT_TRUE(m_Capture.Contains("[Navlume] Can't find Navlume.ini file in root directory"));
  EXPECT_EQ(m_Conf.m_TestTimeout, 60u);
  EXPECT_EQ(m_Conf.m_TestType, 0);
  EXPECT_EQ(m_Conf.m_PortCount, 0u);
  EXPECT_EQ(m_Conf.m_bPrdMode, 0);
}

TEST_F(ConfigFileOpenTest, EmptyFileGivesNoPorts) {
  m_Conf.AddPort("COM2:", 20);
  EXPECT_EQ(Read(""), 0);
  EXPECT_EQ(m_Conf.m_PortCount, 0u);
  EXPECT_EQ(m_Conf.m_PortNames[0], "");
}

TEST_F(ConfigFileOpenTest, FileWithoutPortsLeavesNormalMode) {
  EXPECT_EQ(Read("TESTTYPE: 1\r\nTESTTIMEOUT: 30\r\n"), 0);
  EXPECT_EQ(m_Conf.m_bPrdMode, 0);
  EXPECT_EQ(m_Conf.m_TestTimeout, 30u);
  EXPECT_EQ(m_Capture.Count("port was not identified !!"), 2u);
}

struct TimeoutCase {
  const char* text;
  uint32_t timeout;
};

class TestTimeoutValues : public ConfigFileOpenTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TestTimeoutValues, AreLimited) {
  Read(GetParam().text);
  EXPECT_EQ(m_Conf.m_TestTimeout, GetParam().timeout);
}

INSTANTIATE_TEST_SUITE_P(ConfigFileOpen, TestTimeoutValues,
                         ::testing::Values(TimeoutCase{"TESTTIMEOUT: 150\r\n", 60}, TimeoutCase{"TESTTIMEOUT: 100\r\n", 100},
                                           TimeoutCase{"TESTTIMEOUT: 0\r\n", 0}, TimeoutCase{"TESTTIMEOUT: -5\r\n", 60},
                                           TimeoutCase{"PORT1: A-GPS\r\nTESTTIMEOUT:", 0},
                                           TimeoutCase{"TESTTIMEOUT:\r\n30\r\n", 60},
                                           TimeoutCase{"TESTTIMEOUT: 0000000045\r\n", 60}));

TEST_F(ConfigFileOpenTest, TestTypeAboveOneIsOneByOne) {
  Read("TESTTYPE: 2\r\n");
  EXPECT_EQ(m_Conf.m_TestType, 0);
  Read("TESTTYPE: -1\r\n");
  EXPECT_EQ(m_Conf.m_TestType, 0);
  Read("TESTTYPE: 1\r\n");
  EXPECT_EQ(m_Conf.m_TestType, 1);
}

TEST_F(ConfigFileOpenTest, PortValueBlanksAndCase) {
  ASSERT_EQ(Read("PORT1:U-BLOX\r\nPORT2:    U-BLOX    \r\n"), 1);
  EXPECT_EQ(m_Conf.m_PortCount, 2u);
  CPortConf lower;
  WriteFile(kCardFile, "PORT1: u-blox\r\n");
  EXPECT_EQ(lower.ConfigFileOpen(), 0);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] u-blox port was not identified !!"));
  EXPECT_TRUE(m_Capture.Contains("ERROR: PortConf.cpp line "));
}

TEST_F(ConfigFileOpenTest, LevelTakesLeadingDigits) {
  Read("PORT1: OEM615\r\nLEVEL1: 40abc\r\n");
  EXPECT_EQ(m_Conf.m_PassLevels[0], 40u);
}

TEST_F(ConfigFileOpenTest, KeysBeyondTheFirst260BytesAreNotFound) {
  EXPECT_EQ(Read("TESTTYPE: 1\r\n" + std::string(260, ' ') + "PORT1: U-BLOX\r\n"), 0);
  EXPECT_EQ(m_Conf.m_TestType, 1);
  EXPECT_EQ(m_Conf.m_PortCount, 0u);
}

TEST_F(ConfigFileOpenTest, TwoUbloxPortsShareTheName) {
  ASSERT_EQ(Read("PORT1: U-BLOX\r\nPORT2: U-BLOX\r\n"), 1);
  ASSERT_EQ(m_Conf.m_PortCount, 2u);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM2:");
  EXPECT_EQ(m_Conf.m_PortNames[1], "COM2:");
}

TEST_F(ConfigFileOpenTest, UnidentifiedFirstSlotPacksTheSecond) {
  ASSERT_EQ(Read("PORT1: GARMIN\r\nLEVEL1: 10\r\nPORT2: A-GPS\r\nLEVEL2: 25\r\n"), 1);
  ASSERT_EQ(m_Conf.m_PortCount, 1u);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM9:");
  EXPECT_EQ(m_Conf.m_PassLevels[0], 25u);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] GARMIN port was not identified !!"));
}

TEST_F(ConfigFileOpenTest, FullBufferWithoutTerminator) {
  std::string text = "PORT1: OEM615\r\n";
  const std::string tail = "LEVEL1: 45";
  text += std::string(260 - text.size() - tail.size(), '.') + tail;
  ASSERT_EQ(text.size(), 260u);
  ASSERT_EQ(Read(text), 1);
  EXPECT_EQ(m_Conf.m_PassLevels[0], 45u);
}

TEST_F(ConfigFileOpenTest, LongTokensAreNotIdentified) {
  ASSERT_EQ(Read("PORT1: U-BLOXXXXX\r\nPORT2: A-GPS\r\nLEVEL2: 1234567890\r\n"), 1);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] U-BLOXXXX port was not identified !!"));
  ASSERT_EQ(m_Conf.m_PortCount, 1u);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM9:");
  EXPECT_EQ(m_Conf.m_PassLevels[0], 0u);

  CPortConf huge;
  WriteFile(kCardFile, "PORT1: " + std::string(200, 'A') + "\r\nPORT2: OEM615\r\n");
  ASSERT_EQ(huge.ConfigFileOpen(), 1);
  EXPECT_TRUE(m_Capture.Contains("[Navlume] AAAAAAAAA port was not identified !!"));
  EXPECT_EQ(huge.m_PortNames[0], "COM3:");
}

TEST_F(ConfigFileOpenTest, WriteProtectedFileIsRead) {
  WriteFile(kCardFile, "PORT1: A-GPS\r\n");
  ASSERT_EQ(::chmod((Root() / kCardFile).c_str(), 0444), 0);
  EXPECT_EQ(m_Conf.ConfigFileOpen(), 1);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM9:");
}

TEST_F(ConfigFileOpenTest, PortsFollowTheProgramWidePortNames) {
  AgpsPortName = "COM7:";
  ASSERT_EQ(Read("PORT1: A-GPS\r\n"), 1);
  EXPECT_EQ(m_Conf.m_PortNames[0], "COM7:");
}

}  // namespace
