// navlume-cli db init, journal push and journal --database against a real server.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/Command.h"
#include "support/PostgresServer.h"

namespace {

using navlume_test::Quote;
using navlume_test::RunCommand;

class ResultsCommandTest : public navlume_test::PostgresSuite {
 protected:
  navlume_test::CommandResult Cli(const std::string& arguments) {
    return RunCommand(Quote(NAVLUME_CLI_PATH) + " " + arguments, m_Folder.Path());
  }
  // A made-up journal of the line (scripts/sample_journal.sh).
  std::string SampleJournal(const std::string& name, const std::string& arguments) {
    const std::string file = (m_Folder.Path() / name).string();
    const auto made = RunCommand("{ bash " + Quote(NAVLUME_SOURCE_DIR "/scripts/sample_journal.sh") + " " + arguments +
                                     " >" + Quote(file) + "; }",
                                 m_Folder.Path());
    EXPECT_EQ(made.status, 0) << made.err;
    return file;
  }
  std::string Db() const { return "--database " + Quote(Conninfo()); }

  navlume_test::TempFolder m_Folder;
};

TEST_F(ResultsCommandTest, InitTwiceThenPushTwiceStoresEachLineOnce) {
  for (int run = 0; run < 2; ++run) {
    const auto init = Cli("db init " + Db());
    ASSERT_EQ(init.status, 0) << init.err;
    EXPECT_NE(init.out.find("GRANT INSERT ON navlume.results TO navlume_station;"), std::string::npos) << init.out;
  }
  EXPECT_EQ(Value("SELECT count(*) FROM navlume.schema_version"), "1");
  const std::string current = SampleJournal("ST.CSV", "300 4 5 7");
  const std::string old = SampleJournal("OLD.CSV", "200 3 5 8 old");  // no reason, station or id
  navlume_test::WriteText(m_Folder.Path() / "BAD.CSV", "utc,receiver\r\nnot,a line\r\n");
  const std::string files = Quote(current) + " " + Quote(old) + " " + Quote((m_Folder.Path() / "BAD.CSV").string());
  const auto first = Cli("journal push " + Db() + " " + files);
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "sent 500, already there 0, malformed 2, not sent 0\n") << first.err;
  const auto again = Cli("journal push " + Db() + " " + files);
  EXPECT_EQ(again.out, "sent 0, already there 500, malformed 2, not sent 0\n") << again.err;
  EXPECT_EQ(Value("SELECT count(*) FROM navlume.results"), "500");
  Server().Stop();
  const auto down = Cli("journal push " + Db() + " " + files);
  Server().Start();
  EXPECT_EQ(down.status, 1);
  EXPECT_EQ(down.out, "sent 0, already there 0, malformed 2, not sent 500\n");
  EXPECT_NE(down.err.find("cannot reach the results database"), std::string::npos) << down.err;
}

TEST_F(ResultsCommandTest, SummaryFromTheDatabaseEqualsTheSummaryFromTheFiles) {
  ASSERT_EQ(Cli("db init " + Db()).status, 0);
  const std::string files = Quote(SampleJournal("A.CSV", "3000 6 40 3")) + " " + Quote(SampleJournal("B.CSV", "1000 2 30 4 old"));
  ASSERT_EQ(Cli("journal push " + Db() + " " + files).status, 0);
  for (const char* options : {"--by receiver", "--by station", "--by day", "--by station --since 2026-01-20"}) {
    SCOPED_TRACE(options);
    const auto fromFiles = Cli(std::string("journal --json ") + options + " " + files);
    const auto fromDatabase = Cli(std::string("journal --json ") + options + " " + Db());
    ASSERT_EQ(fromDatabase.status, 0) << fromDatabase.err;
    auto expected = nlohmann::json::parse(fromFiles.out);
    auto actual = nlohmann::json::parse(fromDatabase.out);
    for (const char* total : {"files", "malformed"}) expected.erase(total), actual.erase(total);
    EXPECT_GT(expected["lines"].get<int>(), 1000);
    EXPECT_EQ(actual, expected);
  }
}

}  // namespace
