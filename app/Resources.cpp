#include "app/Resources.h"

#include <QtGlobal>

void InitResources() { Q_INIT_RESOURCE(navlume); }

QString BitmapPath(int bitmapId) { return QStringLiteral(":/bitmaps/%1.png").arg(bitmapId); }
