#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <utility>

#include "platform/AtomicFile.h"
#include "platform/Debug.h"

namespace platform {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kLocalMachine = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";
constexpr std::string_view kDwordPrefix = "dword:";
constexpr long kRegInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
constexpr mode_t kRegistryFileMode = 0644;
constexpr const char* kWritersLockSuffix = ".lock";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

struct LessNoCase {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
  }
};

struct Value {
  uint32_t type = kRegDword;
  uint32_t dword = 0;
  std::string text;
  bool operator==(const Value&) const = default;
};

using Values = std::map<std::string, Value, LessNoCase>;
// Full key name ("HKEY_LOCAL_MACHINE\Software\Microsoft\RIL") -> its values.
using Keys = std::map<std::string, Values, LessNoCase>;

std::mutex g_Mutex;
Keys g_Keys;
std::filesystem::path g_File;  // empty: the store lives in memory only

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string_view KeyPath(std::string_view subKey) {
  while (!subKey.empty() && subKey.front() == '\\') subKey.remove_prefix(1);
  while (!subKey.empty() && subKey.back() == '\\') subKey.remove_suffix(1);
  return subKey;
}

std::string FullKeyName(RegRoot root, std::string_view subKey) {
  const std::string_view path = KeyPath(subKey);
  std::string name(root == RegRoot::LocalMachine ? kLocalMachine : kCurrentUser);
  if (!path.empty()) name.append("\\").append(path);
  return name;
}

std::string FullKeyName(const RegKey& key) { return FullKeyName(key.root, key.path); }

// A key exists when it was created itself or holds a created key below it.
bool KeyExistsLocked(const std::string& name) {
  const auto it = g_Keys.lower_bound(name);
  if (it == g_Keys.end()) return false;
  if (EqualNoCase(it->first, name)) return true;
  return it->first.size() > name.size() && it->first[name.size()] == '\\' &&
         EqualNoCase(std::string_view(it->first).substr(0, name.size()), name);
}

bool IsRootName(std::string_view name) {
  const std::string_view root = name.substr(0, name.find('\\'));
  return EqualNoCase(root, kLocalMachine) || EqualNoCase(root, kCurrentUser);
}

// --- reading -------------------------------------------------------------

// Reads a quoted .reg string at the start of `s` (escapes \\ and \"); advances `s` past it.
std::optional<std::string> ParseQuoted(std::string_view& s) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      s.remove_prefix(i + 1);
      return out;
    }
    if (c == '\\') {
      if (++i == s.size()) return std::nullopt;
      out.push_back(s[i]);
    } else {
      out.push_back(c);
    }
  }
  return std::nullopt;
}

std::optional<uint32_t> ParseDword(std::string_view digits) {
  if (digits.size() != 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    const char l = Lower(c);
    uint32_t digit;
    if (l >= '0' && l <= '9') {
      digit = static_cast<uint32_t>(l - '0');
    } else if (l >= 'a' && l <= 'f') {
      digit = static_cast<uint32_t>(l - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value << 4 | digit;
  }
  return value;
}

// One `"name"=...` or `@=...` line of the current key; false when it is malformed.
bool ParseValueLine(std::string_view line, Values& values, bool& continued) {
  std::optional<std::string> name;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else if (!(name = ParseQuoted(line))) {
    return false;
  }
  line = Trim(line);
  if (line.empty() || line.front() != '=') return false;
  line = Trim(line.substr(1));
  Value value;
  if (line.starts_with(kDwordPrefix)) {
    const auto dword = ParseDword(Trim(line.substr(kDwordPrefix.size())));
    if (!dword) return false;
    value.dword = *dword;
  } else if (line.starts_with("\"")) {
    auto text = ParseQuoted(line);
    if (!text || !Trim(line).empty()) return false;
    value.type = kRegSz;
    value.text = std::move(*text);
  } else if (line.starts_with("hex") || line == "-") {
    continued = line.ends_with("\\");  // binary data may run over several lines
    return true;
  } else {
    return false;
  }
  if (!name) return true;  // the default value is not used by the system
  values[std::move(*name)] = std::move(value);
  return true;
}

// Parses the whole file; nullopt (with the failing line number) when it is malformed.
std::optional<Keys> ParseRegistry(const std::string& content, int& badLine) {
  std::istringstream in(content);
  std::string raw;
  Keys keys;
  Values* current = nullptr;
  bool headerSeen = false;
  bool continued = false;
  badLine = 0;
  while (std::getline(in, raw)) {
    ++badLine;
    std::string_view line = Trim(raw);
    if (badLine == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    if (continued) {
      continued = line.ends_with("\\");
      continue;
    }
    if (line.empty() || line.front() == ';') continue;
    if (!headerSeen) {
      if (line != kHeader) return std::nullopt;
      headerSeen = true;
      continue;
    }
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) return std::nullopt;
      const std::string_view name = line.substr(1, line.size() - 2);
      if (name.front() == '-') {  // a deletion entry: nothing to delete in a fresh store
        current = nullptr;
        continue;
      }
      if (!IsRootName(name)) return std::nullopt;
      current = &keys[std::string(name)];
      continue;
    }
    if (!current || !ParseValueLine(line, *current, continued)) return std::nullopt;
  }
  if (!headerSeen || continued) {
    ++badLine;
    return std::nullopt;
  }
  return keys;
}

// The file's bytes; nullopt with errno set when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  const int error = errno;
  close(fd);
  errno = error;
  if (n < 0) return std::nullopt;
  return content;
}

