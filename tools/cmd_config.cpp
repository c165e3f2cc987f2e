// navlume-cli config: decides the port configuration against a device root as
// the program does at start-up and prints it as one JSON object.

#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "device/GPSDevice.h"
#include "device/PortNames.h"
#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"
#include "prodtest/RegGetDword.h"
#include "prodtest/StartOptionsIds.h"
#include "tools/CommandRoot.h"
#include "tools/Commands.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const std::map<std::string, int> kChoiceControls = {
    {"ubx", IDC_START_UBX}, {"oem615", IDC_START_OEM615}, {"agps", IDC_START_AGPS}, {"prd", IDC_START_PRD}};

struct ConfigOptions {
  std::string root;
  std::string choose;
  std::optional<int> baud;
  std::string registryMode;
};

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "navlume-cli config: %s\n", message.c_str());
  throw CLI::RuntimeError(kExitUsage);
}

std::string JoinItems(const std::vector<std::string>& items) {
  std::string joined;
  for (const auto& item : items) joined += (joined.empty() ? "" : ", ") + item;
  return joined.empty() ? "none" : joined;
}

// Answers the start-options dialog as a user would: a click on the chosen
// radio button, the baud rate picked in the list, then "OK". A choice the
// dialog does not offer leaves it unanswered and records why.
class CDialogAnswer {
 public:
  explicit CDialogAnswer(const ConfigOptions& options) : m_Options(options) {}

  void operator()(platform::DialogModel& dialog) {
    if (!m_Options.choose.empty() && !Choose(dialog)) return;
    if (m_Options.baud && !PickBaudRate(dialog)) return;
    dialog.OnCommand(IDC_START_OK);
  }

  const std::string& Error() const { return m_Error; }

 private:
  bool Choose(platform::DialogModel& dialog) {
    const int id = kChoiceControls.at(m_Options.choose);
    if (!dialog.Control(id).enabled) {
      m_Error = "--choose " + m_Options.choose + ": \"" + dialog.Control(id).text +
                "\" is disabled in the start-options dialog (that receiver is not fitted)";
      return false;
    }
    dialog.OnCommand(id);
    return true;
  }

  bool PickBaudRate(platform::DialogModel& dialog) {
    platform::ControlState& combo = dialog.Control(IDC_START_BAUDRATE);
    const std::string wanted = std::to_string(*m_Options.baud);
    for (size_t i = 0; i < combo.items.size(); ++i) {
      if (combo.items[i] != wanted) continue;
      combo.selection = static_cast<int>(i);
      dialog.OnCommand(IDC_START_BAUDRATE);
      return true;
    }
    m_Error = "--baud " + wanted + " is not in the start-options dialog's list (" + JoinItems(combo.items) + ")";
    return false;
  }

  const ConfigOptions& m_Options;
  std::string m_Error;
};

// Installs a headless user interface for the command's lifetime.
class CScopedUserInterface {
 public:
  explicit CScopedUserInterface(platform::UserInterface& ui) { platform::SetUserInterface(&ui); }
  ~CScopedUserInterface() { platform::SetUserInterface(nullptr); }
  CScopedUserInterface(const CScopedUserInterface&) = delete;
  CScopedUserInterface& operator=(const CScopedUserInterface&) = delete;
};

nlohmann::ordered_json Describe(const CPortConf& conf, bool ok, bool dialogShown) {
  nlohmann::ordered_json ports = nlohmann::ordered_json::array();
  for (uint32_t i = 0; i < conf.m_PortCount; ++i) {
    ports.push_back({{"name", conf.m_PortNames[i]}, {"passLevel", conf.m_PassLevels[i]}, {"baudRate", conf.m_BaudRates[i]}});
  }
  return {{"ok", ok},
          {"prdMode", conf.m_bPrdMode},
          {"testType", conf.m_TestType},
          {"testTimeout", conf.m_TestTimeout},
          {"gpsType", conf.m_GpsType},
          {"wwanType", conf.m_WwanType},
          {"directAccess", conf.m_bDirectAccess},
          {"startChoice", conf.m_StartChoice},
          {"portCount", conf.m_PortCount},
          {"ports", ports},
          {"portNames",
           {{"ublox", UbloxPortName}, {"oem615", Oem615PortName}, {"agps", AgpsPortName}, {"export", ExportPortName}}},
          {"dialogShown", dialogShown}};
}

void RunConfig(const ConfigOptions& options) {
  UseCommandRoot("config", options.root, kExitUsage);
  platform::HeadlessUserInterface ui;
  CDialogAnswer answer(options);
  ui.SetDialogAnswer([&answer](platform::DialogModel& dialog) { answer(dialog); });
  CScopedUserInterface scopedUi(ui);

  CPortConf conf;
  const bool ok = conf.Initialize() == 1;
  if (!answer.Error().empty()) Fail(answer.Error());

  nlohmann::ordered_json result = Describe(conf, ok, ui.ModalDialogsShown() > 0);
  // A start option missing from the registry reads as 0 (GPS Multiplexer); a simulator seeds 1.
  uint32_t startOptions = 0;
  result["defaulted"] = nlohmann::ordered_json::array();
  if (RegGetDword(platform::RegRoot::LocalMachine, kRilRegistryKey, kStartOptionsValue, &startOptions) == 0)
    result["defaulted"].push_back(std::string(kStartOptionsValue) + "=0");
  if (!options.registryMode.empty()) {
    CGPSDevice device;
    conf.SetRegistryKey(device, options.registryMode == "prd" ? 1 : 0);
    result["saveNmea"] = device.m_bSaveNMEAData;
    result["exportToUart"] = device.m_bExportToUart;
    result["coldStart"] = device.m_bColdStart;
  }
  std::cout << result.dump() << std::endl;
  if (!ok) {
    std::fprintf(stderr, "GPS port configuration is failed!!\n");
    throw CLI::RuntimeError(kExitFailed);
  }
}

}  // namespace

void AddConfigCommand(CLI::App& app) {
  auto options = std::make_shared<ConfigOptions>();
  CLI::App* command = app.add_subcommand(
      "config", "Decide the port configuration (hardware, Navlume.ini, start options) and print it as JSON");
  command->add_option("--root", options->root, "Device root (default: $NAVLUME_ROOT, else ~/.local/share/navlume)");
  command->add_option("--choose", options->choose, "Answer of the start-options dialog, if it appears")
      ->check(CLI::IsMember({"ubx", "oem615", "agps", "prd"}));
  command->add_option("--baud", options->baud, "Baud rate picked in the start-options dialog, if it appears");
  command->add_option("--set-registry-key", options->registryMode,
                      "Also load a receiver's registry options, in production (prd) or normal mode")
      ->check(CLI::IsMember({"prd", "normal"}));
  command->callback([options] { RunConfig(*options); });
}
