#pragma once
// The results database's schema, versioned: schema navlume holds the table
// results (one row per journal line), schema_version (one row per step
// applied), the function line_id and the dashboards' views. Each step brings
// the schema from the version before it to its own; CResultsDatabase::InitSchema
// applies the missing ones in one transaction.
//
// Lines of older journals have no id: the database derives one from the
// line's fields and its station (navlume.line_id: a name-based UUID, version
// 8, of the SHA-256 of the fields as the journal holds them), so the same
// line pushed again, from the same journal or a copy, is stored once.

#include <string>
#include <vector>

namespace results {

struct SchemaStep {
  int version;
  const char* sql;
};

// In order of version; the last one's is the current version.
const std::vector<SchemaStep>& SchemaSteps();
int CurrentSchemaVersion();

inline constexpr const char* kStationRole = "navlume_station";
inline constexpr const char* kReaderRole = "navlume_reader";

// The statements that create the station role (insert results, nothing
// else) and the reader role (summaries and dashboards) of `database`.
std::string RoleGrants(const std::string& database);

// The staging table a batch is copied into, its INSERT into navlume.results, and its columns in order.
extern const char* const kCreateIncoming;
extern const char* const kCopyIncoming;
extern const char* const kInsertIncoming;

}  // namespace results
