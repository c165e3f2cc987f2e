#include "sim/GpsdServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
constexpr auto kStopPatience = std::chrono::seconds(5);
constexpr auto kCheckPeriod = std::chrono::milliseconds(10);
constexpr mode_t kTerminalMode = 0666;  // gpsd reads the terminal after dropping its privileges
constexpr unsigned kShmKeyBase = 0x4E560000;  // "NV": keys of private gpsds
constexpr unsigned kShmKeySpan = 0x10000;
constexpr size_t kLogTailBytes = 600;
constexpr const char* kShmKeyVariable = "GPSD_SHM_KEY";

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
  std::string pattern = (std::filesystem::temp_directory_path() / "navlume-gpsd-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    error = std::string("cannot create a folder for gpsd: ") + std::strerror(errno);
    return false;
  }
  m_Folder = pattern;
  m_Port = options.port != 0 ? options.port : FreeLoopbackPort();
  if (m_Port == 0) {
    error = "no free loopback port for gpsd";
    RemoveFolder();
    return false;
  }

  std::vector<std::string> arguments = {program, "-N", "-b", "-S", std::to_string(m_Port),
                                        "-F", (m_Folder / "gpsd.sock").string(),
                                        "-P", (m_Folder / "gpsd.pid").string()};
  if (options.openAtStart) arguments.insert(arguments.begin() + 2, "-n");
  arguments.push_back(options.devicePath);
  std::vector<std::string> environment = ChildEnvironment();
  std::vector<char*> argv = Pointers(arguments);
  std::vector<char*> envp = Pointers(environment);
  const int log = open((m_Folder / "gpsd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);

  sigset_t noSignals;
  sigemptyset(&noSignals);
  m_Pid = fork();
  if (m_Pid == 0) {  // only async-signal-safe calls until exec
    // The caller may block stop signals to read them itself; gpsd must get them.
    sigprocmask(SIG_SETMASK, &noSignals, nullptr);
    if (nothing >= 0) dup2(nothing, STDIN_FILENO);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (log >= 0) close(log);
  if (nothing >= 0) close(nothing);
  if (m_Pid < 0) {
    error = std::string("cannot start gpsd: ") + std::strerror(errno);
    RemoveFolder();
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

void CGpsdServer::Stop() {
  if (m_Pid > 0) {
    kill(m_Pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopPatience;
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
}

}  // namespace sim
