#pragma once
// How far each journal has reached the database: the journal itself is the
// outbox, and this small file in the device root says which of its bytes the
// server has confirmed. Per journal (by handheld path) it keeps the file's
// identity (device, inode and a fingerprint of its first bytes), the byte
// offset of the end of the last confirmed line, the number of result lines
// before it and the header line in force there. A journal whose identity
// differs, or that is shorter than its offset (replaced, cut short, another
// card), is read again from its start: inserts are idempotent by result id.
// The file is replaced atomically, so a power cut leaves the old or the new.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace results {

inline constexpr const char* kForwardProgressFile = "results-forwarded.tsv";  // in the device root

// Which file a journal is: a journal that is not the one whose progress is kept starts again.
struct JournalIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  uint64_t fingerprintBytes = 0;  // how many first bytes the fingerprint covers
  uint64_t fingerprint = 0;

  bool operator==(const JournalIdentity&) const = default;
};

struct JournalProgress {
  JournalIdentity identity;
  uint64_t confirmedOffset = 0;  // bytes of whole lines the server has confirmed
  uint64_t confirmedLines = 0;   // result lines among them
  std::string header;            // the last header line before the offset, without its line end
};

// Handheld journal path -> its progress.
using ForwardProgress = std::map<std::string, JournalProgress>;

// The progress in `file`; empty when missing. A line that cannot be read is
// dropped (logged): its journal is read again from the start.
ForwardProgress LoadForwardProgress(const std::filesystem::path& file);
// 0, or the errno of the failed atomic replacement.
int SaveForwardProgress(const std::filesystem::path& file, const ForwardProgress& progress);

// The identity of the open journal `fd`, its fingerprint over its first
// `fingerprintBytes` (at most kFingerprintBytes; fewer when the file is shorter).
inline constexpr uint64_t kFingerprintBytes = 512;
bool ReadJournalIdentity(int fd, uint64_t fingerprintBytes, JournalIdentity& identity);

}  // namespace results
