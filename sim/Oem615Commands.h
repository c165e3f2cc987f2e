#pragma once
// The OEM615's ASCII command set as the simulator understands it, and the log
// list the receiver keeps.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/LineFormat.h"
#include "sim/Scenario.h"

namespace sim {

struct Oem615Command {
  enum Kind { Unknown, Log, Unlog, UnlogAll, Freset, SerialConfig, Empty, VersionOnce };
  Kind kind = Unknown;
  std::string log;        // Log, Unlog: the log name (lower case)
  bool onChanged = false;  // Log: "onchanged"/"once" rather than "ontime"
  uint32_t period = 1;     // Log: seconds between outputs for "ontime"
  bool otherPort = false;  // SerialConfig: for a port other than COM1
  LineFormat format;       // SerialConfig
};

// Parses one command line (without its LF); case-insensitive like the receiver.
Oem615Command ParseOem615Command(const std::string& line);

// The 17 logs Navlume enables.
bool IsOem615LogName(const std::string& name);

class COem615Logs {
 public:
  void Enable(const Oem615Command& command);
  void Disable(const std::string& name);
  void Clear();
  std::vector<std::string> Names() const;
  // Output for one epoch: each enabled "ontime" log due this second, and each
  // "onchanged" log once after it was enabled.
  std::string Output(const Epoch& epoch);

 private:
  struct Entry {
    std::string name;
    bool onChanged = false;
    uint32_t period = 1;
    bool sent = false;
  };
  std::vector<Entry> m_Entries;
};

// The answer to "log versiona once": the receiver card's versions.
std::string Oem615VersionLog();

// One log's text for an epoch: NMEA logs as NMEA sentences, bestposa and
// bestsats as NovAtel ASCII lines ("#BESTPOSA,COM1,...*crc32").
std::string Oem615LogText(const std::string& name, const Epoch& epoch);

}  // namespace sim
