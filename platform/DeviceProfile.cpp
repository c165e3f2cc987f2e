#include "platform/DeviceProfile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/AtomicFile.h"
#include "platform/Debug.h"

namespace platform {
namespace {

std::mutex g_Mutex;
DeviceProfile g_Profile;
std::map<std::string, std::string> g_CodePorts;  // set in code; wins over the profile

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Where a line's value lies in the text after its '=': blanks around it and
// a comment after it (a ';' or '#' behind white space) are left out. The
// reader and the writer both split a line here, so they agree on its value.
struct ValueSpan {
  size_t start = 0;
  size_t end = 0;
};

ValueSpan ValueSpanOf(std::string_view afterEquals) {
  size_t end = afterEquals.size();
  while (end > 0 && (afterEquals[end - 1] == '\n' || afterEquals[end - 1] == '\r')) --end;
  for (size_t i = 1; i < end; ++i) {
    if ((afterEquals[i] == ';' || afterEquals[i] == '#') && IsBlank(afterEquals[i - 1])) {
      end = i;
      break;
    }
  }
  size_t start = 0;
  while (start < end && IsBlank(afterEquals[start])) ++start;
  while (end > start && IsBlank(afterEquals[end - 1])) --end;
  return {start, end};
}

std::string_view StripValue(std::string_view afterEquals) {
  const ValueSpan span = ValueSpanOf(afterEquals);
  std::string_view value = afterEquals.substr(span.start, span.end - span.start);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return value;
}

// Decimal, or hexadecimal with 0x.
template <typename T>
bool ParseNumber(std::string_view text, T& out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && Lower(text[1]) == 'x') {
    text.remove_prefix(2);
    base = 16;
  }
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  out = value;
  return true;
}

// Port names keep the colon of the program's names ("COM2:").
std::string PortKey(std::string_view name) {
  std::string key(name);
  if (!key.empty() && key.back() != ':') key.push_back(':');
  return key;
}

// "hostname" or "serial", in any case.
bool ParseNameFrom(std::string_view text, StationNameSource& source) {
  if (!EqualNoCase(text, kNameFromHostname) && !EqualNoCase(text, kNameFromSerial)) return false;
  source = EqualNoCase(text, kNameFromSerial) ? StationNameSource::Serial : StationNameSource::Hostname;
  return true;
}

// "0" or "1".
bool ParseSwitch(std::string_view text, bool& on) {
  if (text != "0" && text != "1") return false;
  on = text == "1";
  return true;
}

// Applies one key of a section; false when its value is unusable.
bool ApplyKey(DeviceProfile& profile, std::string_view section, std::string_view key, std::string_view value) {
  if (EqualNoCase(section, kHardwareSection)) {
    if (EqualNoCase(key, kGpsTypeKey)) return ParseNumber(value, profile.gpsType);
    if (EqualNoCase(key, kWwanTypeKey)) return ParseNumber(value, profile.wwanType);
  } else if (EqualNoCase(section, kPortsSection)) {
    if (value.empty()) return false;
    profile.ports[PortKey(key)] = std::string(value);
  } else if (EqualNoCase(section, "power")) {
    if (EqualNoCase(key, "gps")) profile.powerFile = std::string(value);
  } else if (EqualNoCase(section, kGpsdSection)) {
    if (EqualNoCase(key, kGpsdHostKey)) {
      if (value.empty()) return false;
      profile.gpsdHost = std::string(value);
    } else if (EqualNoCase(key, kGpsdPortKey)) {
      return ParseNumber(value, profile.gpsdPort) && profile.gpsdPort != 0;
    }
  } else if (EqualNoCase(section, kStationSection)) {
    if (EqualNoCase(key, kStationNameKey)) profile.stationName = std::string(value);
    if (EqualNoCase(key, kStationNameFromKey)) return ParseNameFrom(value, profile.stationNameFrom);
  } else if (EqualNoCase(section, kNmeaSection)) {
    if (EqualNoCase(key, kTalkersKey)) return ParseTalkers(value, profile.anyTalker);
  } else if (EqualNoCase(section, kResultsSection)) {
    if (EqualNoCase(key, kResultsDatabaseKey)) profile.resultsDatabase = std::string(value);
  } else if (EqualNoCase(section, kPagesSection)) {
    if (EqualNoCase(key, kHistoryPageKey)) return ParseSwitch(value, profile.historyPage);
  }
  return true;  // unknown sections and keys are ignored
}

bool SameKey(std::string_view section, std::string_view a, std::string_view b) {
  return EqualNoCase(section, kPortsSection) ? EqualNoCase(PortKey(a), PortKey(b)) : EqualNoCase(a, b);
}

// A line's text without its line end and surrounding blanks.
std::string_view LineText(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return Trim(line);
}

// The lines of a text, each with its line end.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size() - 1);
    lines.emplace_back(text.substr(0, end + 1));
    text.remove_prefix(end + 1);
  }
  return lines;
}

