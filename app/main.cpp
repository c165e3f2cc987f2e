// navlume: the program a person uses. Parses the command line, prepares the
// device root (or a simulated one) and runs WinMain.

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "app/PowerTimeouts.h"
#include "app/QtUserInterface.h"
#include "app/Resources.h"
#include "app/ScreenLayout.h"
#include "app/Screenshots.h"
#include "app/SingleInstance.h"
#include "app/WinMain.h"
#include "platform/DeviceRoot.h"
#include "platform/Registry.h"
#include "platform/StopRequest.h"
#include "platform/StopSignals.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"
#include "prodtest/RegGetDword.h"
#include "sim/GpsdServer.h"
#include "sim/SimulationRoot.h"
#include "tools/SimOptions.h"

namespace {

constexpr const char* kProgramName = "navlume";
constexpr const char* kProgramVersion = NAVLUME_VERSION;
constexpr int kExitUsage = 2;
constexpr int kExitStartFailed = 1;  // the program could not do what it was asked
constexpr const char* kDefaultProfile = "ublox";

struct CommandLine {
  std::string root;
  double timeScale = 1.0;
  std::optional<std::string> simulate;  // the profile when simulating
  std::string scenario;
  std::optional<double> ttff;
  std::string gnss;           // systems of the simulated receivers; empty: the scenario's
  std::optional<int> rateHz;  // their solutions per second
  std::string screen = "480x640";
  bool fullScreen = false;
  std::string screenshots;
  std::optional<double> quitAfter;
  bool history = false;
};

// Returns the exit code when the program must end right away (usage, --version).
std::optional<int> Parse(int argc, char** argv, CommandLine& line) {
  CLI::App app{"Navlume: watch a GNSS receiver and test receivers on a production line"};
  app.name(kProgramName);
  app.set_version_flag("--version", std::string(kProgramName) + " " + kProgramVersion);
  app.add_option("--root", line.root,
                 "Device root (default: $NAVLUME_ROOT, else ~/.local/share/navlume); with --simulate, the "
                 "simulation's root: its device.ini is rewritten, its registry and files/Navlume.ini are kept");
  app.add_option("--time-scale", line.timeScale, "Real seconds per system second (0.1: ten times faster)")
      ->check(CLI::PositiveNumber);
  std::string profile;
  CLI::Option* simulate =
      app.add_option("--simulate", profile,
                     "Run on simulated receivers in a temporary root: ublox (default), oem615, agps, "
                     "ublox+agps, oem615+agps; in GPS Multiplexer mode through a private gpsd")
          ->expected(0, 1)
          ->check(CLI::IsMember({"ublox", "oem615", "agps", "ublox+agps", "oem615+agps"}));
  app.add_option("--scenario", line.scenario, "Scenario of the simulated receivers (JSON)")
      ->check(CLI::ExistingFile)
      ->needs(simulate);
  app.add_option("--ttff", line.ttff, "Time to first fix of the simulated receivers, in seconds")
      ->check(CLI::NonNegativeNumber)
      ->needs(simulate);
  app.add_option("--gnss", line.gnss,
                 "Systems the simulated receivers track, such as gps,glonass,galileo,beidou (default: gps); "
                 "they then report as a modern u-blox, and the simulation's device.ini decodes every talker")
      ->check(GnssListCheck())
      ->needs(simulate);
  app.add_option("--rate", line.rateHz, "Solutions per second of the simulated receivers (default 1)")
      ->check(SimulatedRateCheck())
      ->needs(simulate);
  app.add_option("--screen", line.screen, "Size of the handheld screen to show, WxH (default 480x640)");
  app.add_flag("--fullscreen", line.fullScreen, "Use the whole real screen");
  app.add_flag("--history", line.history,
               "Add the History tab after Position: the last 5 minutes of C/N0 per satellite and the satellites "
               "used (as device.ini's [pages] history = 1 does)");
  CLI::Option* quitAfter = app.add_option("--quit-after", line.quitAfter, "Leave as with Cancel after S seconds")
                               ->check(CLI::NonNegativeNumber);
  app.add_option("--screenshots", line.screenshots, "Save every tab and controls.json into DIR before leaving")
      ->needs(quitAfter);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitUsage;
  }
  if (simulate->count() > 0) line.simulate = profile.empty() ? kDefaultProfile : profile;
  int width = 0;
  int height = 0;
  if (!ParseScreenSize(line.screen.c_str(), width, height)) {
    std::fprintf(stderr, "%s: --screen: expected WxH, such as 480x640, not \"%s\"\n", kProgramName,
                 line.screen.c_str());
    return kExitUsage;
  }
  SetScreenSize(width, height);
  return std::nullopt;
}

// The registry of a simulated handheld: Direct Access, and the power
// timeouts a handheld has, which the program overrides while it runs. A root
// given with --root keeps the values it has (the Settings page may have
// switched it to the GPS multiplexer for the next start).
constexpr RegistrySeed kSimulatedRegistry[] = {
    kSimulatedStartOption,
    {platform::RegRoot::CurrentUser, kBackLightKey, "BatteryTimeout", 30},
    {platform::RegRoot::CurrentUser, kBackLightKey, "ACTimeout", 60},
    {platform::RegRoot::LocalMachine, kPowerTimeoutsKey, "BattSuspendTimeout", 180},
    {platform::RegRoot::LocalMachine, kPowerTimeoutsKey, "ACSuspendTimeout", 600},
};