// The registry in the file: empty when the file is missing, or malformed (logged,
// a copy kept); nullopt with errno set when it is there but cannot be read.
std::optional<Keys> LoadRegistryFile(const std::filesystem::path& file) {
  const std::optional<std::string> content = ReadWholeFile(file);
  if (!content) {
    if (errno == ENOENT) return Keys{};
    return std::nullopt;
  }
  int badLine = 0;
  auto keys = ParseRegistry(*content, badLine);
  if (keys) return keys;
  // Keep the damaged file for inspection; the next change writes a fresh one.
  std::filesystem::path keep = file;
  keep += ".corrupt";
  std::error_code ec;
  std::filesystem::copy_file(file, keep, std::filesystem::copy_options::overwrite_existing, ec);
  DebugPrint("[Registry] %s line %d: malformed, the registry starts empty (copy kept as %s)\r\n", file.c_str(), badLine,
             keep.c_str());
  return Keys{};
}

// --- writing -------------------------------------------------------------

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

std::string FormatRegistry(const Keys& keys) {
  std::string out(kHeader);
  out += "\n\n";
  char dword[16];
  for (const auto& [name, values] : keys) {
    out += "[" + name + "]\n";
    for (const auto& [valueName, value] : values) {
      AppendQuoted(out, valueName);
      out.push_back('=');
      if (value.type == kRegDword) {
        std::snprintf(dword, sizeof dword, "%08x", value.dword);
        out.append(kDwordPrefix).append(dword);
      } else {
        AppendQuoted(out, value.text);
      }
      out.push_back('\n');
    }
    out.push_back('\n');
  }
  return out;
}

// An exclusive lock on "<registry file>.lock", held for as long as it lives.
// Every writer, in this process or another, holds it around its reading,
// changing and replacing of the file.
class WritersLock {
 public:
  explicit WritersLock(const std::filesystem::path& file) {
    std::filesystem::path lockFile = file;
    lockFile += kWritersLockSuffix;
    m_Fd = open(lockFile.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, kRegistryFileMode);
    if (m_Fd < 0) {
      m_Error = errno;
      return;
    }
    while (flock(m_Fd, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      m_Error = errno;
      break;
    }
  }
  ~WritersLock() {
    if (m_Fd >= 0) close(m_Fd);
  }
  WritersLock(const WritersLock&) = delete;
  WritersLock& operator=(const WritersLock&) = delete;

  int Error() const { return m_Error; }

 private:
  int m_Fd = -1;
  int m_Error = 0;
};

// Temporary files of writers that died before their rename: while the writers'
// lock is held, no temporary file belongs to a writer at work.
void RemoveDeadWritersFiles(const std::filesystem::path& file) {
  const std::string prefix = file.filename().string() + std::string(kTemporaryFileMark);
  std::error_code ec;
  std::filesystem::directory_iterator entry(file.has_parent_path() ? file.parent_path() : ".", ec);
  for (; !ec && entry != std::filesystem::directory_iterator(); entry.increment(ec)) {
    if (entry->path().filename().string().starts_with(prefix)) std::filesystem::remove(entry->path(), ec);
  }
}

// One change, made on the file as it is now: under the writers' lock the file
// is read again, changed and replaced atomically, so that programs sharing
// the file never lose each other's changes and a reader sees the old file or
// the new one, whole. `change` returns false when there is nothing to change.
// Afterwards the store holds what the file holds.
long ChangeLocked(const std::function<bool(Keys&)>& change) {
  if (g_File.empty()) {
    change(g_Keys);
    return kRegSuccess;
  }
  const WritersLock lock(g_File);
  if (lock.Error() != 0) {
    DebugPrint("[Registry] Can't lock %s%s: %s\r\n", g_File.c_str(), kWritersLockSuffix, std::strerror(lock.Error()));
    return lock.Error();
  }
  RemoveDeadWritersFiles(g_File);
  std::optional<Keys> current = LoadRegistryFile(g_File);
  if (!current) {  // a file that cannot be read now is not overwritten
    const int error = errno;
    DebugPrint("[Registry] Can't read %s: %s, the change is not saved\r\n", g_File.c_str(), std::strerror(error));
    return error;
  }
  Keys changed = *current;
  if (!change(changed)) {
    g_Keys = std::move(*current);
    return kRegSuccess;
  }
  if (const int error = ReplaceFileAtomically(g_File, FormatRegistry(changed), kRegistryFileMode); error != 0) {
    DebugPrint("[Registry] Can't save %s: %s\r\n", g_File.c_str(), std::strerror(error));
    g_Keys = std::move(*current);
    return error;
  }
  g_Keys = std::move(changed);
  return kRegSuccess;
}

long SetValue(const RegKey& key, std::string_view name, Value value) {
  if (!key.open) return kRegInvalidHandle;
  if (value.type == kRegSz) {
    value.text = value.text.substr(0, value.text.find('\0'));
    // A line break cannot be kept in the file format.
    if (value.text.find_first_of("\r\n") != std::string::npos) return kRegInvalidParameter;
  }
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return kRegInvalidParameter;
  const std::string keyName = FullKeyName(key);
  std::lock_guard lock(g_Mutex);
  return ChangeLocked([&](Keys& keys) {
    Values& values = keys[keyName];
    const auto it = values.find(name);
    if (it != values.end() && it->second == value) return false;
    values.insert_or_assign(std::string(name), value);
    return true;
  });
}

}  // namespace

