#include "platform/Debug.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex g_OutputMutex;
DebugCapture* g_pCapture = nullptr;

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
  if (echo) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  }
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
  Emit(TrimLineEnd(std::move(line)));
}

void DebugErrorLocation(const char* file, int line) { DebugPrint("ERROR: %s line %d: ", file, line); }

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
