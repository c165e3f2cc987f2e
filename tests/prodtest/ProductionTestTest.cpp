// The production test's counting, averages, verdicts and hand-over, and the
// result journal. Devices here are never created: the test drives their
// public state (open, fixed) as their parse threads would.

#include "prodtest/ProductionTest.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

#include "device/GPSDevice.h"
#include "platform/Clock.h"
#include "platform/HardwareSerial.h"
#include "platform/Time.h"
#include "prodtest/DeviceRootFixture.h"
#include "prodtest/JournalReader.h"
#include "prodtest/JournalSummary.h"
#include "prodtest/PortConf.h"
#include "prodtest/ProductionStation.h"
#include "prodtest/ResultJournal.h"

namespace {

using navlume_test::ReadText;

constexpr const char* kTempJournal = "files/Temp/NAVLUME_RESULTS.CSV";

GpsPosition WithSnrs(std::vector<uint32_t> snrs, uint32_t inView = 0, uint32_t used = 0) {
  GpsPosition position{};
  for (size_t i = 0; i < snrs.size(); ++i) {
    position.inViewSnr[i] = snrs[i];
    position.inViewPrns[i] = static_cast<uint32_t>(i + 1);
  }
  position.satellitesInView = inView;
  position.satelliteCount = used;
  return position;
}

GpsPosition WithFix(GpsPosition position) {
  position.fixQuality = kGpsFixQualityGps;
  return position;
}

TEST(AverageSnrTest, ChoosesTheValuesByHowManyAreTracked) {
  platform::DebugCapture capture;
  capture.SetEcho(false);
  // Six or more: the five strongest.
  EXPECT_EQ(AverageSnr(WithSnrs({45, 44, 42, 40, 38, 30})), 41u);
  EXPECT_EQ(AverageSnr(WithSnrs({30, 0, 45, 12, 44, 42, 0, 40, 38, 20, 19, 18})), 41u);
  // Three to five: all but the strongest and the weakest.
  EXPECT_EQ(AverageSnr(WithSnrs({40, 35, 20})), 35u);
  EXPECT_EQ(AverageSnr(WithSnrs({0, 20, 0, 35, 40, 0})), 35u);
  EXPECT_EQ(AverageSnr(WithSnrs({10, 40, 30, 31, 50})), 33u);  // (30 + 31 + 40) / 3, remainder dropped
  // One or two: all of them.
  EXPECT_EQ(AverageSnr(WithSnrs({33, 30})), 31u);
  EXPECT_EQ(AverageSnr(WithSnrs({0, 0, 0, 27})), 27u);
  EXPECT_FALSE(capture.Contains("SNR value is all zero"));
  // None: 0, logged.
  EXPECT_EQ(AverageSnr(WithSnrs({0, 0, 0})), 0u);
  EXPECT_TRUE(capture.Contains("[Navlume] SNR value is all zero!"));
}

PanelSnapshot Fixed(uint32_t average, uint32_t level, uint32_t elapsed) {
  PanelSnapshot panel;
  panel.bPresent = true;
  panel.portName = "COM2:";
  panel.state = kDeviceOpen;
  panel.bFixed = true;
  panel.passLevel = level;
  panel.averageSnr = average;
  panel.elapsedSeconds = elapsed;
  return panel;
}

TEST(PanelTextsTest, VerdictsAgainstThePassLevel) {
  PanelTexts texts = PanelTextsOf(Fixed(38, 35, 75));
  EXPECT_EQ(texts.ttff, "01:15(Fixed)");
  EXPECT_EQ(texts.snr, "38( Pass )");
  EXPECT_EQ(PanelTextsOf(Fixed(35, 35, 75)).snr, "35( Pass )");
  EXPECT_EQ(PanelTextsOf(Fixed(34, 35, 75)).snr, "34( Fail )");
  EXPECT_EQ(ResultVerdictOf(Fixed(34, 35, 75)), TestVerdict::Fail);
  // Level 0: the panel shows no verdict; the result line counts it as a pass.
  EXPECT_EQ(PanelTextsOf(Fixed(5, 0, 3)).snr, "5");
  EXPECT_EQ(VerdictOf(Fixed(5, 0, 3)), TestVerdict::None);
  EXPECT_EQ(ResultVerdictOf(Fixed(5, 0, 3)), TestVerdict::Pass);

  PanelSnapshot timedOut = Fixed(41, 35, 30);
  timedOut.bFixed = false;
  timedOut.bTimeout = true;
  texts = PanelTextsOf(timedOut);
  EXPECT_EQ(texts.ttff, "00:30(Timeout)");
  EXPECT_EQ(texts.snr, "41( Fail )");
  // A fix after the timeout is checked first.
  timedOut.bFixed = true;
  EXPECT_EQ(PanelTextsOf(timedOut).ttff, "00:30(Fixed)");
  EXPECT_EQ(PanelTextsOf(timedOut).snr, "41( Pass )");

  PanelSnapshot running = Fixed(20, 35, 605);
  running.bFixed = false;
  texts = PanelTextsOf(running);
  EXPECT_EQ(texts.ttff, "10:05");
  EXPECT_EQ(texts.snr, "20");
  EXPECT_EQ(ResultVerdictOf(running), TestVerdict::Fail);
}

TEST(PanelTextsTest, TitlesByPortName) {
  ResetPortNames();
  const auto title = [](const char* port) {
    PanelSnapshot panel;
    panel.portName = port;
    return PanelTextsOf(panel).title;
  };
  EXPECT_EQ(title("COM2:"), "COM2:(U-BLOX7)");
  EXPECT_EQ(title("COM3:"), "COM3:(OEM615)");
  EXPECT_EQ(title("COM9:"), "COM9:(A-GPS)");
  EXPECT_EQ(title("COM7:"), "COM7:(UNKNOWN)");
  EXPECT_EQ(title("COM"), "COM(UNKNOWN)");
  EXPECT_EQ(title("COM2x"), "COM2x(U-BLOX7)");  // only the first four characters are compared
}

class ProductionTestTest : public navlume_test::DeviceRootTest {
 protected:
  void SetUp() override {
    DeviceRootTest::SetUp();
    m_Ui.SetQuiet(true);
    platform::SetUserInterface(&m_Ui);
    for (auto* device : {&m_First, &m_Second, &m_Third}) {
      device->m_PassLevel = kDefaultPassLevel;
    }
    m_First.m_PortName = "COM2:";
    m_Second.m_PortName = "COM9:";
    m_Third.m_PortName = "COM3:";
  }

