// The results database against a real server: the faults a unit meets, each
// with one clear cause and never a password; idempotent pushes; exact text.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <sstream>

#include "results/JournalPush.h"
#include "results/ResultsDatabase.h"
#include "results/Schema.h"
#include "support/PostgresServer.h"
#include "support/TestTime.h"

namespace {

using navlume_test::PostgresSuite;
using results::DatabaseFault;

constexpr const char* kHeader =
    "utc,port,receiver,testType,ttffSeconds,timedOut,averageSnr,passLevel,verdict,satellitesInView,satellitesUsed,"
    "reason,station,id\r\n";
constexpr const char* kPassword = "pa'ss;w\\ord";
constexpr const char* kWrongPassword = "not-the-password";
// Quotes, semicolons, a backslash, SQL and non-ASCII text, as a journal may hold them.
constexpr const char* kAwkwardStation = "Line \"4\"; '); DROP TABLE navlume.results; -- \\N \xC3\x9F\xE5\x8C\x97\t$1";

std::string Line(int i, const std::string& station, bool withId = true) {
  char id[40];
  std::snprintf(id, sizeof id, "%08x-0000-4000-8000-%012d", i, i);
  return "2026-12-0" + std::to_string(1 + i % 9) + "T06:30:0" + std::to_string(i % 10) + "Z,COM2:,U-BLOX7,One by one," +
         std::to_string(20 + i % 30) + ",0,41,35,Pass,10,9,fix," + station + (withId ? "," + std::string(id) : ",") +
         "\r\n";
}

class ResultsDatabaseTest : public PostgresSuite {
 public:
  void InitSchema() {
    results::CResultsDatabase database(Conninfo());
    int version = 0;
    ASSERT_FALSE(database.InitSchema(version));
  }
  // A role with kPassword and the grants db init prints (station or reader).
  void CreateRole(const char* role) {
    std::string grants = "DO $$ BEGIN CREATE ROLE " + std::string(role) +
                         " LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$;\n";
    std::istringstream printed(results::RoleGrants(Database()));
    for (std::string line; std::getline(printed, line);) {
      if (line.rfind("CREATE ROLE", 0) != 0 && line.find(role) != std::string::npos) grants += line + "\n";
    }
    ASSERT_EQ(Server().Sql(grants, Database()).status, 0) << grants;
    ASSERT_EQ(Server().Sql(std::string("ALTER ROLE ") + role + " PASSWORD '" + "pa''ss;w\\ord'").status, 0);
  }
  // The connection string of `role` whose password file holds `password`.
  std::string RoleConninfo(const char* role, const char* password) {
    const auto file = m_Folder.Path() / "pgpass";
    navlume_test::WriteText(file, std::string("*:*:*:") + role + ":" + Escaped(password) + "\n");
    ::chmod(file.c_str(), S_IRUSR | S_IWUSR);
    return Conninfo(role) + " passfile=" + file.string();
  }
  static std::string Escaped(std::string text) {  // .pgpass escapes ':' and '\'
    std::string out;
    for (const char c : text) out += (c == ':' || c == '\\') ? std::string("\\") + c : std::string(1, c);
    return out;
  }
  std::vector<results::ResultRow> Rows(const std::string& journal, const std::string& station = "journal") {
    std::vector<results::ResultRow> rows;
    CJournalReader reader(
        station,
        [&rows](const JournalResult& result) {
          std::string why;
          rows.push_back(*results::ResultRowOf(result, why));
        },
        [](uint64_t, const std::string& why) { ADD_FAILURE() << why; });
    reader.Feed(journal.data(), journal.size());
    reader.Finish();
    return rows;
  }

