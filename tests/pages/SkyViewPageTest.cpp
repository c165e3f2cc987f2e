// Sky view: the background by screen layout and the satellites' markers
// measured on the rendered page, zenith in the centre, horizon on the radius.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <thread>

#include "app/Resources.h"
#include "app/pages/SkyViewPage.h"
#include "pages/PageRecords.h"
#include "pages/PageSheet.h"
#include "resources/resource.h"

namespace {

using page_test::PageSheet;

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

// Where the background bitmap should be: centred across the screen, and in
// the upper 80 % of a portrait screen below the page's top.
struct Plot {
  QPoint centre;
  int radius;
};

Plot ExpectedPlot(CGPSPage& page, int bitmapId, int screenWidth, int screenHeight) {
  const QPixmap bitmap(BitmapPath(bitmapId));
  const int pageTop = page.Window()->mapTo(page.Window()->window(), QPoint(0, 0)).y();
  const int x = (screenWidth - bitmap.width()) / 2;
  const int y = (screenHeight * 80 / 100 - pageTop - bitmap.height()) / 2;
  return {QPoint(x + bitmap.width() / 2, y + bitmap.height() / 2 - 2), bitmap.width() / 2 - bitmap.width() / 10};
}

// Pixels of `colour` within `reach` of `point`.
int ColourNear(const QImage& image, QPoint point, const QColor& colour, int reach = 3) {
  int count = 0;
  for (int y = point.y() - reach; y <= point.y() + reach; ++y)
    for (int x = point.x() - reach; x <= point.x() + reach; ++x)
      if (image.valid(x, y) && QColor(image.pixel(x, y)) == colour) ++count;
  return count;
}

int ColourCount(const QImage& image, const QColor& colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += QColor(image.pixel(x, y)) == colour ? 1 : 0;
  return count;
}

class SkyViewPageTest : public ::testing::Test {
 protected:
  void Deliver(CSkyViewPage& page, const GpsPosition& record) {
    std::thread device([&] { page.OnGPSData(nullptr, record); });
    device.join();
    page_test::SettleEvents();
  }
};

TEST_F(SkyViewPageTest, ZenithInTheCentreAndTheHorizonOnTheRadius) {
  CSkyViewPage page;
  PageSheet sheet{{&page}, 480, 640};
  Deliver(page, page_test::SkyRecord(kGpsFixQualityGps, {{7, 90, 0, 40}, {9, 0, 90, 30}, {11, 0, 180, 30}}));
  const QImage image = page_test::GrabPage(page);
  const Plot plot = ExpectedPlot(page, IDB_SKYPLOT_BIG, 480, 640);
  EXPECT_GT(ColourNear(image, plot.centre, kGreen), 3);
  EXPECT_GT(ColourNear(image, plot.centre + QPoint(plot.radius, 0), kGreen), 3);   // east on the right edge
  EXPECT_GT(ColourNear(image, plot.centre + QPoint(0, plot.radius), kGreen), 3);   // south at the bottom
  EXPECT_EQ(ColourNear(image, plot.centre + QPoint(-plot.radius, 0), kGreen), 0);  // nobody in the west
}

TEST_F(SkyViewPageTest, HalfWayUpIsHalfWayIn) {
  CSkyViewPage page;
  PageSheet sheet{{&page}, 240, 320};
  Deliver(page, page_test::SkyRecord(kGpsFixQualityDgps, {{3, 45, 270, 40}}));
  const QImage image = page_test::GrabPage(page);
  const Plot plot = ExpectedPlot(page, IDB_SKYPLOT, 240, 320);
  EXPECT_GT(ColourNear(image, plot.centre - QPoint(plot.radius / 2, 0), kGreen), 3);
}

TEST_F(SkyViewPageTest, WithoutAFixEverythingTurnsRed) {
  CSkyViewPage page;
  PageSheet sheet{{&page}, 480, 640};
  Deliver(page, page_test::SkyRecord(kGpsFixQualityGps, {{7, 90, 0, 40}}));
  Deliver(page, page_test::SkyRecord(0, {{7, 90, 0, 40}}));
  const QImage image = page_test::GrabPage(page);
  const Plot plot = ExpectedPlot(page, IDB_SKYPLOT_BIG, 480, 640);
  EXPECT_GT(ColourNear(image, plot.centre, kRed), 3);
  EXPECT_EQ(ColourCount(image, kGreen), 0);
}

TEST_F(SkyViewPageTest, NoSatellitesDrawOnlyTheBackground) {
  CSkyViewPage page;
  PageSheet sheet{{&page}, 480, 640};
  Deliver(page, page_test::SkyRecord(kGpsFixQualityGps, {}));
  const QImage image = page_test::GrabPage(page);
  EXPECT_EQ(ColourCount(image, kGreen), 0);
  EXPECT_EQ(ColourCount(image, kRed), 0);
}

// The width of what differs from the page's background along the plot's middle row.
int DrawnWidth(const QImage& image, int row) {
  const QRgb background = image.pixel(0, row);
  int left = -1;
  int right = -1;
  for (int x = 0; x < image.width(); ++x) {
    if (image.pixel(x, row) == background) continue;
    if (left < 0) left = x;
    right = x;
  }
  return left < 0 ? 0 : right - left + 1;
}

TEST_F(SkyViewPageTest, LargeBackgroundOnlyOnThe480And640WideLayouts) {
  struct Case {
    int width, height, bitmapWidth;
  };
  for (const Case c : {Case{480, 640, 462}, Case{480, 854, 231}, Case{240, 320, 231}}) {
    CSkyViewPage page;
    PageSheet sheet{{&page}, c.width, c.height};
    const QImage image = page_test::GrabPage(page);
    const Plot plot = ExpectedPlot(page, c.bitmapWidth > 231 ? IDB_SKYPLOT_BIG : IDB_SKYPLOT, c.width, c.height);
    EXPECT_NEAR(DrawnWidth(image, plot.centre.y()), c.bitmapWidth, 12) << c.width << "x" << c.height;
  }
}

}  // namespace
