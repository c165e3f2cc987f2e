#include "results/ForwardProgress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Debug.h"

namespace results {
namespace {

constexpr char kSeparator = '\t';
constexpr const char* kFirstLine = "# Navlume: how far each result journal is in the database (path, device, inode, "
                                   "fingerprint bytes, fingerprint, confirmed offset, confirmed lines, header)";
constexpr size_t kFieldCount = 8;
constexpr uint64_t kFnvOffsetBasis = 14695981039346656037ULL;
constexpr uint64_t kFnvPrime = 1099511628211ULL;

uint64_t Fnv1a(const char* bytes, size_t count) {
  uint64_t hash = kFnvOffsetBasis;
  for (size_t i = 0; i < count; ++i) hash = (hash ^ static_cast<unsigned char>(bytes[i])) * kFnvPrime;
  return hash;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream stream(line);
  for (std::string field; std::getline(stream, field, kSeparator);) fields.push_back(field);
  if (!line.empty() && line.back() == kSeparator) fields.emplace_back();
  return fields;
}

bool ParseProgressLine(const std::string& line, std::string& path, JournalProgress& progress) {
  const std::vector<std::string> fields = SplitFields(line);
  if (fields.size() != kFieldCount) return false;
  try {
    size_t used = 0;
    std::array<uint64_t, 6> numbers{};
    for (size_t i = 0; i < numbers.size(); ++i) {
      numbers[i] = std::stoull(fields[i + 1], &used);
      if (used != fields[i + 1].size()) return false;
    }
    path = fields[0];
    progress.identity = {static_cast<dev_t>(numbers[0]), static_cast<ino_t>(numbers[1]), numbers[2], numbers[3]};
    progress.confirmedOffset = numbers[4];
    progress.confirmedLines = numbers[5];
    progress.header = fields[7];
  } catch (const std::exception&) {
    return false;
  }
  return !path.empty();
}

}  // namespace

ForwardProgress LoadForwardProgress(const std::filesystem::path& file) {
  ForwardProgress progress;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  for (uint64_t number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line.front() == '#') continue;
    std::string path;
    JournalProgress journal;
    if (ParseProgressLine(line, path, journal)) {
      progress[path] = journal;
    } else {
      platform::DebugPrint("[Results] %s line %llu cannot be read; its journal is sent again from the start\r\n",
                           file.string().c_str(), static_cast<unsigned long long>(number));
    }
  }
  return progress;
}

int SaveForwardProgress(const std::filesystem::path& file, const ForwardProgress& progress) {
  std::ostringstream text;
  text << kFirstLine << '\n';
  for (const auto& [path, journal] : progress) {
    const JournalIdentity& id = journal.identity;
    text << path << kSeparator << id.device << kSeparator << id.inode << kSeparator << id.fingerprintBytes
         << kSeparator << id.fingerprint << kSeparator << journal.confirmedOffset << kSeparator
         << journal.confirmedLines << kSeparator << journal.header << '\n';
  }
  return platform::ReplaceFileAtomically(file, text.str());
}

bool ReadJournalIdentity(int fd, uint64_t fingerprintBytes, JournalIdentity& identity) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return false;
  std::array<char, kFingerprintBytes> first{};
  const size_t wanted = std::min<uint64_t>({fingerprintBytes, kFingerprintBytes, static_cast<uint64_t>(status.st_size)});
  const ssize_t got = ::pread(fd, first.data(), wanted, 0);
  if (got < 0 || static_cast<size_t>(got) != wanted) return false;
  identity = {status.st_dev, status.st_ino, wanted, Fnv1a(first.data(), wanted)};
  return true;
}

}  // namespace results
