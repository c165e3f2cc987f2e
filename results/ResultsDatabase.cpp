#include "results/ResultsDatabase.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

#include "platform/DeviceProfile.h"
#include "platform/Time.h"
#include "results/Schema.h"

namespace results {
namespace {

using Clock = std::chrono::steady_clock;
using ResultPointer = std::unique_ptr<PGresult, decltype(&PQclear)>;

constexpr const char* kApplicationName = "navlume";
constexpr const char* kPasswordKey = "password";
constexpr const char* kHidden = "***";
constexpr int64_t kSchemaLock = 0x6e61766c756d65;  // "navlume": one db init at a time
constexpr const char* kSqlStateUndefinedTable = "42P01";
constexpr const char* kSqlStateUndefinedSchema = "3F000";
constexpr const char* kSqlStateUndefinedFunction = "42883";
constexpr const char* kSqlStateNoPrivilege = "42501";
constexpr size_t kCopyChunk = 1 << 16;

ResultPointer Owned(PGresult* result) { return ResultPointer(result, &PQclear); }

// The first line of libpq's message, without the "FATAL:  " a server puts in front.
std::string FirstLine(const char* message) {
  std::string line = message == nullptr ? "" : message;
  line = line.substr(0, line.find('\n'));
  for (const char* prefix : {"FATAL:  ", "ERROR:  "}) {
    if (const size_t at = line.find(prefix); at != std::string::npos) line.erase(at, std::strlen(prefix));
  }
  return line;
}

bool Mentions(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// libpq's messages may quote a piece of the connection string: every text
// that may be a password is hidden from them.
std::string WithoutSecrets(std::string message, const std::string& conninfo) {
  std::vector<std::string> secrets;
  for (size_t at = conninfo.find(kPasswordKey); at != std::string::npos; at = conninfo.find(kPasswordKey, at + 1)) {
    size_t start = conninfo.find_first_not_of(" =", at + std::strlen(kPasswordKey));
    if (start == std::string::npos) break;
    secrets.push_back(conninfo.substr(start, conninfo.find_first_of(" &", start) - start));
  }
  if (const size_t scheme = conninfo.find("://"); scheme != std::string::npos) {
    const size_t at = conninfo.find('@', scheme);
    const size_t colon = conninfo.find(':', scheme + 3);
    if (at != std::string::npos && colon < at) secrets.push_back(conninfo.substr(colon + 1, at - colon - 1));
  }
  for (std::string secret : secrets) {
    if (!secret.empty() && secret.front() == '\'') secret.erase(0, 1);
    if (!secret.empty() && secret.back() == '\'') secret.pop_back();
    if (secret.empty()) continue;
    for (size_t at = message.find(secret); at != std::string::npos; at = message.find(secret, at + 1)) {
      message.replace(at, secret.size(), kHidden);
    }
  }
  return message;
}

DatabaseError Error(DatabaseFault fault, std::string message) { return {fault, std::move(message)}; }

}  // namespace

// One libpq connection, driven without blocking against a deadline.
class CResultsDatabase::CConnection {
 public:
  CConnection(PGconn* connection, Clock::duration attempt) : m_Connection(connection), m_Attempt(attempt) {
    PQsetNoticeProcessor(m_Connection, [](void*, const char*) {}, nullptr);
  }
  ~CConnection() { PQfinish(m_Connection); }
  CConnection(const CConnection&) = delete;
  CConnection& operator=(const CConnection&) = delete;

  PGconn* Handle() const { return m_Connection; }
  std::string Message() const { return FirstLine(PQerrorMessage(m_Connection)); }

  // Waits until the socket can be read (or written, too, when `write`); false at the deadline or on an error.
  bool Wait(bool write, Clock::time_point deadline) const {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd socket{PQsocket(m_Connection), static_cast<short>(POLLIN | (write ? POLLOUT : 0)), 0};
      const int ready = ::poll(&socket, 1, static_cast<int>(left));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
    }
  }

  Clock::time_point Deadline() const { return Clock::now() + m_Attempt; }

  // Sends what libpq holds; false on an error or at the deadline (`timedOut`).
  bool Flush(Clock::time_point deadline, bool& timedOut) const {
    for (;;) {
      const int left = PQflush(m_Connection);
      if (left <= 0) return left == 0;
      if (!Wait(true, deadline)) return !(timedOut = true);
      if (PQconsumeInput(m_Connection) == 0) return false;
    }
  }

  // The next result of the statement sent; null when it has no more, or on an error or the deadline (`timedOut`).
  ResultPointer Next(Clock::time_point deadline, bool& timedOut) const {
    while (PQisBusy(m_Connection) != 0) {
      if (!Wait(false, deadline)) {
        timedOut = true;
        return Owned(nullptr);
      }
      if (PQconsumeInput(m_Connection) == 0) return Owned(nullptr);
    }
    return Owned(PQgetResult(m_Connection));
  }

