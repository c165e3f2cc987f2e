// navlume-cli monitor: opens one receiver as the program does (Create, Open,
// start-up commands; or CreateEX through gpsd with --gpsd) and prints every
// record its worker thread publishes as one JSON line, until the time is up
// or SIGINT/SIGTERM arrives.

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/GPSDevice.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/StopSignals.h"
#include "platform/Time.h"
#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"
#include "device/PortNames.h"
#include "device/ReceiverTypes.h"
#include "tools/CommandRoot.h"
#include "tools/Commands.h"
#include "tools/PositionJson.h"

namespace {

struct MonitorOptions {
  std::string port;
  std::string root;
  std::string devicePath;
  std::optional<uint32_t> type;
  int32_t baud = kDefaultBaudRate;
  bool saveNmea = false;
  bool exportToUart = false;
  bool coldStart = false;
  std::optional<double> seconds;
  double timeScale = 1.0;
  bool raw = false;
  NmeaTalkers talkers = NmeaTalkers::Gps;
  bool talkersGiven = false;  // else the profile's [nmea] talkers
  bool viaGpsd = false;      // through the GPS multiplexer (CreateEX) instead of the port
  std::string gpsdEndpoint;  // HOST:PORT; empty: the profile's [gpsd] entry
};

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message) {
  std::fprintf(stderr, "navlume-cli monitor: %s\n", message.c_str());
  return kExitFailed;
}

// Prints each record as one JSON line; lines never interleave. Through gpsd
// the device keeps no fix flag or state of its own, so those keys are left out.
class CJsonLinePrinter : public CGPSListener {
 public:
  CJsonLinePrinter(bool raw, bool viaGpsd) : m_bRaw(raw), m_bDeviceState(!viaGpsd), m_Line(Keys(raw, !viaGpsd)) {}

  void OnGPSData(CGPSDevice* device, GpsPosition record) override {
    const std::string raw = m_bRaw ? JsonString(device->CopyRawText()) : std::string();
    const std::string fixed = m_bDeviceState ? JsonNumber(device->m_bFixed.load()) : std::string();
    const std::string state = m_bDeviceState ? JsonNumber(device->m_State.load()) : std::string();
    std::lock_guard lock(m_Mutex);
    std::string text;
    if (m_bDeviceState) {
      m_Line.Append(text, record, {fixed, state, raw});
    } else {
      m_Line.Append(text, record, {raw});
    }
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }

 private:
  static std::vector<std::string> Keys(bool raw, bool deviceState) {
    std::vector<std::string> keys;
    if (deviceState) keys = {"fixed", "state"};
    if (raw) keys.push_back("raw");
    return keys;
  }

  const bool m_bRaw;
  const bool m_bDeviceState;  // m_bFixed and m_State mean something: a directly connected receiver
  std::mutex m_Mutex;
  PositionJsonLine m_Line;  // guarded by m_Mutex
};

struct GpsdEndpoint {
  std::string host;
  uint16_t port;
};

// gpsd's HOST:PORT; none when the text is not one.
std::optional<GpsdEndpoint> ParseGpsdEndpoint(const std::string& endpoint) {
  const size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  const std::string portText = endpoint.substr(colon + 1);
  if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const unsigned long port = std::stoul(portText);
  if (port == 0 || port > 65535) return std::nullopt;
  return GpsdEndpoint{endpoint.substr(0, colon), static_cast<uint16_t>(port)};
}

void UseGpsdEndpoint(const GpsdEndpoint& endpoint) {
  platform::DeviceProfile profile = platform::CurrentDeviceProfile();
  profile.gpsdHost = endpoint.host;
  profile.gpsdPort = endpoint.port;
  platform::SetCurrentDeviceProfile(profile);
}