// `line` ("key = old ; comment") with `value` in place of its value.
std::string ReplaceValue(const std::string& line, std::string_view value) {
  const size_t afterEquals = line.find('=') + 1;
  const ValueSpan span = ValueSpanOf(std::string_view(line).substr(afterEquals));
  std::string rest = line.substr(afterEquals + span.end);
  // A comment right after an empty value keeps a blank before it, or it would join the new value.
  if (!rest.empty() && (rest.front() == ';' || rest.front() == '#')) rest.insert(0, " ");
  return line.substr(0, afterEquals + span.start) + std::string(value) + rest;
}

void SetProfileValue(std::vector<std::string>& lines, const ProfileSetting& setting, std::string_view newline) {
  std::optional<size_t> keyLine;
  std::optional<size_t> sectionEnd;  // the last line of the section that is not blank
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = LineText(lines[i]);
    if (!line.empty() && line.front() == '[' && line.back() == ']') {
      inSection = EqualNoCase(Trim(line.substr(1, line.size() - 2)), setting.section);
      if (inSection) sectionEnd = i;
      continue;
    }
    if (!inSection || line.empty()) continue;
    sectionEnd = i;
    const size_t equals = line.find('=');
    if (line.front() != ';' && line.front() != '#' && equals != std::string_view::npos &&
        SameKey(setting.section, Trim(line.substr(0, equals)), setting.key))
      keyLine = i;
  }
  const std::string entry = setting.key + " = " + setting.value + std::string(newline);
  if (keyLine) {
    lines[*keyLine] = ReplaceValue(lines[*keyLine], setting.value);
  } else if (sectionEnd) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*sectionEnd) + 1, entry);
  } else {
    if (!lines.empty() && !LineText(lines.back()).empty()) lines.emplace_back(newline);
    lines.push_back("[" + setting.section + "]" + std::string(newline));
    lines.push_back(entry);
  }
}

}  // namespace

std::string SetProfileValues(std::string_view text, const std::vector<ProfileSetting>& settings) {
  const std::string_view newline = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
  std::vector<std::string> lines = SplitLines(text);
  if (!lines.empty() && lines.back().back() != '\n') lines.back() += newline;  // lines are added after it
  for (const ProfileSetting& setting : settings) SetProfileValue(lines, setting, newline);
  std::string result;
  for (const std::string& line : lines) result += line;
  return result;
}

int WriteProfileValues(const std::filesystem::path& file, const std::vector<ProfileSetting>& settings) {
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  const int openError = errno;
  if (!in && openError != ENOENT) return openError != 0 ? openError : EIO;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return EIO;
  return ReplaceFileAtomically(file, SetProfileValues(text, settings));
}

bool ParseTalkers(std::string_view text, bool& anyTalker) {
  if (!EqualNoCase(text, kTalkersGp) && !EqualNoCase(text, kTalkersAny)) return false;
  anyTalker = EqualNoCase(text, kTalkersAny);
  return true;
}

DeviceProfile LoadDeviceProfile(const std::filesystem::path& file) {
  DeviceProfile profile;
  std::ifstream in(file);
  if (!in) return profile;
  std::string raw;
  std::string section;
  int lineNumber = 0;
  while (std::getline(in, raw)) {
    ++lineNumber;
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    bool good;
    if (line.front() == '[') {
      good = line.size() > 2 && line.back() == ']';
      if (good) section = Trim(line.substr(1, line.size() - 2));
    } else {
      const size_t equals = line.find('=');
      const std::string_view key = equals == std::string_view::npos ? std::string_view() : Trim(line.substr(0, equals));
      good = !key.empty() && ApplyKey(profile, section, key, StripValue(line.substr(equals + 1)));
    }
    if (!good) DebugPrint("[DeviceProfile] %s line %d: malformed line skipped: %s\r\n", file.c_str(), lineNumber, raw.c_str());
  }
  return profile;
}

DeviceProfile CurrentDeviceProfile() {
  std::lock_guard lock(g_Mutex);
  return g_Profile;
}

void SetCurrentDeviceProfile(const DeviceProfile& profile) {
  std::lock_guard lock(g_Mutex);
  g_Profile = profile;
}

std::optional<std::string> PortDevicePath(std::string_view portName) {
  const std::string key = PortKey(portName);
  std::lock_guard lock(g_Mutex);
  for (const auto* ports : {&g_CodePorts, &g_Profile.ports}) {
    for (const auto& [name, path] : *ports) {
      if (EqualNoCase(name, key)) return path;
    }
  }
  return std::nullopt;
}

void SetPortDevicePath(std::string_view portName, std::string_view devicePath) {
  std::lock_guard lock(g_Mutex);
  g_CodePorts[PortKey(portName)] = std::string(devicePath);
}

void ClearPortDevicePaths() {
  std::lock_guard lock(g_Mutex);
  g_CodePorts.clear();
}

}  // namespace platform