  // Sends a COPY's data and its end; false on an error or at the deadline (`timedOut`).
  bool SendCopy(const std::string& data, Clock::time_point deadline, bool& timedOut) const {
    for (size_t at = 0; at < data.size();) {
      const size_t length = std::min(kCopyChunk, data.size() - at);
      const int sent = PQputCopyData(m_Connection, data.data() + at, static_cast<int>(length));
      if (sent < 0) return false;
      if (sent == 0) {
        if (!Wait(true, deadline)) return !(timedOut = true);
        if (PQconsumeInput(m_Connection) == 0) return false;
        continue;
      }
      at += length;
    }
    int ended = 0;
    while ((ended = PQputCopyEnd(m_Connection, nullptr)) == 0) {
      if (!Wait(true, deadline)) return !(timedOut = true);
    }
    return ended > 0 && Flush(deadline, timedOut);
  }

 private:
  PGconn* m_Connection;
  Clock::duration m_Attempt;
};

namespace {

// The outcome of one statement: its last result, or why it has none.
struct Outcome {
  ResultPointer result = Owned(nullptr);
  std::optional<DatabaseError> error;
};

DatabaseFault FaultOfState(const char* state) {
  if (state == nullptr) return DatabaseFault::Refused;
  for (const char* missing : {kSqlStateUndefinedTable, kSqlStateUndefinedSchema, kSqlStateUndefinedFunction}) {
    if (std::strcmp(state, missing) == 0) return DatabaseFault::NoSchema;
  }
  return std::strcmp(state, kSqlStateNoPrivilege) == 0 ? DatabaseFault::NoRight : DatabaseFault::Refused;
}

std::string Explained(DatabaseFault fault, const std::string& detail, const std::string& target) {
  switch (fault) {
    case DatabaseFault::NoSchema:
      return "the results database " + target + " has no navlume tables (run navlume-cli db init): " + detail;
    case DatabaseFault::NoRight:
      return "the results database " + target + " refused a right this needs: " + detail;
    default:
      return "the results database " + target + " refused: " + detail;
  }
}

}  // namespace

std::string ConfiguredConninfo(const std::string& option) {
  return option.empty() ? platform::CurrentDeviceProfile().resultsDatabase : option;
}

CResultsDatabase::CResultsDatabase(std::string conninfo, uint32_t attemptMs)
    : m_Conninfo(std::move(conninfo)), m_uAttemptMs(attemptMs) {}

CResultsDatabase::~CResultsDatabase() = default;

void CResultsDatabase::Disconnect() { m_Connection.reset(); }

std::string CResultsDatabase::Target() const {
  PQconninfoOption* options = PQconninfoParse(m_Conninfo.c_str(), nullptr);
  if (options == nullptr) return "(connection string unreadable)";
  std::string database;
  std::string host;
  std::string service;
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (option->val == nullptr) continue;
    const std::string keyword = option->keyword;
    if (keyword == "dbname") database = option->val;
    if (keyword == "host") host = option->val;
    if (keyword == "service") service = option->val;
  }
  PQconninfoFree(options);
  std::string target = "\"" + (database.empty() ? std::string("(default)") : database) + "\"";
  if (!host.empty()) target += " on " + host;
  if (!service.empty()) target += " of service " + service;
  return target;
}

