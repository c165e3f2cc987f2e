#include "app/pages/logic/SkyPlot.h"

#include "nmea/SatelliteNames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kRadiansPerDegree = 0.017453333333333335;  // 3.1416 / 180
// Share of the portrait screen's height that the bitmap is centred in.
constexpr int kPortraitPlotPercent = 80;
constexpr int kPercent = 100;
// The plot's centre sits this far above the bitmap's middle.
constexpr int kCentreRaise = 2;
// The horizon ring is inset by a tenth of the bitmap's width.
constexpr int kRadiusInsetDivisor = 10;
constexpr int kLabelLeftGap = 3;
constexpr int kLabelHalfHeight = 5;
constexpr int kLabelWidth = 10;

bool ScrollingLayout(int layoutCode) { return layoutCode == 1 || layoutCode == 3 || layoutCode == 5; }

}  // namespace

int SkyBitmapId(int layoutCode) { return layoutCode == 2 || layoutCode == 3 ? kSkyBitmapLarge : kSkyBitmapSmall; }

PixelPoint SkyBitmapOrigin(const SkyScreen& screen, int bitmapWidth, int bitmapHeight) {
  PixelPoint origin;
  origin.x = (screen.screenWidth - bitmapWidth) / 2;
  if (ScrollingLayout(screen.layoutCode)) {
    origin.y = screen.scrollOffset + (screen.screenHeight - screen.pageTop - bitmapHeight) / 2;
  } else {
    origin.y = (screen.screenHeight * kPortraitPlotPercent / kPercent - screen.pageTop - bitmapHeight) / 2;
  }
  return origin;
}

SkyPlotFrame MakeSkyPlotFrame(PixelPoint bitmapOrigin, int bitmapWidth, int bitmapHeight) {
  SkyPlotFrame frame;
  frame.radius = bitmapWidth / 2 - bitmapWidth / kRadiusInsetDivisor;
  frame.centreX = bitmapOrigin.x + bitmapWidth / 2;
  frame.centreY = bitmapOrigin.y + bitmapHeight / 2 - kCentreRaise;
  return frame;
}

PixelPoint SatellitePosition(const SkyPlotFrame& frame, uint32_t elevation, uint32_t azimuth) {
  const double clamped =
      std::clamp(static_cast<double>(static_cast<int32_t>(elevation)), kHorizonElevation, kZenithElevation);
  const double r = (kZenithElevation - clamped) * frame.radius / kZenithElevation;
  const double a = azimuth * kRadiansPerDegree;
  return {static_cast<int>(std::sin(a) * r + frame.centreX), static_cast<int>(frame.centreY - std::cos(a) * r)};
}

PixelRect SkyMarkerRect(PixelPoint position) {
  return {position.x, position.y, position.x + kSkyMarkerSize, position.y + kSkyMarkerSize};
}

PixelRect SkyLabelBox(PixelPoint position) {
  return {position.x + kLabelLeftGap, position.y - kLabelHalfHeight, position.x + kLabelLeftGap + kLabelWidth,
          position.y + kLabelHalfHeight};
}

std::string SatelliteLabel(uint32_t prn, uint32_t elevation, uint32_t azimuth, char systemLetter) {
  char text[64];
  std::snprintf(text, sizeof text, "(E:%d,A:%d)", static_cast<int>(elevation), static_cast<int>(azimuth));
  return SatelliteName(prn, systemLetter) + text;
}

std::string SkyLabel(const GpsPosition& record, size_t slot, char systemLetter, int bitmapId) {
  if (systemLetter != 0 && bitmapId == kSkyBitmapSmall) return SatelliteName(record.inViewPrns[slot], systemLetter);
  return SatelliteLabel(record.inViewPrns[slot], record.inViewElevation[slot], record.inViewAzimuth[slot], systemLetter);
}

size_t SatellitesToDraw(const GpsPosition& record) {
  return std::min<size_t>(record.satellitesInView, kGpsMaxSatellites);
}
