#include "sim/SimulationRoot.h"

#include <cstdlib>
#include <fstream>

#include <nlohmann/json.hpp>

#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "sim/AgpsReceiver.h"
#include "sim/GpsdServer.h"
#include "sim/Oem615Receiver.h"
#include "sim/PowerFileWatcher.h"
#include "sim/ReplayReceiver.h"
#include "sim/UbloxReceiver.h"

namespace sim {
namespace {

constexpr uint32_t kUbloxType = 3;
constexpr uint32_t kOem615Type = 4;
constexpr uint32_t kAgpsWwanType = 2;

struct ProfileParts {
  const char* name;
  bool ublox, oem615, agps;
};
constexpr ProfileParts kProfiles[] = {
    {"ublox", true, false, false},     {"oem615", false, true, false},     {"agps", false, false, true},
    {"ublox+agps", true, false, true}, {"oem615+agps", false, true, true},
};

const ProfileParts* FindProfile(const std::string& name) {
  for (const auto& profile : kProfiles) {
    if (name == profile.name) return &profile;
  }
  return nullptr;
}

bool MakeTemporaryRoot(std::filesystem::path& root) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/navlume-sim-XXXXXX";
  if (!mkdtemp(pattern.data())) return false;
  root = pattern;
  return true;
}

}  // namespace

CSimulationRoot::CSimulationRoot() = default;

CSimulationRoot::~CSimulationRoot() { Stop(); }

bool CSimulationRoot::IsProfile(const std::string& name) { return FindProfile(name) != nullptr; }

bool CSimulationRoot::Start(const SimulationOptions& options, std::string& error) {
  Stop();
  uint32_t gpsType = 0, wwanType = 0;
  bool anyTalker = false;  // a receiver speaks other talkers than GP
  const PowerMode power = options.power == PowerSource::Platform ? PowerMode::Platform : PowerMode::Manual;
  if (!options.replay.empty()) {
    std::vector<std::string> epochs;
    if (!CReplayReceiver::LoadCapture(options.replay.string(), epochs)) {
      error = "cannot read the capture " + options.replay.string();
      return false;
    }
    if (options.replayPort == kSimUbloxPort) gpsType = kUbloxType;
    else if (options.replayPort == kSimOem615Port) gpsType = kOem615Type;
    else wwanType = kAgpsWwanType;
    m_Receivers[options.replayPort] = std::make_unique<CReplayReceiver>(std::move(epochs));
  } else {
    const ProfileParts* profile = FindProfile(options.profile);
    if (!profile) {
      error = "unknown profile \"" + options.profile + "\" (ublox, oem615, agps, ublox+agps, oem615+agps)";
      return false;
    }
    if (profile->ublox) {
      gpsType = kUbloxType;
      m_Receivers[kSimUbloxPort] = std::make_unique<CUbloxReceiver>(options.scenario, power);
    }
    if (profile->oem615) {
      gpsType = kOem615Type;
      m_Receivers[kSimOem615Port] = std::make_unique<COem615Receiver>(GpsAtOneHertz(options.scenario), power);
    }
    if (profile->agps) {
      wwanType = kAgpsWwanType;
      m_Receivers[kSimAgpsPort] = std::make_unique<CAgpsReceiver>(options.scenario);
    }
    anyTalker = !options.scenario.GpsOnly() && (profile->ublox || profile->agps);
  }
  m_bTemporary = options.root.empty();
  std::error_code ec;
  bool created = false;
  if (m_bTemporary) {
    created = MakeTemporaryRoot(m_Root);
  } else {
    m_Root = options.root;
    std::filesystem::create_directories(m_Root, ec);
    created = !ec;
  }
  if (!created) {
    error = "cannot create the device root " + (m_bTemporary ? std::string("folder") : options.root.string());
    Stop();
    return false;
  }
  m_Root = std::filesystem::absolute(m_Root);
  if (!WriteProfile(gpsType, wwanType, anyTalker, error) || !platform::SetDeviceRoot(m_Root)) {
    if (error.empty()) error = "cannot use the device root " + m_Root.string();
    Stop();
    return false;
  }
  std::shared_ptr<CRecordFile> record;
  if (!options.record.empty()) {
    record = std::make_shared<CRecordFile>(options.record.string());
    if (!record->IsOpen()) {
      error = "cannot write " + options.record.string();
      Stop();
      return false;
    }
  }
  for (auto& [port, receiver] : m_Receivers) {
    if (record) receiver->Recording().SetFile(record, port);
    if (!receiver->Start()) {
      error = "cannot open a pseudo-terminal for " + port;
      Stop();
      return false;
    }
  }
  if (options.power == PowerSource::File && options.replay.empty()) {
    m_pWatcher = std::make_unique<CPowerFileWatcher>(m_Root / kSimPowerFile, [this](bool on) {
      for (const char* port : {kSimUbloxPort, kSimOem615Port}) {
        if (CSimReceiver* receiver = Receiver(port)) receiver->SetPower(on);
      }
    });
    if (!m_pWatcher->Start()) {
      error = "cannot watch " + (m_Root / kSimPowerFile).string();
      Stop();
      return false;
    }
  }
  return true;
}