std::optional<DatabaseError> CResultsDatabase::Connect() {
  if (m_Connection && PQstatus(m_Connection->Handle()) == CONNECTION_OK) return std::nullopt;
  m_Connection.reset();
  char* parseError = nullptr;
  PQconninfoOption* options = PQconninfoParse(m_Conninfo.c_str(), &parseError);
  if (options == nullptr) {
    std::string why = parseError == nullptr ? "out of memory" : FirstLine(parseError);
    PQfreemem(parseError);
    return Error(DatabaseFault::BadConnectionString,
                 "cannot read the results database's connection string: " + WithoutSecrets(why, m_Conninfo));
  }
  bool password = false;
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    password = password || (std::strcmp(option->keyword, kPasswordKey) == 0 && option->val != nullptr);
  }
  PQconninfoFree(options);
  if (password) {
    return Error(DatabaseFault::BadConnectionString,
                 "the results database's connection string holds a password: keep it in ~/.pgpass, PGPASSFILE "
                 "or a service file instead");
  }
  const auto attempt = platform::ScaledDuration(m_uAttemptMs);
  // Later keys win: the string's own connect_timeout wins over ours; the encoding is always ours.
  const std::string timeoutSeconds =
      std::to_string(std::max<int64_t>(2, static_cast<int64_t>(std::ceil(std::chrono::duration<double>(attempt).count()))));
  const char* keys[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
  const char* values[] = {timeoutSeconds.c_str(), kApplicationName, m_Conninfo.c_str(), "UTF8", nullptr};
  PGconn* handle = PQconnectStartParams(keys, values, 1);
  if (handle == nullptr) return Error(DatabaseFault::Unreachable, "cannot connect to the results database: out of memory");
  auto connection = std::make_unique<CConnection>(handle, std::chrono::duration_cast<Clock::duration>(attempt));
  const auto deadline = connection->Deadline();
  PostgresPollingStatusType state = PQstatus(handle) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
  while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
    if (!connection->Wait(state == PGRES_POLLING_WRITING, deadline)) {
      return Error(DatabaseFault::Timeout, "the results database " + Target() + " did not answer within " +
                                               std::to_string(m_uAttemptMs / 1000) + " s");
    }
    state = PQconnectPoll(handle);
  }
  if (state == PGRES_POLLING_FAILED) {
    const std::string detail = WithoutSecrets(connection->Message(), m_Conninfo);
    if (Mentions(detail, "password") || Mentions(detail, "authentication failed")) {
      return Error(DatabaseFault::Authentication,
                   "the results database " + Target() + " refused the login (wrong or missing password; keep it in "
                   "~/.pgpass): " + detail);
    }
    if (Mentions(detail, "database") && Mentions(detail, "does not exist")) {
      return Error(DatabaseFault::NoDatabase, "the results database " + Target() + " does not exist: " + detail);
    }
    if (Mentions(detail, "role") && Mentions(detail, "does not exist")) {
      return Error(DatabaseFault::Authentication, "the results database " + Target() + " has no such user: " + detail);
    }
    if (Mentions(detail, "permission denied")) {
      return Error(DatabaseFault::NoRight, "the results database " + Target() + " refused a right this needs: " + detail);
    }
    return Error(DatabaseFault::Unreachable, "cannot reach the results database " + Target() + ": " + detail);
  }
  if (PQsetnonblocking(handle, 1) != 0) {
    return Error(DatabaseFault::Unreachable, "cannot reach the results database " + Target() + ": " + connection->Message());
  }
  m_Connection = std::move(connection);
  return std::nullopt;
}


// Sends one statement (several, separated by semicolons, when it has no
// parameters), feeds a COPY FROM STDIN `copyData`, and keeps every result.
struct CResultsDatabase::Statement {
  std::vector<ResultPointer> results;
  std::optional<DatabaseError> error;
};

CResultsDatabase::Statement CResultsDatabase::Run(const std::string& sql, const std::vector<std::string>& parameters,
                                                  const std::string& copyData) {
  Statement statement;
  if (auto error = Connect()) {
    statement.error = std::move(error);
    return statement;
  }
  const CConnection& connection = *m_Connection;
  PGconn* handle = connection.Handle();
  std::vector<const char*> values;
  for (const std::string& parameter : parameters) values.push_back(parameter.c_str());
  const int sent = parameters.empty()
                       ? PQsendQuery(handle, sql.c_str())
                       : PQsendQueryParams(handle, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                           values.data(), nullptr, nullptr, 0);
  const auto deadline = connection.Deadline();
  bool timedOut = false;
  bool lost = sent == 0 || !connection.Flush(deadline, timedOut);
  std::optional<DatabaseError> refused;
  while (!lost) {
    ResultPointer result = connection.Next(deadline, timedOut);
    if (!result) {
      lost = timedOut || PQstatus(handle) == CONNECTION_BAD;
      break;
    }
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COPY_IN) {
      lost = !connection.SendCopy(copyData, deadline, timedOut);
    } else if (status == PGRES_FATAL_ERROR || status == PGRES_NONFATAL_ERROR) {
      if (!refused) {
        const DatabaseFault fault = FaultOfState(PQresultErrorField(result.get(), PG_DIAG_SQLSTATE));
        refused = Error(fault, Explained(fault, WithoutSecrets(FirstLine(PQresultErrorMessage(result.get())), m_Conninfo),
                                         Target()));
      }
    } else {
      statement.results.push_back(std::move(result));
    }
  }
  if (timedOut) {
    statement.error = Error(DatabaseFault::Timeout, "the results database " + Target() + " did not answer within " +
                                                        std::to_string(m_uAttemptMs / 1000) + " s");
  } else if (lost) {
    statement.error = Error(DatabaseFault::Unreachable, "lost the connection to the results database " + Target() +
                                                            ": " + WithoutSecrets(connection.Message(), m_Conninfo));
  } else {
    statement.error = std::move(refused);
  }
  if (statement.error) Disconnect();  // a dropped connection rolls its transaction back
  return statement;
}

