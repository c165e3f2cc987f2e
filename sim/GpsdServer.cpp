#include "sim/GpsdServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace sim {
namespace {

constexpr auto kStartPatience = std::chrono::seconds(15);
constexpr auto kCheckPeriod = std::chrono::milliseconds(10);
constexpr auto kGpsdStopPatience = std::chrono::seconds(5);  // after SIGTERM; then SIGKILL
// The guardian's patience with gpsd, and a second for the guardian itself.
constexpr auto kGuardianStopPatience = kGpsdStopPatience + std::chrono::seconds(1);
constexpr mode_t kTerminalMode = 0666;  // gpsd reads the terminal after dropping its privileges
constexpr unsigned kShmKeyBase = 0x4E560000;  // "NV": keys of private gpsds
constexpr unsigned kShmKeySpan = 0x10000;
constexpr size_t kLogTailBytes = 600;
constexpr const char* kShmKeyVariable = "GPSD_SHM_KEY";
constexpr const char* kFolderPrefix = "navlume-gpsd-";
// Locked by the owner for as long as it lives, its process id inside: a
// folder whose lock is free was left by an owner that died.
constexpr const char* kOwnerFile = "owner.lock";
constexpr const char* kSocketFile = "gpsd.sock";
constexpr const char* kPidFile = "gpsd.pid";
constexpr const char* kLogFile = "gpsd.log";
constexpr char kOrderlyStop = 's';  // what the owner says on the life line before it lets go
constexpr int kGuardianLifeFd = 3;   // the guardian's end of the life line
constexpr int kGpsdFailed = 127;  // the guardian's exit code when gpsd could not run or a signal ended it
constexpr int kCheckPeriodMs = static_cast<int>(kCheckPeriod.count());
constexpr int kGpsdStopPatienceMs = static_cast<int>(std::chrono::milliseconds(kGpsdStopPatience).count());

std::atomic<unsigned> g_Started{0};

// A port on loopback that nothing listens on now.
uint16_t FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

bool Accepts(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return accepted;
}

bool Executable(const std::string& path) { return !path.empty() && access(path.c_str(), X_OK) == 0; }

// The environment of this process with a shared-memory key of gpsd's own.
std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> variables;
  const std::string prefix = std::string(kShmKeyVariable) + "=";
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0) variables.emplace_back(*entry);
  }
  const unsigned key = kShmKeyBase + (static_cast<unsigned>(getpid()) * 31u + g_Started++) % kShmKeySpan;
  char text[32];
  std::snprintf(text, sizeof text, "%s0x%08x", prefix.c_str(), key);
  variables.emplace_back(text);
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// --- the guardian --------------------------------------------------------
// gpsd drops its privileges when it starts as the superuser, which clears a
// parent-death signal, so a guardian process of the owner's own rights stands
// between them: it starts gpsd, and stops it when the owner says so on the
// life line or when that line breaks because the owner died (and then removes
// the folder as well). It runs between fork and exit without exec, so it
// makes async-signal-safe calls only, on what was prepared before the fork.

struct GuardianPlan {
  char* const* argv;
  char* const* envp;
  std::array<const char*, 4> files;  // everything in the folder
  const char* folder;
};

// True once `child` has been reaped; false when it still runs after `ms`.
bool ReapedWithin(pid_t child, int exited, int ms) {
  for (int waited = 0;; waited += kCheckPeriodMs) {
    if (waitpid(child, nullptr, WNOHANG) == child) return true;
    if (waited >= ms) return false;
    pollfd watch{exited, POLLIN, 0};
    poll(&watch, 1, kCheckPeriodMs);  // ends at once when the child does
  }
}

[[noreturn]] void RunGuardian(const GuardianPlan& plan) {
  const pid_t gpsd = fork();
  if (gpsd == 0) {
    close(kGuardianLifeFd);
    execve(plan.argv[0], plan.argv, plan.envp);
    _exit(kGpsdFailed);
  }
  if (gpsd < 0) _exit(kGpsdFailed);
  // Signals to the owner's process group reach gpsd; the guardian stays to finish its work.
  for (int groupSignal : {SIGINT, SIGTERM, SIGHUP}) signal(groupSignal, SIG_IGN);
  // Readable when gpsd ends; without it (kernels before 5.3) gpsd is looked at every check period.
  const int exited = static_cast<int>(syscall(SYS_pidfd_open, gpsd, 0));
  pollfd watch[] = {{kGuardianLifeFd, POLLIN, 0}, {exited, POLLIN, 0}};
  for (;;) {
    int status = 0;
    if (waitpid(gpsd, &status, WNOHANG) == gpsd) _exit(WIFEXITED(status) ? WEXITSTATUS(status) : kGpsdFailed);
    if (poll(watch, 2, exited >= 0 ? -1 : kCheckPeriodMs) > 0 && watch[0].revents != 0) break;
  }
  char said = 0;
  const bool ownerDied = read(kGuardianLifeFd, &said, 1) != 1;
  kill(gpsd, SIGTERM);
  if (!ReapedWithin(gpsd, exited, kGpsdStopPatienceMs)) {
    kill(gpsd, SIGKILL);
    waitpid(gpsd, nullptr, 0);
  }
  if (ownerDied) {
    for (const char* file : plan.files) unlink(file);
    rmdir(plan.folder);
  }
  _exit(0);
}

