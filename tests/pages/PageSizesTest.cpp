// Every page on every handheld screen: controls stay inside the page's width
// and the page renders with data. With NAVLUME_PAGE_SHOTS=DIR set, the
// rendered sheets are saved there as <page>-<W>x<H>.png for a person to look at.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QWidget>
#include <memory>
#include <thread>

#include "app/pages/MainPage.h"
#include "app/pages/NmeaPage.h"
#include "app/pages/SettingsPage.h"
#include "app/pages/SignalPage.h"
#include "app/pages/SkyViewPage.h"
#include "pages/PageRecords.h"
#include "pages/PageSheet.h"
#include "prodtest/DeviceRootFixture.h"
#include "prodtest/PortConf.h"

namespace {

struct Screen {
  int width;
  int height;
};
constexpr Screen kScreens[] = {{240, 320}, {320, 240}, {480, 640}, {640, 480}};

GpsPosition FixWithSatellites() {
  GpsPosition record = page_test::SkyRecord(
      kGpsFixQualityGps, {{2, 62, 45, 44}, {5, 35, 120, 41}, {7, 12, 200, 33}, {9, 78, 300, 47}, {13, 25, 250, 38},
                          {15, 5, 20, 0}, {20, 48, 160, 42}, {24, 30, 330, 36}, {29, 15, 95, 29}, {30, 55, 215, 45}});
  record.validFields |= kGpsValidUtcTime | kGpsValidLatitude | kGpsValidLongitude | kGpsValidSatelliteCount |
                        kGpsValidPdop | kGpsValidHdop | kGpsValidVdop;
  record.utcTime = SYSTEMTIME{2024, 5, 3, 1, 10, 0, 31, 0};
  record.latitude = 49.2741667;
  record.longitude = -123.1853333;
  record.satelliteCount = 9;
  record.pdop = 1.6f;
  record.hdop = 0.9f;
  record.vdop = 1.3f;
  return record;
}

class PageSizesTest : public navlume_test::DeviceRootTest {
 protected:
  void Render(const Screen& screen) {
    CMainPage main;
    CSignalPage signal;
    CSkyViewPage sky;
    CNmeaPage nmea;
    CSettingsPage settings(m_Conf);
    std::vector<CGPSPage*> pages{&main, &signal, &sky, &nmea, &settings};
    page_test::PageSheet sheet(pages, screen.width, screen.height);
    for (size_t i = 0; i < pages.size(); ++i) {
      sheet.ShowTab(static_cast<int>(i));
      const GpsPosition record = FixWithSatellites();
      std::thread device([&] {
        pages[i]->OnGPSData(nullptr, record);
        nmea.ReceiveText(nullptr, record, "$GPGGA,100031,4916.4500,N,12311.1200,W,1,09,0.9,70.0,M,-17.0,M,,*6A\r\n"
                                          "$GPGSA,A,3,02,05,07,09,13,20,24,29,30,,,,1.6,0.9,1.3*3C\r\n");
      });
      device.join();
      page_test::SettleEvents();
      ExpectControlsInside(*pages[i], screen);
      const QImage image = sheet.Grab();
      EXPECT_EQ(image.width(), screen.width);
      Save(image, *pages[i], screen);
    }
  }

  static void ExpectControlsInside(CGPSPage& page, const Screen& screen) {
    const int width = page.Window()->width();
    for (const auto& [id, item] : page.Items()) {
      if (item->isHidden()) continue;
      EXPECT_LE(page.ItemRect(id).right(), width) << page_test::TabTitle(page).toStdString() << " control " << id
                                                  << " at " << screen.width << "x" << screen.height;
    }
  }

  static void Save(const QImage& image, const CGPSPage& page, const Screen& screen) {
    const QString folder = qEnvironmentVariable("NAVLUME_PAGE_SHOTS");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    const QString name = page_test::TabTitle(page).toLower().replace(' ', '-');
    image.save(QString("%1/%2-%3x%4.png").arg(folder, name).arg(screen.width).arg(screen.height));
  }

  CPortConf m_Conf;
};

TEST_F(PageSizesTest, EveryPageFitsEveryScreen) {
  m_Conf.m_bDirectAccess = 1;
  m_Conf.m_GpsType = kGpsTypeUblox;
  for (const Screen& screen : kScreens) Render(screen);
}

}  // namespace
