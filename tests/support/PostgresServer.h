#pragma once
// A private PostgreSQL server for the suites: initdb and pg_ctl in a fresh
// temporary folder, listening on a Unix socket there and nowhere else, run
// as the unprivileged system user postgres when the suites run as root
// (PostgreSQL refuses to run as root). The superuser postgres logs in
// without a password; every other role with its password (scram-sha-256).
// Started once per suite (PostgresSuite), stopped and removed at its end.

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/Ci.h"
#include "support/Command.h"
#include "support/TempFolder.h"

namespace navlume_test {

inline constexpr const char* kPostgresUser = "postgres";
inline constexpr const char* kPostgresPort = "5432";  // names the socket file only

class PostgresServer {
 public:
  // The folder of initdb and pg_ctl: the newest /usr/lib/postgresql/N/bin, else
  // the folders of PATH; empty when there is none.
  static std::filesystem::path BinFolder() {
    std::vector<std::filesystem::path> found;
    std::error_code ignored;
    for (const auto& version : std::filesystem::directory_iterator("/usr/lib/postgresql", ignored)) {
      if (std::filesystem::exists(version.path() / "bin" / "pg_ctl")) found.push_back(version.path() / "bin");
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
      return std::stoi(a.parent_path().filename().string()) < std::stoi(b.parent_path().filename().string());
    });
    if (!found.empty()) return found.back();
    const char* path = std::getenv("PATH");
    std::string folders = path == nullptr ? "" : path;
    for (size_t start = 0; start <= folders.size();) {
      const size_t colon = std::min(folders.find(':', start), folders.size());
      const std::filesystem::path folder = folders.substr(start, colon - start);
      if (std::filesystem::exists(folder / "pg_ctl") && std::filesystem::exists(folder / "initdb")) return folder;
      start = colon + 1;
    }
    return {};
  }

  // Why a server cannot run here; null when it can.
  static const char* Missing() {
    if (BinFolder().empty()) return "PostgreSQL is not installed (Debian package postgresql)";
    if (::geteuid() == 0 && ::getpwnam(kPostgresUser) == nullptr) return "no system user postgres to run the server as";
    return nullptr;
  }

  // Creates the cluster and starts it; Running() says whether it did.
  PostgresServer() : m_Bin(BinFolder()) {
    if (const passwd* user = ::geteuid() == 0 ? ::getpwnam(kPostgresUser) : nullptr) {
      std::filesystem::permissions(m_Folder.Path(), std::filesystem::perms::owner_all);
      if (::chown(m_Folder.Path().c_str(), user->pw_uid, user->pw_gid) != 0) return;
      m_AsUser = "runuser -u " + std::string(kPostgresUser) + " -- ";
    }
    const CommandResult created =
        AsServer("initdb", "-D " + Quote(Data()) + " -U " + kPostgresUser +
                               " -E UTF8 --locale=C --no-sync --auth-local=trust --auth-host=reject");
    if (created.status != 0) {
      ADD_FAILURE() << "initdb failed: " << created.out << created.err;
      return;
    }
    std::ofstream(Data() + "/pg_hba.conf", std::ios::trunc) << "local all " << kPostgresUser
                                                              << " trust\nlocal all all scram-sha-256\n";
    m_bRunning = Start();
  }
  ~PostgresServer() {
    if (m_bRunning) {
      Resume();
      AsServer("pg_ctl", "-D " + Quote(Data()) + " -m immediate -w stop");
    }
  }
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  bool Running() const { return m_bRunning; }

