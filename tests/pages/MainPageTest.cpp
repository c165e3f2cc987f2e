// Main page: its texts for records from a device thread, the time to fix
// counted by its timer, and nothing done before it has a window.

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "app/pages/MainPage.h"
#include "pages/PageRecords.h"
#include "pages/PageSheet.h"
#include "platform/Time.h"
#include "resources/resource.h"

namespace {

using page_test::EmptyRecord;
using page_test::PageSheet;

constexpr int kValueIds[] = {IDC_MAIN_UTC,        IDC_MAIN_LATITUDE, IDC_MAIN_LONGITUDE, IDC_MAIN_FIX,
                             IDC_MAIN_SATELLITES, IDC_MAIN_PDOP,     IDC_MAIN_HDOP,      IDC_MAIN_VDOP};

GpsPosition FixRecord(uint32_t quality, double latitude, double longitude) {
  GpsPosition record = EmptyRecord();
  record.validFields = kGpsValidUtcTime | kGpsValidLatitude | kGpsValidLongitude | kGpsValidSatelliteCount |
                       kGpsValidHdop | kGpsValidPdop;
  record.utcTime.wHour = 23;
  record.utcTime.wMinute = 59;
  record.utcTime.wSecond = 7;
  record.latitude = latitude;
  record.longitude = longitude;
  record.fixQuality = quality;
  record.satelliteCount = 9;
  record.hdop = 0.9f;
  record.pdop = 21.0f;
  return record;
}

class MainPageTest : public ::testing::Test {
 protected:
  // Hands the record over from another thread, as a device does, and waits
  // until the fix line reads right.
  void Deliver(const GpsPosition& record, const std::function<bool(const QString&)>& fixTextIsRight) {
    std::thread device([&] { m_Page.OnGPSData(nullptr, record); });
    device.join();
    ASSERT_TRUE(page_test::ProcessEventsUntil([&] { return fixTextIsRight(Text(IDC_MAIN_FIX)); }))
        << Text(IDC_MAIN_FIX).toStdString();
  }
  void Deliver(const GpsPosition& record, const QString& fixText) {
    Deliver(record, [&](const QString& text) { return text == fixText; });
  }
  QString Text(int id) const { return m_Page.ItemText(id); }

  CMainPage m_Page;
  PageSheet m_Sheet{{&m_Page}};
};

TEST_F(MainPageTest, StartsWithTheFormsTextsAndTheVersion) {
  EXPECT_EQ(Text(IDC_MAIN_VERSION), "(v3.6.13)");
  EXPECT_EQ(Text(IDC_MAIN_UTC_CAPTION), "UTC time :");
  EXPECT_EQ(Text(IDC_MAIN_SATELLITES_CAPTION), "Satellites used :");
  EXPECT_EQ(Text(IDC_MAIN_VDOP_CAPTION), "VDOP :");
  for (int id : kValueIds) EXPECT_EQ(Text(id), "") << id;
  EXPECT_TRUE(m_Page.TimerActive(CMainPage::kNoFixTimer));
}

TEST_F(MainPageTest, RecordWithoutValidBitsShowsPlaceholders) {
  GpsPosition record = EmptyRecord();
  record.fixQuality = kGpsFixQualityDgps;
  Deliver(record, "Valid DGPS(00:00)");
  EXPECT_EQ(Text(IDC_MAIN_UTC), "00:00:00");
  EXPECT_EQ(Text(IDC_MAIN_LATITUDE), "0000.0000");
  EXPECT_EQ(Text(IDC_MAIN_LONGITUDE), "0000.0000");
  EXPECT_EQ(Text(IDC_MAIN_SATELLITES), "00");
  EXPECT_EQ(Text(IDC_MAIN_PDOP), "None");
  EXPECT_EQ(Text(IDC_MAIN_HDOP), "None");
  EXPECT_EQ(Text(IDC_MAIN_VDOP), "None");
}

TEST_F(MainPageTest, OppositeHemispheresReadDifferently) {
  Deliver(FixRecord(kGpsFixQualityGps, -37.5, 144.25), "Valid SPS(00:00)");
  EXPECT_EQ(Text(IDC_MAIN_UTC), "23:59:07");
  EXPECT_EQ(Text(IDC_MAIN_LATITUDE), QString::fromUtf8("37\u00B0 30.000000 S"));
  EXPECT_EQ(Text(IDC_MAIN_LONGITUDE), QString::fromUtf8("144\u00B0 15.000000 E"));
  EXPECT_EQ(Text(IDC_MAIN_SATELLITES), "09");
  EXPECT_EQ(Text(IDC_MAIN_HDOP), "0.9 = Ideal");
  EXPECT_EQ(Text(IDC_MAIN_PDOP), "21.0 = Bad");
  EXPECT_EQ(Text(IDC_MAIN_VDOP), "None");
  Deliver(FixRecord(kGpsFixQualityDgps, 37.5, -144.25), "Valid DGPS(00:00)");
  EXPECT_EQ(Text(IDC_MAIN_LATITUDE), QString::fromUtf8("37\u00B0 30.000000 N"));
  EXPECT_EQ(Text(IDC_MAIN_LONGITUDE), QString::fromUtf8("144\u00B0 15.000000 W"));
}

TEST_F(MainPageTest, TimerCountsTheWaitForTheFixAndALostFixStartsAgain) {
  for (int i = 0; i < 75; ++i) m_Page.OnTimer(CMainPage::kNoFixTimer);
  Deliver(FixRecord(kGpsFixQualityDgps, 1, 1), "Valid DGPS(01:15)");
  for (int i = 0; i < 5; ++i) m_Page.OnTimer(CMainPage::kNoFixTimer);
  Deliver(FixRecord(kGpsFixQualityGps, 1, 1), "Valid SPS(01:15)");
  Deliver(FixRecord(0, 1, 1), "Invalid");
  for (int i = 0; i < 2; ++i) m_Page.OnTimer(CMainPage::kNoFixTimer);
  Deliver(FixRecord(kGpsFixQualityGps, 1, 1), "Valid SPS(00:02)");
}

TEST_F(MainPageTest, TimerRunsOnTheEventLoop) {
  platform::ScopedTimeScale fast(0.001);
  m_Page.SetTimer(CMainPage::kNoFixTimer, CMainPage::kNoFixTimerPeriodMs);
  QElapsedTimer elapsed;
  elapsed.start();
  page_test::ProcessEventsUntil([&] { return elapsed.elapsed() > 200; });
  // Hundreds of scaled seconds have passed; at least one was counted.
  Deliver(FixRecord(kGpsFixQualityGps, 1, 1),
          [](const QString& text) { return text.startsWith("Valid SPS(") && text != "Valid SPS(00:00)"; });
}

TEST(MainPageWithoutWindowTest, RecordsBeforeTheWindowAreIgnored) {
  CMainPage page;
  page.OnGPSData(nullptr, FixRecord(kGpsFixQualityGps, 1, 1));
  PageSheet sheet{{&page}};
  page_test::SettleEvents();
  EXPECT_EQ(page.ItemText(IDC_MAIN_FIX), "");
}

}  // namespace
