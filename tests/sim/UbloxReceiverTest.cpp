// The u-blox 7 simulator through its terminal: stream, time to first fix, UBX
// answers, rate change, power and faults.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "HostPort.h"
#include "platform/DeviceApi.h"
#include "sim/UbloxReceiver.h"

namespace {

using navlume_test::ChecksumMatches;
using navlume_test::CountGga;
using navlume_test::HostPort;
using navlume_test::Lines;
using navlume_test::WithTtff;

// kPatienceMs: 20 s of real time, far beyond what any wait here needs.
constexpr double kScale = 0.01;
constexpr uint32_t kPatienceMs = static_cast<uint32_t>(20'000 / kScale);
const std::string kCfgRst("\xB5\x62\x06\x04\x04\x00\xFF\xFF\x02\x00\x0E\x61", 12);
const std::string kAckCfgRst("\xB5\x62\x05\x01\x02\x00\x06\x04\x12\x3B", 10);
const std::string kCfgPrt115200("\xB5\x62\x06\x00\x14\x00\x01\x00\x00\x00\xD0\x08\x00\x00\x00\xC2\x01\x00\x07\x00\x03"
                                "\x00\x00\x00\x00\x00\xC0\x7E",
                                28);

class UbloxReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ResetGpsPower(); }
  navlume_test::TestTimeScale m_Scale{kScale};
};

// The GGA time of a line, as scenario seconds.
int GgaSecond(const std::string& line) { return std::stoi(line.substr(9, 2)) * 60 + std::stoi(line.substr(11, 2)); }

TEST_F(UbloxReceiverTest, NoFixBeforeTtffThenFixAndEverySentenceDecodes) {
  constexpr double kTtff = 30;
  sim::CUbloxReceiver receiver(WithTtff(kTtff), sim::PowerMode::Manual);
  ASSERT_TRUE(receiver.Start());
  HostPort host(receiver.SlavePath());
  receiver.SetPower(true);
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 3; }, kPatienceMs));
  // The receiver's thread boots after SetPower returns: its boot time is known once it has sent.
  const std::optional<double> boot = receiver.LastBootSeconds();
  ASSERT_TRUE(boot.has_value());
  NmeaParser parser;
  int fixes = 0, noFixes = 0;
  for (const auto& line : Lines(host.Received())) {
    if (line.rfind("$GP", 0) != 0) continue;
    EXPECT_TRUE(ChecksumMatches(line)) << line;
    if (line.rfind("$GPTXT", 0) != 0) {
      EXPECT_EQ(parser.Feed(line.data(), static_cast<uint32_t>(line.size())), 1) << line;
    }
    if (line.rfind("$GPGGA", 0) != 0) continue;
    // Counted from power-on: every second before the time to first fix has none, every one after has it.
    const bool fixed = line.find(",1,", 30) != std::string::npos;
    EXPECT_EQ(fixed, GgaSecond(line) >= *boot + kTtff) << line << " boot " << *boot;
    (fixed ? fixes : noFixes) += 1;
  }
  EXPECT_GE(fixes, 3);
  EXPECT_GT(noFixes, 0);
  EXPECT_TRUE(receiver.Fixed());
}

