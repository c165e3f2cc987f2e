#pragma once
// "History" (dialog 113), shown when device.ini or --history turns it on:
// the last five minutes of C/N0 of the satellites in view, one line each,
// and a strip of the satellites the fix used. The device thread feeds the
// history; a one-second page timer repaints when it has changed.

#include <mutex>

#include "app/GPSPage.h"
#include "nmea/SignalHistory.h"

constexpr int kPageHistory = 6;

class CHistoryPage : public CGPSPage {
 public:
  CHistoryPage();

  bool OnInitDialog() override;
  // Device thread: adds the record to the history under the page's lock.
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;
  void OnTimer(int timerId) override;
  void OnPaint(QPainter& painter) override;

 private:
  std::mutex m_Lock;  // guards the three below
  SignalHistory m_History;
  uint32_t m_FixQuality = 0;
  bool m_bChanged = false;
};