  navlume_test::TempFolder m_Folder;
};

struct FaultCase {
  const char* name;
  std::function<std::string(ResultsDatabaseTest&)> arrange;  // the connection string to use
  DatabaseFault fault;
  const char* cause;  // a word of the message
};

TEST_F(ResultsDatabaseTest, EachFaultGivesOneClearCauseAndNeverThePassword) {
  const navlume_test::TestTimeScale scale(0.1);
  const std::vector<FaultCase> cases = {
      {"missing table", [](ResultsDatabaseTest& t) { return t.Conninfo(); }, DatabaseFault::NoSchema, "db init"},
      {"server down", [](ResultsDatabaseTest& t) { t.Server().Stop(); return t.Conninfo(); },
       DatabaseFault::Unreachable, "cannot reach"},
      {"server paused", [](ResultsDatabaseTest& t) { t.InitSchema(); t.Server().Pause(); return t.Conninfo(); },
       DatabaseFault::Timeout, "did not answer"},
      {"wrong password", [](ResultsDatabaseTest& t) { t.InitSchema(); t.CreateRole(results::kStationRole);
         return t.RoleConninfo(results::kStationRole, kWrongPassword); }, DatabaseFault::Authentication, "password"},
      {"no insert right", [](ResultsDatabaseTest& t) { t.InitSchema(); t.CreateRole(results::kReaderRole);
         return t.RoleConninfo(results::kReaderRole, kPassword); }, DatabaseFault::NoRight, "permission denied"},
      {"password in the string", [](ResultsDatabaseTest& t) { return t.Conninfo() + " password=" + kWrongPassword; },
       DatabaseFault::BadConnectionString, ".pgpass"},
      {"unreadable URI", [](ResultsDatabaseTest&) { return std::string("postgresql://u:") + kWrongPassword + "@h:x:y/db"; },
       DatabaseFault::BadConnectionString, "connection string"},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const std::string conninfo = c.arrange(*this);
    results::CResultsDatabase database(conninfo, 3000);
    const auto start = std::chrono::steady_clock::now();
    const results::PushResult pushed = database.Insert(Rows(std::string(kHeader) + Line(1, "S")));
    const auto took = std::chrono::steady_clock::now() - start;
    Server().Resume();
    if (!Server().Running()) Server().Start();
    ASSERT_TRUE(pushed.error);
    EXPECT_EQ(pushed.error->fault, c.fault) << pushed.error->message;
    EXPECT_NE(pushed.error->message.find(c.cause), std::string::npos) << pushed.error->message;
    EXPECT_EQ(pushed.error->message.find('\n'), std::string::npos) << pushed.error->message;
    for (const char* secret : {kPassword, kWrongPassword}) {
      EXPECT_EQ(pushed.error->message.find(secret), std::string::npos) << pushed.error->message;
    }
    EXPECT_LT(took, std::chrono::seconds(5));
  }
}

TEST_F(ResultsDatabaseTest, StationRolePushesEachLineOnceWithItsTextExact) {
  InitSchema();
  CreateRole(results::kStationRole);
  std::string journal = kHeader;
  for (int i = 0; i < 3; ++i) journal += Line(i, kAwkwardStation);
  journal += Line(3, kAwkwardStation, false);  // an older line without an id
  results::CResultsDatabase station(RoleConninfo(results::kStationRole, kPassword));
  const auto rows = Rows(journal + Line(0, kAwkwardStation));  // a line twice in one batch
  const results::PushResult first = station.Insert(rows);
  ASSERT_FALSE(first.error) << first.error->message;
  EXPECT_EQ(first.sent, 4u);
  EXPECT_EQ(first.alreadyThere, 1u);
  const results::PushResult again = station.Insert(Rows(journal));
  ASSERT_FALSE(again.error) << again.error->message;
  EXPECT_EQ(again.sent, 0u);
  EXPECT_EQ(again.alreadyThere, 4u);
  EXPECT_EQ(Value("SELECT count(DISTINCT station) || ' ' || bool_and(station = " +
                  std::string("E'") + "Line \"4\"; \\'); DROP TABLE navlume.results; -- \\\\N \xC3\x9F\xE5\x8C\x97\\t$1'" +
                  ") FROM navlume.results"),
            "1 true");
  EXPECT_EQ(Value("SELECT count(*) FROM navlume.results WHERE id = '00000001-0000-4000-8000-000000000001'"), "1");
}

TEST_F(ResultsDatabaseTest, ServerStoppedBetweenBatchesLosesNothingOnceItIsBack) {
  InitSchema();
  std::string first = kHeader;
  std::string second = kHeader;
  for (int i = 0; i < 50; ++i) (i < 25 ? first : second) += Line(i, "S", i % 2 == 0);
  results::CResultsDatabase database(Conninfo());
  ASSERT_FALSE(database.Insert(Rows(first)).error);
  ASSERT_TRUE(Server().Stop());
  const results::PushResult refused = database.Insert(Rows(second));
  ASSERT_TRUE(refused.error);
  EXPECT_EQ(refused.error->fault, DatabaseFault::Unreachable) << refused.error->message;
  ASSERT_TRUE(Server().Start());
  const results::PushResult caughtUp = database.Insert(Rows(first + second.substr(std::strlen(kHeader))));
  ASSERT_FALSE(caughtUp.error) << caughtUp.error->message;
  EXPECT_EQ(caughtUp.sent, 25u);
  EXPECT_EQ(caughtUp.alreadyThere, 25u);
  ASSERT_TRUE(Server().Stop() && Server().Start());  // the kept connection dies with the server
  const results::PushResult afterRestart = database.Insert(Rows(first));
  EXPECT_FALSE(afterRestart.error) << afterRestart.error->message;
  EXPECT_EQ(afterRestart.alreadyThere, 25u);
  EXPECT_EQ(Value("SELECT count(*) FROM navlume.results"), "50");
}

}  // namespace
