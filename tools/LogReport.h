#pragma once
// What navlume-cli report makes of an NMEA log: its signal history (the fix,
// the DOPs, the satellites and their C/N0 on each signal, the position
// scatter) as a short text, one JSON object, or a section of one
// self-contained HTML page with inline SVG charts and the satellites' table.

#include <string>
#include <vector>

#include "nmea/HistoryFeed.h"
#include "nmea/SignalHistory.h"

class LogReport {
 public:
  explicit LogReport(std::string file) : m_File(std::move(file)) {}
  LogReport(const LogReport&) = delete;
  LogReport& operator=(const LogReport&) = delete;

  // Set as the parser's observer while the log is fed; Finish() after its end.
  NmeaObserver& Observer() { return m_Feed; }
  void Finish() { m_Feed.Finish(); }

  const std::string& File() const { return m_File; }
  const SignalHistory& History() const { return m_History; }
  std::string TimeText(double second) const { return m_Feed.TimeText(second); }

 private:
  std::string m_File;
  SignalHistory m_History;
  HistoryFeed m_Feed{m_History};
};

std::string ReportText(const LogReport& report);
// One line.
std::string ReportJson(const LogReport& report);
std::string ReportHtml(const std::vector<const LogReport*>& reports);
