#pragma once
// The whole life of the program: banner, single instance, port
// configuration, power timeouts, devices per mode, pages, the sheet, and the
// teardown in its fixed order.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class CGPSDevice;
class CGPSPage;
class CPortConf;

constexpr int kExitConfigurationFailed = -1;
constexpr int kExitDeviceFailed = 1;  // a device failed in start-up (its message was shown)
constexpr int kExitInstanceFailed = 1;  // the single-instance lock cannot be made (said on standard error)
constexpr int kExitStopped = 0;  // a stop signal ended the run before any device, as Cancel does

struct WinMainOptions {
  std::filesystem::path instanceFolder;  // lock file and socket of the single-instance check
  bool fullScreen = false;
  // Called in GPS Multiplexer mode with the receiver's port name before
  // CreateEX: brings up the multiplexer that serves it (a simulation's own
  // gpsd). False when it cannot, after saying why; the run then ends with 1.
  std::function<bool(const std::string& portName)> startMultiplexer;
  bool historyPage = false;  // --history; device.ini's [pages] history = 1 turns it on as well
};

int WinMain(const WinMainOptions& options);

// The sheet's caption for a configuration: what a second copy looks for.
std::string SheetCaption(const CPortConf& conf);
// Tab titles of the normal-mode sheet; "NMEA data" only in Direct Access,
// "History" only when it is turned on.
std::vector<std::string> MainSheetTitles(bool directAccess, bool history = false);
// Build and run the sheets (the pages and the configuration of the run).
bool CreateMainSheet();
bool CreatePrdSheet(bool noPorts);

// Program-wide state while WinMain runs (null otherwise).
extern CPortConf* g_pPortConf;
CGPSDevice* WinMainDevice(int index);
// Cuts any start-up of the run's receivers short at once; safe from any
// thread (a stop-signal watcher's), also while a start-up blocks the UI thread.
void StopWinMain();
