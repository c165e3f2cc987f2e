// Signal page: the bars measured on the rendered page, the PRN labels and the
// counts, for records handed over from a device thread.

#include <gtest/gtest.h>

#include <QColor>
#include <QEvent>
#include <QImage>
#include <thread>

#include "app/pages/SignalPage.h"
#include "pages/PageRecords.h"
#include "pages/PageSheet.h"
#include "platform/Time.h"
#include "resources/resource.h"

namespace {

using page_test::InView;
using page_test::PageSheet;

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

// Rows of the bar's middle column that have `colour`.
int ColouredRows(const QImage& image, const QRect& bar, const QColor& colour) {
  int rows = 0;
  const int x = bar.center().x();
  for (int y = bar.top(); y <= bar.bottom(); ++y) rows += QColor(image.pixel(x, y)) == colour ? 1 : 0;
  return rows;
}

class SignalPageTest : public ::testing::Test {
 protected:
  void Deliver(const GpsPosition& record) {
    std::thread device([&] { m_Page.OnGPSData(nullptr, record); });
    device.join();
    const QString used = QString::number(record.satelliteCount);
    ASSERT_TRUE(page_test::ProcessEventsUntil([&] {
      return m_Page.ItemText(IDC_SIGNAL_VIEW) == QString::number(record.satellitesInView) &&
             m_Page.ItemText(IDC_SIGNAL_USED) == used;
    }));
  }
  QRect Bar(int channel) const { return m_Page.ItemRect(IDC_SIGNAL_BAR_FIRST + channel); }
  QString Prn(int channel) const { return m_Page.ItemText(IDC_SIGNAL_PRN_FIRST + channel); }

