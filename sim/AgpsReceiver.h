#pragma once
// The GPS of a PHS8 wireless module: streams NMEA from start, whatever the
// power state, on a USB port where the line rate does not matter; no commands.

#include "sim/SimReceiver.h"

namespace sim {

class CAgpsReceiver : public CSimReceiver {
 public:
  explicit CAgpsReceiver(Scenario scenario = DefaultScenario());
  ~CAgpsReceiver() override;
  const char* TypeName() const override { return "PHS8 A-GPS"; }

 protected:
  void OnHostBytes(const std::string& bytes) override;
  std::string EpochOutput(const Epoch& epoch) override;
};

}  // namespace sim