// `fd` itself when it lies above the descriptors the guardian sets (0 to
// kGuardianLifeFd), else a copy above them; -1 stays -1.
int ClearOfGuardianFds(int fd) {
  if (fd < 0 || fd > kGuardianLifeFd) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, kGuardianLifeFd + 1);
  close(fd);
  return moved;
}

// --- what dead owners left -----------------------------------------------

// A process with this id whose command line names the folder: the gpsd that
// served from it (a zombie has no command line left).
bool ServesFrom(pid_t pid, const std::filesystem::path& folder) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  const std::string commandLine((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return pid > 0 && commandLine.find(folder.string()) != std::string::npos;
}

bool EndsWithin(pid_t pid, const std::filesystem::path& folder) {
  const auto deadline = std::chrono::steady_clock::now() + kGpsdStopPatience;
  while (ServesFrom(pid, folder)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kCheckPeriod);
  }
  return true;
}

void StopLeftGpsd(const std::filesystem::path& folder) {
  pid_t pid = 0;
  std::ifstream(folder / kPidFile) >> pid;
  if (!ServesFrom(pid, folder)) return;
  kill(pid, SIGTERM);
  if (EndsWithin(pid, folder)) return;
  kill(pid, SIGKILL);
  EndsWithin(pid, folder);
}

// Folders of private gpsds whose owner died before it could stop them (with
// whatever watched them): their gpsd, if it still runs, is stopped, and the
// folder goes. A folder without an owner's id is being made, or not ours.
void RemoveWhatDeadOwnersLeft() {
  std::error_code ec;
  std::filesystem::directory_iterator entry(std::filesystem::temp_directory_path(ec), ec);
  for (; !ec && entry != std::filesystem::directory_iterator(); entry.increment(ec)) {
    const std::filesystem::path folder = entry->path();
    if (!folder.filename().string().starts_with(kFolderPrefix)) continue;
    const int lock = open((folder / kOwnerFile).c_str(), O_RDONLY | O_CLOEXEC);
    if (lock < 0) continue;
    char owner[16] = {};
    if (flock(lock, LOCK_EX | LOCK_NB) == 0 && read(lock, owner, sizeof owner - 1) > 0) {
      StopLeftGpsd(folder);
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
    close(lock);
  }
}

}  // namespace

CGpsdServer::~CGpsdServer() { Stop(); }

std::string CGpsdServer::FindGpsd() {
  std::vector<std::string> folders;
  if (const char* path = std::getenv("PATH")) {
    std::stringstream list(path);
    for (std::string folder; std::getline(list, folder, ':');) folders.push_back(folder);
  }
  folders.insert(folders.end(), {"/usr/sbin", "/sbin", "/usr/local/sbin"});
  for (const auto& folder : folders) {
    const std::string candidate = folder + "/gpsd";
    if (!folder.empty() && Executable(candidate)) return candidate;
  }
  return {};
}

