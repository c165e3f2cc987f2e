// History page: lines drawn from records handed over by a device thread, and
// at most one repaint a second however fast the receiver talks.

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

class CountingHistoryPage : public CHistoryPage {
 public:
  void OnPaint(QPainter& painter) override {
    ++paints;
    CHistoryPage::OnPaint(painter);
  }
  int paints = 0;
};

// Satellites 5 and 12 used with a fix, 20 in view only.
GpsPosition Sky(uint32_t cn0) {
  GpsPosition record = page_test::SkyRecord(kGpsFixQualityGps, {{5, 40, 100, cn0}, {12, 30, 200, cn0 - 5}, {20, 10, 300, 25}});
  record.validFields |= kGpsValidUsedPrns;
  record.usedPrns[0] = 5;
  record.usedPrns[1] = 12;
  return record;
}

// Feeds the page from a device thread every `periodMs` system milliseconds, `count` times.
void FeedFromDevice(CHistoryPage& page, int count, uint32_t periodMs, std::atomic<bool>& done) {
  for (int i = 0; i < count; ++i) {
    page.OnGPSData(nullptr, Sky(35 + static_cast<uint32_t>(i % 10)));
    platform::SleepMs(periodMs);
  }
  done = true;
}

int PixelsOf(const QImage& image, const QRect& area, const QColor& colour) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) count += QColor(image.pixel(x, y)) == colour ? 1 : 0;
  return count;
}

TEST(HistoryPageTest, UsedSatellitesAreFixColouredLinesAndStripCells) {
  for (const auto& [width, height] : {std::pair{240, 320}, {320, 240}, {480, 640}, {640, 480}}) {
    const platform::ScopedTimeScale scale(0.002, 1ms);
    CountingHistoryPage page;
    page_test::PageSheet sheet{{&page}, width, height};
    std::atomic<bool> done{false};
    std::thread device(FeedFromDevice, std::ref(page), 60, 1000, std::ref(done));
    ASSERT_TRUE(page_test::ProcessEventsUntil([&] { return done.load(); }));
    device.join();
    const QImage image = page_test::GrabPage(page);
    const QRect plot = page.ItemRect(IDC_HISTORY_PLOT).intersected(image.rect());
    EXPECT_GT(plot.height(), 60) << width << "x" << height;
    EXPECT_GT(PixelsOf(image, plot, QColor(0, 255, 0)), plot.width() / 4) << width << "x" << height;
    EXPECT_GT(PixelsOf(image, plot, QColor(0x9A, 0x9A, 0x9A)), plot.width() / 8) << width << "x" << height;
    if (page.HasScrollBar()) page.OnVScroll(kSbBottom, 0);  // landscape: the strip is below
    const QImage scrolled = page_test::GrabPage(page);
    const QRect strip = page.ItemRect(IDC_HISTORY_STRIP).intersected(scrolled.rect());
    EXPECT_GT(PixelsOf(scrolled, strip, QColor(0, 255, 0)), strip.width() / 4) << width << "x" << height;
  }
}

TEST(HistoryPageTest, TenRecordsASecondRepaintAtMostOnceASecond) {
  const platform::ScopedTimeScale scale(0.05, 2ms);
  CountingHistoryPage page;
  page_test::PageSheet sheet{{&page}};
  page.paints = 0;
  const uint64_t start = platform::ScaledNowMs();
  std::atomic<bool> done{false};
  std::thread device(FeedFromDevice, std::ref(page), 60, 100, std::ref(done));
  ASSERT_TRUE(page_test::ProcessEventsUntil([&] { return done.load(); }));
  device.join();
  const uint64_t seconds = (platform::ScaledNowMs() - start) / 1000;
  EXPECT_GE(page.paints, 1) << seconds << " s";
  EXPECT_LE(page.paints, static_cast<int>(seconds) + 1) << seconds << " s";
}

}  // namespace
