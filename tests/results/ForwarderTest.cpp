// The forwarder against a real PostgreSQL server: results journalled while
// the database is away, slow or refusing wait and arrive once it is back,
// each exactly once, and a station killed at any moment loses none.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/DeviceRoot.h"
#include "prodtest/ResultJournal.h"
#include "results/Forwarder.h"
#include "results/Schema.h"
#include "sim/SimulationRoot.h"
#include "support/Command.h"
#include "support/PostgresServer.h"
#include "support/TempFolder.h"
#include "support/TestTime.h"

namespace {

using navlume_test::ReadText;
using navlume_test::TempFolder;
using navlume_test::WriteText;
using results::CResultForwarder;

constexpr double kTimeScale = 0.05;
// Longer than any retry the forwarder waits for, and its attempt after it (system ms).
uint32_t PatienceMs() { return results::kLongestRetryMs + 2 * results::ServerWaitMs(results::kForwardAttemptMs); }
// Long enough for a few failed attempts and their retries (system ms).
constexpr uint32_t kSeveralRetriesMs = 8000;
constexpr const char* kTempJournal = "files/Temp/NAVLUME_RESULTS.CSV";
constexpr const char* kSendingAgain = "results reach the database again";
constexpr const char* kPassword = "Pw-7f3a";
constexpr const char* kWrongPassword = "Pw-wrong-91";

class ForwarderTest : public navlume_test::PostgresSuite {
 protected:
  void SetUp() override {
    PostgresSuite::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(platform::SetDeviceRoot(m_Root.Path()));
    m_Station = Conninfo();
  }
  void TearDown() override {
    m_Forwarder.reset();
    platform::ResetDeviceRoot();
  }

  void InitSchema() {
    int version = 0;
    ASSERT_FALSE(results::CResultsDatabase(Conninfo()).InitSchema(version));
  }

  // The station role, logging in with its password from a password file; it may insert results when `mayInsert`.
  void CreateStationUser(bool mayInsert) {
    m_User = results::kStationRole;
    const auto created = Server().Sql("DO $$ BEGIN CREATE ROLE " + m_User + " LOGIN PASSWORD '" + kPassword +
                                      "'; EXCEPTION WHEN duplicate_object THEN NULL; END $$");
    ASSERT_EQ(created.status, 0) << created.err;
    if (mayInsert) GrantInsert();
    WritePassword(kPassword);
    m_Station = Conninfo(m_User) + " passfile=" + (m_Output.Path() / "pgpass").string();
  }
  // The station role's rights as db init prints them.
  void GrantInsert() {
    std::istringstream lines(results::RoleGrants(Database()));
    std::string grants;
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("GRANT") && line.find(m_User) != std::string::npos) grants += line;
    }
    const auto granted = Server().Sql(grants, Database());
    ASSERT_EQ(granted.status, 0) << granted.err;
  }
  void WritePassword(const std::string& password) {
    const auto file = m_Output.Path() / "pgpass";
    WriteText(file, "*:*:*:" + m_User + ":" + password + "\n");
    ::chmod(file.c_str(), 0600);
  }

  // A fresh database, journal and forwarder for the next case of a table.
  void NextCase() {
    m_Forwarder.reset();
    m_Messages.clear();
    std::filesystem::remove(m_Root.Path() / kTempJournal);
    std::filesystem::remove(m_Root.Path() / results::kForwardProgressFile);
    PostgresSuite::SetUp();
    m_Station = Conninfo();
  }

  void StartForwarder() {
    m_Forwarder = std::make_unique<CResultForwarder>(m_Station, m_Root.Path(), [this](const std::string& message) {
      std::lock_guard lock(m_MessagesLock);
      m_Messages.push_back(message);
    });
    m_Forwarder->Start();
  }
  std::vector<std::string> Messages() {
    std::lock_guard lock(m_MessagesLock);
    return m_Messages;
  }

  // `count` results journalled as the station journals them, each told to the forwarder.
  void Journal(int count) {
    for (int i = 0; i < count; ++i) {
      PanelSnapshot result;
      result.portName = "COM2:";
      result.bFixed = true;
      result.elapsedSeconds = static_cast<uint32_t>(30 + i);
      result.averageSnr = 41;
      result.passLevel = 35;
      std::string path;
      ASSERT_EQ(AppendTestResult(result, 0, TestEndReason::Fix, &path), 1);
      if (m_Forwarder) m_Forwarder->OnResultJournalled(result.portName, path);
    }
  }

  // "rows distinct-ids" of the results table.
  std::string Stored() { return Value("SELECT count(*) || ' ' || count(DISTINCT id) FROM navlume.results"); }

  navlume_test::TestTimeScale m_Scale{kTimeScale};
  TempFolder m_Root;
  TempFolder m_Output;
  std::string m_Station;
  std::string m_User;
  std::unique_ptr<CResultForwarder> m_Forwarder;
  std::mutex m_MessagesLock;
  std::vector<std::string> m_Messages;
};

