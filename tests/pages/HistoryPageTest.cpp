// History page: lines and strip drawn from records a device thread handed
// over, on every screen, and at most one repaint a second under a 10 Hz feed.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/pages/HistoryPage.h"
#include "pages/PageRecords.h"
#include "pages/PageSheet.h"
#include "platform/Time.h"
#include "resources/resource.h"

namespace {

using namespace std::chrono_literals;

struct CountingHistoryPage : CHistoryPage {
  void OnPaint(QPainter& painter) override {
    ++paints;
    CHistoryPage::OnPaint(painter);
  }
  int paints = 0;
};

// `count` records, `periodMs` system milliseconds apart, from a device thread
// while the UI thread runs: 5 and 12 used with a fix, 20 in view only.
void Feed(CHistoryPage& page, int count, uint32_t periodMs) {
  GpsPosition record = page_test::SkyRecord(kGpsFixQualityGps, {{5, 40, 100, 40}, {12, 30, 200, 35}, {20, 10, 300, 25}});
  record.validFields |= kGpsValidUsedPrns;
  record.usedPrns[0] = 5;
  record.usedPrns[1] = 12;
  std::atomic<bool> done{false};
  std::thread device([&] {
    for (int i = 0; i < count; ++i, platform::SleepMs(periodMs)) page.OnGPSData(nullptr, record);
    done = true;
  });
  ASSERT_TRUE(page_test::ProcessEventsUntil([&] { return done.load(); }));
  device.join();
}

int PixelsOf(const QImage& image, const QRect& area, const QColor& colour) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) count += QColor(image.pixel(x, y)) == colour ? 1 : 0;
  return count;
}

TEST(HistoryPageTest, UsedSatellitesAreFixColouredLinesAndStripCells) {
  const QColor green(0, 255, 0), grey(0x9A, 0x9A, 0x9A);
  for (const auto& [width, height] : {std::pair{240, 320}, {320, 240}, {480, 640}, {640, 480}}) {
    const platform::ScopedTimeScale scale(0.002, 1ms);
    CHistoryPage page;
    page_test::PageSheet sheet{{&page}, width, height};
    Feed(page, 60, 1000);
    const QImage image = page_test::GrabPage(page);
    const QRect plot = page.ItemRect(IDC_HISTORY_PLOT).intersected(image.rect());
    EXPECT_GT(plot.height(), 60) << width << "x" << height;
    EXPECT_GT(PixelsOf(image, plot, green), plot.width() / 4) << width << "x" << height;
    EXPECT_GT(PixelsOf(image, plot, grey), plot.width() / 8) << width << "x" << height;
    if (page.HasScrollBar()) page.OnVScroll(kSbBottom, 0);  // landscape: the strip is below
    const QImage scrolled = page_test::GrabPage(page);
    const QRect strip = page.ItemRect(IDC_HISTORY_STRIP).intersected(scrolled.rect());
    EXPECT_GT(PixelsOf(scrolled, strip, green), strip.width() / 4) << width << "x" << height;
  }
}

TEST(HistoryPageTest, TenRecordsASecondRepaintAtMostOnceASecond) {
  const platform::ScopedTimeScale scale(0.05, 2ms);
  CountingHistoryPage page;
  page_test::PageSheet sheet{{&page}};
  page.paints = 0;
  const uint64_t start = platform::ScaledNowMs();
  Feed(page, 60, 100);
  const uint64_t seconds = (platform::ScaledNowMs() - start) / 1000;
  EXPECT_GE(page.paints, 1) << seconds << " s";
  EXPECT_LE(page.paints, static_cast<int>(seconds) + 1) << seconds << " s";
}

}  // namespace
