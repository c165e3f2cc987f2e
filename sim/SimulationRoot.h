#pragma once
// A device root served by simulated receivers: the profile names the hardware
// types, maps COM2:/COM3:/COM9: to the receivers' terminals and names a power
// file. Used by `navlume-cli sim` and the GUI's simulation mode.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/Scenario.h"
#include "sim/SimReceiver.h"

namespace sim {

class CGpsdServer;
class CPowerFileWatcher;

enum class PowerSource {
  File,      // receivers follow <root>/gps_power, switched by another process
  Platform,  // they follow this process's device-control stand-in
};

struct SimulationOptions {
  std::string profile = "ublox";  // ublox, oem615, agps, ublox+agps, oem615+agps
  Scenario scenario = DefaultScenario();
  std::filesystem::path root;    // empty: a fresh temporary folder, removed by Stop()
  std::filesystem::path record;  // empty: no recording file
  PowerSource power = PowerSource::File;
  std::filesystem::path replay;  // a capture to replay instead of the profile
  std::string replayPort = "COM9:";
};

// Port names of the receivers.
constexpr const char* kSimUbloxPort = "COM2:";
constexpr const char* kSimOem615Port = "COM3:";
constexpr const char* kSimAgpsPort = "COM9:";
constexpr const char* kSimPowerFile = "gps_power";

class CSimulationRoot {
 public:
  CSimulationRoot();
  ~CSimulationRoot();  // Stop()
  CSimulationRoot(const CSimulationRoot&) = delete;
  CSimulationRoot& operator=(const CSimulationRoot&) = delete;

  static bool IsProfile(const std::string& name);

  // Creates the root, writes device.ini (GPS off), starts the receivers.
  // False with a message when anything fails (nothing is left running).
  bool Start(const SimulationOptions& options, std::string& error);
  // Stops the receivers; removes the root when it was a temporary one.
  void Stop();

  const std::filesystem::path& Root() const { return m_Root; }
  std::map<std::string, std::string> Ports() const;  // "COM2:" -> "/dev/pts/N"
  CSimReceiver* Receiver(const std::string& portName) const;
  // Starts `gpsd` on the terminal of the receiver behind `portName` and points
  // the current device profile's [gpsd] host and port at it. An OEM615 is
  // opened only when a client watches, so that its preparation over the port
  // comes first. False with a message (sim::kGpsdNotInstalled when gpsd is missing).
  bool ServeThroughGpsd(const std::string& portName, CGpsdServer& gpsd, std::string& error) const;
  // {"root": ..., "ports": {...}} as one line.
  std::string DescribeJson() const;

 private:
  // anyTalker: the receivers speak other talkers than GP ([nmea] talkers = any).
  bool WriteProfile(uint32_t gpsType, uint32_t wwanType, bool anyTalker, std::string& error) const;

  std::filesystem::path m_Root;
  bool m_bTemporary = false;
  std::map<std::string, std::unique_ptr<CSimReceiver>> m_Receivers;
  std::unique_ptr<CPowerFileWatcher> m_pWatcher;
};

}  // namespace sim
