#pragma once
// "Position" (dialog 103): the sky as seen from the receiver, with each
// satellite in view as a marker and a "PRN(E:elevation,A:azimuth)" label
// (the PRN after its system's letter in a sky of several systems), in green
// with a fix and red without.

#include <QPixmap>

#include "app/GPSPage.h"
#include "app/HeardRecord.h"
#include "nmea/GnssSystem.h"

class CSkyViewPage : public CGPSPage {
 public:
  CSkyViewPage();

  // Device thread: keeps a copy of the record and asks for a repaint when the sky it draws changed.
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;
  void OnPaint(QPainter& painter) override;

 private:
  const QPixmap& Background(int bitmapId);

  CHeardRecord m_Heard;
  int m_BackgroundId = 0;
  QPixmap m_Background;
};
