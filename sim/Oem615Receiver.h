#pragma once
// NovAtel OEM615 (receiver type 4): sends its "[COM1]" prompt at 9600 about a
// second after power-on, answers every command line with "<OK" or "<ERROR" and
// a new prompt, and emits only the logs it has been told to emit; "log
// versiona once" is answered with its #VERSIONA log.

#include <string>
#include <vector>

#include "sim/Oem615Commands.h"
#include "sim/SimReceiver.h"

namespace sim {

class COem615Receiver : public CSimReceiver {
 public:
  explicit COem615Receiver(Scenario scenario = DefaultScenario(), PowerMode power = PowerMode::Platform);
  ~COem615Receiver() override;
  const char* TypeName() const override { return "OEM615"; }

  // Logs enabled now, in command order (thread-safe copy).
  std::vector<std::string> EnabledLogs() const;

 protected:
  void OnPowerOn() override;
  void OnHostBytes(const std::string& bytes) override;
  std::string EpochOutput(const Epoch& epoch) override;

 private:
  void Boot();
  void OnCommand(const std::string& line);

  bool m_bReady = false;  // the boot prompt was sent
  bool m_bAfterCr = false;
  std::string m_Line;
  COem615Logs m_Logs;
  mutable std::mutex m_LogsMutex;
};

}  // namespace sim
