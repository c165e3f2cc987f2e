#pragma once
// u-blox 7 (receiver type 3): NMEA at 9600 after power-on; answers UBX
// CFG-RST with ACK-ACK and a cold start, CFG-PRT (port 1) with ACK-ACK and a
// rate change, and a MON-VER poll with its versions. Bytes that do not form
// valid UBX frames are ignored.

#include "sim/SimReceiver.h"
#include "sim/Ubx.h"

namespace sim {

class CUbloxReceiver : public CSimReceiver {
 public:
  explicit CUbloxReceiver(Scenario scenario = DefaultScenario(), PowerMode power = PowerMode::Platform);
  ~CUbloxReceiver() override;
  const char* TypeName() const override { return "u-blox 7"; }

 protected:
  void OnPowerOn() override;
  void OnHostBytes(const std::string& bytes) override;
  std::string EpochOutput(const Epoch& epoch) override;

 private:
  void OnFrame(const UbxFrame& frame);
  UbxFramer m_Framer;
};

}  // namespace sim
