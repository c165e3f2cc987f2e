#pragma once
// "Signal" (dialog 104): satellites in view and used, and twelve channel bars
// drawn by the page where the form's hidden placeholders are.

#include "app/GPSPage.h"
#include "app/HeardRecord.h"
#include "nmea/GnssSystem.h"

class CSignalPage : public CGPSPage {
 public:
  CSignalPage();

  bool OnInitDialog() override;
  // Device thread: keeps a copy of the record and asks for a repaint when the sky it draws changed.
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;
  void OnPaint(QPainter& painter) override;

 private:
  void DrawChannel(QPainter& painter, int channel, const GpsPosition& record, char systemLetter);

  CHeardRecord m_Heard;
};
