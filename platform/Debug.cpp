#include "platform/Debug.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex g_OutputMutex;
DebugCapture* g_pCapture = nullptr;
DebugDestination g_Destination = DebugDestination::StandardError;
struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
std::unique_ptr<FILE, FileCloser> g_pLogFile;  // guarded by g_OutputMutex
thread_local std::string t_PendingLocation;   // an error location waiting for its line

// Writes one line where the trace goes; g_OutputMutex is held.
void WriteLine(const std::string& line) {
  FILE* out = stderr;
  if (g_Destination == DebugDestination::LogFile) {
    if (!g_pLogFile) return;
    out = g_pLogFile.get();
  }
  std::fwrite(line.data(), 1, line.size(), out);
  std::fputc('\n', out);
  if (out != stderr) std::fflush(out);
}

std::string TrimLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

}  // namespace

void Emit(const std::string& line) {
  std::lock_guard lock(g_OutputMutex);
  bool echo = true;
  if (g_pCapture) {
    g_pCapture->Add(line);
    echo = g_pCapture->m_bEcho;
  }
  if (echo) WriteLine(line);
}

void DebugPrint(const char* format, ...) {
  char stackBuffer[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int needed = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, args);
  std::string line;
  if (needed >= 0 && static_cast<size_t>(needed) >= sizeof stackBuffer) {
    line.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(line.data(), line.size(), format, copy);
    line.resize(static_cast<size_t>(needed));
  } else if (needed >= 0) {
    line.assign(stackBuffer, static_cast<size_t>(needed));
  }
#pragma GCC diagnostic pop
  va_end(copy);
  va_end(args);
  Emit(std::exchange(t_PendingLocation, {}) + TrimLineEnd(std::move(line)));
}

void DebugErrorLocation(const char* file, int line) {
  if (!t_PendingLocation.empty()) Emit(std::exchange(t_PendingLocation, {}));  // one that nothing followed
  t_PendingLocation = "ERROR: " + std::string(file) + " line " + std::to_string(line) + ": ";
}

void SetDebugDestination(DebugDestination destination) {
  std::lock_guard lock(g_OutputMutex);
  g_Destination = destination;
}

bool SetDebugLogFile(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::file_size(file, ec) > kDebugLogRotateBytes && !ec) {
    std::filesystem::rename(file, file.string() + ".old", ec);
  }
  std::unique_ptr<FILE, FileCloser> opened(std::fopen(file.c_str(), "a"));
  std::lock_guard lock(g_OutputMutex);
  g_pLogFile = std::move(opened);
  g_Destination = g_pLogFile ? DebugDestination::LogFile : DebugDestination::StandardError;
  return g_pLogFile != nullptr;
}

DebugCapture::DebugCapture() {
  std::lock_guard lock(g_OutputMutex);
  m_pPrevious = g_pCapture;
  g_pCapture = this;
}

DebugCapture::~DebugCapture() {
  std::lock_guard lock(g_OutputMutex);
  g_pCapture = m_pPrevious;
}

void DebugCapture::Add(const std::string& line) {
  std::lock_guard lock(m_Mutex);
  m_Lines.push_back(line);
}

std::vector<std::string> DebugCapture::Lines() const {
  std::lock_guard lock(m_Mutex);
  return m_Lines;
}

bool DebugCapture::Contains(const std::string& text) const { return Count(text) > 0; }

size_t DebugCapture::Count(const std::string& text) const {
  std::lock_guard lock(m_Mutex);
  size_t n = 0;
  for (const auto& line : m_Lines) n += line.find(text) != std::string::npos;
  return n;
}

void DebugCapture::Clear() {
  std::lock_guard lock(m_Mutex);
  m_Lines.clear();
}

void DebugCapture::SetEcho(bool echo) {
  std::lock_guard lock(g_OutputMutex);
  m_bEcho = echo;
}

}  // namespace platform
