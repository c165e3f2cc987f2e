// The OEM615 simulator through its terminal: boot prompt, command answers,
// serialconfig, freset, logs and recording.

#include <gtest/gtest.h>

#include "HostPort.h"
#include "sim/Oem615Receiver.h"

namespace {

using navlume_test::CountGga;
using navlume_test::HostPort;
using navlume_test::WithTtff;

// The host must follow a rate change within the receiver's one-second boot.
// kPatienceMs: 20 s of real time, far beyond what any wait here needs.
constexpr double kScale = 0.05;
constexpr uint32_t kPatienceMs = static_cast<uint32_t>(20'000 / kScale);
const std::string kOk = "<OK\r\n[COM1]";
const std::vector<std::string> kLogCommands{
    "log bestsats ontime 1", "log bestposa ontime 1", "log glmlaa onchanged", "log gpalm onchanged",
    "log gpgga ontime 1",    "log gpggalong ontime 1", "log gpggartk ontime 1", "log gpgll ontime 1",
    "log gpgrs ontime 1",    "log gpgsa ontime 1",    "log gpgst ontime 1",    "log gpgsv ontime 1",
    "log gphdt onchanged",   "log gprmb ontime 1",    "log gprmc ontime 1",    "log gpvtg ontime 1",
    "log gpzda ontime 1",
};

class Oem615ReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_Receiver.Start());
    m_pHost = std::make_unique<HostPort>(m_Receiver.SlavePath());
  }
  // Powers on and waits for the boot prompt.
  void Boot() {
    m_Receiver.SetPower(true);
    ASSERT_TRUE(m_pHost->ReadUntilContains("[COM1]", kPatienceMs));
    EXPECT_EQ(m_pHost->Take(), "[COM1]");
  }
  // Sends a command line and waits for the answer.
  bool Command(const std::string& line, const std::string& answer = kOk) {
    m_pHost->Take();
    return m_pHost->Write(line) && m_pHost->ReadUntilContains(answer, kPatienceMs);
  }

  navlume_test::TestTimeScale m_Scale{kScale};
  sim::COem615Receiver m_Receiver{WithTtff(2), sim::PowerMode::Manual};
  std::unique_ptr<HostPort> m_pHost;
};

TEST_F(Oem615ReceiverTest, SilentWhileOffThenBootPromptAboutASecondAfterPowerOn) {
  EXPECT_TRUE(m_pHost->ReadFor(2000).empty());
  m_Receiver.SetPower(true);
  ASSERT_TRUE(m_pHost->ReadUntilContains("[COM1]", kPatienceMs));
  const std::optional<double> boot = m_Receiver.LastBootSeconds();  // known once the receiver has sent
  ASSERT_TRUE(boot.has_value());
  EXPECT_GE(m_Receiver.ElapsedMs(), *boot * 1000 + 1000);  // after its one-second boot, never earlier
  EXPECT_EQ(m_pHost->Take(), "[COM1]");
  EXPECT_TRUE(m_pHost->ReadFor(2500).empty());  // no logs until asked
}

TEST_F(Oem615ReceiverTest, EveryCommandIsAnsweredAndRecordedInOrder) {
  Boot();
  for (const auto& command : kLogCommands) EXPECT_TRUE(Command(command + "\n")) << command;
  EXPECT_TRUE(Command("hello there\n", "<ERROR\r\n[COM1]"));
  EXPECT_TRUE(Command("log gpxyz ontime 1\n", "<ERROR\r\n[COM1]"));
  std::vector<std::string> expected = kLogCommands;
  expected.push_back("hello there");
  expected.push_back("log gpxyz ontime 1");
  EXPECT_EQ(m_Receiver.Recording().Commands(), expected);
  EXPECT_EQ(m_Receiver.EnabledLogs().size(), kLogCommands.size());
}

TEST_F(Oem615ReceiverTest, LogsAppearOnlyAfterTheirCommand) {
  Boot();
  EXPECT_TRUE(Command("log gpgga ontime 1\n"));
  ASSERT_TRUE(m_pHost->ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 2; }, kPatienceMs));
  EXPECT_EQ(m_pHost->Received().find("$GPRMC"), std::string::npos);
  EXPECT_EQ(m_pHost->Received().find('#'), std::string::npos);
  EXPECT_TRUE(Command("log bestposa ontime 1\n"));
  ASSERT_TRUE(m_pHost->ReadUntilContains("#BESTPOSA,COM1,", kPatienceMs));
  ASSERT_TRUE(m_pHost->ReadUntilContains(";SOL_COMPUTED,SINGLE,", kPatienceMs));
  EXPECT_TRUE(Command("unlogall\n"));
  m_pHost->ReadFor(200);
  EXPECT_TRUE(m_pHost->ReadFor(2500).empty());
}

TEST_F(Oem615ReceiverTest, SerialconfigSwitchesRateAfterTheAnswerAndFresetReturnsTo9600) {
  Boot();
  std::string serialconfig = "serialconfig com1 115200 n 8 1 n\n";
  serialconfig.push_back('\0');
  ASSERT_TRUE(Command(serialconfig));  // answered at 9600
  m_pHost->SetLine(115200);
  ASSERT_TRUE(Command("log gpgga ontime 1\n"));
  EXPECT_EQ(m_Receiver.BaudRate(), 115200u);
  ASSERT_TRUE(m_pHost->ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 1; }, kPatienceMs));
  EXPECT_TRUE(m_Receiver.Fixed());

  std::string freset = "freset\n";
  freset.push_back('\0');
  ASSERT_TRUE(Command(freset));  // answered at the old rate
  m_pHost->SetLine(9600);
  m_pHost->Take();
  ASSERT_TRUE(m_pHost->ReadUntilContains("[COM1]", kPatienceMs));  // the boot prompt, at 9600
  EXPECT_EQ(m_pHost->Take(), "[COM1]");
  EXPECT_EQ(m_Receiver.BaudRate(), 9600u);
  EXPECT_FALSE(m_Receiver.Fixed());
  EXPECT_TRUE(m_Receiver.EnabledLogs().empty());
  EXPECT_TRUE(m_pHost->ReadFor(2500).empty());  // the logs went with the reset
  EXPECT_EQ(m_Receiver.Recording().Commands(),
            (std::vector<std::string>{"serialconfig com1 115200 n 8 1 n", "log gpgga ontime 1", "freset"}));
}

TEST_F(Oem615ReceiverTest, AHostAtTheWrongRateGetsNoPromptAndIsNotUnderstood) {
  Boot();
  m_pHost->SetLine(115200);
  ASSERT_TRUE(m_Receiver.WaitForHostLine(sim::LineFormat{115200}, kPatienceMs));
  ASSERT_TRUE(m_pHost->Write("log gpgga ontime 1\n"));
  ASSERT_TRUE(m_Receiver.Recording().WaitForBytes(19, kPatienceMs));
  const std::string answer = m_pHost->ReadFor(2500);
  EXPECT_EQ(answer.find("[COM1]"), std::string::npos);
  EXPECT_TRUE(m_Receiver.EnabledLogs().empty());
}

TEST_F(Oem615ReceiverTest, PowerOffSilencesAndPowerOnBootsAfresh) {
  Boot();
  ASSERT_TRUE(Command("log gprmc ontime 1\n"));
  ASSERT_TRUE(m_pHost->ReadUntilContains("$GPRMC", kPatienceMs));
  m_Receiver.SetPower(false);
  m_pHost->ReadFor(200);
  EXPECT_TRUE(m_pHost->ReadFor(2500).empty());
  Boot();
  EXPECT_TRUE(m_pHost->ReadFor(2500).empty());
}

}  // namespace
