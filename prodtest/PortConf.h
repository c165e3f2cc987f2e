#pragma once
// The run's port configuration: which receivers the program drives, on which
// ports and at which baud rates, and whether it runs in production-test mode.
// Decided once at start-up from the hardware types, the test configuration
// file, the start-options dialog and the start option in the registry.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/ReceiverTypes.h"

class CGPSDevice;

constexpr uint32_t kMaxConfiguredPorts = 2;
constexpr uint32_t kDefaultTestTimeout = 60;

// The average SNR a receiver must reach: 10 to 50; a receiver whose level
// the file does not give gets the default.
constexpr uint32_t kMinPassLevel = 10;
constexpr uint32_t kMaxPassLevel = 50;
constexpr uint32_t kDefaultPassLevel = 35;

// The test configuration file: on the memory card when there is one there, else in the root.
constexpr const char* kCardConfigPath = "\\Storage Card\\Navlume.ini";
constexpr const char* kRootConfigPath = "\\Navlume.ini";

// The WWAN hardware type reported by the device-control library; GPS
// hardware types are the receiver types (device/ReceiverTypes.h).
constexpr int32_t kWwanHardwarePhs8 = 2;

// Choices of the start-options dialog.
constexpr int32_t kStartChoiceUblox = 0;
constexpr int32_t kStartChoiceOem615 = 1;
constexpr int32_t kStartChoiceAgps = 2;
constexpr int32_t kStartChoicePrd = 3;

// "COM1:" to "COM9:" by port number; entry 0 is an empty name.
extern const std::array<const char*, 10> kPortNameTable;

// The receiver type a device on `port` is created with: the A-GPS port's
// own, any other port the fitted GPS hardware's.
uint32_t ReceiverTypeOfPort(const std::string& port, int32_t gpsType);

// A LEVELn value of the file outside the pass levels: the value as written,
// and why it is refused, naming the file and its line.
struct RefusedPassLevel {
  std::string text;
  std::string reason;
};

class CPortConf {
 public:
  // 1 to go on; 0 when no receiver was found or nothing is configured.
  int Initialize();
  // Reads the test configuration file; 1 when it names at least one receiver.
  int ConfigFileOpen();
  // Asks the device-control library for the hardware types and sets the
  // program-wide port names; 1 when at least one receiver is fitted.
  int DetectDevices();
  // Appends a configured port (name cut to 9 characters); 0 when both entries are taken.
  int AddPort(std::string_view name, uint32_t passLevel);
  // Forgets every configured port.
  void ClearPorts();
  // Writes "EnableGPSPort" and loads the device's log, export and cold-start
  // options from the registry (production mode forces cold start).
  void SetRegistryKey(CGPSDevice& device, int prdMode);

  // The level configured port `index` is tested against.
  uint32_t PassLevel(uint32_t index) const;
  uint32_t ReceiverType(const std::string& port) const { return ReceiverTypeOfPort(port, m_GpsType); }
  // Why the file cannot run a test (its first refused pass level); empty when it can.
  std::string FileProblem() const;

  std::array<std::string, kMaxConfiguredPorts> m_PortNames;  // packed from 0; empty: none
  std::array<uint32_t, kMaxConfiguredPorts> m_PassLevels{0, 0};
  std::array<int32_t, kMaxConfiguredPorts> m_BaudRates{kDefaultBaudRate, kDefaultBaudRate};
  uint32_t m_PortCount = 0;
  int m_bPrdMode = 0;
  int32_t m_TestType = 0;  // 0 one by one, 1 at the same time
  int32_t m_GpsType = 0;
  int32_t m_WwanType = 0;
  uint32_t m_TestTimeout = kDefaultTestTimeout;  // seconds; 0 = no timeout
  int m_bDirectAccess = 0;
  int32_t m_StartChoice = kStartChoicePrd;
  std::array<RefusedPassLevel, kMaxConfiguredPorts> m_RefusedLevels;  // per configured port; empty: none

 private:
  void ReadTestOptions(std::string_view text);
  // `file` is the handheld path of the file `text` was read from.
  void ReadPort(std::string_view text, int slot, const char* file);
  void AddHardwarePorts();
};
