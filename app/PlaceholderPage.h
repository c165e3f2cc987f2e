#pragma once
// A page that stands in for a page class the program does not have yet, with
// the right kind and dialog id: it names its tab and sums up the newest record
// (fix, satellites, position) in one status text.

#include <QString>

#include "app/GPSPage.h"

constexpr int kPlaceholderStatusId = 9100;  // ctrlId of the status text

class CPlaceholderPage : public CGPSPage {
 public:
  CPlaceholderPage(int pageKind, int dialogId, const QString& title);
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;

  // "Fix: yes, 7 used of 9 in view, 52.12345 N 4.56789 E" and the like.
  static QString StatusText(const GpsPosition& record);

 protected:
  void ShowGPSData(CGPSDevice* device, const GpsPosition& record) override;
};