// A simulated root (fresh and temporary unless --root names one) that starts in Direct Access.
bool StartSimulation(const CommandLine& line, sim::CSimulationRoot& simulation) {
  sim::SimulationOptions options;
  options.profile = *line.simulate;
  options.root = line.root;
  options.power = sim::PowerSource::Platform;
  std::string error;
  if (!line.scenario.empty() && !sim::LoadScenario(line.scenario, options.scenario, error)) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, error.c_str());
    return false;
  }
  if (line.ttff) options.scenario.ttff = *line.ttff;
  if (!sim::ApplyGnssOptions(options.scenario, line.gnss, line.rateHz, error)) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, error.c_str());
    return false;
  }
  if (!simulation.Start(options, error)) {
    std::fprintf(stderr, "%s: cannot start the simulation: %s\n", kProgramName, error.c_str());
    return false;
  }
  SeedRegistry(kSimulatedRegistry);
  std::fprintf(stderr, "%s: simulated %s receivers in %s\n", kProgramName, options.profile.c_str(),
               simulation.Root().c_str());
  return true;
}

// GPS Multiplexer mode on simulated receivers: a private gpsd on the
// receiver's terminal, stopped by the caller after WinMain.
bool StartSimulatedGpsd(const sim::CSimulationRoot& simulation, const std::string& portName, sim::CGpsdServer& gpsd) {
  std::string error;
  if (simulation.ServeThroughGpsd(portName, gpsd, error)) {
    std::fprintf(stderr, "%s: gpsd serves %s at %s\n", kProgramName, portName.c_str(), gpsd.Endpoint().c_str());
    return true;
  }
  std::fprintf(stderr, "%s: cannot start gpsd for the GPS multiplexer: %s\n", kProgramName, error.c_str());
  platform::ShowError(error);
  return false;
}

// A mistyped root is not made: only the default one and a simulation's are. True (said on standard error) when
// --root or $NAVLUME_ROOT names a folder that does not exist.
bool NamedRootIsMissing(const std::string& rootOption) {
  const std::filesystem::path root = platform::ResolveDeviceRoot(rootOption);
  std::error_code ec;
  if (!platform::DeviceRootNamed(rootOption) || std::filesystem::is_directory(root, ec)) return false;
  std::fprintf(stderr, "%s: the device root %s does not exist (%s)\n", kProgramName, root.c_str(),
               rootOption.empty() ? "$NAVLUME_ROOT" : "--root");
  return true;
}

// SIGINT and SIGTERM leave as Cancel does, so that the teardown runs and a
// simulated root is removed: on the watcher's thread they make the process's
// stop request (a box or dialog that is up closes, every receiver's start-up
// gives up, the sheet is cancelled on the UI thread) and stop the station.
void OnStopSignal() {
  platform::RequestStop();
  StopWinMain();
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  if (const std::optional<int> done = Parse(argc, argv, line)) return *done;
  platform::SetTimeScale(line.timeScale);

  // Blocked before any thread starts, so that every thread leaves them to the watcher.
  platform::BlockStopSignals();
  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName(NAVLUME_APP_ID);  // the desktop finds the window's launcher and icon
  InitResources();
  if (line.fullScreen) {
    const QSize size = QApplication::primaryScreen()->size();
    SetScreenSize(size.width(), size.height());
  }

  sim::CSimulationRoot simulation;
  if (line.simulate) {
    if (!StartSimulation(line, simulation)) return kExitStartFailed;
  } else if (NamedRootIsMissing(line.root)) {
    return kExitUsage;
  } else if (!platform::SetDeviceRoot(platform::ResolveDeviceRoot(line.root))) {
    return kExitStartFailed;
  }

  CQtUserInterface userInterface;
  const bool unattended = line.quitAfter.has_value();
  userInterface.SetUnattended(unattended);
  platform::SetUserInterface(&userInterface);
  if (line.quitAfter) ScheduleQuit(*line.quitAfter, line.screenshots);

  platform::CStopSignals stopSignals(OnStopSignal);
  if (!stopSignals.Start()) std::fprintf(stderr, "%s: cannot catch SIGINT/SIGTERM\n", kProgramName);

  WinMainOptions options;
  options.instanceFolder = CSingleInstance::DefaultFolder(platform::DeviceRoot());
  options.fullScreen = line.fullScreen;
  options.historyPage = line.history;
  sim::CGpsdServer gpsd;
  if (line.simulate) {
    options.startMultiplexer = [&simulation, &gpsd](const std::string& portName) {
      return StartSimulatedGpsd(simulation, portName, gpsd);
    };
  }
  int exitCode = WinMain(options);
  if (exitCode == 0 && ScreenshotsFailed()) exitCode = kExitStartFailed;

  platform::SetUserInterface(nullptr);
  gpsd.Stop();
  simulation.Stop();
  return exitCode;
}
