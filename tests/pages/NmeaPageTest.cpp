// NMEA data page: raw text from a device thread becomes list entries, in
// order, none lost or doubled, the newest selected, each line echoed.

#include <gtest/gtest.h>

#include <QStringList>
#include <string>
#include <chrono>
#include <thread>

#include "app/pages/NmeaPage.h"
#include "device/DeviceTestSupport.h"
#include "pages/PageRecords.h"
#include "pages/PageSheet.h"
#include "platform/Debug.h"
#include "resources/resource.h"
#include "sim/NmeaSentences.h"
#include "sim/PseudoTerminal.h"

namespace {

using page_test::PageSheet;

class NmeaPageTest : public ::testing::Test {
 protected:
  NmeaPageTest() { m_Capture.SetEcho(false); }

  // Each chunk arrives as one read of the device, on a device thread.
  void Receive(const std::vector<std::string>& chunks) {
    std::thread device([&] {
      for (const std::string& chunk : chunks) m_Page.ReceiveText(nullptr, page_test::EmptyRecord(), chunk);
    });
    device.join();
  }
  bool ListShows(const QStringList& entries) {
    return page_test::ProcessEventsUntil([&] { return Entries() == entries; });
  }
  QStringList Entries() const { return m_Page.ListItems(IDC_NMEA_LIST); }

  platform::DebugCapture m_Capture;
  CNmeaPage m_Page;
  PageSheet m_Sheet{{&m_Page}};
};

TEST_F(NmeaPageTest, SentenceSplitOverTwoReadsIsOneEntry) {
  Receive({"$GPGGA,123519,4916.45,N", ",12311.12,W,1,08*1A\r\n$GPGSA"});
  ASSERT_TRUE(ListShows({"$GPGGA,123519,4916.45,N,12311.12,W,1,08*1A"}));
  EXPECT_EQ(m_Page.CurSel(IDC_NMEA_LIST), 0);
  EXPECT_TRUE(m_Capture.Contains("$GPGGA,123519,4916.45,N,12311.12,W,1,08*1A"));
}

TEST_F(NmeaPageTest, LineEndsAndEmptyEntries) {
  Receive({"A\r\nB\rC\nD\r", "\r\n\r\n"});
  ASSERT_TRUE(ListShows({"A", "B", "CD", "", ""}));
  EXPECT_EQ(m_Page.CurSel(IDC_NMEA_LIST), 4);
}

TEST_F(NmeaPageTest, ThreeHundredSentencesKeepTheLast257) {
  std::vector<std::string> chunks;
  QStringList last;
  for (int i = 0; i < 300; ++i) {
    chunks.push_back("$GPTXT,line " + std::to_string(i) + "\r\n");
    if (i >= 300 - 257) last << QString("$GPTXT,line %1").arg(i);
  }
  Receive(chunks);
  ASSERT_TRUE(ListShows(last));
  EXPECT_EQ(m_Page.CurSel(IDC_NMEA_LIST), 256);
  EXPECT_EQ(m_Capture.Count("$GPTXT,line "), 300u);  // every line echoed, once
}

TEST_F(NmeaPageTest, LongLineShowsInEntriesOf255) {
  std::string line;
  for (int i = 0; i < 600; ++i) line.push_back(static_cast<char>('A' + i % 26));
  Receive({line.substr(0, 100), line.substr(100) + "\r\n"});
  const QString text = QString::fromStdString(line);
  ASSERT_TRUE(ListShows({text.mid(0, 255), text.mid(255, 255), text.mid(510)}));
}

TEST_F(NmeaPageTest, BytesAreShownAsTheyCame) {
  Receive({std::string("\xB0 \x7F", 3) + "\r"});
  ASSERT_TRUE(ListShows({QString::fromLatin1("\xB0 \x7F", 3)}));
}

TEST(NmeaPageWithoutWindowTest, TextBeforeTheWindowIsNotKept) {
  platform::DebugCapture capture;
  capture.SetEcho(false);
  CNmeaPage page;
  page.ReceiveText(nullptr, page_test::EmptyRecord(), "$GPGGA\r\n");
  PageSheet sheet{{&page}};
  page.ReceiveText(nullptr, page_test::EmptyRecord(), "$GPRMC\r\n");
  ASSERT_TRUE(page_test::ProcessEventsUntil([&] { return page.ListCount(IDC_NMEA_LIST) == 1; }));
  EXPECT_EQ(page.ListItemText(IDC_NMEA_LIST, 0), "$GPRMC");
}

// Writes `bytes` no faster than a 115200-baud line carries them (a pseudo-
// terminal has no line rate of its own).
void WriteAtLineRate(const sim::PseudoTerminal& terminal, const std::string& bytes) {
  constexpr size_t kBytesPerSecond = 115200 / 10;
  constexpr size_t kChunk = kBytesPerSecond / 100;  // 10 ms of the line
  const auto start = std::chrono::steady_clock::now();
  for (size_t sent = 0; sent < bytes.size(); sent += kChunk) {
    std::this_thread::sleep_until(start + std::chrono::microseconds(sent * 1000000 / kBytesPerSecond));
    if (!terminal.WriteToSlave(std::string_view(bytes).substr(sent, kChunk))) return;
  }
}

// A device reading a pseudo-terminal at 115200 baud feeds the page while the
// UI thread keeps repainting: the list ends with exactly the lines sent.
class NmeaPageStreamTest : public device_test::DeviceTest {};

TEST_F(NmeaPageStreamTest, EveryLineArrivesInOrderAt115200Baud) {
  sim::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.Valid());
  platform::SetPortDevicePath("COM4:", terminal.SlavePath());
  CNmeaPage page;
  PageSheet sheet{{&page}};
  CGPSDevice device;
  ASSERT_EQ(device.Create("COM4:", 0, kGpsTypeAgps, 115200), 1);
  device.AddListener(&page);
  ASSERT_EQ(device.Open(), 1);

  constexpr int kLines = 300;
  std::string stream;
  for (int i = 0; i < kLines; ++i) stream += sim::NmeaSentence("GPTXT,01,01,02,line " + std::to_string(i));
  std::thread writer([&] { WriteAtLineRate(terminal, stream); });
  const QString lastLine = QString::fromStdString(sim::NmeaSentence("GPTXT,01,01,02,line " + std::to_string(kLines - 1)))
                               .trimmed();
  const bool arrived = page_test::ProcessEventsUntil([&] {
    page.Refresh(true);
    return page.ListCount(IDC_NMEA_LIST) > 0 && page.ListItemText(IDC_NMEA_LIST, page.ListCount(IDC_NMEA_LIST) - 1) == lastLine;
  });
  writer.join();
  device.Close();
  ASSERT_EQ(m_Capture.Count("receive queue full"), 0u) << "the device could not keep up with the line";
  ASSERT_TRUE(arrived);

  const QStringList entries = page.ListItems(IDC_NMEA_LIST);
  ASSERT_EQ(entries.size(), 257);
  for (int i = 0; i < 257; ++i) {
    const int line = kLines - 257 + i;
    EXPECT_EQ(entries[i], QString::fromStdString(sim::NmeaSentence("GPTXT,01,01,02,line " + std::to_string(line))).trimmed());
  }
  EXPECT_EQ(m_Capture.Count(",line "), static_cast<size_t>(kLines));
}

}  // namespace
