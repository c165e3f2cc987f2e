#pragma once
// Replacing a file so that a crash, a power cut or a full disk leaves either
// the old or the new contents, never a torn file: a temporary file of this
// process beside it ("<file>.tmp-<pid>-<n>", so that writers in several
// processes never share one), fsync, rename over it, fsync of the folder.
// A symbolic link is written through: its target is replaced, the link
// stays. The new file keeps the old one's mode, and its owner and group
// where the process may set them.

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace platform {

// What follows a file's name in the names of its temporary files.
constexpr std::string_view kTemporaryFileMark = ".tmp";
constexpr mode_t kReplacedFileMode = 0644;

// 0, or the errno of the step that failed; the old file is then untouched and
// the temporary file removed. A file that did not exist gets `mode` less the umask. `created`,
// when given, tells whether the temporary file was made (a later step failed).
int ReplaceFileAtomically(const std::filesystem::path& file, std::string_view data, mode_t mode = kReplacedFileMode,
                          bool* created = nullptr);

}  // namespace platform
