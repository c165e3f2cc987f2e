#include "serial/PortHolders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

namespace {

namespace fs = std::filesystem;

// Pseudo-terminal slaves (/dev/pts/N) have majors 136 to 143, 256 numbers each.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;
constexpr unsigned kPtysPerMajor = 256;
constexpr std::string_view kDevFolder = "/dev/";
constexpr std::string_view kPtyMasterName = "ptmx";  // /dev/ptmx or /dev/pts/ptmx
constexpr std::string_view kTtyIndexField = "tty-index:";

using Directory = std::unique_ptr<DIR, int (*)(DIR*)>;

Directory OpenDirectory(const fs::path& path) { return Directory(opendir(path.c_str()), closedir); }

bool IsNumber(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<dev_t> CharDeviceOf(const fs::path& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return std::nullopt;
  return status.st_rdev;
}

std::optional<unsigned> PtyIndexOf(dev_t device) {
  const unsigned deviceMajor = major(device);
  if (deviceMajor < kFirstPtySlaveMajor || deviceMajor > kLastPtySlaveMajor) return std::nullopt;
  return (deviceMajor - kFirstPtySlaveMajor) * kPtysPerMajor + minor(device);
}

std::string ReadSmallFile(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The pseudo-terminal a master descriptor serves, from its "tty-index:" line in /proc/PID/fdinfo/FD.
std::optional<unsigned> MasterPtyIndex(const fs::path& fdinfo) {
  const std::string text = ReadSmallFile(fdinfo);
  size_t at = text.find(kTtyIndexField);
  if (at == std::string::npos) return std::nullopt;
  at = text.find_first_not_of(" \t", at + kTtyIndexField.size());
  unsigned index = 0;
  if (at == std::string::npos || std::from_chars(text.data() + at, text.data() + text.size(), index).ec != std::errc())
    return std::nullopt;
  return index;
}

std::string ProgramName(const fs::path& processFolder) {
  std::string name = ReadSmallFile(processFolder / "comm");
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

struct DeviceUse {
  bool holdsDevice = false;
  bool holdsMaster = false;  // of the pseudo-terminal that is the device
};

// The kernel names each open file by its path: the device's own, whatever link opened it.
DeviceUse UseOf(const fs::path& processFolder, std::string_view devicePath, std::optional<unsigned> ptyIndex) {
  DeviceUse use;
  const fs::path fdFolder = processFolder / "fd";
  const Directory fds = OpenDirectory(fdFolder);
  if (!fds) return use;  // gone, or another user's
  const int folderFd = dirfd(fds.get());
  while (const dirent* entry = readdir(fds.get())) {
    if (!IsNumber(entry->d_name)) continue;
    char target[PATH_MAX];
    const ssize_t length = readlinkat(folderFd, entry->d_name, target, sizeof target);
    const std::string_view opened(target, length > 0 ? static_cast<size_t>(length) : 0);
    if (opened == devicePath) {
      use.holdsDevice = true;
    } else if (ptyIndex && opened.starts_with(kDevFolder) && opened.ends_with(kPtyMasterName)) {
      use.holdsMaster = use.holdsMaster || MasterPtyIndex(processFolder / "fdinfo" / entry->d_name) == ptyIndex;
    }
  }
  return use;
}

}  // namespace

std::optional<PortHolder> OtherPortHolder(const std::string& devicePath, const fs::path& proc) {
  const std::optional<dev_t> device = CharDeviceOf(devicePath);
  std::error_code error;
  const std::string realPath = fs::canonical(devicePath, error).string();
  if (!device || error) return std::nullopt;
  const std::optional<unsigned> ptyIndex = PtyIndexOf(*device);
  const std::string self = std::to_string(getpid());
  const Directory processes = OpenDirectory(proc);
  if (!processes) return std::nullopt;
  while (const dirent* entry = readdir(processes.get())) {
    if (!IsNumber(entry->d_name) || entry->d_name == self) continue;
    const fs::path folder = proc / entry->d_name;
    const DeviceUse use = UseOf(folder, realPath, ptyIndex);
    if (use.holdsDevice && !use.holdsMaster) return PortHolder{std::stoi(entry->d_name), ProgramName(folder)};
  }
  return std::nullopt;
}
