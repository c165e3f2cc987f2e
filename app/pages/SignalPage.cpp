#include "app/pages/SignalPage.h"

#include <QPainter>
#include <QPen>
#include <QWidget>

#include "app/pages/QtGeometry.h"
#include "nmea/SatelliteNames.h"
#include "app/pages/logic/SignalBars.h"
#include "resources/resource.h"
#include "ui_signal_page.h"

CSignalPage::CSignalPage() : CGPSPage(kPageSignal, IDD_SIGNAL_PAGE, UseForm<Ui::SignalPage>()) {}

bool CSignalPage::OnInitDialog() {
  for (int channel = 0; channel < static_cast<int>(kSignalChannels); ++channel) {
    SetItemText(IDC_SIGNAL_PRN_FIRST + channel, kNoPrnText);
    if (QWidget* placeholder = Item(IDC_SIGNAL_BAR_FIRST + channel)) {
      // Hidden, it still holds its place in the form: the bar is drawn there.
      QSizePolicy policy = placeholder->sizePolicy();
      policy.setRetainSizeWhenHidden(true);
      placeholder->setSizePolicy(policy);
    }
    ShowItem(IDC_SIGNAL_BAR_FIRST + channel, false);
  }
  UpdateScreenLayout(*this);
  return true;
}

void CSignalPage::OnGPSData(CGPSDevice* device, GpsPosition record) {
  if (m_Heard.Store(device, record)) Refresh(false);
}

void CSignalPage::OnPaint(QPainter& painter) {
  SatelliteSystems systems;
  const GpsPosition record = m_Heard.Copy(systems);
  const SystemLetters letters = SatelliteSystemLetters(record, systems);
  SetItemText(IDC_SIGNAL_VIEW, FormatSatelliteCount(record.satellitesInView));
  SetItemText(IDC_SIGNAL_USED, FormatSatelliteCount(record.satelliteCount));
  painter.save();
  for (int channel = 0; channel < static_cast<int>(kSignalChannels); ++channel)
    DrawChannel(painter, channel, record, letters[static_cast<size_t>(channel)]);
  painter.restore();
}

void CSignalPage::DrawChannel(QPainter& painter, int channel, const GpsPosition& record, char systemLetter) {
  const QRect placeholder = ItemRect(IDC_SIGNAL_BAR_FIRST + channel);
  const SignalBar bar = MakeSignalBar(ToPixelRect(placeholder), record.inViewPrns[channel], record.inViewSnr[channel],
                                      systemLetter);

  // The frame's pen stays inside the placeholder's rectangle.
  constexpr qreal kHalfPen = kBarFramePenWidth / 2.0;
  painter.setPen(QPen(Qt::black, kBarFramePenWidth));
  painter.setBrush(ToQColor(kBarFrameFill));
  painter.drawRect(QRectF(placeholder).adjusted(kHalfPen, kHalfPen, -kHalfPen, -kHalfPen));

  if (bar.filled) {
    const QRect fill = ToQRect(bar.fill);
    if (!fill.isEmpty()) painter.fillRect(fill, ToQColor(FixColour(record.fixQuality)));
    painter.setPen(Qt::black);
    painter.drawText(ToQRect(bar.snrTextBox), Qt::AlignCenter | Qt::TextDontClip, QString::fromStdString(bar.snrText));
  }
  SetItemText(IDC_SIGNAL_PRN_FIRST + channel, bar.prnText);
}
