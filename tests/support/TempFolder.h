#pragma once
// A fresh folder below the system's temporary folder, removed with everything
// in it afterwards, and whole-file reads and writes for test files.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace navlume_test {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "navlume-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("navlume test: cannot create a temporary folder");
      std::abort();
    }
    m_Path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_Path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return m_Path; }

 private:
  std::filesystem::path m_Path;
};

// The file's bytes as they are; empty when it cannot be read.
inline std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Replaces the file's bytes, creating the folders above it as needed.
inline void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::error_code ignored;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
  std::ofstream(file, std::ios::binary) << text;
}

}  // namespace navlume_test
