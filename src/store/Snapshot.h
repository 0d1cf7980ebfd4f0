// What the editor remembers of a data file when it loads or writes it, to
// notice later that someone else changed the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Define/FileSystem.h"
#include "store/Settings.h"

namespace solne {

struct FileSnapshot {
    bool exists = false;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    uint64_t hash = 0;
    bool operator==(const FileSnapshot&) const = default;
};

FileSnapshot SnapshotOf(bool exists, const FileStat& st, std::string_view content);
uint64_t HashBytes(std::string_view bytes);  // FNV-1a 64

// The names ("user.txt", "group.txt") of the data files that differ from
// what was loaded or last written: removed, created, or other content. A
// file that cannot be read counts as changed.
std::vector<std::string> FilesChangedOutside(FileSystem& fs, const BoardPaths& paths,
                                             const FileSnapshot& userFile,
                                             const FileSnapshot& groupFile);

}  // namespace solne
