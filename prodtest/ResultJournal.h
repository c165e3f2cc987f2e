#pragma once
// The result journal: one CSV line per receiver of a run, written when its
// test ends or the run ends, to "\Storage Card\NAVLUME_RESULTS.CSV" when the
// card is present and takes it, else to "\Temp\NAVLUME_RESULTS.CSV". A new
// file starts with a header line. Every line carries all the writer's columns,
// the last one a random id of its own; the columns of a line are named by the
// last header above it, so when the journal's last header names other columns
// (an older version's, a foreign one's, or none at all) the current header is
// appended first. The writer finds that header as the reader does, within the
// journal's last kHeaderSearchBytes: an append reads at most that much of a
// journal however long it grows, and a header further back is written again.
// Each append is one write, flushed to the medium; a write that fails part-way
// is cut back, so the file never holds half a line.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "prodtest/ProductionTest.h"

// The journal's column names: the header line names the columns of the lines below it.
namespace journal_column {
inline constexpr std::string_view kUtc = "utc";
inline constexpr std::string_view kPort = "port";
inline constexpr std::string_view kReceiver = "receiver";
inline constexpr std::string_view kTestType = "testType";
inline constexpr std::string_view kTtffSeconds = "ttffSeconds";
inline constexpr std::string_view kTimedOut = "timedOut";
inline constexpr std::string_view kAverageSnr = "averageSnr";
inline constexpr std::string_view kPassLevel = "passLevel";
inline constexpr std::string_view kVerdict = "verdict";
inline constexpr std::string_view kSatellitesInView = "satellitesInView";
inline constexpr std::string_view kSatellitesUsed = "satellitesUsed";
inline constexpr std::string_view kReason = "reason";
inline constexpr std::string_view kStation = "station";
inline constexpr std::string_view kId = "id";  // the result's own id, that makes a line unique across the line
}  // namespace journal_column

// The columns of each line the writer appends, in order. New columns only
// ever go at the end, so the journal's first version holds the first
// kFirstJournalColumnCount of them.
inline constexpr std::array kResultJournalColumns = {
    journal_column::kUtc,        journal_column::kPort,     journal_column::kReceiver,
    journal_column::kTestType,   journal_column::kTtffSeconds, journal_column::kTimedOut,
    journal_column::kAverageSnr, journal_column::kPassLevel, journal_column::kVerdict,
    journal_column::kSatellitesInView, journal_column::kSatellitesUsed, journal_column::kReason,
    journal_column::kStation,    journal_column::kId};
inline constexpr size_t kFirstJournalColumnCount = 11;
inline constexpr size_t kStationJournalColumnCount = 13;  // the version that added reason and station
// How many of those columns each version of the journal wrote, oldest first.
inline constexpr std::array kJournalVersionColumnCounts = {kFirstJournalColumnCount, kStationJournalColumnCount,
                                                           kResultJournalColumns.size()};
// How far back from its end the writer looks for a journal's last header.
inline constexpr size_t kHeaderSearchBytes = 64 * 1024;

// "utc,port,...,station,id\r\n": the first line of a new journal; with
// `columns`, of a journal of that many first columns (kFirstJournalColumnCount:
// the first version's).
std::string ResultJournalHeader(size_t columns = kResultJournalColumns.size());

// Why a receiver's line was written.
enum class TestEndReason { Fix, Timeout, OpenFailed, Stopped };
const char* TestEndReasonText(TestEndReason reason);  // "fix", "timeout", "open failed", "stopped"

// The handheld path a line is offered to first.
std::string ResultJournalPath();
// Every handheld path the journal may be at, the card first.
std::array<std::string_view, 2> ResultJournalPaths();

// "2026-12-08T06:30:00Z,COM2:,U-BLOX7,One by one,31,0,41,35,Pass,10,9,fix,Line 4,
// 1b4e28ba-2fa1-4d3b-a3f5-ef19b5a7633b\r\n" (one line) at the current UTC time, with a new id.
std::string ResultJournalLine(const PanelSnapshot& result, int32_t testType, TestEndReason reason);

// Appends the line of one receiver; 1 when the card or \Temp has it (its handheld
// path in `writtenTo`, when given), 0 (logged) when neither took it.
int AppendTestResult(const PanelSnapshot& result, int32_t testType, TestEndReason reason,
                     std::string* writtenTo = nullptr);

// "One by one" or "At the same time".
const char* TestTypeText(int32_t testType);

// The station column: device.ini's [station] name; else, with [station]
// name_from = serial, the unit's hardware serial number when it can be read;
// else the host name.
std::string StationName();
