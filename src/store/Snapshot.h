// What the editor remembers of a data file when it loads or writes it, to
// notice later that someone else changed the file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <string_view>
#include <vector>

#include "Define/FileSystem.h"
#include "store/BoardFolder.h"
#include "store/Settings.h"

namespace solne {

// The first line of every per-user file, as loaded or last written, by the
// file's name in the per-user folder (a hash of the line's bytes).
using NameLineHashes = std::unordered_map<std::string, uint64_t>;

struct FileSnapshot {
    bool exists = false;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    uint64_t hash = 0;
    // Only in the snapshot of "user.txt": the name lines of the per-user
    // files, so that a name a second editor changed is noticed too. Shared
    // between copies; not part of the comparison.
    std::shared_ptr<const NameLineHashes> nameLines;
    // Only in the snapshot of "user.txt": the board folder and the per-user
    // folder as identified when the board was loaded; a save works in no
    // other. Not part of the comparison.
    BoardIds folders;
    bool operator==(const FileSnapshot& o) const {
        return exists == o.exists && size == o.size && mtimeNs == o.mtimeNs && hash == o.hash;
    }
};

FileSnapshot SnapshotOf(bool exists, const FileStat& st, std::string_view content);
uint64_t HashBytes(std::string_view bytes);  // FNV-1a 64

// The names ("user.txt", "group.txt") of the data files that differ from
// what was loaded or last written: removed, created, or other content; then
// "user/NAME" ("user\\NAME" on Windows) for every per-user file whose first
// line (the display name) differs from the one the snapshot of "user.txt"
// remembers, or that is gone. Later lines (status, plan) do not count: the
// save keeps them from the file. A file that cannot be read counts as changed.
std::vector<std::string> FilesChangedOutside(FileSystem& fs, const BoardPaths& paths,
                                             const FileSnapshot& userFile,
                                             const FileSnapshot& groupFile);

// The part of FilesChangedOutside about "user.txt" and "group.txt", in the
// board folder the caller opened and checked (`boardOk` false: it could not
// be, and both count as changed).
std::vector<std::string> DataFilesChangedOutside(FileSystem& fs, const WorkFolder& board, bool boardOk,
                                                 const FileSnapshot& userFile, const FileSnapshot& groupFile);

// How much of a per-user file the look for a changed name line reads, and
// whether a head read from one shows the name line `hash` remembers.
constexpr size_t kNameLineBytes = 64 * 1024;
bool NameLineIs(std::string_view head, uint64_t hash);

// Whether a per-user file's name line differs from the one remembered.
using NameLineDiffers = std::function<bool(const std::string& name, uint64_t remembered)>;

// Adds "user/NAME" to `changed`, in name order, for each per-user file of
// `remembered` whose name line differs: `differs` looks first. The board
// rewrites a status line by cutting the file and writing it again, and a
// look in between sees no name line at all: so a file that differed is
// looked at again a moment later with `looksAgain`, and only one that still
// differs counts (without `looksAgain`, every one that differed counts).
void AddNamesChangedOutside(const NameLineHashes& remembered, const NameLineDiffers& differs,
                            const NameLineDiffers& looksAgain, std::vector<std::string>& changed);

}  // namespace solne