long RegOpenKey(RegRoot root, std::string_view subKey, RegKey& key) {
  const std::string_view path = KeyPath(subKey);
  std::lock_guard lock(g_Mutex);
  key.open = false;
  if (!path.empty() && !KeyExistsLocked(FullKeyName(root, path))) return kRegFileNotFound;
  key = RegKey{root, std::string(path), true};
  return kRegSuccess;
}

long RegCreateKey(RegRoot root, std::string_view subKey, RegKey& key) {
  const std::string_view path = KeyPath(subKey);
  const std::string name = FullKeyName(root, path);
  std::lock_guard lock(g_Mutex);
  key.open = false;
  if (!path.empty()) {
    const long result = ChangeLocked([&](Keys& keys) { return keys.try_emplace(name).second; });
    if (result != kRegSuccess) return result;
  }
  key = RegKey{root, std::string(path), true};
  return kRegSuccess;
}

long RegCloseKey(RegKey& key) {
  if (!key.open) return kRegInvalidHandle;
  key.open = false;
  return kRegSuccess;
}

long RegQueryValue(const RegKey& key, std::string_view name, uint32_t* type, void* data, uint32_t& size) {
  if (!key.open) return kRegInvalidHandle;
  std::lock_guard lock(g_Mutex);
  const auto keyIt = g_Keys.find(FullKeyName(key));
  if (keyIt == g_Keys.end()) return kRegFileNotFound;
  const auto it = keyIt->second.find(name);
  if (it == keyIt->second.end()) return kRegFileNotFound;
  const Value& value = it->second;
  const uint32_t needed = value.type == kRegDword ? 4u : static_cast<uint32_t>(value.text.size() + 1);
  if (type) *type = value.type;
  const uint32_t capacity = size;
  size = needed;
  if (!data) return kRegSuccess;
  if (capacity < needed) return kRegMoreData;
  if (value.type == kRegDword) {
    std::memcpy(data, &value.dword, 4);
  } else {
    std::memcpy(data, value.text.c_str(), needed);
  }
  return kRegSuccess;
}

std::optional<uint32_t> RegReadDword(const RegKey& key, std::string_view name) {
  uint32_t value = 0;
  uint32_t size = sizeof value;
  if (RegQueryValue(key, name, nullptr, &value, size) != kRegSuccess || size != sizeof value) return std::nullopt;
  return value;
}

long RegSetDword(const RegKey& key, std::string_view name, uint32_t value) {
  return SetValue(key, name, Value{kRegDword, value, {}});
}

long RegSetString(const RegKey& key, std::string_view name, std::string_view value) {
  return SetValue(key, name, Value{kRegSz, 0, std::string(value)});
}

long RegFlushKey(RegRoot) {
  std::lock_guard lock(g_Mutex);
  return ChangeLocked([](Keys&) { return true; });
}

void OpenRegistryFile(const std::filesystem::path& file) {
  std::optional<Keys> keys = LoadRegistryFile(file);
  if (!keys) {
    DebugPrint("[Registry] Can't read %s: %s, the registry starts empty\r\n", file.c_str(), std::strerror(errno));
    keys.emplace();
  }
  std::lock_guard lock(g_Mutex);
  g_File = file;
  g_Keys = std::move(*keys);
}

}  // namespace platform
