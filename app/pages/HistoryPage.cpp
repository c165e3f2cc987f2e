#include "app/pages/HistoryPage.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <QWidget>

#include "app/pages/QtGeometry.h"
#include "app/pages/logic/HistoryPlot.h"
#include "device/GPSDevice.h"
#include "nmea/HistoryFeed.h"
#include "platform/Time.h"
#include "resources/resource.h"
#include "ui_history_page.h"

namespace {

// The page shows at most one change a second.
constexpr uint32_t kRepaintSpanMs = 1000;
constexpr double kMsPerSecond = 1000;
constexpr int kLinePenWidth = 2;
// The widest texts of the axis and of a satellite's name.
constexpr const char* kWidestAxisText = "60";
constexpr const char* kWidestName = "C200";

QPoint ToQPoint(PixelPoint point) { return {point.x, point.y}; }

void DrawLabel(QPainter& painter, const HistoryLabel& label) {
  const Qt::Alignment side = label.align == HistoryLabel::Align::Right ? Qt::AlignRight : Qt::AlignLeft;
  painter.drawText(ToQRect(label.box), side | Qt::AlignVCenter | Qt::TextDontClip, QString::fromStdString(label.text));
}

void DrawFrame(QPainter& painter, const HistoryPlot& plot) {
  const QRect lines = ToQRect(plot.lines);
  painter.setPen(ToQColor(kHistoryGrid));
  for (const int y : plot.gridRows) painter.drawLine(lines.left(), y, lines.right(), y);
  for (const int x : plot.minuteColumns) painter.drawLine(x, lines.top(), x, lines.bottom());
  painter.drawRect(lines);
  painter.setPen(ToQColor(kHistoryText));
  for (const HistoryLabel& label : plot.axisLabels) DrawLabel(painter, label);
}

}  // namespace

CHistoryPage::CHistoryPage()
    : CGPSPage(kPageHistory, IDD_HISTORY_PAGE, UseForm<Ui::HistoryPage>()), m_History(HistoryPageOptions()) {
  PaceRepaints(1, kRepaintSpanMs);
}

bool CHistoryPage::OnInitDialog() {
  for (const int placeholder : {IDC_HISTORY_PLOT, IDC_HISTORY_STRIP}) {
    if (QWidget* item = Item(placeholder)) {
      // Hidden, it still holds its place in the form: the plot is drawn there.
      QSizePolicy policy = item->sizePolicy();
      policy.setRetainSizeWhenHidden(true);
      item->setSizePolicy(policy);
    }
    ShowItem(placeholder, false);
  }
  UpdateScreenLayout(*this);
  return true;
}

void CHistoryPage::OnGPSData(CGPSDevice* device, GpsPosition record) {
  SatelliteSystems systems{};
  if (device != nullptr) device->CopyPosition(systems);
  const double now = static_cast<double>(platform::ScaledNowMs()) / kMsPerSecond;
  const HistoryEpoch epoch = EpochFromRecord(record, systems, now);
  {
    std::lock_guard lock(m_Lock);
    m_History.Add(epoch);
    m_FixQuality = record.fixQuality;
  }
  Refresh(false);
}

void CHistoryPage::OnPaint(QPainter& painter) {
  std::unique_lock lock(m_Lock);
  const SignalHistory history = m_History;
  const uint32_t fixQuality = m_FixQuality;
  lock.unlock();

  const QFontMetrics metrics = painter.fontMetrics();
  const HistoryText text{metrics.height(), metrics.horizontalAdvance(kWidestAxisText),
                         metrics.horizontalAdvance(kWidestName)};
  const QRect plotArea = ItemRect(IDC_HISTORY_PLOT);
  const QRect stripArea = ItemRect(IDC_HISTORY_STRIP);
  const HistoryPlot plot = MakeHistoryPlot(history, ToPixelRect(plotArea), ToPixelRect(stripArea), text);

  painter.save();
  painter.fillRect(plotArea, ToQColor(kHistoryBackground));
  painter.fillRect(stripArea, ToQColor(kHistoryBackground));
  DrawFrame(painter, plot);
  painter.setRenderHint(QPainter::Antialiasing);
  for (const HistoryLine& line : plot.satellites) {
    const QColor colour = ToQColor(HistoryLineColour(line.used, fixQuality));
    painter.setPen(QPen(colour, kLinePenWidth));
    for (const auto& points : line.polylines) {
      QPolygon polyline;
      for (const PixelPoint point : points) polyline << ToQPoint(point);
      if (polyline.size() == 1) polyline << polyline.front();
      painter.drawPolyline(polyline);
    }
    painter.setPen(colour);
    if (line.labelled) DrawLabel(painter, line.label);
  }
  const QColor usedColour = ToQColor(HistoryLineColour(true, fixQuality));
  for (const PixelRect& cell : plot.usedCells) painter.fillRect(ToQRect(cell), usedColour);
  painter.restore();
}
