#pragma once
// The production sheet's "Main" page (dialog 110): one panel per receiver
// under test with its title, satellites in view and used, average SNR with
// the verdict, TTFF with its state and twelve signal bars. The counting and
// the verdicts are CProductionTest's; the page ticks it once a second and
// paints what it holds. Every test that finishes is added to the result journal.

#include <QBrush>
#include <QPen>

#include "app/GPSPage.h"
#include "prodtest/ProductionTest.h"

class CPortConf;

class CPrdTestPage : public CGPSPage {
 public:
  explicit CPrdTestPage(CPortConf& conf);

  // 0 (logged) beyond two receivers.
  int AddDevice(CGPSDevice* device);

  bool OnInitDialog() override;
  void OnTimer(int timerId) override;
  void OnPaint(QPainter& painter) override;
  // Device thread: the record goes to the test under its lock; the page is
  // asked to repaint without waiting for the UI thread.
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;

  const CProductionTest& Test() const { return m_Test; }

 private:
  void DrawSignalBars(QPainter& painter, int panel, const GpsPosition& position);

  CProductionTest m_Test;
  QPen m_FramePen;
  QBrush m_FrameBrush;
  QBrush m_FixBrush;
  QBrush m_NoFixBrush;
};