namespace {

// A field as COPY's text form holds it.
void AppendCopyField(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

constexpr std::string_view kCopyNull = "\\N";

void AppendCopyRow(std::string& out, const ResultRow& row) {
  const auto count = [](const std::optional<uint32_t>& value) {
    return value ? std::to_string(*value) : std::string(kCopyNull);
  };
  const std::string fields[] = {
      row.id.empty() ? std::string(kCopyNull) : row.id, row.utc, row.port, row.receiver, row.testType,
      count(row.ttffSeconds), row.timedOut ? "1" : "0", std::to_string(row.averageSnr),
      std::to_string(row.passLevel), row.passed ? "Pass" : "Fail", count(row.satellitesInView),
      count(row.satellitesUsed), row.reason, row.station};
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) out += '\t';
    first = false;
    if (field == kCopyNull) {
      out += kCopyNull;
    } else {
      AppendCopyField(out, field);
    }
  }
  out += '\n';
}

uint64_t RowsOf(const ResultPointer& result) {
  const char* tuples = PQcmdTuples(result.get());
  return tuples == nullptr || *tuples == '\0' ? 0 : std::strtoull(tuples, nullptr, 10);
}

}  // namespace

PushResult CResultsDatabase::Insert(const std::vector<ResultRow>& rows) {
  if (rows.empty()) return {};
  std::string copy;
  for (const ResultRow& row : rows) AppendCopyRow(copy, row);
  // A connection kept from before may have died with a server that restarted
  // since: the batch goes again once on a new one (the insert is idempotent).
  const bool kept = m_Connection != nullptr;
  PushResult pushed = InsertCopy(copy, rows.size());
  if (kept && pushed.error && pushed.error->fault == DatabaseFault::Unreachable) pushed = InsertCopy(copy, rows.size());
  return pushed;
}

PushResult CResultsDatabase::InsertCopy(const std::string& copy, size_t rows) {
  PushResult pushed;
  const std::string begin = std::string("BEGIN; ") + kCreateIncoming;
  for (const auto& [sql, data] : {std::pair{begin, std::string()}, std::pair{std::string(kCopyIncoming), copy}}) {
    if (auto statement = Run(sql, {}, data); statement.error) {
      pushed.error = std::move(statement.error);
      return pushed;
    }
  }
  Statement insert = Run(std::string(kInsertIncoming) + "; COMMIT", {});
  if (insert.error || insert.results.empty()) {
    pushed.error = std::move(insert.error);
    return pushed;
  }
  pushed.sent = RowsOf(insert.results.front());
  pushed.alreadyThere = rows - pushed.sent;
  return pushed;
}

std::optional<DatabaseError> CResultsDatabase::InitSchema(int& version) {
  const std::string start = "BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) +
                            "); CREATE SCHEMA IF NOT EXISTS navlume; "
                            "CREATE TABLE IF NOT EXISTS navlume.schema_version (version integer PRIMARY KEY, "
                            "applied timestamptz NOT NULL DEFAULT now()); "
                            "SELECT coalesce(max(version), 0) FROM navlume.schema_version";
  Statement begun = Run(start, {});
  if (begun.error) return begun.error;
  version = std::atoi(PQgetvalue(begun.results.back().get(), 0, 0));
  if (version > CurrentSchemaVersion()) {
    Disconnect();
    return Error(DatabaseFault::Refused, "the results database " + Target() + " has schema version " +
                                             std::to_string(version) + ", newer than this program's " +
                                             std::to_string(CurrentSchemaVersion()));
  }
  for (const SchemaStep& step : SchemaSteps()) {
    if (step.version <= version) continue;
    Statement applied = Run(step.sql, {});
    if (!applied.error) {
      applied = Run("INSERT INTO navlume.schema_version (version) VALUES ($1)", {std::to_string(step.version)});
    }
    if (applied.error) return applied.error;
    version = step.version;
  }
  Statement committed = Run("COMMIT", {});
  return committed.error;
}

std::optional<DatabaseError> CResultsDatabase::Query(const std::string& sql, const std::vector<std::string>& parameters,
                                                     QueryRows& rows) {
  rows.clear();
  Statement statement = Run(sql, parameters);
  if (statement.error) return statement.error;
  if (statement.results.empty()) return std::nullopt;
  const PGresult* result = statement.results.back().get();
  for (int row = 0; row < PQntuples(result); ++row) {
    auto& fields = rows.emplace_back();
    for (int column = 0; column < PQnfields(result); ++column) {
      if (PQgetisnull(result, row, column) != 0) {
        fields.emplace_back();
      } else {
        fields.emplace_back(PQgetvalue(result, row, column));
      }
    }
  }
  return std::nullopt;
}

}  // namespace results
