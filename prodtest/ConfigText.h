#pragma once
// The test configuration file as the reader sees it: the first 260 bytes of
// the file, searched for "KEY: value" pairs anywhere in the text.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

constexpr size_t kConfigReadBytes = 260;
// Value buffers hold 9 characters and a terminator.
constexpr size_t kConfigValueChars = 10;

// One value token. A token that does not fit is kept cut to its first 9
// characters and flagged; it never counts as a value.
struct ConfigValue {
  char text[kConfigValueChars] = {};
  bool bTooLong = false;

  std::string_view View() const { return text; }
};

// The first bytes of one configuration file, read once. The file is opened for
// reading only, so a write-protected file or card is read like any other.
class CConfigText {
 public:
  CConfigText() = default;
  ~CConfigText();
  CConfigText(const CConfigText&) = delete;
  CConfigText& operator=(const CConfigText&) = delete;

  // False when `path` is not an existing regular file that can be opened.
  bool Open(const std::filesystem::path& path);
  // Reads at most kConfigReadBytes from the start in one read; the number of bytes, 0 on failure.
  size_t Read();
  void Close();

  // The text read, up to the bytes read or the first zero byte.
  std::string_view Text() const;

 private:
  int m_hFile = -1;
  char m_Buffer[kConfigReadBytes] = {};
  size_t m_Length = 0;
};

// Skips blanks (spaces only) from `p`; returns the first other position, or `end`.
const char* SkipSpaces(const char* p, const char* end);

// Copies the token at `p` (up to a zero byte, space, CR, LF or `end`) into
// `out`; returns the position of the delimiter.
const char* CopyToken(const char* p, const char* end, ConfigValue& out);

// Finds the first `key` in `text` and reads its value into `out`. Returns the
// position after the value, or nullptr when the key is missing or is followed
// by a line break (no value). A key at the very end of the text has an empty value.
const char* Getstring(std::string_view text, const char* key, ConfigValue* out);

// The leading decimal digits of `token` with an optional sign; 0 without digits.
int32_t ParseDecimal(std::string_view token);
