#pragma once
// The device profile <root>/device.ini: which hardware the unit carries, which
// device path each of the program's port names ("COM2:") stands for, where the
// GPS power switch is, where gpsd listens, the station's name or what names
// it, which NMEA talkers to decode, which database takes the results, and
// which optional pages the sheet shows.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The sections and keys that a writer of device.ini sets (read in any case).
inline constexpr const char* kHardwareSection = "hardware";
inline constexpr const char* kGpsTypeKey = "gps_type";
inline constexpr const char* kWwanTypeKey = "wwan_type";
inline constexpr const char* kPortsSection = "ports";
inline constexpr const char* kNmeaSection = "nmea";
inline constexpr const char* kGpsdSection = "gpsd";
inline constexpr const char* kGpsdHostKey = "host";
inline constexpr const char* kGpsdPortKey = "port";
inline constexpr const char* kTalkersKey = "talkers";
inline constexpr const char* kResultsSection = "results";
inline constexpr const char* kResultsDatabaseKey = "database";
inline constexpr const char* kStationSection = "station";
inline constexpr const char* kStationNameKey = "name";
inline constexpr const char* kStationNameFromKey = "name_from";
inline constexpr const char* kPagesSection = "pages";
inline constexpr const char* kHistoryPageKey = "history";

// Values of [station] name_from (read in any case): what names the station when [station] name is not set.
inline constexpr const char* kNameFromHostname = "hostname";
inline constexpr const char* kNameFromSerial = "serial";
enum class StationNameSource { Hostname, Serial };

// Values of [nmea] talkers (read in any case): GP alone, or every constellation talker.
inline constexpr const char* kTalkersGp = "GP";
inline constexpr const char* kTalkersAny = "any";

struct DeviceProfile {
  uint32_t gpsType = 0;
  uint32_t wwanType = 0;
  std::map<std::string, std::string> ports;  // "COM2:" -> "/dev/ttyACM0"
  std::string powerFile;                      // empty: no power file
  std::string gpsdHost = "127.0.0.1";
  uint16_t gpsdPort = 2947;
  std::string stationName;  // [station] name; empty: not given
  StationNameSource stationNameFrom = StationNameSource::Hostname;  // [station] name_from
  bool anyTalker = false;  // [nmea] talkers = any
  std::string resultsDatabase;  // [results] database: a libpq connection string; empty: the journal alone
  bool historyPage = false;  // [pages] history = 1: the History tab in normal mode
};

// Reads an INI profile; a missing file gives the defaults, unknown keys are
// ignored, a malformed line is logged with its line number and skipped.
DeviceProfile LoadDeviceProfile(const std::filesystem::path& file);

// One value that a tool writes into a profile file.
struct ProfileSetting {
  std::string section;  // "hardware"
  std::string key;      // "gps_type"; in [ports] "COM2" and "COM2:" are the same key
  std::string value;
};

// `text` with the settings in place and every other byte kept: the line that
// sets a key (the last one, which is the one that counts) takes the new value
// and keeps its comment; a missing key goes after the last line of its
// section, a missing section at the end. Keys and sections compare as the
// reader compares them (case-insensitively).
std::string SetProfileValues(std::string_view text, const std::vector<ProfileSetting>& settings);

// Applies the settings to the file (created when missing), replaced
// atomically; 0, or the errno of the failure.
int WriteProfileValues(const std::filesystem::path& file, const std::vector<ProfileSetting>& settings);

// "GP" or "any", in any case; false for anything else.
bool ParseTalkers(std::string_view text, bool& anyTalker);

// The profile of the current device root (a copy; safe from any thread).
DeviceProfile CurrentDeviceProfile();
void SetCurrentDeviceProfile(const DeviceProfile& profile);

// The device path for a port name: a mapping set in code first, else the
// current profile's [ports] entry. Empty when the port is not mapped.
std::optional<std::string> PortDevicePath(std::string_view portName);
void SetPortDevicePath(std::string_view portName, std::string_view devicePath);
void ClearPortDevicePaths();

}  // namespace platform
