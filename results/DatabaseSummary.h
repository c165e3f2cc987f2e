#pragma once
// The journal summary (prodtest/JournalSummary.h) computed in the results
// database: the server groups and counts the rows (tests, passes, failures
// by reason, the count of each TTFF, SNR, pass level and timeout value per
// group, the tally and the first and last time of each day) and sends only
// those counts, never the rows. The percentiles are then nearest-rank over
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
