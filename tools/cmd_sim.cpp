// navlume-cli sim: simulated receivers on pseudo-terminals behind a device root
// that Navlume (or a test) then uses. Runs until SIGINT or SIGTERM.

#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/StopSignals.h"
#include "platform/Time.h"
#include "sim/GpsdServer.h"
#include "sim/SimulationRoot.h"
#include "tools/Commands.h"
#include "tools/SimOptions.h"

namespace {

struct SimCommandOptions {
  std::string profile = "ublox";
  std::string scenario;
  std::optional<double> ttff;
  std::string gnss;              // "gps,glonass,...": empty keeps the scenario's systems
  std::optional<int> rateHz;     // solutions per second
  double timeScale = 1.0;
  std::string root;
  std::string record;
  std::string replay;
  std::string port = sim::kSimAgpsPort;
  bool gpsd = false;  // a private gpsd serves the first receiver
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "navlume-cli sim: %s\n", message.c_str());
  return 2;
}

int RunSim(const SimCommandOptions& command) {
  sim::SimulationOptions options;
  options.profile = command.profile;
  options.root = command.root;
  options.record = command.record;
  options.replay = command.replay;
  options.replayPort = command.port;
  std::string error;
  if (!command.scenario.empty() && !sim::LoadScenario(command.scenario, options.scenario, error)) return Fail(error);
  if (command.ttff) options.scenario.ttff = *command.ttff;
  if (!sim::ApplyGnssOptions(options.scenario, command.gnss, command.rateHz, error)) return Fail(error);
  platform::SetTimeScale(command.timeScale);

  const int signals = platform::BlockStopSignals() ? platform::StopSignalDescriptor() : -1;
  if (signals < 0) return Fail("cannot catch SIGINT/SIGTERM");
  sim::CSimulationRoot root;
  if (!root.Start(options, error)) {
    close(signals);
    return Fail(error);
  }
  nlohmann::json description = nlohmann::json::parse(root.DescribeJson());
  sim::CGpsdServer gpsd;
  if (command.gpsd) {
    const auto ports = root.Ports();
    if (ports.empty()) error = "no receiver for gpsd";
    if (ports.empty() || !root.ServeThroughGpsd(ports.begin()->first, gpsd, error)) {
      root.Stop();
      close(signals);
      return Fail(error);
    }
    description["gpsd"] = gpsd.Endpoint();
  }
  std::printf("%s\n", description.dump().c_str());
  std::fflush(stdout);
  signalfd_siginfo info{};
  while (read(signals, &info, sizeof info) < 0 && errno == EINTR) {
  }
  gpsd.Stop();
  root.Stop();
  close(signals);
  return 0;
}

}  // namespace

void AddSimCommand(CLI::App& app) {
  auto command = std::make_shared<SimCommandOptions>();
  CLI::App* sim = app.add_subcommand("sim", "Run simulated receivers on pseudo-terminals behind a device root");
  sim->add_option("--profile", command->profile, "Receivers: ublox, oem615, agps, ublox+agps, oem615+agps")
      ->check(CLI::IsMember({"ublox", "oem615", "agps", "ublox+agps", "oem615+agps"}));
  sim->add_option("--scenario", command->scenario, "Scenario file (JSON); default: built-in open sky")
      ->check(CLI::ExistingFile);
  sim->add_option("--ttff", command->ttff, "Time to first fix in seconds (overrides the scenario)")
      ->check(CLI::NonNegativeNumber);
  sim->add_option("--gnss", command->gnss,
                  "Systems the receivers track, such as gps,glonass,galileo,beidou (default: gps); with any but "
                  "gps alone they report as a modern u-blox (GN, GL, GA, GB talkers, NMEA 4.10)")
      ->check(GnssListCheck());
  sim->add_option("--rate", command->rateHz, "Solutions per second (default 1)")
      ->check(SimulatedRateCheck());
  sim->add_option("--time-scale", command->timeScale, "Real seconds per simulated second (0.1: ten times faster)")
      ->check(CLI::PositiveNumber);
  sim->add_option("--root", command->root, "Device root to use (default: a temporary one, removed at the end)");
  sim->add_option("--record", command->record, "Write what the receivers receive to FILE (JSON lines)");
  sim->add_option("--replay", command->replay, "Replay an NMEA capture instead of a scenario")->check(CLI::ExistingFile);
  sim->add_option("--port", command->port, "Port of the replayed receiver")
      ->check(CLI::IsMember({sim::kSimUbloxPort, sim::kSimOem615Port, sim::kSimAgpsPort}));
  sim->add_flag("--gpsd", command->gpsd, "Start a private gpsd on the first receiver's terminal (loopback, free port)");
  sim->callback([command] {
    const int result = RunSim(*command);
    if (result != 0) throw CLI::RuntimeError(result);
  });
}
