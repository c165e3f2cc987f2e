#pragma once
// A private gpsd serving one simulated receiver's terminal, for tests and
// simulations of the GPS multiplexer mode. It listens on loopback only, on a
// free port unless one is asked for, keeps its control socket, pid file and
// log in a folder of its own, and uses its own shared-memory key (so it never
// meets the system's gpsd). Its life is tied to this process: a guardian
// process stops it at Stop(), or when this process dies however it dies
// (SIGKILL, a crash), and then removes its folder too. Start() first stops
// and removes what owners that died with their guardian left behind.
//
//   sim::CGpsdServer gpsd;
//   std::string error;
//   if (!gpsd.Start({.devicePath = receiver.SlavePath()}, error)) { report error; }
//   profile.gpsdHost = gpsd.Host(); profile.gpsdPort = gpsd.Port();
//   ...
//   gpsd.Stop();  // or let the destructor do it

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace sim {

// What Start() says when the gpsd program cannot be found.
constexpr const char* kGpsdNotInstalled =
    "gpsd is not installed: the GPS multiplexer mode needs it (Debian packages gpsd and gpsd-clients)";

struct GpsdServerOptions {
  std::string devicePath;   // the receiver's terminal; made readable and writable for everyone
  uint16_t port = 0;        // 0: a free loopback port
  bool openAtStart = true;  // open the device at once (-n), not only when a client watches
};

class CGpsdServer {
 public:
  CGpsdServer() = default;
  ~CGpsdServer();  // Stop()
  CGpsdServer(const CGpsdServer&) = delete;
  CGpsdServer& operator=(const CGpsdServer&) = delete;

  // Path of the gpsd program (searched in PATH, then /usr/sbin and /sbin); empty when missing.
  static std::string FindGpsd();

  // Starts gpsd and returns once it accepts connections. False with a message
  // (kGpsdNotInstalled when the program is missing) and nothing left running.
  bool Start(const GpsdServerOptions& options, std::string& error);
  // Stops gpsd (SIGTERM, then SIGKILL if it does not end) and removes its folder.
  void Stop();

  bool Running() const { return m_Pid > 0; }
  const std::string& Host() const { return m_Host; }
  uint16_t Port() const { return m_Port; }
  std::string Endpoint() const { return m_Host + ":" + std::to_string(m_Port); }
  // Its control socket, pid file and log live here.
  const std::filesystem::path& Folder() const { return m_Folder; }

 private:
  // The folder, locked by this process as its owner.
  bool MakeFolder(std::string& error);
  bool WaitUntilListening(std::string& error);
  std::string LogTail() const;
  void RemoveFolder();

  const std::string m_Host = "127.0.0.1";
  uint16_t m_Port = 0;
  pid_t m_Pid = -1;  // the guardian
  int m_LifeFd = -1;  // this end of the life line to the guardian
  int m_OwnerLockFd = -1;
  std::filesystem::path m_Folder;
};

}  // namespace sim
