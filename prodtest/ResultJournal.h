#pragma once
// The result journal: one CSV line per finished receiver test, appended to
// "\Storage Card\NAVLUME_RESULTS.CSV" when the card is present, else to
// "\Temp\NAVLUME_RESULTS.CSV". A new file starts with a header line. Each
// append is one write, flushed to the medium; a write that fails part-way is
// cut back, so the file never holds half a line. Failures are logged only:
// the test goes on.

#include <cstdint>
#include <string>

#include "prodtest/ProductionTest.h"

constexpr const char* kResultJournalHeader =
    "utc,port,receiver,testType,ttffSeconds,timedOut,averageSnr,passLevel,verdict,satellitesInView,satellitesUsed\r\n";

// The handheld path the next line goes to.
std::string ResultJournalPath();

// "2026-12-08T06:30:00Z,COM2:,U-BLOX7,One by one,31,0,41,35,Pass,10,9\r\n" at the current UTC time.
std::string ResultJournalLine(const PanelSnapshot& result, int32_t testType);

// Appends the line of one finished test; 1 when it is on the medium, 0 (logged) otherwise.
int AppendTestResult(const PanelSnapshot& result, int32_t testType);

// "One by one" or "At the same time".
const char* TestTypeText(int32_t testType);
