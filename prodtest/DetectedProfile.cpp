#include "prodtest/DetectedProfile.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string_view>

#include "device/PortNames.h"
#include "platform/DeviceProfile.h"
#include "prodtest/PortConf.h"

namespace {

struct Place {
  const char* role;
  const char* typeKey;
  int32_t type;
  const std::string& port;
};

std::optional<Place> PlaceOf(ReceiverKind kind) {
  switch (kind) {
    case ReceiverKind::Ublox: return Place{"GPS", platform::kGpsTypeKey, kGpsTypeUblox, UbloxPortName};
    case ReceiverKind::Oem615: return Place{"GPS", platform::kGpsTypeKey, kGpsTypeOem615, Oem615PortName};
    case ReceiverKind::Nmea:
      return Place{"NMEA-only (A-GPS port)", platform::kWwanTypeKey, kWwanHardwarePhs8, AgpsPortName};
    default: return std::nullopt;
  }
}

bool SpeaksOtherThanGp(const ProbeResult& result) {
  return std::any_of(result.talkers.begin(), result.talkers.end(),
                     [](const std::string& talker) { return talker != platform::kTalkersGp; });
}

}  // namespace

DetectedProfile ProfileForReceivers(const std::vector<ProbeResult>& results) {
  DetectedProfile profile;
  std::map<std::string_view, std::string> mapped;  // type key -> the path mapped there
  bool everyTalker = false;
  for (const ProbeResult& result : results) {
    const std::optional<Place> place = PlaceOf(result.kind);
    if (!place) continue;
    const auto [first, fresh] = mapped.emplace(place->typeKey, result.path);
    if (!fresh) {
      profile.notes.push_back(result.path + " is left out: the unit carries one " + place->role + " receiver, and " +
                              first->second + " is mapped");
      continue;
    }
    profile.settings.push_back({platform::kHardwareSection, place->typeKey, std::to_string(place->type)});
    profile.settings.push_back({platform::kPortsSection, place->port, result.path});
    everyTalker = everyTalker || SpeaksOtherThanGp(result);
    if (result.baudRate != static_cast<uint32_t>(kDefaultBaudRate)) {
      profile.notes.push_back(result.path + " talks at " + std::to_string(result.baudRate) + " baud; Navlume opens a " +
                              "single receiver at " + std::to_string(kDefaultBaudRate) +
                              " (the start-options dialog of two receivers offers other rates)");
    }
  }
  if (everyTalker) profile.settings.push_back({platform::kNmeaSection, platform::kTalkersKey, platform::kTalkersAny});
  return profile;
}
