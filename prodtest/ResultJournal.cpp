#include "prodtest/ResultJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <vector>

#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceRoot.h"
#include "platform/HardwareSerial.h"
#include "platform/RandomId.h"
#include "prodtest/FormatText.h"
#include "prodtest/JournalReader.h"

namespace {

constexpr const char* kCardJournalPath = "\\Storage Card\\NAVLUME_RESULTS.CSV";
constexpr const char* kTempJournalPath = "\\Temp\\NAVLUME_RESULTS.CSV";

using Fields = std::map<std::string_view, std::string>;

std::string UtcIsoTime() {
  SYSTEMTIME t{};
  if (!FileTimeToSystemTime(platform::GetUtcFileTime(), t)) return "";
  return FormatText("%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned{t.wYear}, unsigned{t.wMonth}, unsigned{t.wDay},
                    unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond});
}

// The journal's fields are split at every comma: a name keeps none of its own.
std::string WithoutSeparators(std::string text) {
  std::replace(text.begin(), text.end(), ',', ';');
  return text;
}

Fields ResultFields(const PanelSnapshot& result, int32_t testType, TestEndReason reason) {
  using namespace journal_column;
  return {{kUtc, UtcIsoTime()},
          {kPort, result.portName},
          {kReceiver, ReceiverNameOfPort(result.portName)},
          {kTestType, TestTypeText(testType)},
          {kTtffSeconds, std::to_string(result.elapsedSeconds)},
          {kTimedOut, result.bTimeout ? "1" : "0"},
          {kAverageSnr, std::to_string(result.averageSnr)},
          {kPassLevel, std::to_string(result.passLevel)},
          {kVerdict, VerdictText(ResultVerdictOf(result))},
          {kSatellitesInView, std::to_string(result.position.satellitesInView)},
          {kSatellitesUsed, std::to_string(result.position.satelliteCount)},
          {kReason, TestEndReasonText(reason)},
          {kStation, WithoutSeparators(StationName())},
          {kId, platform::RandomUuid()}};
}

// One line with a field for every column, in their order.
std::string LineOf(const Fields& fields) {
  std::string line;
  for (size_t i = 0; i < kResultJournalColumns.size(); ++i) {
    if (i > 0) line += ',';
    line += fields.at(kResultJournalColumns[i]);
  }
  return line + "\r\n";
}

// The last bytes of a journal of `size` bytes, at most kHeaderSearchBytes of them.
bool ReadTail(int fd, off_t size, std::string& tail) {
  const auto length = static_cast<size_t>(std::min<off_t>(size, kHeaderSearchBytes));
  tail.resize(length);
  for (size_t done = 0; done < length;) {
    const ssize_t count = ::pread(fd, tail.data() + done, length - done, size - static_cast<off_t>(length - done));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    done += static_cast<size_t>(count);
  }
  return true;
}

// True when the last header within `tail` names exactly the columns of the writer's lines.
bool HeadedByOurColumns(std::string_view tail, bool startsTheFile) {
  const std::vector<std::string> header = LastJournalHeader(tail, startsTheFile);
  return std::equal(header.begin(), header.end(), kResultJournalColumns.begin(), kResultJournalColumns.end());
}

// What goes before the line in a journal of `size` bytes: a line break after a
// line cut short elsewhere, and the header when the last one names other columns.
bool PrefixOf(int fd, off_t size, std::string& prefix) {
  if (size == 0) {
    prefix = ResultJournalHeader();
    return true;
  }
  std::string tail;
  if (!ReadTail(fd, size, tail)) return false;
  prefix = tail.back() == '\n' ? "" : "\r\n";
  if (!HeadedByOurColumns(tail, tail.size() == static_cast<size_t>(size))) prefix += ResultJournalHeader();
  return true;
}

// Writes all of `text` at the end of `fd`; on any failure the file is cut back to `size`.
bool AppendWhole(int fd, const std::string& text, off_t size) {
  ssize_t written;
  do {
    written = ::write(fd, text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  if (written == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0) return true;
  if (written > 0) (void)!::ftruncate(fd, size);
  return false;
}

int LogFailure(const std::string& path, const char* what) {
  NAVLUME_ERROR_LOCATION();
  platform::DebugPrint("[Navlume] Can't %s %s file! (errno %d)\r\n", what, path.c_str(), errno);
  return 0;
}

// Appends the result's line to the journal at `path`, below a header of its columns.
int AppendToJournal(const std::string& path, const Fields& fields) {
  const int fd = ::open(platform::MapHandheldPath(path).c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return LogFailure(path, "open");
  // Two stations writing one card file still get whole lines and one header.
  ::flock(fd, LOCK_EX);
  struct stat info {};
  std::string prefix;
  const bool written = ::fstat(fd, &info) == 0 && PrefixOf(fd, info.st_size, prefix) &&
                       AppendWhole(fd, prefix + LineOf(fields), info.st_size);
  const int ok = written ? 1 : 0;
  if (!ok) LogFailure(path, "write");
  ::close(fd);
  if (ok) {
    platform::DebugPrint("[Navlume] %s result written to %s\r\n", fields.at(journal_column::kPort).c_str(),
                         path.c_str());
  }
  return ok;
}

}  // namespace

std::string ResultJournalHeader(size_t columns) {
  std::string header;
  for (size_t i = 0; i < columns && i < kResultJournalColumns.size(); ++i) {
    if (i > 0) header += ',';
    header += kResultJournalColumns[i];
  }
  return header + "\r\n";
}

const char* TestEndReasonText(TestEndReason reason) {
  switch (reason) {
    case TestEndReason::Fix: return "fix";
    case TestEndReason::Timeout: return "timeout";
    case TestEndReason::OpenFailed: return "open failed";
    case TestEndReason::Stopped: return "stopped";
  }
  return "";
}

const char* TestTypeText(int32_t testType) {
  return testType == kTestTypeSameTime ? "At the same time" : "One by one";
}

std::string StationName() {
  const platform::DeviceProfile profile = platform::CurrentDeviceProfile();
  if (!profile.stationName.empty()) return profile.stationName;
  if (profile.stationNameFrom == platform::StationNameSource::Serial) {
    const std::string serial = platform::HardwareSerial();
    if (!serial.empty()) return serial;
  }
  char host[256] = {};
  return ::gethostname(host, sizeof host - 1) == 0 ? host : "";
}

std::string ResultJournalPath() { return platform::StorageCardPresent() ? kCardJournalPath : kTempJournalPath; }

std::array<std::string_view, 2> ResultJournalPaths() { return {kCardJournalPath, kTempJournalPath}; }

std::string ResultJournalLine(const PanelSnapshot& result, int32_t testType, TestEndReason reason) {
  return LineOf(ResultFields(result, testType, reason));
}

int AppendTestResult(const PanelSnapshot& result, int32_t testType, TestEndReason reason, std::string* writtenTo) {
  const Fields fields = ResultFields(result, testType, reason);
  for (const char* path : {kCardJournalPath, kTempJournalPath}) {
    if (path == kCardJournalPath && !platform::StorageCardPresent()) continue;
    if (!AppendToJournal(path, fields)) continue;
    if (writtenTo) *writtenTo = path;
    return 1;
  }
  return 0;
}