  static void Ticks(CProductionTest& test, int count) {
    for (int i = 0; i < count; ++i) test.OnTimer();
  }

  platform::ScopedTimeScale m_Scale{0.001};
  platform::HeadlessUserInterface m_Ui;
  CGPSDevice m_First, m_Second, m_Third;
};

TEST_F(ProductionTestTest, CountsUntilTheFixAndRecordsIt) {
  CProductionTest test(kTestTypeSameTime, 60);
  ASSERT_EQ(test.AddDevice(&m_First), 1);
  m_First.m_State = kDeviceOpen;
  test.OnGPSData(&m_First, WithSnrs({45, 44, 42, 40, 38, 30}, 6, 0));
  Ticks(test, 12);
  EXPECT_EQ(test.Panel(0).elapsedSeconds, 12u);
  EXPECT_FALSE(test.AllDone());
  // The device raises its flag a moment before it hands over the record of
  // the fix: a tick in between still counts.
  m_First.m_bFixed = 1;
  test.OnTimer();
  EXPECT_EQ(test.Panel(0).elapsedSeconds, 13u);
  EXPECT_FALSE(test.Panel(0).bFixed);
  test.OnGPSData(&m_First, WithFix(WithSnrs({45, 44, 42, 40, 38, 30}, 6, 5)));
  Ticks(test, 3);
  const PanelSnapshot panel = test.Panel(0);
  EXPECT_EQ(panel.elapsedSeconds, 13u);
  EXPECT_EQ(panel.averageSnr, 41u);
  EXPECT_EQ(panel.position.satelliteCount, 5u);
  EXPECT_TRUE(panel.bDone);
  EXPECT_TRUE(test.AllDone());
  EXPECT_EQ(m_First.m_State, kDeviceOpen);  // at the same time the receiver stays open
  EXPECT_EQ(PanelTextsOf(panel).ttff, "00:13(Fixed)");
}

TEST_F(ProductionTestTest, RecordsOfAClosedDeviceOrAnotherDeviceAreIgnored) {
  CProductionTest test(kTestTypeSameTime, 60);
  test.AddDevice(&m_First);
  m_First.m_State = kDeviceCreated;
  test.OnGPSData(&m_First, WithSnrs({40}, 1, 1));
  m_Second.m_State = kDeviceOpen;
  test.OnGPSData(&m_Second, WithSnrs({40}, 1, 1));
  EXPECT_EQ(test.Panel(0).averageSnr, 0u);
  EXPECT_EQ(test.Panel(0).position.satellitesInView, 0u);
  EXPECT_FALSE(test.Panel(1).bPresent);
}

TEST_F(ProductionTestTest, TimeoutFromTheTickAfterTheCounterReachedIt) {
  CProductionTest test(kTestTypeSameTime, 30);
  test.AddDevice(&m_First);
  m_First.m_State = kDeviceOpen;
  Ticks(test, 30);
  EXPECT_EQ(PanelTextsOf(test.Panel(0)).ttff, "00:30");
  EXPECT_EQ(m_First.m_bTimeout, 0);
  test.OnTimer();
  EXPECT_EQ(m_First.m_bTimeout, 1);
  EXPECT_EQ(PanelTextsOf(test.Panel(0)).ttff, "00:30(Timeout)");
  EXPECT_EQ(PanelTextsOf(test.Panel(0)).snr, "0( Fail )");
  EXPECT_TRUE(m_Capture.Contains("[Navlume] Port COM2: is detected timeout !"));
  // At the same time the receiver stays open; its finished test is not flagged again.
  Ticks(test, 2);
  EXPECT_EQ(m_Capture.Count("is detected timeout"), 1u);
  EXPECT_EQ(test.Panel(0).elapsedSeconds, 30u);

  // A fix after the timeout: the panel keeps the timed-out Fail it recorded.
  m_First.m_bFixed = 1;
  test.OnGPSData(&m_First, WithFix(WithSnrs({40, 41}, 2, 2)));
  test.OnTimer();
  EXPECT_EQ(PanelTextsOf(test.Panel(0)).ttff, "00:30(Timeout)");
  EXPECT_EQ(PanelTextsOf(test.Panel(0)).snr, "0( Fail )");
  EXPECT_TRUE(test.Panel(0).bTimeout);
  EXPECT_FALSE(test.Panel(0).bFixed);
  EXPECT_EQ(ResultVerdictOf(test.Panel(0)), TestVerdict::Fail);
}

// What a panel records on the tick its test finishes stands, whatever the
// receiver does afterwards; and the timeout comes first, so a fix first seen
// on the tick where the count reaches the timeout is a timed-out Fail.
TEST_F(ProductionTestTest, AFinishedPanelKeepsWhatItRecorded) {
  const struct {
    int32_t testType;
    int ticksBeforeFix;
    const char *ttff, *snr;
  } cases[] = {{kTestTypeSameTime, 7, "00:07(Fixed)", "41( Pass )"},
               {kTestTypeSameTime, 30, "00:30(Timeout)", "41( Fail )"},
               {kTestTypeOneByOne, 30, "00:30(Timeout)", "41( Fail )"}};
  for (const auto& each : cases) {
    CProductionTest test(each.testType, 30);
    test.AddDevice(&m_First);
    m_First.m_State = kDeviceOpen;
    m_First.m_bTimeout = 0;
    Ticks(test, each.ticksBeforeFix);
    m_First.m_bFixed = 1;
    test.OnGPSData(&m_First, WithFix(WithSnrs({40, 41, 42}, 3, 3)));
    test.OnTimer();
    m_First.m_bFixed = 0;  // the fix is lost; tested at the same time, the receiver stays open
    test.OnGPSData(&m_First, WithSnrs({20, 21, 22}, 3, 0));
    Ticks(test, 40);
    const PanelSnapshot shown = test.Panel(0);
    EXPECT_EQ(PanelTextsOf(shown).ttff, each.ttff) << each.ticksBeforeFix;
    EXPECT_EQ(PanelTextsOf(shown).snr, each.snr) << each.ticksBeforeFix;
    EXPECT_NE(shown.bFixed, shown.bTimeout);  // a receiver that passed did not time out
    EXPECT_EQ(m_First.m_bTimeout != 0, shown.bTimeout);  // nor is it flagged later
  }
}

TEST_F(ProductionTestTest, NoTimeoutCountsWithoutLimit) {
  CProductionTest test(kTestTypeOneByOne, 0);
  test.AddDevice(&m_First);
  m_First.m_State = kDeviceOpen;
  Ticks(test, 150);
  EXPECT_EQ(test.Panel(0).elapsedSeconds, 150u);
  EXPECT_EQ(m_First.m_bTimeout, 0);
  EXPECT_FALSE(test.AllDone());
}

// The station hands the second receiver of a one-by-one test over once the first is done.
TEST_F(ProductionTestTest, OneByOneHandsOverWhenTheFirstIsDone) {
  CPortConf conf;
  conf.m_TestType = kTestTypeOneByOne;
  conf.m_TestTimeout = 0;
  CProductionStation station(conf);
  station.Test().AddDevice(&m_First);
  station.Test().AddDevice(&m_Second);
  m_First.m_State = kDeviceOpen;
  ASSERT_EQ(m_Second.Create("COM9:", kDefaultPassLevel, kGpsTypeAgps, 9600), 1);  // its port is not mapped
  for (int i = 0; i < 20; ++i) station.Tick();
  const CProductionTest& test = station.Test();
  EXPECT_EQ(test.Panel(0).elapsedSeconds, 20u);
  EXPECT_EQ(test.Panel(1).elapsedSeconds, 0u);
  EXPECT_EQ(PanelTextsOf(test.Panel(1)).ttff, "00:00");
  EXPECT_FALSE(station.Finished());

  // The first is done: its port closes and the second is opened, which fails
  // after the wait dialog's attempts; it stays created and is never tried again.
  m_First.m_bFixed = 1;
  station.OnGPSData(&m_First, WithFix(WithSnrs({40, 41, 42}, 3, 3)));
  station.Tick();
  EXPECT_EQ(m_First.m_State, kDevicePortClosed);
  EXPECT_EQ(m_Second.m_State, kDeviceCreated);
  EXPECT_EQ(m_Ui.WaitDialogsShown(), 1);
  EXPECT_EQ(m_Ui.MessageBoxes(), std::vector<std::string>{"Can't activate COM9: devices"});
  for (int i = 0; i < 5; ++i) station.Tick();
  EXPECT_EQ(m_Ui.WaitDialogsShown(), 1);
  EXPECT_EQ(test.Panel(1).elapsedSeconds, 0u);
  EXPECT_TRUE(station.Finished());
  EXPECT_EQ(ResultVerdictOf(test.Panel(1)), TestVerdict::Fail);
  const std::string journal = ReadText(Root() / "files/Temp/NAVLUME_RESULTS.CSV");
  EXPECT_NE(journal.find(",COM2:,U-BLOX7,One by one,20,0,41,35,Pass,3,3,fix,"), std::string::npos) << journal;
  EXPECT_NE(journal.find(",COM9:,A-GPS,One by one,0,0,0,35,Fail,0,0,open failed,"), std::string::npos) << journal;
}

// A test ends on a tick. A receiver whose fix no tick counted before the run
// ended, by a stop or at its end, fails, stopped: on the page, in the
// command's result and in the journal alike.
TEST_F(ProductionTestTest, AFixNoTickCountedBeforeTheRunEndedFails) {
  for (const bool stopRequested : {true, false}) {
    std::filesystem::remove(Root() / kTempJournal);
    CPortConf conf;
    conf.m_TestType = kTestTypeSameTime;
    conf.m_TestTimeout = 30;
    conf.m_PortCount = 1;
    conf.m_PortNames[0] = "COM2:";
    CProductionStation station(conf);
    station.Test().AddDevice(&m_First);
    m_First.m_State = kDeviceOpen;
    m_First.m_bFixed = 0;
    for (int i = 0; i < 3; ++i) station.Tick();
    m_First.m_bFixed = 1;
    station.OnGPSData(&m_First, WithFix(WithSnrs({40, 41, 42}, 3, 3)));
    EXPECT_EQ(PanelTextsOf(station.Panel(0)).snr, "41( Pass )");  // the live panel sees the fix
    if (stopRequested) {
      station.Stop();
      station.Tick();
      EXPECT_EQ(PanelTextsOf(station.Panel(0)).snr, "41( Fail )");
    }
    station.EndRun();
    const PanelTexts shown = PanelTextsOf(station.Panel(0));
    EXPECT_EQ(shown.ttff, "00:03") << stopRequested;
    EXPECT_EQ(shown.snr, "41( Fail )") << stopRequested;
    EXPECT_EQ(ResultVerdictOf(station.Result(0)), TestVerdict::Fail) << stopRequested;
    const std::string journal = ReadText(Root() / kTempJournal);
    EXPECT_NE(journal.find(",COM2:,U-BLOX7,At the same time,3,0,41,35,Fail,3,3,stopped,"), std::string::npos)
        << journal;
  }
}

TEST_F(ProductionTestTest, FinishedHandlerRunsOncePerReceiver) {
  CProductionTest test(kTestTypeSameTime, 5);
  std::vector<int> finished;
  test.SetFinishedHandler([&](int panel, const PanelSnapshot& result) {
    finished.push_back(panel);
    EXPECT_TRUE(result.bDone);
  });
  test.AddDevice(&m_First);
  test.AddDevice(&m_Second);
  m_First.m_State = kDeviceOpen;
  m_Second.m_State = kDeviceOpen;
  Ticks(test, 2);
  m_Second.m_bFixed = 1;
  test.OnGPSData(&m_Second, WithFix(WithSnrs({40}, 1, 1)));
  Ticks(test, 10);
  EXPECT_EQ(finished, (std::vector<int>{1, 0}));
}

TEST_F(ProductionTestTest, AThirdReceiverIsRefused) {
  CProductionTest test(kTestTypeSameTime, 60);
  EXPECT_EQ(test.AddDevice(&m_First), 1);
  EXPECT_EQ(test.AddDevice(&m_Second), 1);
  EXPECT_EQ(test.AddDevice(&m_Third), 0);
  EXPECT_EQ(test.AddDevice(nullptr), 0);
  EXPECT_EQ(test.DeviceCount(), 2);
  EXPECT_TRUE(m_Capture.Contains("no panel left for COM3:"));
}

// The parse thread hands over records while the driving thread reads panels:
// a panel's record and its average always belong together.
TEST_F(ProductionTestTest, RecordAndAverageAreReadTogether) {
  CProductionTest test(kTestTypeSameTime, 0);
  test.AddDevice(&m_First);
  m_First.m_State = kDeviceOpen;
  std::atomic<bool> stop{false};
  std::thread parse([&] {
    for (uint32_t snr = 1; !stop; snr = snr % 99 + 1) {
      test.OnGPSData(&m_First, WithSnrs({snr, snr, snr, snr, snr, snr, snr}, snr, snr));
    }
  });
  for (int i = 0; i < 20000; ++i) {
    const PanelSnapshot panel = test.Panel(0);
    ASSERT_EQ(panel.averageSnr, panel.position.satellitesInView);
    ASSERT_EQ(panel.averageSnr, panel.position.inViewSnr[6]);
    if (i % 1000 == 0) test.OnTimer();
  }
  stop = true;
  parse.join();
}

const std::string kHeader = ResultJournalHeader();
const std::string kFirstHeader = ResultJournalHeader(kFirstJournalColumnCount);

// A random UUID as the writer makes them: lower-case hex, version 4, variant 10.
bool IsRandomUuid(std::string_view text) {
  constexpr std::string_view kForm = "xxxxxxxx-xxxx-4xxx-vxxx-xxxxxxxxxxxx";
  constexpr std::string_view kHex = "0123456789abcdef", kVariant = "89ab";
  if (text.size() != kForm.size()) return false;
  for (size_t i = 0; i < kForm.size(); ++i) {
    const std::string_view allowed = kForm[i] == 'x' ? kHex : kForm[i] == 'v' ? kVariant : kForm.substr(i, 1);
    if (allowed.find(text[i]) == std::string_view::npos) return false;
  }
  return true;
}

// The journal with the random id that ends a line as "ID"; the ids in `ids`, when given.
std::string WithoutIds(const std::string& journal, std::set<std::string>* ids = nullptr) {
  std::string text;
  std::istringstream lines(journal);
  for (std::string line; std::getline(lines, line);) {
    const size_t comma = line.rfind(',');
    const std::string id = comma == std::string::npos ? "" : line.substr(comma + 1, line.find('\r') - comma - 1);
    if (IsRandomUuid(id)) {
      if (ids) ids->insert(id);
      line.replace(comma + 1, id.size(), "ID");
    }
    text += line + (lines.eof() ? "" : "\n");
  }
  return text;
}

class ResultJournalTest : public navlume_test::DeviceRootTest {
 protected:
  void SetUp() override {
    DeviceRootTest::SetUp();
    NameStation("Line 4");
    SYSTEMTIME t{2026, 12, 2, 8, 6, 30, 5, 0};
    FILETIME now = 0;
    ASSERT_TRUE(SystemTimeToFileTime(t, now));
    m_Clock.Set(now);
  }

