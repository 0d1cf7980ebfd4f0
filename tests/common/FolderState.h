// What a folder tree holds, entry by entry, for tests that prove a step
// changed nothing, or left every file whole: kind, permission bits, owner,
// bytes (a link's target) and, on request, the time of the last write.
#pragma once

#include <map>
#include <ostream>
#include <string>

namespace solne::test {

struct EntryState {
    char kind = '?';        // 'd' folder, 'f' file, 'l' symbolic link, '?' anything else
    unsigned mode = 0;      // permission bits (07777)
    long owner = -1;        // account and group numbers; -1 where the platform has none
    long group = -1;
    std::string bytes;      // a file's bytes; a link's target
    long long written = 0;  // last write in nanoseconds, only with `withTimes`
    bool operator==(const EntryState&) const = default;
};

// Every entry below `root` (not `root` itself), by its path relative to it.
using FolderState = std::map<std::string, EntryState>;
FolderState ReadFolderState(const std::string& root, bool withTimes = false);

void PrintTo(const EntryState& e, std::ostream* out);

}  // namespace solne::test
