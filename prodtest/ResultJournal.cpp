#include "prodtest/ResultJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/DeviceRoot.h"
#include "prodtest/FormatText.h"

namespace {

constexpr const char* kCardJournalPath = "\\Storage Card\\NAVLUME_RESULTS.CSV";
constexpr const char* kTempJournalPath = "\\Temp\\NAVLUME_RESULTS.CSV";

std::string UtcIsoTime() {
  SYSTEMTIME t{};
  if (!FileTimeToSystemTime(platform::GetUtcFileTime(), t)) return "";
  return FormatText("%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned{t.wYear}, unsigned{t.wMonth}, unsigned{t.wDay},
                    unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond});
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

}  // namespace

std::string ResultJournalHeader() {
  std::string header;
  for (const std::string_view column : kResultJournalColumns) {
    if (!header.empty()) header += ',';
    header += column;
  }
  return header + "\r\n";
}

const char* TestTypeText(int32_t testType) {
  return testType == kTestTypeSameTime ? "At the same time" : "One by one";
}

std::string ResultJournalPath() { return platform::StorageCardPresent() ? kCardJournalPath : kTempJournalPath; }

std::string ResultJournalLine(const PanelSnapshot& result, int32_t testType) {
  return FormatText("%s,%s,%s,%s,%u,%d,%u,%u,%s,%u,%u\r\n", UtcIsoTime().c_str(), result.portName.c_str(),
                    ReceiverNameOfPort(result.portName), TestTypeText(testType), result.elapsedSeconds,
                    result.bTimeout ? 1 : 0, result.averageSnr, result.passLevel, VerdictText(ResultVerdictOf(result)),
                    result.position.satellitesInView, result.position.satelliteCount);
}

int AppendTestResult(const PanelSnapshot& result, int32_t testType) {
  const std::string path = ResultJournalPath();
  const int fd = ::open(platform::MapHandheldPath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return LogFailure(path, "open");
  // Two stations writing one card file still get whole lines and one header.
  ::flock(fd, LOCK_EX);
  struct stat info {};
  int ok = 0;
  if (::fstat(fd, &info) == 0) {
    const std::string line = ResultJournalLine(result, testType);
    ok = AppendWhole(fd, info.st_size == 0 ? ResultJournalHeader() + line : line, info.st_size) ? 1 : 0;
  }
  if (!ok) LogFailure(path, "write");
  ::close(fd);
  if (ok) platform::DebugPrint("[Navlume] %s result written to %s\r\n", result.portName.c_str(), path.c_str());
  return ok;
}