TEST_F(UbloxReceiverTest, RecordMatchesScenarioAtChosenTimes) {
  sim::Scenario scenario = WithTtff(2);
  scenario.speedKnots = 60;
  scenario.courseDegrees = 90;
  constexpr int kChangeSecond = 8;
  scenario.satellites[1].changes = {{kChangeSecond, 50, 60, 0, std::nullopt}};
  scenario.satellites[2].changes = {{kChangeSecond, std::nullopt, std::nullopt, 20, std::nullopt}};
  sim::CUbloxReceiver receiver(scenario, sim::PowerMode::Manual);
  ASSERT_TRUE(receiver.Start());
  HostPort host(receiver.SlavePath());
  receiver.SetPower(true);
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '0') + CountGga(r, '1') >= 1; }, kPatienceMs));
  const std::optional<double> boot = receiver.LastBootSeconds();  // known once the receiver has sent
  ASSERT_TRUE(boot.has_value());
  // Two fixed seconds, one before the satellites change and one after (unless a late power-on left none before).
  const int first = std::max(5, static_cast<int>(std::ceil(*boot + scenario.ttff)));
  const int second = std::max(10, first + 2);
  const std::string last = "$GPGGA,10" + navlume_test::TwoDigits((second + 2) / 60) + navlume_test::TwoDigits((second + 2) % 60);
  ASSERT_TRUE(host.ReadUntil([&](const std::string& r) { return r.find(last) != std::string::npos; }, kPatienceMs));
  NmeaParser parser;
  int checked = 0;
  for (const auto& line : Lines(host.Received())) {
    parser.Feed(line.data(), static_cast<uint32_t>(line.size()));
    if (line.rfind("$GPGLL,", 0) != 0) continue;
    const int at = std::stoi(line.substr(line.size() - 16, 2)) * 60 + std::stoi(line.substr(line.size() - 14, 2));
    if (at != first && at != second) continue;
    const sim::Epoch expected = sim::ScenarioEpoch(scenario, at, boot);
    ASSERT_TRUE(expected.Fixed());
    GpsPosition record{};
    record.version = kGpsPositionVersion;
    record.size = kGpsPositionSize;
    parser.GetPosition(record, kNmeaMaxAgeMs);
    EXPECT_EQ(record.fixQuality, kGpsFixQualityGps);
    EXPECT_NEAR(record.latitude, expected.latitude, 1e-6);
    EXPECT_NEAR(record.longitude, expected.longitude, 1e-6);
    EXPECT_GT(record.longitude, scenario.longitude);  // moving east
    ASSERT_EQ(record.satellitesInView, expected.satellites.size());
    for (size_t i = 0; i < expected.satellites.size(); ++i) {
      EXPECT_EQ(record.inViewPrns[i], static_cast<uint32_t>(expected.satellites[i].prn));
      EXPECT_EQ(record.inViewElevation[i], static_cast<uint32_t>(expected.satellites[i].elevation));
      EXPECT_EQ(record.inViewSnr[i], static_cast<uint32_t>(expected.satellites[i].snr)) << at << " " << i;
    }
    EXPECT_EQ(record.satelliteCount, expected.UsedPrns().size());
    ++checked;
  }
  EXPECT_EQ(checked, 2);
}

TEST_F(UbloxReceiverTest, CfgRstIsAcknowledgedThenColdStarts) {
  sim::CUbloxReceiver receiver(WithTtff(3), sim::PowerMode::Manual);
  ASSERT_TRUE(receiver.Start());
  HostPort host(receiver.SlavePath());
  receiver.SetPower(true);
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 1; }, kPatienceMs));
  host.Take();
  ASSERT_TRUE(host.Write(kCfgRst));
  ASSERT_TRUE(host.ReadUntilContains(kAckCfgRst, kPatienceMs));
  // Fix lost right after the acknowledgement, back after the time to first fix.
  const std::string afterAck = host.Received().substr(host.Received().find(kAckCfgRst));
  host.Received() = afterAck;
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 1; }, kPatienceMs));
  EXPECT_GE(CountGga(host.Received(), '0'), 2);
  EXPECT_EQ(receiver.Recording().Commands(), std::vector<std::string>{"CFG-RST"});
  EXPECT_EQ(receiver.Recording().Bytes(), kCfgRst);
}

TEST_F(UbloxReceiverTest, WrongChecksumAndJunkGetNoAnswer) {
  sim::CUbloxReceiver receiver(WithTtff(1), sim::PowerMode::Manual);
  ASSERT_TRUE(receiver.Start());
  HostPort host(receiver.SlavePath());
  receiver.SetPower(true);
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 1; }, kPatienceMs));
  std::string bad = kCfgRst;
  bad.back() = 0x62;
  ASSERT_TRUE(host.Write("$PUBX,00*33\r\n" + std::string("\xB5\x62\x06", 3) + bad));
  ASSERT_TRUE(receiver.Recording().WaitForBytes(bad.size() + 16, kPatienceMs));
  host.Take();
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 2; }, kPatienceMs));  // no cold start
  const std::string after = host.Take();
  EXPECT_EQ(after.find('\xB5'), std::string::npos);
  EXPECT_TRUE(receiver.Recording().Commands().empty());
}

