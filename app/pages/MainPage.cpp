#include "app/pages/MainPage.h"

#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include "app/Resources.h"
#include "resources/resource.h"
#include "ui_main_page.h"

CMainPage::CMainPage() : CGPSPage(kPageMain, IDD_MAIN_PAGE, UseForm<Ui::MainPage>()) {}

bool CMainPage::OnInitDialog() {
  ShowVersion(*this);
  SetTimer(kNoFixTimer, kNoFixTimerPeriodMs);
  UpdateScreenLayout(*this);
  ShowReceiverPicture();
  return true;
}

void CMainPage::ShowReceiverPicture() {
  if (auto* picture = Window()->findChild<QLabel*>(QStringLiteral("receiverPicture"))) {
    picture->setPixmap(QPixmap(BitmapPath(IDB_RECEIVER)));
  }
}

void CMainPage::OnTimer(int) { m_FixClock.Tick(); }

void CMainPage::OnGPSData(CGPSDevice* device, GpsPosition record) {
  if (!HasWindow()) return;
  MainPageTexts texts = MakeMainPageTexts(record, m_FixClock);
  {
    std::lock_guard lock(m_TextsLock);
    if (texts == m_Texts) return;
    m_Texts = std::move(texts);
  }
  PostGPSData(device, record);
}

void CMainPage::ShowGPSData(CGPSDevice*, const GpsPosition&) {
  MainPageTexts texts;
  {
    std::lock_guard lock(m_TextsLock);
    texts = m_Texts;
  }
  SetItemText(IDC_MAIN_UTC, texts.utcTime);
  SetItemText(IDC_MAIN_LATITUDE, texts.latitude);
  SetItemText(IDC_MAIN_LONGITUDE, texts.longitude);
  SetItemText(IDC_MAIN_FIX, texts.fix);
  SetItemText(IDC_MAIN_SATELLITES, texts.satellitesUsed);
  SetItemText(IDC_MAIN_HDOP, texts.hdop);
  SetItemText(IDC_MAIN_PDOP, texts.pdop);
  SetItemText(IDC_MAIN_VDOP, texts.vdop);
}
