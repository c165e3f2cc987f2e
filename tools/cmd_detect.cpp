// navlume-cli detect: finds the receivers on this machine's serial devices
// without changing any of their settings, prints one JSON line per device and,
// with --write, maps them in the device root's device.ini.

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "device/ReceiverProbe.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/Time.h"
#include "prodtest/DetectedProfile.h"
#include "serial/SerialDevices.h"
#include "tools/CommandRoot.h"
#include "tools/Commands.h"

namespace {

constexpr int kExitNoReceiver = 1;
constexpr int kExitFailed = 1;
constexpr const char* kPowerOn = "1";
constexpr const char* kProfileFile = "device.ini";

struct DetectOptions {
  std::vector<std::string> devices;
  std::string root;
  bool write = false;
  double timeScale = 1.0;
};

std::atomic<bool> g_Stop{false};

extern "C" void OnStopSignal(int) { g_Stop.store(true); }

[[noreturn]] void Fail(const std::string& message, int exitCode) {
  std::fprintf(stderr, "navlume-cli detect: %s\n", message.c_str());
  throw CLI::RuntimeError(exitCode);
}

// The devices to probe, each by its stable name and once.
std::vector<std::string> DevicesToProbe(const DetectOptions& options) {
  if (options.devices.empty()) return ListSerialDevices();
  std::vector<std::string> names;
  std::set<std::filesystem::path> seen;
  for (const std::string& path : options.devices) {
    std::error_code ec;
    const std::filesystem::path device = std::filesystem::canonical(path, ec);
    if (seen.insert(ec ? std::filesystem::path(path) : device).second) names.push_back(StableDeviceName(path));
  }
  return names;
}

nlohmann::ordered_json Describe(const ProbeResult& result) {
  nlohmann::ordered_json line{{"path", result.path},
                              {"kind", ReceiverKindName(result.kind)},
                              {"baudRate", result.baudRate != 0 ? nlohmann::ordered_json(result.baudRate) : nullptr},
                              {"talkers", result.talkers}};
  if (!result.version.empty()) line["version"] = result.version;
  if (!result.reason.empty()) line["reason"] = result.reason;
  if (result.kind == ReceiverKind::Busy) line["holder"] = {{"name", result.holder.name}, {"pid", result.holder.pid}};
  return line;
}

bool IsReceiver(const ProbeResult& result) {
  return result.kind == ReceiverKind::Ublox || result.kind == ReceiverKind::Oem615 || result.kind == ReceiverKind::Nmea;
}

// A receiver behind a power switch sends nothing until it is switched on: the
// profile's power file is switched on for the probe and gets its content back
// afterwards. Switching the power changes no setting of the receiver.
class CPowerForProbe {
 public:
  explicit CPowerForProbe(const std::string& powerFile) : m_File(powerFile) {
    if (m_File.empty()) return;
    std::ifstream in(m_File, std::ios::binary);
    m_bSaved = static_cast<bool>(in);
    m_Saved.assign(std::istreambuf_iterator<char>(in), {});
    if (m_bSaved && !Write(kPowerOn)) m_bSaved = false;
    std::fprintf(stderr, "navlume-cli detect: %s the receiver on through %s for the probe\n",
                 m_bSaved ? "switched" : "cannot switch", m_File.c_str());
  }
  ~CPowerForProbe() {
    if (m_bSaved && !Write(m_Saved)) std::fprintf(stderr, "navlume-cli detect: cannot put %s back\n", m_File.c_str());
  }
  CPowerForProbe(const CPowerForProbe&) = delete;
  CPowerForProbe& operator=(const CPowerForProbe&) = delete;

 private:
  bool Write(const std::string& content) const {
    std::ofstream out(m_File, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    return static_cast<bool>(out);
  }

  const std::string m_File;
  bool m_bSaved = false;
  std::string m_Saved;
};

// The power file of the root's profile (the default root's only when it exists).
std::string PowerFileOfRoot(const std::string& rootOption) {
  const std::filesystem::path root = CheckedCommandRoot("detect", rootOption);
  std::error_code ec;
  if (!std::filesystem::is_directory(root, ec)) return {};
  return platform::LoadDeviceProfile(root / kProfileFile).powerFile;
}

void WriteProfile(const std::string& rootOption, const std::vector<ProbeResult>& results) {
  UseCommandRoot("detect", rootOption, kExitFailed);
  const DetectedProfile profile = ProfileForReceivers(results);
  for (const std::string& note : profile.notes) std::fprintf(stderr, "navlume-cli detect: %s\n", note.c_str());
  const std::filesystem::path file = platform::DeviceRoot() / kProfileFile;
  if (const int error = platform::WriteProfileValues(file, profile.settings); error != 0)
    Fail("cannot write " + file.string() + ": " + std::error_code(error, std::generic_category()).message(), kExitFailed);
  std::string written;
  for (const platform::ProfileSetting& setting : profile.settings)
    written += (written.empty() ? "" : ", ") + ("[" + setting.section + "] " + setting.key + " = " + setting.value);
  std::fprintf(stderr, "navlume-cli detect: wrote %s into %s\n", written.c_str(), file.c_str());
}

void RunDetect(const DetectOptions& options) {
  platform::SetTimeScale(options.timeScale);
  const std::string powerFile = PowerFileOfRoot(options.root);
  const std::vector<std::string> devices = DevicesToProbe(options);
  if (devices.empty()) Fail("no serial device found (/dev/serial/by-id/*, /dev/ttyACM*, /dev/ttyUSB*)", kExitNoReceiver);
  std::string rates;
  for (const uint32_t rate : kProbeRates) rates += (rates.empty() ? "" : ", ") + std::to_string(rate);
  std::fprintf(stderr, "navlume-cli detect: listening on %zu device(s) at %s baud...\n", devices.size(), rates.c_str());
  // Ctrl-C ends the probes at their next wait, and every port gets its settings back.
  signal(SIGINT, OnStopSignal);
  signal(SIGTERM, OnStopSignal);
  std::vector<ProbeResult> results;
  {
    const CPowerForProbe power(powerFile);
    results = ProbeReceivers(devices, &g_Stop);
  }
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  if (g_Stop.load()) Fail("stopped; every device has its line settings back", kExitFailed);

  for (const ProbeResult& result : results) std::cout << Describe(result).dump() << "\n";
  std::cout.flush();
  const bool found = std::any_of(results.begin(), results.end(), IsReceiver);
  if (!found) Fail("no receiver found", kExitNoReceiver);
  if (options.write) WriteProfile(options.root, results);
}

}  // namespace

void AddDetectCommand(CLI::App& app) {
  auto options = std::make_shared<DetectOptions>();
  CLI::App* command = app.add_subcommand(
      "detect", "Find the receivers on the serial devices (listening and version polls only) and print one JSON "
                "line per device; --write maps them in device.ini");
  command->add_option("--devices", options->devices,
                      "Devices to probe (default: /dev/serial/by-id/*, else /dev/ttyACM* and /dev/ttyUSB*)");
  command->add_flag("--write", options->write, "Map the receivers found in ROOT's device.ini");
  command->add_option("--root", options->root,
                      "Device root whose profile names the power switch, and that --write maps into "
                      "(default: $NAVLUME_ROOT, else ~/.local/share/navlume)");
  command->add_option("--time-scale", options->timeScale, "Real seconds per system second (0.1: ten times faster)")
      ->check(CLI::PositiveNumber);
  command->callback([options] { RunDetect(*options); });
}
