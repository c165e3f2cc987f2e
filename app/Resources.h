#pragma once
// The program's compiled-in resources (resources/navlume.qrc).

#include <QString>

// Registers the resources of the static library; call once before any use
// (the program's main, each test's set-up).
void InitResources();
// ":/bitmaps/<id>.png" for a bitmap id (IDB_...).
QString BitmapPath(int bitmapId);