// A database that refuses for one cause: the results wait, the cause is said
// once whatever the number of retries, and once it is mended every result
// arrives once and the recovery is said.
TEST_F(ForwarderTest, RefusalsKeepResultsWaitingAndNameTheirCauseOnce) {
  const struct {
    const char* name;
    std::function<void()> fault, mend;
    const char* cause;
  } cases[] = {
      {"server down at the start", [this] { InitSchema(); ASSERT_TRUE(Server().Stop()); },
       [this] { ASSERT_TRUE(Server().Start()); }, "cannot reach"},
      {"missing table", [] {}, [this] { InitSchema(); }, "db init"},
      {"wrong password",
       [this] { InitSchema(); CreateStationUser(true); WritePassword(kWrongPassword); },
       [this] { WritePassword(kPassword); }, "wrong or missing password"},
      {"no insert right", [this] { InitSchema(); CreateStationUser(false); },
       [this] { GrantInsert(); }, "refused a right"},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    NextCase();
    each.fault();
    if (HasFatalFailure()) return;
    StartForwarder();
    Journal(3);
    EXPECT_EQ(m_Forwarder->WaitUntilSent(kSeveralRetriesMs), 3u);
    each.mend();
    EXPECT_EQ(m_Forwarder->WaitUntilSent(PatienceMs()), 0u);
    EXPECT_EQ(Stored(), "3 3");
    // Said once however many retries, never with the password; a loaded machine may add a time-out.
    const auto messages = Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_NE(messages.front().find(each.cause), std::string::npos) << messages.front();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [&](const std::string& message) { return message.find(each.cause) != std::string::npos; }),
              1);
    for (const std::string& message : messages) EXPECT_EQ(message.find("Pw-"), std::string::npos) << message;
    EXPECT_EQ(messages.back(), kSendingAgain);
  }
}

// The server stopped between two results and started again, and a server
// paused (SIGSTOP) that answers nothing: the thread and its close stay
// bounded, and every result arrives once the server is back.
TEST_F(ForwarderTest, ServerStoppedOrPausedInTheMiddle) {
  const struct {
    const char* name;
    std::function<void(navlume_test::PostgresServer&)> away, back;
  } cases[] = {
      {"stopped", [](auto& server) { ASSERT_TRUE(server.Stop()); }, [](auto& server) { ASSERT_TRUE(server.Start()); }},
      {"paused", [](auto& server) { server.Pause(); }, [](auto& server) { server.Resume(); }},
  };
  InitSchema();
  int sent = 0;
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    StartForwarder();
    Journal(2);
    ASSERT_EQ(m_Forwarder->WaitUntilSent(PatienceMs()), 0u);
    each.away(Server());
    Journal(2);
    EXPECT_EQ(m_Forwarder->WaitUntilSent(kSeveralRetriesMs), 2u);
    const auto closing = std::chrono::steady_clock::now();
    m_Forwarder.reset();  // a close during an attempt waits for that attempt's time-out at most
    EXPECT_LT(std::chrono::steady_clock::now() - closing,
              platform::ScaledDuration(results::ServerWaitMs(results::kForwardAttemptMs)) + std::chrono::seconds(2));
    each.back(Server());
    StartForwarder();  // the next start sends what the last one left
    EXPECT_EQ(m_Forwarder->WaitUntilSent(PatienceMs()), 0u);
    m_Forwarder.reset();
    sent += 4;
    EXPECT_EQ(Stored(), std::to_string(sent) + " " + std::to_string(sent));
  }
}