  bool Start() {
    const std::string options = "-c listen_addresses='' -k " + m_Folder.Path().string() + " -p " + kPostgresPort +
                                " -c fsync=off -c synchronous_commit=off -c full_page_writes=off";
    const CommandResult started = AsServer(
        "pg_ctl", "-D " + Quote(Data()) + " -l " + Quote(Data() + "/log") + " -w -t 60 -o " + Quote(options) + " start");
    return m_bRunning = started.status == 0;
  }
  // Ends the sessions and stops the server, as at a shutdown.
  bool Stop() {
    m_bRunning = false;
    return AsServer("pg_ctl", "-D " + Quote(Data()) + " -m fast -w stop").status == 0;
  }
  // Stops (SIGSTOP) or resumes (SIGCONT) the server and its sessions: it answers nothing while paused.
  void Pause() { SignalAll(SIGSTOP); }
  void Resume() { SignalAll(SIGCONT); }

  // A libpq connection string to `database` as `user`, over the socket.
  std::string Conninfo(const std::string& database = "postgres", const std::string& user = kPostgresUser) const {
    return "host=" + m_Folder.Path().string() + " port=" + kPostgresPort + " dbname=" + database + " user=" + user;
  }

  // Runs SQL as the superuser through psql; its result (standard output: rows unaligned, "|" between fields).
  CommandResult Sql(const std::string& sql, const std::string& database = "postgres") const {
    return RunCommand(Quote((m_Bin / "psql").string()) + " -X -q -A -t -v ON_ERROR_STOP=1 " +
                          Quote("--dbname=" + Conninfo(database)) + " -c " + Quote(sql),
                      m_Folder.Path());
  }

  const std::filesystem::path& Folder() const { return m_Folder.Path(); }

 private:
  std::string Data() const { return (m_Folder.Path() / "data").string(); }

  CommandResult AsServer(const char* program, const std::string& arguments) const {
    TempFolder output;
    return RunCommand(m_AsUser + Quote((m_Bin / program).string()) + " " + arguments, output.Path());
  }

  // The postmaster and every process it started.
  void SignalAll(int signal) const {
    std::ifstream pidFile(Data() + "/postmaster.pid");
    pid_t postmaster = 0;
    if (!(pidFile >> postmaster) || postmaster <= 0) return;
    ::kill(postmaster, signal);
    std::error_code ignored;
    for (const auto& process : std::filesystem::directory_iterator("/proc", ignored)) {
      std::ifstream stat(process.path() / "stat");
      std::string line;
      std::getline(stat, line);
      const size_t end = line.rfind(')');
      if (end == std::string::npos) continue;
      char state = 0;
      pid_t parent = 0;
      std::istringstream(line.substr(end + 1)) >> state >> parent;
      if (parent == postmaster) ::kill(std::stoi(process.path().filename().string()), signal);
    }
  }

  std::filesystem::path m_Bin;
  TempFolder m_Folder;
  std::string m_AsUser;
  bool m_bRunning = false;
};

// A suite with one server for all its tests, and a fresh database for each test.
class PostgresSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (PostgresServer::Missing() == nullptr) s_Server = std::make_unique<PostgresServer>();
  }
  static void TearDownTestSuite() { s_Server.reset(); }

  void SetUp() override {
    if (const char* missing = PostgresServer::Missing()) {
      if (UnderCi()) FAIL() << missing;
      GTEST_SKIP() << missing;
    }
    if (!s_Server->Running()) s_Server->Start();
    ASSERT_TRUE(s_Server->Running()) << ReadText(s_Server->Folder() / "data" / "log");
    m_Database = "test_" + std::to_string(++s_uDatabases);
    const CommandResult created = s_Server->Sql("CREATE DATABASE " + m_Database);
    ASSERT_EQ(created.status, 0) << created.err;
  }


 public:
  PostgresServer& Server() { return *s_Server; }
  const std::string& Database() const { return m_Database; }
  std::string Conninfo(const std::string& user = kPostgresUser) const { return s_Server->Conninfo(m_Database, user); }
  // The first field of the first row of `sql` in the test's database, run as the superuser.
  std::string Value(const std::string& sql) const {
    std::string out = s_Server->Sql(sql, m_Database).out;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }

 private:
  static inline std::unique_ptr<PostgresServer> s_Server;
  static inline unsigned s_uDatabases = 0;
  std::string m_Database;
};

}  // namespace navlume_test
