#pragma once
// The registry of the handheld, kept in <device root>/registry.reg in the
// Windows .reg export format. Keys are created on demand. Every change is made
// on the file as it is then, under a lock on registry.reg.lock that every
// program using the root takes, and saved atomically: programs sharing a root
// keep each other's changes. Values are read from what this process last read
// or wrote. Key and value names compare case-insensitively and keep their
// case. Result codes are those of the platform's registry calls.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

constexpr long kRegSuccess = 0;
constexpr long kRegFileNotFound = 2;    // ERROR_FILE_NOT_FOUND: no such key or value
constexpr long kRegInvalidHandle = 6;   // ERROR_INVALID_HANDLE: key not open
constexpr long kRegMoreData = 234;      // ERROR_MORE_DATA: the caller's buffer is too small

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;

enum class RegRoot { LocalMachine, CurrentUser };

// An open key. Closing it (or destroying it) ends its use.
struct RegKey {
  RegRoot root = RegRoot::LocalMachine;
  std::string path;  // below the root, "Software\Microsoft\RIL"
  bool open = false;
};

// Opens an existing key; kRegFileNotFound when it does not exist.
long RegOpenKey(RegRoot root, std::string_view subKey, RegKey& key);
// Opens a key, creating it (and its parents) when missing.
long RegCreateKey(RegRoot root, std::string_view subKey, RegKey& key);
long RegCloseKey(RegKey& key);

// Reads a value. `size` is the capacity of `data` in bytes on entry and the
// value's size on return (a string's size counts its terminating NUL);
// kRegMoreData when the value does not fit (nothing copied), kRegFileNotFound
// when the value is missing. `type` and `data` may be null.
long RegQueryValue(const RegKey& key, std::string_view name, uint32_t* type, void* data, uint32_t& size);
// A 4-byte value; nothing when the value is missing or of another size.
std::optional<uint32_t> RegReadDword(const RegKey& key, std::string_view name);
long RegSetDword(const RegKey& key, std::string_view name, uint32_t value);
long RegSetString(const RegKey& key, std::string_view name, std::string_view value);
// Changes are saved as they are made; flushing saves again and always succeeds on a healthy disk.
long RegFlushKey(RegRoot root);

// Binds the store to a file and reads it (a missing file is an empty registry;
// an unreadable or malformed one is logged and read as empty).
// SetDeviceRoot binds <root>/registry.reg.
void OpenRegistryFile(const std::filesystem::path& file);

}  // namespace platform
