#pragma once
// The handheld screen the program draws for and the layout code the pages
// take from it: portrait screens show everything, landscape ones scroll.

#include <optional>

constexpr int kDefaultScreenWidth = 480;
constexpr int kDefaultScreenHeight = 640;

constexpr int kScrollRangeSmall = 258;  // layout 1 (320 wide)
constexpr int kScrollRangeLarge = 516;  // layouts 3 and 5 (640 and 854 wide)

int LayoutCodeFor(int screenWidth, int screenHeight);
// The scroll bar's maximum for a layout code; nothing when it has no scroll bar.
std::optional<int> ScrollRangeFor(int layoutCode);

// The emulated screen (--screen WxH, or the real one with --fullscreen).
void SetScreenSize(int width, int height);
int ScreenWidth();
int ScreenHeight();
// "WxH" with both numbers from 1 to 10000; false otherwise.
bool ParseScreenSize(const char* text, int& width, int& height);
