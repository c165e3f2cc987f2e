// USB serial devices found under a device folder laid out as udev lays out /dev.

#include <gtest/gtest.h>

#include "serial/SerialDevices.h"
#include "support/TempFolder.h"

namespace {

using navlume_test::TempFolder;
using navlume_test::WriteText;

TEST(SerialDevicesTest, ByIdNamesComeFirstAndEachDeviceOnce) {
  TempFolder dev;
  for (const char* tty : {"ttyACM0", "ttyACM2", "ttyACM10", "ttyUSB0", "ttyS0", "console"}) WriteText(dev.Path() / tty, "");
  const auto byId = dev.Path() / "serial" / "by-id";
  std::filesystem::create_directories(byId);
  const auto ublox = byId / "usb-u-blox_AG_-_www.u-blox.com_u-blox_7_-_GPS_GNSS_Receiver-if00";
  std::filesystem::create_symlink("../../ttyACM2", ublox);
  std::filesystem::create_symlink("../../ttyUSB9", byId / "usb-unplugged-if00");  // its device is gone

  const std::string tty = dev.Path().string() + "/";
  EXPECT_EQ(ListSerialDevices(dev.Path()),
            (std::vector<std::string>{ublox.string(), tty + "ttyACM0", tty + "ttyACM10", tty + "ttyUSB0"}));
  EXPECT_EQ(StableDeviceName(tty + "ttyACM2", dev.Path()), ublox.string());
  EXPECT_EQ(StableDeviceName(tty + "ttyUSB0", dev.Path()), tty + "ttyUSB0");
  EXPECT_EQ(StableDeviceName(tty + "ttyUSB7", dev.Path()), tty + "ttyUSB7");
  EXPECT_TRUE(ListSerialDevices(dev.Path() / "none").empty());

  // The udev rule's link of a known receiver comes before its by-id name.
  std::filesystem::create_symlink("ttyACM2", dev.Path() / "gnss-ublox2");
  EXPECT_EQ(ListSerialDevices(dev.Path()).front(), tty + "gnss-ublox2");
  EXPECT_EQ(StableDeviceName(tty + "ttyACM2", dev.Path()), tty + "gnss-ublox2");
}

}  // namespace
