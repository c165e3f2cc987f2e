#pragma once
// The journal summary (prodtest/JournalSummary.h) computed in the results
// database: the server groups and counts the rows (tests, passes, failures
// by reason, the count of each TTFF, SNR, pass level and timeout value per
// group and of each SNR per pass level, the tally, SNR sum and first and last
// time of each day, each unit's first and last result) and sends only those
// counts, never the rows. The capability and drift figures are then worked
// out from those counts by the same functions as from the journals. The percentiles are then nearest-rank over
// the exact counts, the numbers percentile_disc gives in the dashboards'
// views, so the same lines summarised from their journals or from the
// database give the same report.

#include <optional>

#include "prodtest/JournalSummary.h"
#include "results/ResultsDatabase.h"

namespace results {

// Fills the empty `summary` with the database's results (its grouping and its
// since day apply); none, or why not.
std::optional<DatabaseError> SummariseDatabase(CResultsDatabase& database, CJournalSummary& summary);

}  // namespace results