// A journal replaced by another, or cut short, under the forwarder: it is
// read again from its start, and the database still holds each line once.
TEST_F(ForwarderTest, JournalReplacedOrCutShortIsSentAgainFromItsStart) {
  InitSchema();
  StartForwarder();
  Journal(3);
  ASSERT_EQ(m_Forwarder->WaitUntilSent(PatienceMs()), 0u);
  const auto journal = m_Root.Path() / kTempJournal;
  const std::string firstJournal = ReadText(journal);

  std::filesystem::rename(journal, m_Output.Path() / "old.csv");  // another card, or a new journal
  Journal(2);
  EXPECT_EQ(m_Forwarder->WaitUntilSent(PatienceMs()), 0u);
  EXPECT_EQ(Stored(), "5 5");

  // Cut back to its header and first line, then one more line.
  const std::string replaced = ReadText(journal);
  const size_t secondLine = replaced.find('\n', replaced.find('\n') + 1) + 1;
  WriteText(journal, replaced.substr(0, secondLine));
  Journal(1);
  EXPECT_EQ(m_Forwarder->WaitUntilSent(PatienceMs()), 0u);
  EXPECT_EQ(Stored(), "6 6");

  // The first journal back in place, lines and all: nothing is stored twice.
  WriteText(journal, firstJournal);
  Journal(1);
  EXPECT_EQ(m_Forwarder->WaitUntilSent(PatienceMs()), 0u);
  EXPECT_EQ(Stored(), "7 7");
}

// The ids of the result lines in a journal.
std::set<std::string> JournalIds(const std::string& journal) {
  std::set<std::string> ids;
  std::istringstream in(journal);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("utc,") || line.empty()) continue;
    if (line.back() == '\r') line.pop_back();
    ids.insert(line.substr(line.rfind(',') + 1));
  }
  return ids;
}

// navlume-cli prodtest on simulated receivers, SIGKILLed at random moments
// (while it tests, journals, sends or saves its progress) and started again:
// once the last run has caught up, each journal line is in the database once.
TEST_F(ForwarderTest, StationKilledAtRandomMomentsLosesNothingAndStoresNothingTwice) {
  constexpr int kTrials = 12;
  constexpr int kLongestRunMs = 600;  // real ms; a run lasts about that long at this scale
  InitSchema();
  platform::ResetDeviceRoot();
  sim::CSimulationRoot simulation;
  sim::SimulationOptions options;
  options.profile = "ublox+agps";
  options.scenario = sim::DefaultScenario();
  options.scenario.ttff = 2;
  options.root = m_Root.Path();
  std::string error;
  ASSERT_TRUE(simulation.Start(options, error)) << error;
  WriteText(m_Root.Path() / "files/Navlume.ini", "TESTTYPE: 1\r\nTESTTIMEOUT: 30\r\nPORT1: U-BLOX\r\nPORT2: A-GPS\r\n");
  std::ostringstream command;
  command << navlume_test::Quote(NAVLUME_CLI_PATH) << " prodtest --root " << navlume_test::Quote(m_Root.Path())
          << " --time-scale " << kTimeScale << " --database " << navlume_test::Quote(Conninfo());

  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> killAfterMs(0, kLongestRunMs);
  RecordProperty("seed", std::to_string(seed));
  for (int trial = 1; trial <= kTrials; ++trial) {
    const pid_t station = navlume_test::StartCommand(command.str(), m_Output.Path());
    ASSERT_GT(station, 0);
    const int after = killAfterMs(random);
    std::this_thread::sleep_for(std::chrono::milliseconds(after));
    ::kill(station, SIGKILL);
    navlume_test::WaitForExit(station, std::chrono::seconds(5));
    const size_t journalled = JournalIds(ReadText(m_Root.Path() / kTempJournal)).size();
    const std::string stored = Stored();
    std::printf("trial %d: killed after %d ms; %zu lines journalled, database %s (rows, distinct ids)\n", trial, after,
                journalled, stored.c_str());
    const size_t rows = std::stoul(stored);
    EXPECT_LE(rows, journalled);
    EXPECT_EQ(stored, std::to_string(rows) + " " + std::to_string(rows));
  }
  // A last run to its end catches up.
  const auto last = navlume_test::RunCommand(command.str(), m_Output.Path());
  EXPECT_EQ(last.err.find("wait for the database"), std::string::npos) << last.err;
  const std::set<std::string> journalled = JournalIds(ReadText(m_Root.Path() / kTempJournal));
  EXPECT_EQ(Stored(), std::to_string(journalled.size()) + " " + std::to_string(journalled.size()));
  std::set<std::string> stored;
  std::istringstream rows(Value("SELECT id FROM navlume.results"));
  for (std::string id; std::getline(rows, id);) stored.insert(id);
  EXPECT_EQ(stored, journalled);
  std::printf("after %d kills and a last run: %zu lines journalled, database %s\n", kTrials, journalled.size(),
              Stored().c_str());
}

}  // namespace
