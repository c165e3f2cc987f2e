#include "sim/AgpsReceiver.h"

#include "sim/NmeaSentences.h"

namespace sim {

CAgpsReceiver::CAgpsReceiver(Scenario scenario) : CSimReceiver(std::move(scenario), PowerMode::AlwaysOn, 0) {}

CAgpsReceiver::~CAgpsReceiver() { Stop(); }

void CAgpsReceiver::OnHostBytes(const std::string&) {}

std::string CAgpsReceiver::EpochOutput(const Epoch& epoch) { return BuildEpoch(GetScenario(), epoch); }

}  // namespace sim