  static PanelSnapshot Result() {
    PanelSnapshot result = Fixed(41, 35, 31);
    result.position.satellitesInView = 10;
    result.position.satelliteCount = 9;
    return result;
  }

  void NameStation(const std::string& name) {
    std::ofstream(Root() / "device.ini") << "[station]\nname = " << name << "\n";
    ASSERT_TRUE(platform::SetDeviceRoot(Root()));
  }

  platform::ManualClock m_Clock;
  platform::ScopedUtcClock m_ScopedClock{m_Clock};
};

TEST_F(ResultJournalTest, HeaderOnceThenOneLinePerResult) {
  ASSERT_EQ(AppendTestResult(Result(), kTestTypeOneByOne, TestEndReason::Fix), 1);
  PanelSnapshot timedOut = Result();
  timedOut.portName = "COM9:";
  timedOut.bFixed = false;
  timedOut.bTimeout = true;
  timedOut.elapsedSeconds = 30;
  ASSERT_EQ(AppendTestResult(timedOut, kTestTypeSameTime, TestEndReason::Timeout), 1);
  // The lines are split at every comma: a station name keeps none.
  NameStation("Bay 2, \"B\"");
  ASSERT_EQ(AppendTestResult(timedOut, kTestTypeSameTime, TestEndReason::Stopped), 1);
  std::set<std::string> ids;
  EXPECT_EQ(WithoutIds(ReadText(Root() / kTempJournal), &ids),
            "utc,port,receiver,testType,ttffSeconds,timedOut,averageSnr,passLevel,verdict,satellitesInView,"
            "satellitesUsed,reason,station,id\r\n"
            "2026-12-08T06:30:05Z,COM2:,U-BLOX7,One by one,31,0,41,35,Pass,10,9,fix,Line 4,ID\r\n"
            "2026-12-08T06:30:05Z,COM9:,A-GPS,At the same time,30,1,41,35,Fail,10,9,timeout,Line 4,ID\r\n"
            "2026-12-08T06:30:05Z,COM9:,A-GPS,At the same time,30,1,41,35,Fail,10,9,stopped,Bay 2; \"B\",ID\r\n");
  EXPECT_EQ(ids.size(), 3u);  // each line has an id of its own
}

// A line's fields always match the last header above it, as the reader takes
// it: when that header names other columns, or there is none, the current
// header goes first, and the line never has an empty field.
TEST_F(ResultJournalTest, ALineGoesBelowAHeaderOfItsColumns) {
  const std::string line = "2026-12-08T06:30:05Z,COM2:,U-BLOX7,One by one,31,0,41,35,Pass,10,9,fix,Line 4,ID\r\n";
  const std::string firstLine = "2026-03-01T08:00:00Z,COM2:,U-BLOX7,One by one,30,0,40,35,Pass,10,9\r\n";
  const std::string stationHeader = ResultJournalHeader(kStationJournalColumnCount);
  const std::string foreignHeader = "utc,receiver,ttffSeconds,timedOut,averageSnr,passLevel,verdict\r\n";
  const std::string byteOrderMark = "\xEF\xBB\xBF";
  const std::string faraway(kHeaderSearchBytes, '\n');  // blank lines: they hold nothing
  const struct {
    const char* what;
    std::string journal;
    std::string appended;
  } cases[] = {
      {"new", "", kHeader + line},
      {"current", kHeader, line},
      {"current, saved by a spreadsheet", byteOrderMark + kHeader, line},
      {"first version, saved by a spreadsheet", byteOrderMark + kFirstHeader + firstLine, kHeader + line},
      {"first version", kFirstHeader + firstLine, kHeader + line},
      {"headerless", firstLine, kHeader + line},
      {"reason and station", stationHeader, kHeader + line},
      {"foreign", foreignHeader, kHeader + line},
      {"current, then foreign", kHeader + line + foreignHeader, kHeader + line},
      {"foreign, then current", foreignHeader + kHeader, line},
      {"current, without its line end", kHeader.substr(0, kHeader.size() - 2), "\r\n" + line},
      {"a half line", kHeader + "2026-12-08T06:30:00Z,CO", "\r\n" + line},
      {"current, far back", kHeader + faraway, kHeader + line},
      {"current, within reach", kHeader + faraway.substr(kHeader.size()), line},
  };
  for (const auto& each : cases) {
    navlume_test::WriteText(Root() / kTempJournal, each.journal);
    ASSERT_EQ(AppendTestResult(Result(), kTestTypeOneByOne, TestEndReason::Fix), 1) << each.what;
    EXPECT_EQ(WithoutIds(ReadText(Root() / kTempJournal)), WithoutIds(each.journal) + each.appended) << each.what;
  }
}

// A first version's journal, whose lines have no reason, and new lines whose
// tests did not end with a fix: each counts as a failure with its reason.
TEST_F(ResultJournalTest, AFirstVersionJournalSummarisesTheNewReasons) {
  const std::string firstLine = "2026-03-01T08:00:00Z,COM2:,U-BLOX7,One by one,30,0,40,35,Pass,10,9\r\n";
  navlume_test::WriteText(Root() / kTempJournal, kFirstHeader + firstLine);
  PanelSnapshot notOpened;
  notOpened.portName = "COM2:";
  notOpened.passLevel = 35;
  ASSERT_EQ(AppendTestResult(notOpened, kTestTypeOneByOne, TestEndReason::OpenFailed), 1);
  PanelSnapshot stopped = notOpened;
  stopped.elapsedSeconds = 12;
  ASSERT_EQ(AppendTestResult(stopped, kTestTypeOneByOne, TestEndReason::Stopped), 1);

  CJournalSummary summary(JournalGrouping::Receiver, "");
  std::vector<std::string> malformed;
  CJournalReader reader(
      "file", [&summary](const JournalResult& r) { summary.Add(r); },
      [&malformed](uint64_t line, const std::string& why) { malformed.push_back(std::to_string(line) + why); });
  const std::string journal = ReadText(Root() / kTempJournal);
  reader.Feed(journal.data(), journal.size());
  reader.Finish();
  EXPECT_TRUE(malformed.empty()) << malformed.front();
  const JournalGroup& ublox = summary.Groups().at("U-BLOX7");
  EXPECT_EQ(ublox.passed, 1u);
  EXPECT_EQ(ublox.Failed(), 2u);
  EXPECT_EQ(ublox.failuresByReason, (std::map<std::string, uint64_t, std::less<>>{{"open failed", 1}, {"stopped", 1}}));
  EXPECT_EQ(ublox.ttffSeconds.Count(), 1u);  // the fix's only
}

TEST_F(ResultJournalTest, StationIsTheHostWithoutAName) {
  std::filesystem::remove(Root() / "device.ini");
  ASSERT_TRUE(platform::SetDeviceRoot(Root()));
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(StationName(), host);
}

TEST_F(ResultJournalTest, StationNamedFromTheSerialUnlessANameIsSet) {
  const std::string serial = platform::HardwareSerial();
  for (const auto& [ini, expected] : {std::pair{"[station]\nname_from = serial\n", serial},
                                      {"[station]\nname = Line 4\nname_from = serial\n", std::string("Line 4")}}) {
    navlume_test::WriteText(Root() / "device.ini", ini);
    ASSERT_TRUE(platform::SetDeviceRoot(Root()));
    if (!expected.empty()) {
      EXPECT_EQ(StationName(), expected) << ini;
    }
  }
}

TEST_F(ResultJournalTest, CardTakesTheJournalWhenPresent) {
  std::filesystem::create_directories(Root() / "files/Storage Card");
  EXPECT_EQ(ResultJournalPath(), "\\Storage Card\\NAVLUME_RESULTS.CSV");
  ASSERT_EQ(AppendTestResult(Result(), kTestTypeOneByOne, TestEndReason::Fix), 1);
  EXPECT_NE(ReadText(Root() / "files/Storage Card/NAVLUME_RESULTS.CSV").find(",COM2:,U-BLOX7,"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Root() / "files/Temp/NAVLUME_RESULTS.CSV"));
}

// A card that cannot take the line (a folder stands where the file goes, as
// unwritable to the station as a full or read-only card): \Temp takes it.
TEST_F(ResultJournalTest, ACardThatCannotTakeTheLineFallsBackToTemp) {
  std::filesystem::create_directories(Root() / "files/Storage Card/NAVLUME_RESULTS.CSV");
  ASSERT_EQ(AppendTestResult(Result(), kTestTypeOneByOne, TestEndReason::Fix), 1);
  EXPECT_NE(ReadText(Root() / "files/Temp/NAVLUME_RESULTS.CSV").find(",COM2:,U-BLOX7,"), std::string::npos);
  EXPECT_TRUE(m_Capture.Contains("Can't open \\Storage Card\\NAVLUME_RESULTS.CSV file!"));
  // Neither place can take it: the caller hears so.
  std::filesystem::remove(Root() / "files/Temp/NAVLUME_RESULTS.CSV");
  std::filesystem::create_directories(Root() / "files/Temp/NAVLUME_RESULTS.CSV");
  EXPECT_EQ(AppendTestResult(Result(), kTestTypeOneByOne, TestEndReason::Fix), 0);
}

TEST_F(ResultJournalTest, AFileThatCannotBeWrittenIsLogged) {
  std::filesystem::create_directories(Root() / "files/Temp/NAVLUME_RESULTS.CSV");  // a folder in its place
  EXPECT_EQ(AppendTestResult(Result(), kTestTypeOneByOne, TestEndReason::Fix), 0);
  EXPECT_TRUE(m_Capture.Contains("Can't open \\Temp\\NAVLUME_RESULTS.CSV file!"));
}

}  // namespace
