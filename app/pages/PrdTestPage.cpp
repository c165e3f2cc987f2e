#include "app/pages/PrdTestPage.h"

#include <QPainter>
#include <QWidget>
#include <string>
#include <vector>

#include "app/pages/QtGeometry.h"
#include "app/pages/logic/SignalBars.h"
#include "resources/resource.h"
#include "ui_prd_test_page.h"

namespace {

constexpr int kTestTimerId = 1;
constexpr const char* kEmptyChannelPrn = "00";  // a channel without satellite, as the form starts
constexpr const char* kUnsavedText = "Result not saved: ";
constexpr const char* kWaitingText = "Results waiting: ";
constexpr int kChannels = static_cast<int>(kGpsMaxSatellites);

struct PanelIds {
  int title, view, used, snr, ttff, firstBar, firstPrn;
};
constexpr PanelIds kPanelIds[kTestPanels] = {
    {IDC_PRD_TITLE1, IDC_PRD_VIEW1, IDC_PRD_USED1, IDC_PRD_SNR1, IDC_PRD_TTFF1, IDC_PRD_BAR1_FIRST, IDC_PRD_PRN1_FIRST},
    {IDC_PRD_TITLE2, IDC_PRD_VIEW2, IDC_PRD_USED2, IDC_PRD_SNR2, IDC_PRD_TTFF2, IDC_PRD_BAR2_FIRST, IDC_PRD_PRN2_FIRST},
};

}  // namespace

CPrdTestPage::CPrdTestPage(CProductionStation& station, WaitingCount resultsWaiting)
    : CGPSPage(kPageMain, IDD_PRD_TEST_PAGE, UseForm<Ui::PrdTestPage>()),
      m_Station(station),
      m_ResultsWaiting(std::move(resultsWaiting)) {}

bool CPrdTestPage::OnInitDialog() {
  CGPSPage::OnInitDialog();
  for (const PanelIds& ids : kPanelIds) {
    for (int k = 0; k < kChannels; ++k) {
      // The bar places only mark where bars are painted: hidden, they keep their place.
      if (QWidget* place = Item(ids.firstBar + k)) {
        QSizePolicy policy = place->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        place->setSizePolicy(policy);
      }
      ShowItem(ids.firstBar + k, false);
    }
  }
  m_FramePen = QPen(Qt::black, kBarFramePenWidth);
  m_FrameBrush = QBrush(ToQColor(kBarFrameFill));
  ShowItem(IDC_PRD_UNSAVED, false);
  ShowItem(IDC_PRD_RESULTS_WAITING, false);
  SetTimer(kTestTimerId, m_Station.MsUntilNextTick());
  return true;
}

void CPrdTestPage::OnGPSData(CGPSDevice* device, GpsPosition record) {
  m_Station.OnGPSData(device, record);
  Refresh(false);
}

void CPrdTestPage::OnTimer(int timerId) {
  if (timerId != kTestTimerId) return;
  m_Station.Tick();
  SetTimer(kTestTimerId, m_Station.MsUntilNextTick());
  ShowUnsavedResults();
  ShowResultsWaiting();
  Refresh(false);
}

void CPrdTestPage::OnPaint(QPainter& painter) {
  painter.save();
  painter.setPen(m_FramePen);
  painter.setBrush(m_FrameBrush);
  for (int panel = 0; panel < kTestPanels; ++panel) {
    const PanelSnapshot snapshot = m_Station.Panel(panel);
    if (!snapshot.bPresent) continue;
    const PanelIds& ids = kPanelIds[panel];
    const PanelTexts texts = PanelTextsOf(snapshot);
    SetItemText(ids.title, texts.title);
    SetItemText(ids.view, texts.view);
    SetItemText(ids.used, texts.used);
    SetItemText(ids.snr, texts.snr);
    SetItemText(ids.ttff, texts.ttff);
    DrawSignalBars(painter, panel, snapshot.position);
  }
  painter.restore();
}

void CPrdTestPage::ShowUnsavedResults() {
  const std::vector<std::string> ports = m_Station.UnsavedResults();
  if (ports.empty()) return;
  QString text = kUnsavedText;
  for (size_t i = 0; i < ports.size(); ++i) text += (i > 0 ? ", " : "") + QString::fromStdString(ports[i]);
  SetItemText(IDC_PRD_UNSAVED, text);
  ShowItem(IDC_PRD_UNSAVED, true);
}

void CPrdTestPage::ShowResultsWaiting() {
  const uint64_t waiting = m_ResultsWaiting ? m_ResultsWaiting() : 0;
  if (waiting > 0) SetItemText(IDC_PRD_RESULTS_WAITING, kWaitingText + QString::number(waiting));
  ShowItem(IDC_PRD_RESULTS_WAITING, waiting > 0);
}

void CPrdTestPage::DrawSignalBars(QPainter& painter, int panel, const GpsPosition& position) {
  const PanelIds& ids = kPanelIds[panel];
  const QColor fillColour = ToQColor(FixColour(position.fixQuality));
  for (int k = 0; k < kChannels; ++k) {
    // The frame keeps this page's look: drawn on the place's edge with the page's pen.
    const QRect place = ItemRect(ids.firstBar + k);
    painter.drawRect(place);
    const uint32_t prn = position.inViewPrns[k];
    const SignalBar bar = MakeSignalBar(ToPixelRect(place), prn, position.inViewSnr[k]);
    if (bar.filled) {
      painter.fillRect(ToQRect(bar.fill), fillColour);
      painter.drawText(ToQRect(bar.snrTextBox), Qt::AlignCenter | Qt::TextDontClip, QString::fromStdString(bar.snrText));
    }
    SetItemText(ids.firstPrn + k, prn == 0 ? kEmptyChannelPrn : bar.prnText.c_str());
  }
}
