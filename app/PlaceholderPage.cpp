#include "app/PlaceholderPage.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>

namespace {
constexpr int kCoordinateDecimals = 5;
}

CPlaceholderPage::CPlaceholderPage(int pageKind, int dialogId, const QString& title)
    : CGPSPage(pageKind, dialogId, [title](QWidget* form) {
        auto* layout = new QVBoxLayout(form);
        auto* name = new QLabel(title, form);
        auto* status = new QLabel(QStringLiteral("No data"), form);
        status->setProperty("ctrlId", kPlaceholderStatusId);
        status->setWordWrap(true);
        for (QLabel* label : {name, status}) {
          label->setAlignment(Qt::AlignCenter);
          layout->addWidget(label);
        }
      }) {}

void CPlaceholderPage::OnGPSData(CGPSDevice* device, GpsPosition record) {
  if (HasWindow()) PostGPSData(device, record);
}

void CPlaceholderPage::ShowGPSData(CGPSDevice*, const GpsPosition& record) {
  SetItemText(kPlaceholderStatusId, StatusText(record));
}

QString CPlaceholderPage::StatusText(const GpsPosition& record) {
  const bool fix = record.fixQuality != kGpsFixQualityUnknown;
  QString text = QStringLiteral("Fix: %1").arg(fix ? "yes" : "no");
  if (record.validFields & kGpsValidSatelliteCount) text += QStringLiteral(", %1 used").arg(record.satelliteCount);
  if (record.validFields & kGpsValidSatellitesInView)
    text += QStringLiteral(", %1 in view").arg(record.satellitesInView);
  if ((record.validFields & kGpsValidLatitude) && (record.validFields & kGpsValidLongitude)) {
    text += QStringLiteral(", %1 %2 %3 %4")
                .arg(std::fabs(record.latitude), 0, 'f', kCoordinateDecimals)
                .arg(record.latitude < 0 ? 'S' : 'N')
                .arg(std::fabs(record.longitude), 0, 'f', kCoordinateDecimals)
                .arg(record.longitude < 0 ? 'W' : 'E');
  }
  return text;
}
