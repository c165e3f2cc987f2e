#pragma once
// The production sheet's "Main" page (dialog 110): one panel per receiver
// under test with its title, satellites in view and used, average SNR with
// the verdict, TTFF with its state and twelve signal bars, and a line naming
// results the journal could not take, and one naming how many results wait
// for the database. The production station runs the test: the page ticks it
// on the station's schedule and paints what it holds.

#include <QBrush>
#include <QPen>
#include <cstdint>
#include <functional>

#include "app/GPSPage.h"
#include "prodtest/ProductionStation.h"

class CPrdTestPage : public CGPSPage {
 public:
  // `resultsWaiting`: how many results wait for the database (empty: no database is set).
  using WaitingCount = std::function<uint64_t()>;
  explicit CPrdTestPage(CProductionStation& station, WaitingCount resultsWaiting = {});

  bool OnInitDialog() override;
  // The test timer: one tick of the station, then the timer is set for its next one.
  void OnTimer(int timerId) override;
  void OnPaint(QPainter& painter) override;
  // Device thread: the record goes to the station under its lock; the page is
  // asked to repaint without waiting for the UI thread.
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;

 private:
  void DrawSignalBars(QPainter& painter, int panel, const GpsPosition& position);
  void ShowUnsavedResults();
  void ShowResultsWaiting();

  CProductionStation& m_Station;
  WaitingCount m_ResultsWaiting;
  QPen m_FramePen;
  QBrush m_FrameBrush;
};
