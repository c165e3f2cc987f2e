#include "prodtest/ConfigText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/Debug.h"

CConfigText::~CConfigText() { Close(); }

bool CConfigText::Open(const std::filesystem::path& path) {
  Close();
  const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  struct stat info {};
  if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(file);
    return false;
  }
  m_hFile = file;
  return true;
}

size_t CConfigText::Read() {
  std::memset(m_Buffer, 0, sizeof m_Buffer);
  m_Length = 0;
  if (m_hFile < 0) return 0;
  ssize_t got;
  do {
    got = ::read(m_hFile, m_Buffer, sizeof m_Buffer);
  } while (got < 0 && errno == EINTR);
  if (got > 0) m_Length = static_cast<size_t>(got);
  return m_Length;
}

void CConfigText::Close() {
  if (m_hFile >= 0) ::close(m_hFile);
  m_hFile = -1;
}

std::string_view CConfigText::Text() const { return {m_Buffer, ::strnlen(m_Buffer, m_Length)}; }

const char* SkipSpaces(const char* p, const char* end) {
  while (p < end && *p == ' ') ++p;
  return p;
}

const char* CopyToken(const char* p, const char* end, ConfigValue& out) {
  const char* tokenEnd = p;
  while (tokenEnd < end && *tokenEnd != '\0' && *tokenEnd != ' ' && *tokenEnd != '\r' && *tokenEnd != '\n') ++tokenEnd;
  const size_t length = static_cast<size_t>(tokenEnd - p);
  const size_t kept = std::min(length, kConfigValueChars - 1);
  std::memcpy(out.text, p, kept);
  out.text[kept] = '\0';
  out.bTooLong = length > kept;
  return tokenEnd;
}

const char* Getstring(std::string_view text, const char* key, ConfigValue* out) {
  if (text.data() == nullptr || key == nullptr || out == nullptr) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[Navlume] Getstring parameter error!\r\n");
    return nullptr;
  }
  const size_t at = text.find(key);
  if (at == std::string_view::npos) return nullptr;
  const char* end = text.data() + text.size();
  const char* value = SkipSpaces(text.data() + at + std::strlen(key), end);
  if (value < end && (*value == '\r' || *value == '\n')) return nullptr;
  return CopyToken(value, end, *out);
}

int32_t ParseDecimal(std::string_view token) {
  constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
  size_t i = 0;
  const bool negative = i < token.size() && token[i] == '-';
  if (i < token.size() && (token[i] == '-' || token[i] == '+')) ++i;
  int64_t value = 0;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    value = std::min(value * 10 + (token[i] - '0'), kLimit + 1);
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(std::min(value, kLimit));
}
