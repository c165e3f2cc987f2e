#include "sim/Oem615Commands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "nmea/NovatelFraming.h"
#include "sim/NmeaSentences.h"

namespace sim {
namespace {

constexpr std::array<const char*, 17> kLogNames{
    "bestsats", "bestposa", "glmlaa", "gpalm",  "gpgga",    "gpggalong", "gpggartk", "gpgll", "gpgrs",
    "gpgsa",    "gpgst",    "gpgsv",  "gphdt",  "gprmb",    "gprmc",     "gpvtg",    "gpzda",
};
constexpr int64_t kGpsEpochUnix = 315964800;
constexpr int64_t kGpsLeapSeconds = 18;
constexpr int64_t kSecondsPerWeek = 604800;
constexpr const char* kVersionLog = "versiona";
// One component, the receiver card: model, serial number, hardware, firmware
// and boot versions, firmware date and time.
constexpr const char* kVersionBody =
    "1,GPSCARD,\"G2SB0GTT0\",\"DAB07170079\",\"OEM615-1.00\",\"OEM060600RN0000\",\"OEM060201RB0000\","
    "\"2015/Jan/28\",\"15:27:29\"";

std::vector<std::string> Tokens(const std::string& line) {
  std::string lower;
  for (const char c : line) lower.push_back(c == ',' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  std::istringstream stream(lower);
  std::vector<std::string> tokens;
  for (std::string token; stream >> token;) tokens.push_back(token);
  return tokens;
}

bool IsPortToken(const std::string& token) {
  return token.rfind("com", 0) == 0 || token.rfind("usb", 0) == 0 || token == "thisport";
}

bool ParseNumber(const std::string& text, uint32_t& value) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
  value = static_cast<uint32_t>(std::stoul(text));
  return true;
}

Oem615Command ParseLog(const std::vector<std::string>& tokens, Oem615Command command) {
  size_t next = 1;
  if (next < tokens.size() && IsPortToken(tokens[next])) ++next;
  if (next < tokens.size() && tokens[next] == kVersionLog) {
    // Only asked for once: the version is not a log the simulated receiver keeps.
    const bool once = tokens.size() == next + 1 || (tokens.size() == next + 2 && tokens[next + 1] == "once");
    if (once) command.kind = Oem615Command::VersionOnce;
    return once ? command : Oem615Command{};
  }
  if (next >= tokens.size() || !IsOem615LogName(tokens[next])) return {};
  command.log = tokens[next++];
  const std::string trigger = next < tokens.size() ? tokens[next++] : "once";
  if (trigger == "ontime") {
    if (next >= tokens.size() || !ParseNumber(tokens[next], command.period) || command.period == 0) return {};
  } else if (trigger == "onchanged" || trigger == "onnew" || trigger == "once") {
    command.onChanged = true;
  } else {
    return {};
  }
  return command;
}

Oem615Command ParseSerialConfig(const std::vector<std::string>& tokens) {
  Oem615Command command;
  command.kind = Oem615Command::SerialConfig;
  size_t next = 1;
  if (next < tokens.size() && IsPortToken(tokens[next])) {
    command.otherPort = tokens[next] != "com1" && tokens[next] != "thisport";
    ++next;
  }
  uint32_t number = 0;
  if (next >= tokens.size() || !ParseNumber(tokens[next++], command.format.baud) ||
      !IsSupportedBaud(command.format.baud)) {
    return {};
  }
  if (next < tokens.size()) {
    const std::string& parity = tokens[next++];
    if (parity != "n" && parity != "e" && parity != "o") return {};
    command.format.parity = static_cast<char>(std::toupper(parity[0]));
  }
  if (next < tokens.size()) {
    if (!ParseNumber(tokens[next++], number) || number < 7 || number > 8) return {};
    command.format.dataBits = static_cast<uint8_t>(number);
  }
  if (next < tokens.size()) {
    if (!ParseNumber(tokens[next++], number) || number < 1 || number > 2) return {};
    command.format.stopBits = static_cast<uint8_t>(number);
  }
  return command;
}

std::string Format(const char* format, auto... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// "#NAME,COM1,0,55.0,STATUS,week,seconds,...;" + body + "*crc32".
std::string NovatelLog(const char* name, const char* timeStatus, int64_t week, int64_t seconds, const std::string& body) {
  return FrameNovatelAscii(Format("%s,COM1,0,55.0,%s,%lld,%lld.000,02000000,b1f6,15823;", name, timeStatus,
                                  static_cast<long long>(week), static_cast<long long>(seconds)) +
                           body);
}

std::string NovatelLog(const char* name, const Epoch& epoch, const std::string& body) {
  const int64_t gps = epoch.utcSeconds - kGpsEpochUnix + kGpsLeapSeconds;
  return NovatelLog(name, "FINESTEERING", gps / kSecondsPerWeek, gps % kSecondsPerWeek, body);
}

std::string BestPos(const Epoch& epoch) {
  const size_t used = epoch.UsedPrns().size();
  if (!epoch.Fixed()) {
    return NovatelLog("BESTPOSA", epoch,
                      Format("INSUFFICIENT_OBS,NONE,0.00000000000,0.00000000000,0.0000,0.0000,WGS84,0.0000,0.0000,"
                             "0.0000,\"\",0.000,0.000,%zu,0,0,0,00,00,00,00",
                             epoch.satellites.size()));
  }
  const char* type = epoch.quality == kFixDifferential ? "PSRDIFF" : "SINGLE";
  return NovatelLog("BESTPOSA", epoch,
                    Format("SOL_COMPUTED,%s,%.11f,%.11f,%.4f,%.4f,WGS84,1.6961,1.3636,3.7323,\"\",0.000,0.000,%zu,%zu,"
                           "%zu,%zu,00,00,00,01",
                           type, epoch.latitude, epoch.longitude, epoch.altitude, epoch.geoidSeparation,
                           epoch.satellites.size(), used, used, used));
}

std::string BestSats(const Epoch& epoch) {
  std::string body = Format("%zu", epoch.satellites.size());
  for (const auto& satellite : epoch.satellites) {
    const char* status = satellite.snr == 0 ? "NOSIGNAL" : (satellite.used && epoch.Fixed() ? "GOOD" : "NOTUSED");
    body += Format(",GPS,%d,%s,00000003", satellite.prn, status);
  }
  return NovatelLog("BESTSATSA", epoch, body);
}

std::string Time(const Epoch& epoch) {
  const int64_t day = epoch.utcSeconds % 86400;
  return Format("%02lld%02lld%02lld.00", static_cast<long long>(day / 3600), static_cast<long long>(day % 3600 / 60),
                static_cast<long long>(day % 60));
}

std::string Almanac(const Epoch& epoch) {
  std::string out;
  const size_t total = epoch.satellites.size();
  for (size_t i = 0; i < total; ++i) {
    out += NmeaSentence(Format("GPALM,%02zu,%02zu,%02d,%04lld,00,3E2C,10,0EFD,FD5B,A10D0E,A9ED07,C63A72,6F3F7E,FFD,000",
                               total, i + 1, epoch.satellites[i].prn,
                               static_cast<long long>((epoch.utcSeconds - kGpsEpochUnix) / kSecondsPerWeek % 1024)));
  }
  return out;
}

std::string Residuals(const Epoch& epoch) {
  std::string body = "GPGRS," + Time(epoch) + ",1";
  const std::vector<int> used = epoch.UsedPrns();
  for (size_t slot = 0; slot < 12; ++slot) body += slot < used.size() && epoch.Fixed() ? ",0.0" : ",";
  return NmeaSentence(body);
}

}  // namespace

bool IsOem615LogName(const std::string& name) {
  return std::find(kLogNames.begin(), kLogNames.end(), name) != kLogNames.end();
}

Oem615Command ParseOem615Command(const std::string& line) {
  const std::vector<std::string> tokens = Tokens(line);
  Oem615Command command;
  if (tokens.empty()) {
    command.kind = Oem615Command::Empty;
    return command;
  }
  const std::string& verb = tokens[0];
  if (verb == "log") {
    command.kind = Oem615Command::Log;
    return ParseLog(tokens, command);
  }
  if (verb == "unlog") {
    const size_t at = tokens.size() > 2 && IsPortToken(tokens[1]) ? 2 : 1;
    if (at >= tokens.size() || !IsOem615LogName(tokens[at])) return {};
    command.kind = Oem615Command::Unlog;
    command.log = tokens[at];
    return command;
  }
  if (verb == "unlogall" && tokens.size() <= 3) {
    command.kind = Oem615Command::UnlogAll;
  } else if (verb == "freset" && tokens.size() <= 2) {
    command.kind = Oem615Command::Freset;
  } else if (verb == "serialconfig" || verb == "com") {
    return ParseSerialConfig(tokens);
  }
  return command;
}

void COem615Logs::Enable(const Oem615Command& command) {
  auto found = std::find_if(m_Entries.begin(), m_Entries.end(), [&](const Entry& e) { return e.name == command.log; });
  if (found == m_Entries.end()) found = m_Entries.insert(m_Entries.end(), Entry{command.log});
  found->onChanged = command.onChanged;
  found->period = command.period;
  found->sent = false;
}

void COem615Logs::Disable(const std::string& name) {
  std::erase_if(m_Entries, [&](const Entry& e) { return e.name == name; });
}

void COem615Logs::Clear() { m_Entries.clear(); }

std::vector<std::string> COem615Logs::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : m_Entries) names.push_back(entry.name);
  return names;
}

