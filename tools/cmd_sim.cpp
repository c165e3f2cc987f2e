// navlume-cli sim: simulated receivers on pseudo-terminals behind a device root
// that Navlume (or a test) then uses. Runs until SIGINT or SIGTERM, or until
// `sim --stop ROOT`; with --background it returns once the root is ready.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/StopSignals.h"
#include "platform/Time.h"
#include "prodtest/RegGetDword.h"
#include "sim/GpsdServer.h"
#include "sim/SimulationRoot.h"
#include "tools/CommandRoot.h"
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
  bool background = false;
  std::string stopRoot;  // --stop ROOT
};

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// The simulator of a root holds a lock on this file, which names its process.
constexpr const char* kPidFile = "sim.pid";
constexpr int kStopPatienceMs = 10000;  // real time a simulator gets to tear down

int Fail(const std::string& message) {
  std::fprintf(stderr, "navlume-cli sim: %s\n", message.c_str());
  return kExitUsage;
}

// The lock of a root's simulator: held while it runs, released by its end however it ends.
class CSimulatorLock {
 public:
  ~CSimulatorLock() {
    if (m_Fd < 0) return;
    std::error_code ignored;
    std::filesystem::remove(m_File, ignored);
    close(m_Fd);
  }

  // False with a message when another simulator holds it.
  bool Take(const std::filesystem::path& root, std::string& error) {
    m_File = root / kPidFile;
    m_Fd = open(m_File.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_Fd < 0 || flock(m_Fd, LOCK_EX | LOCK_NB) != 0) {
      error = "a simulator already runs in " + root.string() + " (navlume-cli sim --stop " + root.string() + ")";
      if (m_Fd >= 0) close(m_Fd);
      m_Fd = -1;
      return false;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(m_Fd, 0) == 0 && write(m_Fd, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size())) return true;
    error = "cannot write " + m_File.string();
    return false;
  }

 private:
  std::filesystem::path m_File;
  int m_Fd = -1;
};

// Sends the ready line to the caller: on standard output, or through the
// background start's pipe, after which the simulator lets go of the caller's streams.
void AnnounceReady(const std::string& line, int readyFd) {
  if (readyFd < 0) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return;
  }
  const std::string text = line + "\n";
  if (write(readyFd, text.data(), text.size()) < 0) std::perror("navlume-cli sim");
  close(readyFd);
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    dup2(null, STDERR_FILENO);
    close(null);
  }
}

int RunSimulation(const SimCommandOptions& command, int readyFd) {
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
  // A root that is named is locked before its profile is written, so that a running simulator keeps its own.
  CSimulatorLock lock;
  std::error_code ignored;
  if (!command.root.empty()) std::filesystem::create_directories(command.root, ignored);
  if (!command.root.empty() && !lock.Take(command.root, error)) {
    close(signals);
    return Fail(error);
  }
  sim::CSimulationRoot root;
  if (!root.Start(options, error) || (command.root.empty() && !lock.Take(root.Root(), error))) {
    close(signals);
    return Fail(error);
  }
  UseDebugLog(root.Root());
  nlohmann::json description = nlohmann::json::parse(root.DescribeJson());
  description["pid"] = getpid();
  description["seeded"] = SeedRegistry({&kSimulatedStartOption, 1});
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
  AnnounceReady(description.dump(), readyFd);
  signalfd_siginfo info{};
  while (read(signals, &info, sizeof info) < 0 && errno == EINTR) {
  }
  gpsd.Stop();
  root.Stop();
  close(signals);
  return 0;
}

// Starts the simulation in a process of its own and returns once it is ready
// (0, its line printed) or has failed (its exit code, its reason on standard error).
int StartInBackground(const SimCommandOptions& command) {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return Fail("cannot start in the background: " + std::string(strerror(errno)));
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return Fail("cannot start in the background: " + std::string(strerror(errno)));
  if (child == 0) {
    close(ready[0]);
    setsid();  // the caller's terminal and its Ctrl-C are no longer ours
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    close(null);
    return RunSimulation(command, ready[1]);
  }
  close(ready[1]);
  std::string line;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = read(ready[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
    if (got > 0) line.append(buffer, static_cast<size_t>(got));
  }
  close(ready[0]);
  if (!line.empty()) {
    std::fputs(line.c_str(), stdout);
    return 0;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : kExitFailed;
}

// Ends the simulator of `root` and waits until it has torn down.
int StopSimulator(const std::filesystem::path& root) {
  const std::filesystem::path file = root / kPidFile;
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  const bool running = fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0;
  if (fd >= 0) close(fd);
  pid_t pid = 0;
  std::ifstream(file) >> pid;
  if (!running || pid <= 0) {
    std::fprintf(stderr, "navlume-cli sim: no simulator runs in %s\n", root.c_str());
    return kExitFailed;
  }
  const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (process < 0 || kill(pid, SIGTERM) != 0) {
    std::fprintf(stderr, "navlume-cli sim: cannot stop process %d: %s\n", static_cast<int>(pid), strerror(errno));
    if (process >= 0) close(process);
    return kExitFailed;
  }
  pollfd ended{process, POLLIN, 0};
  int polled = 0;
  while ((polled = poll(&ended, 1, kStopPatienceMs)) < 0 && errno == EINTR) {
  }
  close(process);
  if (polled == 0) {
    std::fprintf(stderr, "navlume-cli sim: process %d did not end within %d s\n", static_cast<int>(pid),
                 kStopPatienceMs / 1000);
    return kExitFailed;
  }
  return 0;
}

int RunSim(const SimCommandOptions& command) {
  if (!command.stopRoot.empty()) return StopSimulator(command.stopRoot);
  return command.background ? StartInBackground(command) : RunSimulation(command, -1);
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
  sim->add_flag("--gpsd", command->gpsd,
                "Start a private gpsd on the first receiver's terminal (loopback, free port; written into the "
                "root's [gpsd])");
  CLI::Option* background = sim->add_flag(
      "--background", command->background,
      "Return once the root and terminals are ready, the simulator running on (its pid in the JSON line)");
  sim->add_option("--stop", command->stopRoot, "End the simulator that runs in ROOT and wait for it")
      ->type_name("ROOT")
      ->excludes(background);
  sim->callback([command] {
    const int result = RunSim(*command);
    if (result != 0) throw CLI::RuntimeError(result);
  });
}
