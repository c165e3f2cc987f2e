#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

namespace platform {
namespace {

constexpr int kNameAttempts = 100;  // names already taken (left by a writer that died) are skipped
constexpr int kMostLinks = 40;      // links followed before the chain counts as a loop, as the kernel's limit
constexpr mode_t kPermissionBits = 07777;

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

// The file that a write to `file` reaches: the end of its chain of symbolic
// links (a station may share its configuration through one). 0, or ELOOP.
int FollowLinks(const std::filesystem::path& file, std::filesystem::path& target) {
  target = file;
  std::error_code error;
  for (int followed = 0; std::filesystem::is_symlink(target, error); ++followed) {
    if (followed == kMostLinks) return ELOOP;
    const std::filesystem::path link = std::filesystem::read_symlink(target, error);
    if (error) return error.value();
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  return 0;
}

// The new file takes the mode of the one it replaces, and its owner and group where this process may set them.
void KeepOwnerAndMode(int fd, const std::filesystem::path& replaced) {
  struct stat old {};
  if (stat(replaced.c_str(), &old) != 0) return;
  if (old.st_uid != geteuid() || old.st_gid != getegid()) (void)!fchown(fd, old.st_uid, old.st_gid);
  fchmod(fd, old.st_mode & kPermissionBits);
}

}  // namespace

int ReplaceFileAtomically(const std::filesystem::path& path, std::string_view data, mode_t mode, bool* created) {
  if (created != nullptr) *created = false;
  std::filesystem::path file;
  if (const int error = FollowLinks(path, file); error != 0) return error;
  std::string temp;
  const int fd = CreateTemporary(file, mode, temp);
  if (created != nullptr) *created = fd >= 0;
  if (fd < 0) return errno;
  KeepOwnerAndMode(fd, file);
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