  CSignalPage m_Page;
  PageSheet m_Sheet{{&m_Page}};
};

TEST_F(SignalPageTest, BeforeAnyDataEmptyFramesAndDashes) {
  const QImage image = page_test::GrabPage(m_Page);
  for (int channel = 0; channel < 12; ++channel) {
    EXPECT_EQ(Prn(channel), "--");
    EXPECT_FALSE(m_Page.IsItemVisible(IDC_SIGNAL_BAR_FIRST + channel));
    const QRect bar = Bar(channel);
    ASSERT_GT(bar.height(), 20) << channel;
    EXPECT_EQ(QColor(image.pixel(bar.center())), QColor(0xAB, 0xC0, 0xE9)) << channel;
    EXPECT_EQ(QColor(image.pixel(bar.center().x(), bar.top())), QColor(Qt::black)) << channel;
  }
  EXPECT_EQ(m_Page.ItemText(IDC_SIGNAL_CHANNEL_FIRST + 11), "12");
}

TEST_F(SignalPageTest, FillHeightIsTheSnrInPercentGreenWithAFix) {
  GpsPosition record = page_test::SkyRecord(kGpsFixQualityGps, {{17, 40, 100, 45}, {0, 30, 10, 40}, {12, 5, 5, 0},
                                                                 {5, 50, 200, 101}, {31, 60, 300, 100}});
  record.satelliteCount = 3;
  Deliver(record);
  const QImage image = page_test::GrabPage(m_Page);

  const QRect bar = Bar(0);
  EXPECT_NEAR(ColouredRows(image, bar, kGreen), bar.height() * 45 / 100, 2);
  EXPECT_EQ(ColouredRows(image, bar, kRed), 0);
  EXPECT_EQ(Prn(0), "17");

  EXPECT_EQ(Prn(1), "--");  // an SNR without a PRN draws nothing
  EXPECT_EQ(ColouredRows(image, Bar(1), kGreen), 0);

  EXPECT_EQ(Prn(2), "12");  // tracked at 0: an empty frame
  EXPECT_EQ(ColouredRows(image, Bar(2), kGreen), 0);

  EXPECT_EQ(Prn(3), "5");  // above 100: neither fill nor number
  EXPECT_EQ(ColouredRows(image, Bar(3), kGreen), 0);

  EXPECT_NEAR(ColouredRows(image, Bar(4), kGreen), Bar(4).height(), 3);
  for (int channel = 5; channel < 12; ++channel) EXPECT_EQ(Prn(channel), "--");
}

TEST_F(SignalPageTest, BarsAreRedWithoutAFix) {
  Deliver(page_test::SkyRecord(0, {{17, 40, 100, 45}}));
  const QImage image = page_test::GrabPage(m_Page);
  EXPECT_NEAR(ColouredRows(image, Bar(0), kRed), Bar(0).height() * 45 / 100, 2);
  EXPECT_EQ(ColouredRows(image, Bar(0), kGreen), 0);
}

TEST_F(SignalPageTest, SnrNumberSitsJustAboveTheFill) {
  Deliver(page_test::SkyRecord(kGpsFixQualityGps, {{17, 40, 100, 50}}));
  const QImage image = page_test::GrabPage(m_Page);
  const QRect bar = Bar(0);
  const int fillTop = bar.bottom() + 1 - bar.height() / 2;
  int dark = 0;  // glyph pixels in the 20 rows above the fill
  for (int y = fillTop - 20; y < fillTop; ++y)
    for (int x = bar.left() + 3; x < bar.right() - 2; ++x) dark += QColor(image.pixel(x, y)).lightness() < 100 ? 1 : 0;
  EXPECT_GT(dark, 5);
}

// Columns of the frame's black outline across the bar's middle row.
int DrawnFrameWidth(const QImage& image, const QRect& bar) {
  const int y = bar.center().y();
  int first = -1, last = -1;
  for (int x = bar.left() - 4; x <= bar.right() + 4; ++x) {
    if (!image.valid(x, y) || QColor(image.pixel(x, y)) != QColor(Qt::black)) continue;
    if (first < 0) first = x;
    last = x;
  }
  return first < 0 ? 0 : last - first + 1;
}

TEST(SignalPageBars, AllTwelveBarsHaveTheSameWidthOnEveryScreen) {
  for (const auto& [width, height] : {std::pair{240, 320}, {320, 240}, {480, 640}, {480, 854}, {640, 480}}) {
    CSignalPage page;
    PageSheet sheet{{&page}, width, height};
    const QImage image = page_test::GrabPage(page);
    const QRect first = page.ItemRect(IDC_SIGNAL_BAR_FIRST);
    EXPECT_GE(first.width(), 16) << width << "x" << height;
    for (int channel = 0; channel < 12; ++channel) {
      const QRect bar = page.ItemRect(IDC_SIGNAL_BAR_FIRST + channel);
      EXPECT_EQ(bar.size(), first.size()) << "channel " << channel << " at " << width << "x" << height;
      if (!image.rect().contains(bar)) continue;  // scrolled out of a landscape page
      EXPECT_EQ(DrawnFrameWidth(image, bar), first.width()) << "channel " << channel << " at " << width << "x" << height;
    }
  }
}

// Paints of a widget, counted as the UI thread runs.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    m_Paints += event->type() == QEvent::Paint ? 1 : 0;
    return false;
  }
  int m_Paints = 0;
};

TEST_F(SignalPageTest, RepaintsOnlyWhenTheSkyChangesAtMostTenTimesInASecond) {
  const platform::ScopedTimeScale scale(0.2);
  Deliver(page_test::SkyRecord(kGpsFixQualityGps, {{2, 60, 120, 40}}));
  const struct {
    const char* name;
    bool newSnrEachRecord;
    int fewestPaints;
    int mostPaints;
  } cases[] = {
      {"the same sky thirty times", false, 0, 0},
      {"a new C/N0 in each of thirty records, 20 ms apart", true, 1, 10},
  };
  for (const auto& c : cases) {
    PaintCounter counter(m_Page.Window());
    std::thread device([&] {
      for (uint32_t i = 0; i < 30; ++i) {
        m_Page.OnGPSData(nullptr, page_test::SkyRecord(kGpsFixQualityGps, {{2, 60, 120, c.newSnrEachRecord ? 41 + i : 40}}));
        platform::SleepMs(20);
      }
    });
    // Within the first second: the records came over 600 ms.
    const uint64_t until = platform::ScaledNowMs() + 900;
    while (platform::ScaledNowMs() < until) QApplication::processEvents(QEventLoop::AllEvents, 5);
    device.join();
    EXPECT_GE(counter.m_Paints, c.fewestPaints) << c.name;
    EXPECT_LE(counter.m_Paints, c.mostPaints) << c.name;
  }
}

}  // namespace