bool CGpsdServer::Start(const GpsdServerOptions& options, std::string& error) {
  Stop();
  const std::string program = FindGpsd();
  if (program.empty()) {
    error = kGpsdNotInstalled;
    return false;
  }
  if (chmod(options.devicePath.c_str(), kTerminalMode) != 0) {
    error = "cannot make " + options.devicePath + " readable for gpsd: " + std::strerror(errno);
    return false;
  }
  RemoveWhatDeadOwnersLeft();
  if (!MakeFolder(error)) return false;
  m_Port = options.port != 0 ? options.port : FreeLoopbackPort();
  if (m_Port == 0) {
    error = "no free loopback port for gpsd";
    RemoveFolder();
    return false;
  }

  const std::string socketFile = (m_Folder / kSocketFile).string();
  const std::string pidFile = (m_Folder / kPidFile).string();
  const std::string logFile = (m_Folder / kLogFile).string();
  const std::string ownerFile = (m_Folder / kOwnerFile).string();
  std::vector<std::string> arguments = {program, "-N", "-b", "-S", std::to_string(m_Port), "-F", socketFile,
                                        "-P", pidFile};
  if (options.openAtStart) arguments.insert(arguments.begin() + 2, "-n");
  arguments.push_back(options.devicePath);
  std::vector<std::string> environment = ChildEnvironment();
  std::vector<char*> argv = Pointers(arguments);
  std::vector<char*> envp = Pointers(environment);
  const GuardianPlan plan{argv.data(), envp.data(),
                          {socketFile.c_str(), pidFile.c_str(), logFile.c_str(), ownerFile.c_str()},
                          m_Folder.c_str()};
  int life[2];  // a socket pair, so that telling a guardian that has ended raises no SIGPIPE
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, life) != 0) {
    error = std::string("cannot start gpsd: ") + std::strerror(errno);
    RemoveFolder();
    return false;
  }
  // With standard descriptors closed these could land on 0-3, where the guardian's
  // dup2s would overwrite one before it is moved, and the owner's output would reach the life line.
  for (int& end : life) end = ClearOfGuardianFds(end);
  const int log = ClearOfGuardianFds(open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  const int nothing = ClearOfGuardianFds(open("/dev/null", O_RDONLY | O_CLOEXEC));

  sigset_t noSignals;
  sigemptyset(&noSignals);
  m_Pid = fork();
  if (m_Pid == 0) {  // the guardian: only async-signal-safe calls
    // The caller may block stop signals to read them itself; gpsd must get them.
    sigprocmask(SIG_SETMASK, &noSignals, nullptr);
    if (nothing >= 0) dup2(nothing, STDIN_FILENO);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    dup2(life[0], kGuardianLifeFd);
    // Nothing else of the owner's stays open here: not its end of the life
    // line, nor its lock, nor what other guardians need to see close.
    close_range(kGuardianLifeFd + 1, ~0U, 0);
    RunGuardian(plan);
  }
  close(life[0]);
  m_LifeFd = life[1];
  if (log >= 0) close(log);
  if (nothing >= 0) close(nothing);
  if (m_Pid < 0) {
    error = std::string("cannot start gpsd: ") + std::strerror(errno);
    Stop();
    return false;
  }
  if (!WaitUntilListening(error)) {
    Stop();
    return false;
  }
  return true;
}

bool CGpsdServer::WaitUntilListening(std::string& error) {
  const auto deadline = std::chrono::steady_clock::now() + kStartPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
      m_Pid = -1;
      error = "gpsd ended at start: " + LogTail();
      return false;
    }
    if (Accepts(m_Port)) return true;
    std::this_thread::sleep_for(kCheckPeriod);
  }
  error = "gpsd does not listen on port " + std::to_string(m_Port) + ": " + LogTail();
  return false;
}

bool CGpsdServer::MakeFolder(std::string& error) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(kFolderPrefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    error = std::string("cannot create a folder for gpsd: ") + std::strerror(errno);
    return false;
  }
  m_Folder = pattern;
  // Locked first, then the id written: a cleaner that finds the lock free and an id inside knows the owner died.
  m_OwnerLockFd = open((m_Folder / kOwnerFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  const std::string id = std::to_string(getpid());
  if (m_OwnerLockFd < 0 || flock(m_OwnerLockFd, LOCK_EX) != 0 ||
      write(m_OwnerLockFd, id.data(), id.size()) != static_cast<ssize_t>(id.size())) {
    error = "cannot lock the folder for gpsd " + m_Folder.string() + ": " + std::strerror(errno);
    RemoveFolder();
    return false;
  }
  return true;
}

void CGpsdServer::Stop() {
  if (m_LifeFd >= 0) {
    send(m_LifeFd, &kOrderlyStop, 1, MSG_NOSIGNAL);
    close(m_LifeFd);
    m_LifeFd = -1;
  }
  if (m_Pid > 0) {  // the guardian stops gpsd, with a SIGKILL after its patience, and ends
    const auto deadline = std::chrono::steady_clock::now() + kGuardianStopPatience;
    int status = 0;
    while (waitpid(m_Pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(m_Pid, SIGKILL);
        waitpid(m_Pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(kCheckPeriod);
    }
    m_Pid = -1;
  }
  RemoveFolder();
}

std::string CGpsdServer::LogTail() const {
  std::ifstream in(m_Folder / "gpsd.log", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string all = text.str();
  if (all.size() > kLogTailBytes) all = all.substr(all.size() - kLogTailBytes);
  return all.empty() ? "(no output)" : all;
}

void CGpsdServer::RemoveFolder() {
  if (m_Folder.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(m_Folder, ignored);
  m_Folder.clear();
  if (m_OwnerLockFd >= 0) close(m_OwnerLockFd);
  m_OwnerLockFd = -1;
}

}  // namespace sim
