#include "sim/ReplayReceiver.h"

#include <fstream>
#include <set>

namespace sim {
namespace {

// "GGA" of "$GPGGA,...", empty for other lines.
std::string SentenceType(const std::string& line) {
  if (line.size() < 7 || line[0] != '$') return {};
  return line.substr(3, 3);
}

}  // namespace

CReplayReceiver::CReplayReceiver(std::vector<std::string> epochs)
    : CSimReceiver(Scenario{}, PowerMode::AlwaysOn, 0), m_Epochs(std::move(epochs)) {}

CReplayReceiver::~CReplayReceiver() { Stop(); }

bool CReplayReceiver::LoadCapture(const std::string& path, std::vector<std::string>& epochs) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  epochs.clear();
  std::string current;
  std::set<std::string> seen;
  for (std::string line; std::getline(file, line);) {
    if (!file.eof()) line.push_back('\n');
    const std::string type = SentenceType(line);
    if ((type == "GGA" || type == "RMC") && seen.count(type)) {
      epochs.push_back(std::move(current));
      current.clear();
      seen.clear();
    }
    if (!type.empty()) seen.insert(type);
    current += line;
  }
  if (!current.empty()) epochs.push_back(std::move(current));
  return true;
}

void CReplayReceiver::OnHostBytes(const std::string&) {}

std::string CReplayReceiver::EpochOutput(const Epoch&) {
  if (m_Next >= m_Epochs.size()) {
    m_bFinished = true;
    return {};
  }
  return m_Epochs[m_Next++];
}

}  // namespace sim
