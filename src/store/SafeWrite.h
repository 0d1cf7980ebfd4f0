// Replacing a file's content safely, for every file the editor writes.
#pragma once

#include <string>
#include <string_view>

#include "Define/FileSystem.h"

namespace solne {

// Replaces a file's content safely: temporary file in the same folder, old
// permission bits (and owner when running as root), optional fsync, rename.
// Where renaming would change the owner or group, or the file has several
// hard links, the file is rewritten in place instead. A symbolic link is
// followed. No temporary file stays after a failure. Returns 0 or an errno
// value and the step that failed (a Japanese word for reports).
int ReplaceFile(FileSystem& fs, const std::string& path, std::string_view content,
                bool sync, std::string& failedStep);

}  // namespace solne
