#include "app/ScrollModel.h"

#include <algorithm>

int g_ScrollPos = 0;

std::optional<int> NewScrollPosition(const ScrollInfo& info, int code, int trackPos) {
  const int largest = info.LargestPosition();
  switch (code) {
    case kSbLineUp:
      return std::max(info.minimum, info.position - 1);
    case kSbLineDown:
      return std::min(info.position + 1, largest);
    case kSbPageUp:
      return std::max(info.minimum, info.position - info.page);
    case kSbPageDown:
      return std::min(info.position + info.page, largest);
    case kSbThumbTrack:
      return trackPos;
    case kSbTop:
      return info.minimum;
    case kSbBottom:
      return largest;
    default:
      return std::nullopt;
  }
}
