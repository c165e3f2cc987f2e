#pragma once
// The line's results database (PostgreSQL, through libpq): one connection
// that stores journal lines idempotently, creates or updates the schema, and
// runs the summaries' queries. Every attempt is bounded: connecting and each
// statement must finish within the attempt time, measured on the scaled
// clock (platform/Time.h), so a server that stops answering (paused, a cable
// pulled) costs one attempt and never hangs the caller. The socket is
// driven without blocking; only a host name lookup may block on its own.
//
// The connection string is libpq's (key=value pairs or a postgresql:// URI;
// sslmode, service and the other options as libpq documents them). A
// password in it is refused: passwords come from ~/.pgpass, PGPASSFILE or a
// service file. No message this class gives names a password.
//
// Not thread-safe: one thread uses one object. A failed attempt drops the
// connection; the next call connects again.
//
//   results::CResultsDatabase database(conninfo);
//   const results::PushResult pushed = database.Insert(rows);
//   if (pushed.error) log(pushed.error->message);   // the rows wait; try again later

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "results/ResultRow.h"

namespace results {

// The most one attempt (connecting, or one statement) may take, in system milliseconds.
inline constexpr uint32_t kDefaultAttemptMs = 10000;

// Why the database did not do what was asked.
enum class DatabaseFault {
  BadConnectionString,  // libpq cannot read it, or it holds a password
  Unreachable,          // no server answers there (down, refused, no such host or socket)
  NoDatabase,           // the server has no such database
  Authentication,       // wrong or missing password, or no such user
  NoSchema,             // the tables are missing: navlume-cli db init was not run
  NoRight,              // the user lacks a right the call needs
  Timeout,              // the server did not answer within the attempt time
  Refused,              // the server refused the statement for another reason
};

struct DatabaseError {
  DatabaseFault fault = DatabaseFault::Refused;
  std::string message;  // one line naming the cause; never a password
};

// What Insert did: lines stored now and lines that were there before (by
// their id); on error nothing of the batch is stored (one transaction).
struct PushResult {
  uint64_t sent = 0;
  uint64_t alreadyThere = 0;
  std::optional<DatabaseError> error;
};

// One result set, as text: rows of fields (empty optional for NULL).
using QueryRows = std::vector<std::vector<std::optional<std::string>>>;

// The connection string to use: `option` (--database) when given, else
// device.ini's [results] database of the current device root; empty: none set.
std::string ConfiguredConninfo(const std::string& option);

class CResultsDatabase {
 public:
  explicit CResultsDatabase(std::string conninfo, uint32_t attemptMs = kDefaultAttemptMs);
  ~CResultsDatabase();
  CResultsDatabase(const CResultsDatabase&) = delete;
  CResultsDatabase& operator=(const CResultsDatabase&) = delete;

  // Connects when not connected; none when connected.
  std::optional<DatabaseError> Connect();
  void Disconnect();

  // Stores the rows in one transaction (COPY into a temporary table, then one
  // INSERT ... ON CONFLICT DO NOTHING): a row whose id is stored already is
  // counted as already there. Connects as needed; a kept connection that
  // the server dropped (a restart) is replaced and the batch sent once more.
  PushResult Insert(const std::vector<ResultRow>& rows);

  // Creates the schema, or brings an older one up to date, in one
  // transaction; safe to run again. `version` gets the schema's version.
  std::optional<DatabaseError> InitSchema(int& version);

  // Runs one read-only query with text parameters ($1, $2 ...).
  std::optional<DatabaseError> Query(const std::string& sql, const std::vector<std::string>& parameters,
                                     QueryRows& rows);

  // The connection string's target for messages: "database navlume on /run/postgresql" (no password).
  std::string Target() const;

 private:
  class CConnection;
  struct Statement;
  Statement Run(const std::string& sql, const std::vector<std::string>& parameters, const std::string& copyData = {});
  PushResult InsertCopy(const std::string& copy, size_t rows);

  std::string m_Conninfo;
  uint32_t m_uAttemptMs;
  std::unique_ptr<CConnection> m_Connection;
};

}  // namespace results
