#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

namespace platform {
namespace {

constexpr int kNameAttempts = 100;  // names already taken (left by a writer that died) are skipped

std::atomic<unsigned> g_TemporaryCount{0};

// 0 when every byte was written, else the errno (ENOSPC for a write that takes nothing).
int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return ENOSPC;
    data.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

int CreateTemporary(const std::filesystem::path& file, mode_t mode, std::string& name) {
  const std::string prefix = file.string() + std::string(kTemporaryFileMark) + "-" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    name = prefix + std::to_string(g_TemporaryCount++);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

int ReplaceFileAtomically(const std::filesystem::path& file, std::string_view data, mode_t mode, bool* created) {
  std::string temp;
  const int fd = CreateTemporary(file, mode, temp);
  if (created != nullptr) *created = fd >= 0;
  if (fd < 0) return errno;
  int error = WriteAll(fd, data);
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(temp.c_str(), file.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temp.c_str());
    return error;
  }
  // The rename is in place; a file system that cannot flush a folder is no reason to fail.
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return 0;
}

}  // namespace platform
