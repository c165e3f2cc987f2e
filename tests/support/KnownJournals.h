#pragma once
// Result journals with answers worked out by hand (in the suites that use
// them): an older journal with a later version's header in the middle (its
// columns in another order), malformed lines, and half a line at the end;
// and a journal without a header, with LF line ends.

#include <string>

namespace navlume_test {

// Malformed: lines 6, 12, 13, 14, 15, 16 and the half line 17.
inline const std::string kKnownJournal =
    "utc,port,receiver,testType,ttffSeconds,timedOut,averageSnr,passLevel,verdict,satellitesInView,satellitesUsed\r\n"
    "2026-03-01T08:00:00Z,COM2:,U-BLOX7,One by one,30,0,40,35,Pass,10,9\r\n"
    "2026-03-01T09:00:00Z,COM2:,U-BLOX7,One by one,20,0,38,35,Pass,10,9\r\n"
    "2026-03-02T08:00:00Z,COM2:,U-BLOX7,One by one,60,1,33,35,Fail,6,0\r\n"
    "2026-03-02T09:00:00Z,COM2:,U-BLOX7,One by one,45,0,34,35,Fail,8,5\r\n"
    "garbage\r\n"
    "utc,receiver,station,reason,port,testType,ttffSeconds,timedOut,averageSnr,passLevel,verdict,satellitesInView,"
    "satellitesUsed\r\n"
    "2026-03-03T08:00:00Z,OEM615,ST-9,fix,COM3:,One by one,50,0,41,35,Pass,9,8\r\n"
    "2026-03-03T09:00:00Z,OEM615,ST-9,open failed,COM3:,One by one,0,0,0,35,Fail,0,0\r\n"
    "2026-03-03T10:00:00Z,OEM615,,,COM3:,One by one,90,1,36,35,Fail,7,0\r\n"
    "2026-03-04T08:00:00Z,U-BLOX7,ST-9,fix,COM2:,One by one,10,0,45,35,Pass,11,10\r\n"
    "2026-03-04T09:00:00Z,U-BLOX7,ST-9,fix,COM2:,One by one,1O,0,45,35,Pass,11,10\r\n"
    "2026-02-30T09:00:00Z,U-BLOX7,ST-9,fix,COM2:,One by one,10,0,45,35,Pass,11,10\r\n"
    "2026-03-04T10:00:00Z,U-BLOX7,ST-9,fix,COM2:,One by one,10,2,45,35,Pass,11,10\r\n"
    "2026-03-04T11:00:00Z,U-BLOX7,ST-9,fix,COM2:,One by one,10,0,45,35,Passed,11,10\r\n"
    "2026-03-04T12:00:00Z,U-BLOX7,ST-9,fix,COM2:,One by one,10,0,45,35,Pass,11\r\n"
    "2026-03-05T08:00:00Z,OEM615,ST-9";

// The second line has no TTFF and did not time out: its reason is "timeout".
inline const std::string kHeaderlessJournal =
    "2026-02-27T08:00:00Z,COM9:,A-GPS,At the same time,25,0,31,30,Pass,7,6\n"
    "2026-02-28T08:00:00Z,COM9:,A-GPS,At the same time,,0,29,30,Fail,7,6\n";

}  // namespace navlume_test
