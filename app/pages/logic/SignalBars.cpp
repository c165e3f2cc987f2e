#include "app/pages/logic/SignalBars.h"

#include "nmea/SatelliteNames.h"

namespace {
constexpr uint32_t kPercent = 100;
}  // namespace

bool ShowsFix(uint32_t fixQuality) { return IsFixQuality(fixQuality); }

Rgb FixColour(uint32_t fixQuality) { return ShowsFix(fixQuality) ? kFixColour : kNoFixColour; }

SignalBar MakeSignalBar(const PixelRect& frame, uint32_t prn, uint32_t snr, char systemLetter) {
  SignalBar bar;
  bar.frame = frame;
  if (prn == 0) {
    bar.prnText = kNoPrnText;
    return bar;
  }
  bar.prnText = SatelliteName(prn, systemLetter);
  if (snr > kLargestDrawnSnr || frame.bottom <= frame.top) return bar;
  const uint32_t height = static_cast<uint32_t>(frame.bottom - frame.top);
  const int fillTop = frame.bottom - static_cast<int>(snr * height / kPercent);
  bar.filled = true;
  bar.fill = {frame.left + 1, fillTop, frame.right - 1, frame.bottom - 1};
  bar.snrTextBox = {frame.left + 1, fillTop - kSnrTextHeight, frame.right - 1, fillTop};
  bar.snrText = std::to_string(snr);
  return bar;
}

std::string FormatSatelliteCount(uint32_t count) { return std::to_string(static_cast<int>(count)); }
