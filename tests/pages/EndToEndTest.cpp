// The normal-mode pages on a simulated u-blox 7: the receiver's stream
// reaches every page through a real device, and the Main page reports the fix
// at the scenario's position.

#include <gtest/gtest.h>

#include "app/pages/MainPage.h"
#include "app/pages/NmeaPage.h"
#include "app/pages/SignalPage.h"
#include "app/pages/SkyViewPage.h"
#include "device/DeviceTestSupport.h"
#include "pages/PageSheet.h"
#include "resources/resource.h"
#include "sim/UbloxReceiver.h"
#include "support/TempFolder.h"

namespace {

class EndToEndTest : public device_test::DeviceTest {
 protected:
  static sim::Scenario QuickFix() {
    sim::Scenario scenario = sim::DefaultScenario();
    scenario.ttff = 2;
    scenario.latitude = -33.8568;  // south and east, so both hemispheres show
    scenario.longitude = 151.2153;
    return scenario;
  }
};

TEST_F(EndToEndTest, MainPageReachesValidSpsAtTheScenarioPosition) {
  sim::CUbloxReceiver receiver(QuickFix());
  ASSERT_TRUE(receiver.Start());
  platform::SetPortDevicePath(UbloxPortName, receiver.SlavePath());

  CMainPage main;
  CSignalPage signal;
  CSkyViewPage sky;
  CNmeaPage nmea;
  page_test::PageSheet sheet{{&main, &signal, &sky, &nmea}};
  for (int tab : {3, 2, 1, 0}) sheet.ShowTab(tab);

  CGPSDevice device;
  ASSERT_EQ(device.Create(UbloxPortName, 0, kGpsTypeUblox, 9600), 1);
  for (CGPSPage* page : std::initializer_list<CGPSPage*>{&main, &signal, &sky, &nmea}) device.AddListener(page);
  ASSERT_EQ(device.Open(), 1);

  const bool fixed =
      page_test::ProcessEventsUntil([&] { return main.ItemText(IDC_MAIN_FIX).startsWith("Valid SPS("); });
  const QString fixText = main.ItemText(IDC_MAIN_FIX);
  EXPECT_TRUE(fixed) << fixText.toStdString();
  EXPECT_EQ(main.ItemText(IDC_MAIN_LATITUDE), QString::fromUtf8("33\u00B0 51.408000 S"));
  EXPECT_EQ(main.ItemText(IDC_MAIN_LONGITUDE), QString::fromUtf8("151\u00B0 12.918000 E"));
  EXPECT_EQ(main.ItemText(IDC_MAIN_SATELLITES), "09");
  EXPECT_EQ(main.ItemText(IDC_MAIN_HDOP), "0.9 = Ideal");

  sheet.ShowTab(1);
  EXPECT_TRUE(page_test::ProcessEventsUntil([&] { return signal.ItemText(IDC_SIGNAL_PRN_FIRST) != "--"; }));
  // A hidden page catches up when its tab is shown.
  sheet.ShowTab(3);
  EXPECT_TRUE(page_test::ProcessEventsUntil([&] { return nmea.ListCount(IDC_NMEA_LIST) > 0; }));
  device.Close();
}

TEST_F(EndToEndTest, AModernReceiverShowsEverySystemWithItsLetterWhenTheProfileTakesEveryTalker) {
  sim::Scenario scenario = QuickFix();
  sim::UseGnssSystems(scenario, {GnssSystem::Gps, GnssSystem::Glonass, GnssSystem::Galileo, GnssSystem::BeiDou});
  sim::CUbloxReceiver receiver(scenario);
  ASSERT_TRUE(receiver.Start());
  platform::SetPortDevicePath(UbloxPortName, receiver.SlavePath());
  navlume_test::WriteText(m_Root.Path() / "device.ini", "[nmea]\ntalkers = any\n");
  ASSERT_TRUE(platform::SetDeviceRoot(m_Root.Path()));

  CSignalPage signal;
  page_test::PageSheet sheet{{&signal}};
  CGPSDevice device;
  ASSERT_EQ(device.Create(UbloxPortName, 0, kGpsTypeUblox, 9600), 1);
  device.AddListener(&signal);
  ASSERT_EQ(device.Open(), 1);
  const sim::Epoch epoch = sim::ScenarioEpoch(scenario, 10, 0.0);
  const QString inView = QString::number(epoch.satellites.size());
  const QString used = QString::number(epoch.UsedCount());
  EXPECT_TRUE(page_test::ProcessEventsUntil([&] {
    return signal.ItemText(IDC_SIGNAL_VIEW) == inView && signal.ItemText(IDC_SIGNAL_USED) == used;
  })) << signal.ItemText(IDC_SIGNAL_VIEW).toStdString() << " in view, " << signal.ItemText(IDC_SIGNAL_USED).toStdString() << " used";
  QString letters;
  for (int channel = 0; channel < 12; ++channel) {
    const QString prn = signal.ItemText(IDC_SIGNAL_PRN_FIRST + channel);
    ASSERT_FALSE(prn.isEmpty());
    if (!letters.contains(prn[0])) letters += prn[0];
  }
  EXPECT_EQ(letters, "GREC");
  device.Close();
}

}  // namespace
