#pragma once
// Replacing a file so that a crash leaves either the old or the new contents,
// never a torn file: a temporary file beside it, fsync, rename over it, fsync
// of the folder.

#include <filesystem>
#include <string_view>

namespace platform {

// 0, or the errno of the step that failed (the temporary file is then removed).
int ReplaceFileAtomically(const std::filesystem::path& file, std::string_view data);

}  // namespace platform
