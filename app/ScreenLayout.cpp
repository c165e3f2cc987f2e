#include "app/ScreenLayout.h"

#include <cstdio>
#include <cstring>

namespace {
int g_ScreenWidth = kDefaultScreenWidth;
int g_ScreenHeight = kDefaultScreenHeight;
constexpr int kMaxScreenSide = 10000;
}  // namespace

int LayoutCodeFor(int screenWidth, int screenHeight) {
  switch (screenWidth) {
    case 240:
      return 0;
    case 320:
      return 1;
    case 480:
      return screenHeight == 854 ? 4 : 2;
    case 640:
      return 3;
    case 854:
      return 5;
    default:
      return 0;
  }
}

std::optional<int> ScrollRangeFor(int layoutCode) {
  switch (layoutCode) {
    case 1:
      return kScrollRangeSmall;
    case 3:
    case 5:
      return kScrollRangeLarge;
    default:
      return std::nullopt;
  }
}

void SetScreenSize(int width, int height) {
  g_ScreenWidth = width;
  g_ScreenHeight = height;
}

int ScreenWidth() { return g_ScreenWidth; }
int ScreenHeight() { return g_ScreenHeight; }

bool ParseScreenSize(const char* text, int& width, int& height) {
  int w = 0;
  int h = 0;
  int used = 0;
  if (std::sscanf(text, "%dx%d%n", &w, &h, &used) != 2 || used != static_cast<int>(std::strlen(text))) return false;
  if (w < 1 || h < 1 || w > kMaxScreenSide || h > kMaxScreenSide) return false;
  width = w;
  height = h;
  return true;
}
