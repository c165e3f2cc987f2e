#pragma once
// Sends whole result journals to the results database: every line the
// database does not hold yet, in batches of one transaction each. A line the
// journal reader cannot read, or the database could not take as it stands,
// is counted as malformed and skipped. After the first batch the database
// did not take, the rest of the lines are counted as not sent, and no more
// attempts are made.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "results/ResultsDatabase.h"

namespace results {

inline constexpr size_t kPushBatchRows = 20000;

struct PushTotals {
  uint64_t sent = 0;
  uint64_t alreadyThere = 0;
  uint64_t malformed = 0;
  uint64_t notSent = 0;  // lines that could not be sent (see error)
  std::optional<DatabaseError> error;  // the first one
};

class CJournalPush {
 public:
  using MalformedHandler = std::function<void(const std::string& file, uint64_t lineNumber, const std::string& why)>;

  CJournalPush(CResultsDatabase& database, MalformedHandler onMalformed, size_t batchRows = kPushBatchRows);

  // Sends one journal; `station`: what a line without a station of its own is
  // stored under. False when the file cannot be read (errno set).
  bool PushFile(const std::string& file, const std::string& station);

  const PushTotals& Totals() const { return m_Totals; }

 private:
  void Flush();

  CResultsDatabase& m_Database;
  MalformedHandler m_OnMalformed;
  size_t m_uBatchRows;
  std::vector<ResultRow> m_Batch;
  PushTotals m_Totals;
};

}  // namespace results