std::string COem615Logs::Output(const Epoch& epoch) {
  std::string out;
  for (auto& entry : m_Entries) {
    const bool due = entry.onChanged ? !entry.sent : epoch.utcSeconds % entry.period == 0;
    if (!due) continue;
    entry.sent = true;
    out += Oem615LogText(entry.name, epoch);
  }
  return out;
}

std::string Oem615VersionLog() { return NovatelLog("VERSIONA", "UNKNOWN", 0, 0, kVersionBody); }

std::string Oem615LogText(const std::string& name, const Epoch& epoch) {
  if (name == "bestposa") return BestPos(epoch);
  if (name == "bestsats") return BestSats(epoch);
  if (name == "gpggalong" || name == "gpggartk") return BuildGga(epoch, "GP", 7);
  if (name == "gpgrs") return Residuals(epoch);
  if (name == "gpgst") return NmeaSentence("GPGST," + Time(epoch) + (epoch.Fixed() ? ",1.2,2.1,1.5,45.0,1.6,1.4,3.2" : ",,,,,,,"));
  if (name == "gphdt") return NmeaSentence("GPHDT,,T");
  if (name == "gprmb") return NmeaSentence("GPRMB,V,,,,,,,,,,,,V,N");
  if (name == "gpalm") return Almanac(epoch);
  if (name == "glmlaa") return {};  // no GLONASS satellites in view: no almanac to report
  if (name.size() == 5 && name.rfind("gp", 0) == 0) {
    std::string type = name.substr(2);
    std::transform(type.begin(), type.end(), type.begin(), ::toupper);
    return BuildSentences(type, epoch, "GP");
  }
  return {};
}

}  // namespace sim
