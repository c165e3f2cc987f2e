#pragma once
// "History" (dialog 113), shown when device.ini or --history turns it on:
// the last five minutes of C/N0 of the satellites in view, one line each,
// and a strip of the satellites the fix used. The device thread feeds the
// history and asks for a repaint, which the sheet paces to one a second.

#include <mutex>

#include "app/GPSPage.h"
#include "nmea/SignalHistory.h"

class CHistoryPage : public CGPSPage {
 public:
  CHistoryPage();

  bool OnInitDialog() override;
  // Device thread: adds the record to the history under the page's lock and asks for a repaint.
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;
  void OnPaint(QPainter& painter) override;

 private:
  std::mutex m_Lock;  // guards the two below
  SignalHistory m_History;
  uint32_t m_FixQuality = 0;
};
