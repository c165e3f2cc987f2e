#pragma once
// Trace output of the system: one line per print on standard error, or in a
// debug log file when a program sends it there.
// Formats are printf-style and checked by the compiler; strings are UTF-8 and
// print with "%s" (the handheld's 8-bit "%a" conversion has no other meaning here).

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints "ERROR: <file> line <line>: " ahead of the failure's own line: the
// next print on the same thread continues it, as on the handheld, whose
// location print ends without a line end.
void DebugErrorLocation(const char* file, int line);

// Where the trace lines go when no capture keeps them.
enum class DebugDestination {
  StandardError,  // the default
  LogFile,        // appended to the file of SetDebugLogFile; dropped until one is open
};
void SetDebugDestination(DebugDestination destination);
// Appends the trace to `file` from now on (a file over kDebugLogRotateBytes is
// first renamed to <file>.old). False when it cannot be opened: the lines then
// go to standard error.
bool SetDebugLogFile(const std::filesystem::path& file);
constexpr uintmax_t kDebugLogRotateBytes = 16u << 20;

// While alive, every trace line is also handed to this capture (tests read it).
// Captures nest: the newest one receives the lines.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  std::vector<std::string> Lines() const;
  bool Contains(const std::string& text) const;
  size_t Count(const std::string& text) const;
  void Clear();

  // Keep the lines off standard error while capturing (quiet test output).
  void SetEcho(bool echo);

 private:
  friend void Emit(const std::string& line);
  void Add(const std::string& line);
  DebugCapture* m_pPrevious;
  bool m_bEcho = false;
  mutable std::mutex m_Mutex;
  std::vector<std::string> m_Lines;
};

}  // namespace platform

#define NAVLUME_ERROR_LOCATION() ::platform::DebugErrorLocation(__FILE_NAME__, __LINE__)
