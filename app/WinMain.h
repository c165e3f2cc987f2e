#pragma once
// The whole life of the program: banner, single instance, port
// configuration, power timeouts, devices per mode, pages, the sheet, and the
// teardown in its fixed order.

#include <filesystem>
#include <string>
#include <vector>

class CGPSDevice;
class CGPSPage;
class CPortConf;

constexpr int kExitConfigurationFailed = -1;
constexpr int kExitDeviceFailed = 1;  // a device failed in start-up (its message was shown)

struct WinMainOptions {
  std::filesystem::path instanceFolder;  // lock file and socket of the single-instance check
  bool fullScreen = false;
};

int WinMain(const WinMainOptions& options);

// The sheet's caption for a configuration: what a second copy looks for.
std::string SheetCaption(const CPortConf& conf);
// Tab titles of the normal-mode sheet; "NMEA data" only in Direct Access.
std::vector<std::string> MainSheetTitles(bool directAccess);
// Build and run the sheets (the pages and the configuration of the run).
bool CreateMainSheet();
bool CreatePrdSheet(bool noPorts);

// Program-wide state while WinMain runs (null otherwise).
extern CPortConf* g_pPortConf;
CGPSDevice* WinMainDevice(int index);
