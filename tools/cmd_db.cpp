// navlume-cli db init --database CONNINFO: creates the results database's
// schema, or brings an older one up to date, in one transaction, and prints
// the GRANT statements of the station and reader roles.

#include <cstdio>
#include <memory>
#include <string>

#include "results/ResultsDatabase.h"
#include "results/Schema.h"
#include "tools/Commands.h"

namespace {

constexpr int kExitFailed = 1;

void RunDbInit(const std::string& conninfo) {
  results::CResultsDatabase database(conninfo);
  int version = 0;
  results::QueryRows rows;
  std::optional<results::DatabaseError> error = database.InitSchema(version);
  if (!error) error = database.Query("SELECT current_database()", {}, rows);
  if (error) {
    std::fprintf(stderr, "navlume-cli db init: %s\n", error->message.c_str());
    throw CLI::RuntimeError(kExitFailed);
  }
  std::printf("Results schema version %d is in place in %s.\n\n%s", version, database.Target().c_str(),
              results::RoleGrants(*rows.front().front()).c_str());
}

constexpr const char* kDbHelp = R"(
db init creates schema navlume (table results, one row per journal line; schema_version; the
views yield_by_receiver_day, yield_by_station_day, receiver_percentiles) or brings an older one up
to date, in one transaction; running it again changes nothing. It then prints the statements that
create a station role (insert results only) and a reader role (summaries and dashboards): run them
as a database owner and give each role a password. Passwords go into ~/.pgpass, PGPASSFILE or a
service file, never into the connection string.

Exit code: 0 when the schema is in place, 1 when the database refused or could not be reached (the
cause on standard error), 2 for a command line it cannot use.
)";

}  // namespace

void AddDbCommand(CLI::App& app) {
  CLI::App* command = app.add_subcommand("db", "Set up the results database");
  command->require_subcommand(1);
  auto conninfo = std::make_shared<std::string>();
  CLI::App* init = command->add_subcommand("init", "Create or update the results schema; print the roles' grants");
  init->add_option("--database", *conninfo, "libpq connection string or URI of the results database")
      ->type_name("CONNINFO")
      ->required();
  init->footer(kDbHelp);
  init->callback([conninfo] { RunDbInit(*conninfo); });
}