bool CSimulationRoot::WriteProfile(uint32_t gpsType, uint32_t wwanType, bool anyTalker, std::string& error) const {
  const std::filesystem::path powerFile = m_Root / kSimPowerFile;
  std::ofstream power(powerFile, std::ios::trunc);
  power << "0";
  std::ofstream ini(m_Root / "device.ini", std::ios::trunc);
  ini << "; Simulated receivers (navlume-cli sim); removed with a temporary root.\n"
      << "[hardware]\ngps_type=" << gpsType << "\nwwan_type=" << wwanType << "\n\n[ports]\n";
  for (const auto& [port, receiver] : m_Receivers) ini << port << "=" << receiver->SlavePath() << "\n";
  ini << "\n[power]\ngps=" << powerFile.string() << "\n";
  if (anyTalker) ini << "\n[nmea]\ntalkers=" << platform::kTalkersAny << "\n";
  power.close();
  ini.close();
  if (!power || !ini) {
    error = "cannot write the profile in " + m_Root.string();
    return false;
  }
  return true;
}

void CSimulationRoot::Stop() {
  m_pWatcher.reset();
  m_Receivers.clear();
  if (!m_Root.empty() && platform::DeviceRoot() == m_Root) platform::ResetDeviceRoot();
  if (m_bTemporary && !m_Root.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(m_Root, ec);
  }
  m_bTemporary = false;
  m_Root.clear();
}

std::map<std::string, std::string> CSimulationRoot::Ports() const {
  std::map<std::string, std::string> ports;
  for (const auto& [port, receiver] : m_Receivers) ports[port] = receiver->SlavePath();
  return ports;
}

CSimReceiver* CSimulationRoot::Receiver(const std::string& portName) const {
  const auto found = m_Receivers.find(portName);
  return found == m_Receivers.end() ? nullptr : found->second.get();
}

bool CSimulationRoot::ServeThroughGpsd(const std::string& portName, CGpsdServer& gpsd, std::string& error) const {
  const CSimReceiver* receiver = Receiver(portName);
  if (receiver == nullptr) {
    error = "no simulated receiver on " + portName;
    return false;
  }
  const bool oem615 = portName == kSimOem615Port;
  if (!gpsd.Start({.devicePath = receiver->SlavePath(), .openAtStart = !oem615}, error)) return false;
  platform::DeviceProfile profile = platform::CurrentDeviceProfile();
  profile.gpsdHost = gpsd.Host();
  profile.gpsdPort = gpsd.Port();
  platform::SetCurrentDeviceProfile(profile);
  // Another process on this root (monitor --gpsd) finds it in the profile.
  const std::vector<platform::ProfileSetting> endpoint{{platform::kGpsdSection, platform::kGpsdHostKey, gpsd.Host()},
                                                       {platform::kGpsdSection, platform::kGpsdPortKey,
                                                        std::to_string(gpsd.Port())}};
  if (const int failure = platform::WriteProfileValues(m_Root / "device.ini", endpoint); failure != 0) {
    error = "cannot write gpsd's port into " + (m_Root / "device.ini").string();
    gpsd.Stop();
    return false;
  }
  return true;
}

std::string CSimulationRoot::DescribeJson() const {
  return nlohmann::json{{"root", m_Root.string()}, {"ports", Ports()}}.dump();
}

}  // namespace sim