TEST_F(UbloxReceiverTest, CfgPrtSwitchesRateAndAHostLeftBehindReadsGarbage) {
  sim::CUbloxReceiver receiver(WithTtff(1), sim::PowerMode::Manual);
  ASSERT_TRUE(receiver.Start());
  HostPort host(receiver.SlavePath());
  receiver.SetPower(true);
  ASSERT_TRUE(host.ReadUntilContains("$GPGGA", kPatienceMs));
  EXPECT_EQ(receiver.BaudRate(), 9600u);
  ASSERT_TRUE(host.Write(kCfgPrt115200));
  ASSERT_TRUE(host.ReadUntilContains(std::string("\xB5\x62\x05\x01\x02\x00\x06\x00\x0E\x37", 10), kPatienceMs));
  host.Take();
  const uint32_t epochs = receiver.Epochs();
  host.ReadUntil([&](const std::string&) { return receiver.Epochs() >= epochs + 3; }, kPatienceMs);
  const std::string garbage = host.Take() + host.ReadFor(200);
  EXPECT_FALSE(garbage.empty());
  EXPECT_EQ(receiver.BaudRate(), 115200u);  // switched before it sent anything after the acknowledgement
  EXPECT_EQ(garbage.find("GPGGA"), std::string::npos);
  NmeaParser parser;
  EXPECT_EQ(parser.Feed(garbage.data(), static_cast<uint32_t>(garbage.size())), 0);
  host.SetLine(115200);
  host.Take();
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 2; }, kPatienceMs));
  EXPECT_EQ(receiver.Recording().Commands(), std::vector<std::string>{"CFG-PRT 115200"});
}

TEST_F(UbloxReceiverTest, FollowsPlatformPowerAndIsSilentWhileOff) {
  sim::CUbloxReceiver receiver(WithTtff(1));
  ASSERT_TRUE(receiver.Start());
  HostPort host(receiver.SlavePath());
  EXPECT_TRUE(host.ReadFor(2500).empty());
  DeviceApiSet(kDevApiGpsPower, 0, 0, 1);
  ASSERT_TRUE(host.ReadUntilContains("$GPGGA", kPatienceMs));
  EXPECT_TRUE(receiver.Powered());
  DeviceApiSet(kDevApiGpsPower, 0, 0, 0);
  EXPECT_FALSE(receiver.Powered());
  host.ReadFor(200);  // what was on its way
  EXPECT_TRUE(host.ReadFor(2500).empty());
  EXPECT_FALSE(receiver.Fixed());
}

TEST_F(UbloxReceiverTest, NoFixFromBeforeAPowerCycleReachesTheHost) {
  sim::CUbloxReceiver receiver(WithTtff(2), sim::PowerMode::Manual);
  ASSERT_TRUE(receiver.Start());
  HostPort host(receiver.SlavePath());
  receiver.SetPower(true);
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return CountGga(r, '1') >= 1; }, kPatienceMs));
  platform::SleepMs(3000);  // fixed epochs that the host leaves unread
  receiver.SetPower(false);
  receiver.SetPower(true);
  host.Take();
  // The first GGA the host reads after the power cycle.
  ASSERT_TRUE(host.ReadUntil([](const std::string& r) { return r.find('\n', r.find("$GPGGA")) != std::string::npos; },
                             kPatienceMs));
  const std::string& after = host.Received();
  const size_t gga = after.find("$GPGGA");
  EXPECT_EQ(CountGga(after.substr(gga, after.find('\n', gga) + 1 - gga), '1'), 0) << after;
}

TEST_F(UbloxReceiverTest, VanishingClosesTheTerminal) {
  sim::CUbloxReceiver receiver(WithTtff(1), sim::PowerMode::Manual);
  ASSERT_TRUE(receiver.Start());
  HostPort host(receiver.SlavePath());
  receiver.SetPower(true);
  ASSERT_TRUE(host.ReadUntilContains("$GPGGA", kPatienceMs));
  receiver.Vanish();
  EXPECT_TRUE(receiver.Vanished());
  EXPECT_TRUE(host.WaitHangup(kPatienceMs));
}

