#include "app/pages/SkyViewPage.h"

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include "app/Resources.h"
#include "app/pages/QtGeometry.h"
#include "nmea/SatelliteNames.h"
#include "app/pages/logic/SkyPlot.h"
#include "resources/resource.h"
#include "ui_sky_view_page.h"

CSkyViewPage::CSkyViewPage() : CGPSPage(kPagePosition, IDD_SKYVIEW_PAGE, UseForm<Ui::SkyViewPage>()) {}

void CSkyViewPage::OnGPSData(CGPSDevice* device, GpsPosition record) {
  if (m_Heard.Store(device, record)) Refresh(false);
}

const QPixmap& CSkyViewPage::Background(int bitmapId) {
  if (bitmapId != m_BackgroundId) {
    m_Background = QPixmap(BitmapPath(bitmapId));
    m_BackgroundId = bitmapId;
  }
  return m_Background;
}

void CSkyViewPage::OnPaint(QPainter& painter) {
  SatelliteSystems systems;
  const GpsPosition record = m_Heard.Copy(systems);
  const QColor colour = ToQColor(FixColour(record.fixQuality));

  const int bitmapId = SkyBitmapId(LayoutCode());
  const QPixmap& background = Background(bitmapId);
  QWidget* window = Window();
  SkyScreen screen;
  screen.screenWidth = ScreenWidth();
  screen.screenHeight = ScreenHeight();
  screen.layoutCode = LayoutCode();
  screen.pageTop = window->mapTo(window->window(), QPoint(0, 0)).y();
  screen.scrollOffset = ScrollOffset();
  const PixelPoint origin = SkyBitmapOrigin(screen, background.width(), background.height());
  painter.drawPixmap(origin.x, origin.y, background);

  const size_t count = SatellitesToDraw(record);
  if (count == 0) return;
  const SkyPlotFrame frame = MakeSkyPlotFrame(origin, background.width(), background.height());
  const SystemLetters letters = SatelliteSystemLetters(record, systems);
  painter.save();
  painter.setPen(QPen(colour, kSkyMarkerPenWidth));
  painter.setBrush(colour);
  for (size_t i = 0; i < count; ++i) {
    const PixelPoint position = SatellitePosition(frame, record.inViewElevation[i], record.inViewAzimuth[i]);
    painter.drawRect(ToQRect(SkyMarkerRect(position)));
    const QString label = QString::fromStdString(SkyLabel(record, i, letters[i], bitmapId));
    painter.drawText(ToQRect(SkyLabelBox(position)), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, label);
  }
  painter.restore();
}
