#pragma once
// Vertical scrolling of the pages on landscape screens: the scroll bar's
// state and the new position a scroll request asks for. One position is
// shared by all pages (g_ScrollPos); each page keeps the sum of the deltas it
// applied (its scroll offset).

#include <optional>

// Scroll request codes of the page's vertical scroll bar.
constexpr int kSbLineUp = 0;
constexpr int kSbLineDown = 1;
constexpr int kSbPageUp = 2;
constexpr int kSbPageDown = 3;
constexpr int kSbThumbPosition = 4;
constexpr int kSbThumbTrack = 5;
constexpr int kSbTop = 6;
constexpr int kSbBottom = 7;
constexpr int kSbEndScroll = 8;

struct ScrollInfo {
  int minimum = 0;
  int maximum = 0;
  int page = 0;
  int position = 0;

  // The position that shows the end of the range.
  int LargestPosition() const { return maximum - page + 1; }
};

// The position a request moves to; nothing for requests that change nothing
// (thumb released, end of scroll, unknown codes).
std::optional<int> NewScrollPosition(const ScrollInfo& info, int code, int trackPos);

// The current vertical scroll position, shared by all pages (UI thread).
extern int g_ScrollPos;
