#pragma once
// Replays a recorded NMEA capture at its own pace: one epoch (the lines up to
// the next GGA or RMC that repeats a type of the epoch) per second. Power- and
// rate-independent; received bytes are only recorded.

#include <string>
#include <vector>

#include "sim/SimReceiver.h"

namespace sim {

class CReplayReceiver : public CSimReceiver {
 public:
  explicit CReplayReceiver(std::vector<std::string> epochs);
  ~CReplayReceiver() override;
  const char* TypeName() const override { return "replay"; }

  // Splits a capture into epochs; false when the file cannot be read.
  static bool LoadCapture(const std::string& path, std::vector<std::string>& epochs);
  bool Finished() const { return m_bFinished.load(); }

 protected:
  void OnHostBytes(const std::string& bytes) override;
  std::string EpochOutput(const Epoch& epoch) override;

 private:
  std::vector<std::string> m_Epochs;
  size_t m_Next = 0;
  std::atomic<bool> m_bFinished{false};
};

}  // namespace sim
