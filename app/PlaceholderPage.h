#pragma once
// A page that only names its tab: stands in for a page class that the
// program does not have yet, with the right kind and dialog id.

#include <QString>

#include "app/GPSPage.h"

class CPlaceholderPage : public CGPSPage {
 public:
  CPlaceholderPage(int pageKind, int dialogId, const QString& title);
  void OnGPSData(CGPSDevice*, GpsPosition) override {}
};
