#pragma once
// Geometry and texts of the Signal page's twelve channel bars: each bar is a
// frame in its placeholder's rectangle, filled from the bottom to the
// satellite's SNR in percent of the frame's height, with the SNR above the fill
// and the PRN below the frame.

#include <cstddef>
#include <cstdint>
#include <string>

#include "nmea/GpsPosition.h"

constexpr size_t kSignalChannels = kGpsMaxSatellites;
// An SNR above this draws neither fill nor number.
constexpr uint32_t kLargestDrawnSnr = 100;
// Height of the box the SNR number is centred in, just above the fill.
constexpr int kSnrTextHeight = 20;
inline constexpr const char* kNoPrnText = "--";

// A rectangle as the page draws it: right and bottom are just outside.
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const PixelRect&) const = default;
};

struct Rgb {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};
constexpr Rgb kBarFrameFill{0xAB, 0xC0, 0xE9};
constexpr Rgb kFixColour{0, 255, 0};
constexpr Rgb kNoFixColour{255, 0, 0};
constexpr int kBarFramePenWidth = 2;

// Green when the receiver reports a GPS or differential fix, else red.
bool ShowsFix(uint32_t fixQuality);
Rgb FixColour(uint32_t fixQuality);

struct SignalBar {
  PixelRect frame;
  bool filled = false;    // fill and SNR number are drawn
  PixelRect fill;         // from the fill top to the frame's bottom, inside the frame's sides
  PixelRect snrTextBox;   // the SNR number is centred in it
  std::string snrText;
  std::string prnText;    // below the frame: the PRN, "--" for an empty channel
};

// The bar of one channel in `frame` for a satellite with this PRN and SNR
// (dB-Hz), and the letter of its system when the PRN alone does not tell it.
SignalBar MakeSignalBar(const PixelRect& frame, uint32_t prn, uint32_t snr, char systemLetter = 0);

// "%d" of the satellites in view and of those used.
std::string FormatSatelliteCount(uint32_t count);
