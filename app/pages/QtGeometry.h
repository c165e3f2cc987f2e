#pragma once
// The pages' Qt-free rectangles and colours as Qt's.

#include <QColor>
#include <QRect>

#include "app/pages/logic/SignalBars.h"

inline QRect ToQRect(const PixelRect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

inline PixelRect ToPixelRect(const QRect& rect) { return {rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1}; }

inline QColor ToQColor(Rgb colour) { return QColor(colour.red, colour.green, colour.blue); }
