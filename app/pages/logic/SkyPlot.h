#pragma once
// Geometry of the sky view: where the background bitmap goes on the page, and
// where each satellite's marker and label go on it. The zenith is the plot's
// centre and the horizon its radius; north is up and east to the right.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/pages/logic/SignalBars.h"
#include "nmea/GpsPosition.h"

constexpr int kSkyBitmapSmall = 502;  // 231 x 239
constexpr int kSkyBitmapLarge = 503;  // 462 x 478
constexpr int kSkyMarkerSize = 2;
constexpr int kSkyMarkerPenWidth = 2;
constexpr double kHorizonElevation = 0.0;
constexpr double kZenithElevation = 90.0;

struct PixelPoint {
  int x = 0;
  int y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// What the page knows about its screen when it paints.
struct SkyScreen {
  int screenWidth = 0;
  int screenHeight = 0;
  int layoutCode = 0;
  int pageTop = 0;       // the page's top edge below the screen's top
  int scrollOffset = 0;  // sum of the page's vertical scroll deltas
};

// 503 on the 480- and 640-wide layouts (codes 2 and 3), else 502.
int SkyBitmapId(int layoutCode);

// Top-left corner of a w x h background bitmap on the page.
PixelPoint SkyBitmapOrigin(const SkyScreen& screen, int bitmapWidth, int bitmapHeight);

struct SkyPlotFrame {
  double centreX = 0;
  double centreY = 0;
  double radius = 0;  // the horizon
};
SkyPlotFrame MakeSkyPlotFrame(PixelPoint bitmapOrigin, int bitmapWidth, int bitmapHeight);

// Elevation clamped to 0..90 (a negative value sent as an unsigned number
// counts as below the horizon); azimuth in degrees from north, clockwise.
PixelPoint SatellitePosition(const SkyPlotFrame& frame, uint32_t elevation, uint32_t azimuth);

// The marker's rectangle and the label's box (top-left at the marker's right).
PixelRect SkyMarkerRect(PixelPoint position);
PixelRect SkyLabelBox(PixelPoint position);
// "%d(E:%d,A:%d)" of PRN, elevation and azimuth; the PRN after its system's
// letter when there is one.
std::string SatelliteLabel(uint32_t prn, uint32_t elevation, uint32_t azimuth, char systemLetter = 0);
// The label of in-view slot `slot` on the plot of `bitmapId`. A sky of several
// systems (a system letter given) on the small plot labels each satellite by
// its name alone: twelve full labels do not fit there, and the marker's place
// shows elevation and azimuth.
std::string SkyLabel(const GpsPosition& record, size_t slot, char systemLetter, int bitmapId);

// Slots of the record that hold satellites in view (at most the record's 12).
size_t SatellitesToDraw(const GpsPosition& record);