int RunMonitor(const MonitorOptions& options) {
  platform::SetTimeScale(options.timeScale);
  UseCommandRoot("monitor", options.root, kExitFailed);
  if (!options.gpsdEndpoint.empty()) UseGpsdEndpoint(*ParseGpsdEndpoint(options.gpsdEndpoint));
  if (!options.devicePath.empty()) platform::SetPortDevicePath(options.port, options.devicePath);
  if (options.talkersGiven) {
    platform::DeviceProfile profile = platform::CurrentDeviceProfile();
    profile.anyTalker = options.talkers == NmeaTalkers::Any;
    platform::SetCurrentDeviceProfile(profile);
  }
  const uint32_t type =
      options.type.value_or(ReceiverTypeOfPort(options.port, static_cast<int32_t>(platform::CurrentDeviceProfile().gpsType)));

  CGPSDevice device;
  device.m_bSaveNMEAData = options.saveNmea;
  device.m_bExportToUart = options.exportToUart;
  device.m_bColdStart = options.coldStart;
  // A stop signal also cuts a running start-up short.
  platform::CStopSignals stop([&device] { device.CancelStartUp(); });
  if (!stop.Start()) return Fail("cannot catch SIGINT/SIGTERM");
  CJsonLinePrinter printer(options.raw, options.viaGpsd);
  device.AddListener(&printer);

  if (options.viaGpsd) {
    if (!device.CreateEX(options.port, 0, type, options.baud)) return stop.Requested() ? 0 : 1;
    stop.WaitFor(options.seconds);
    device.Close();
    return 0;
  }
  if (!device.Create(options.port, 0, type, options.baud)) return 1;  // the message box said why
  if (!device.Open()) {
    const bool interrupted = stop.Requested();
    device.Close();
    return interrupted ? 0 : 1;
  }
  stop.WaitFor(options.seconds);
  device.Close();
  return 0;
}

}  // namespace

void AddMonitorCommand(CLI::App& app) {
  auto options = std::make_shared<MonitorOptions>();
  CLI::App* monitor = app.add_subcommand("monitor", "Open a receiver as Navlume does and print its records as JSON lines");
  monitor->add_option("PORT", options->port, "Port name of the receiver, such as COM2: (optional with --gpsd)");
  monitor->add_option("--root", options->root, "Device root (default: $NAVLUME_ROOT, else ~/.local/share/navlume)");
  monitor->add_option("--device", options->devicePath, "Device path for PORT, instead of the profile's mapping");
  monitor
      ->add_option("--type", options->type,
                   "Receiver type: 2 plain NMEA (A-GPS), 3 u-blox 7, 4 OEM615 (default: 2 for the A-GPS port, else "
                   "the profile's gps_type)")
      ->check(CLI::IsMember({kGpsTypeAgps, kGpsTypeUblox, kGpsTypeOem615}));
  monitor->add_option("--baud", options->baud, "Baud rate of the receiver's port")->check(CLI::PositiveNumber);
  monitor->add_flag("--save-nmea", options->saveNmea, "Append the raw stream to the NMEA log file");
  monitor->add_flag("--export", options->exportToUart,
                    "Copy the stream to the export port COM2: (the A-GPS port COM9: alone exports)");
  monitor->add_flag("--cold-start", options->coldStart, "Cold-start the receiver when it is opened");
  monitor->add_option("--seconds", options->seconds, "Stop after S wall-clock seconds (default: at SIGINT/SIGTERM)")
      ->check(CLI::NonNegativeNumber);
  monitor->add_option("--time-scale", options->timeScale, "Real seconds per system second (0.1: ten times faster)")
      ->check(CLI::PositiveNumber);
  monitor->add_flag("--raw", options->raw, "Add the batch's raw text to each line");
  CLI::Option* talkers = AddTalkersOption(*monitor, options->talkers,
                                          "Talkers to decode: GP or any constellation talker "
                                          "(default: the profile's [nmea] talkers)");
  CLI::Option* gpsd = monitor->add_option("--gpsd", options->gpsdEndpoint,
                                          "Watch through gpsd (GPS multiplexer mode) at HOST:PORT "
                                          "(default: the profile's [gpsd] host and port)")
                          ->expected(0, 1);
  monitor->callback([options, gpsd, talkers] {
    options->viaGpsd = gpsd->count() > 0;
    options->talkersGiven = talkers->count() > 0;
    if (options->port.empty() && !options->viaGpsd) throw CLI::RequiredError("PORT (unless --gpsd is given)");
    if (!options->gpsdEndpoint.empty() && !ParseGpsdEndpoint(options->gpsdEndpoint))
      FailCommand("monitor", "--gpsd takes HOST:PORT, such as 127.0.0.1:2947 (give PORT before it)", kExitUsage);
    if (options->saveNmea && options->viaGpsd)
      FailCommand("monitor", "--save-nmea keeps the log of a directly connected receiver; gpsd keeps none", kExitUsage);
    if (options->exportToUart && (options->viaGpsd || options->port != AgpsPortName))
      FailCommand("monitor", "--export copies the A-GPS port " + AgpsPortName + " to " + ExportPortName +
                                 "; it does nothing for " + (options->viaGpsd ? "gpsd" : options->port),
                  kExitUsage);
    const int result = RunMonitor(*options);
    if (result != 0) throw CLI::RuntimeError(result);
  });
}
