#pragma once
// Trace output of the system: one line per print on standard error.
// Formats are printf-style and checked by the compiler; strings are UTF-8 and
// print with "%s" (the handheld's 8-bit "%a" conversion has no other meaning here).

#include <mutex>
#include <string>
#include <vector>

namespace platform {

void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints "ERROR: <file> line <line>: " ahead of the failure's own line.
void DebugErrorLocation(const char* file, int line);

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