TEST_F(UbloxReceiverTest, ScenarioFaultsReachTheLine) {
  sim::Scenario scenario = WithTtff(1);
  scenario.faults = {{2, sim::FaultType::BadChecksum}, {3, sim::FaultType::CutLine}, {4, sim::FaultType::Junk, 0, 40},
                     {5, sim::FaultType::Silence, 3}, {10, sim::FaultType::Vanish}};
  sim::CUbloxReceiver receiver(scenario, sim::PowerMode::Manual);
  // Listening and powered from the start: the faults are at fixed scenario times.
  HostPort host(receiver.SlavePath());
  receiver.SetPower(true);
  ASSERT_TRUE(receiver.Start());
  EXPECT_TRUE(host.WaitHangup(kPatienceMs));
  const std::string& stream = host.Received();
  int bad = 0;
  for (const auto& line : Lines(stream)) {
    if (line.rfind("$GP", 0) == 0 && !ChecksumMatches(line)) ++bad;
  }
  EXPECT_GE(bad, 8);  // the whole second 2, the cut line of second 3
  const size_t cut = stream.find("$GPGGA,100003");
  ASSERT_NE(cut, std::string::npos);
  EXPECT_LT(stream.find('$', cut + 1), stream.find('\n', cut));  // cut half-way, no end of line
  for (const char* silent : {"$GPGGA,100005", "$GPGGA,100006", "$GPGGA,100007"}) {
    EXPECT_EQ(stream.find(silent), std::string::npos) << silent;
  }
  EXPECT_NE(stream.find("$GPGGA,100009"), std::string::npos);
  EXPECT_EQ(stream.find("$GPGGA,100010"), std::string::npos);  // gone at 10 s
}

TEST_F(UbloxReceiverTest, SeveralSystemsAtOneAndTenHertzReportAsAModernUblox) {
  for (const int rate : {1, 10}) {
    sim::Scenario scenario = WithTtff(1);
    sim::UseGnssSystems(scenario, {GnssSystem::Gps, GnssSystem::Glonass, GnssSystem::Galileo, GnssSystem::BeiDou});
    scenario.rateHz = rate;
    sim::CUbloxReceiver receiver(scenario, sim::PowerMode::Manual);
    ASSERT_TRUE(receiver.Start());
    HostPort host(receiver.SlavePath());
    receiver.SetPower(true);
    // Whole seconds up to the eighth, with a fix from the second on.
    const std::string end = "$GNRMC,100008.00,A";
    ASSERT_TRUE(host.ReadUntil([&](const std::string& r) { return r.find(end) != std::string::npos; }, kPatienceMs))
        << rate;
    NmeaParser parser;
    parser.SetTalkers(NmeaTalkers::Any);
    std::map<std::string, int> count;  // by sentence, and solutions by second
    for (const auto& line : Lines(host.Received().substr(0, host.Received().find(end)))) {
      ASSERT_TRUE(ChecksumMatches(line)) << line;
      parser.Feed(line.data(), static_cast<uint32_t>(line.size()));
      const std::string sentence = line.substr(0, 7);
      if (sentence.find("TXT") != std::string::npos) continue;
      EXPECT_NE(std::string("$GN$GP$GL$GA$GB").find(line.substr(0, 3)), std::string::npos) << line;
      ++count[line.rfind("GSV,", 3) == 3 ? sentence + line.substr(9, 2) : sentence];  // "$GLGSV,1,": a cycle's first message
      if (sentence == "$GNRMC,") ++count[line.substr(7, 6)];
    }
    EXPECT_EQ(count["100005"], rate) << rate;
    EXPECT_EQ(count["$GNGSA,"], 4 * count["$GNRMC,"]) << rate;  // one per system and solution
    for (const char* cycle : {"$GPGSV,1,", "$GLGSV,1,", "$GAGSV,1,", "$GBGSV,1,"}) {
      EXPECT_NEAR(count[cycle], count["$GNRMC,"] / rate, 1) << cycle << " at " << rate << " Hz: once a second";
    }
    const sim::Epoch expected = sim::ScenarioEpoch(scenario, 7, 0.0);
    GpsPosition record{};
    record.version = kGpsPositionVersion;
    record.size = kGpsPositionSize;
    parser.GetPosition(record, kNmeaMaxAgeMs);
    EXPECT_EQ(record.fixQuality, kGpsFixQualityGps) << rate;
    EXPECT_EQ(record.satellitesInView, expected.satellites.size()) << rate;
    EXPECT_EQ(record.satelliteCount, expected.UsedCount()) << rate;
    SatelliteSystems systems;
    parser.GetInViewSystems(record, systems);
    for (GnssSystem system : scenario.systems)
      EXPECT_NE(std::find(systems.begin(), systems.end(), system), systems.end()) << rate;
  }
}

}  // namespace
