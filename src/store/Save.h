// Writing the tables back into the board folder: "user.txt", every per-user
// file, pruning of the per-user folder, "group.txt" — in that order.
#pragma once

#include <string>
#include <vector>

#include "Define/Define.h"
#include "Define/Platform.h"
#include "store/Load.h"
#include "store/Settings.h"

namespace solne {

struct SaveFailure {
    std::string file;    // path of the file concerned (or the record, for a refused value)
    std::string step;    // what was being done ("書き込み", "削除", ...)
    std::string reason;  // why it failed
    std::string ToString() const;  // one line for the failure message
};

struct SaveReport {
    // The writer's rule refused a value: nothing at all was written.
    bool refused = false;
    std::vector<SaveFailure> failures;
    bool ok() const { return !refused && failures.empty(); }
};

// Saves the board. Never shows anything. Changes `users` only to record the
// status and plan lines it wrote into each per-user file. `snapshots`, when
// given, is updated for "user.txt" and "group.txt" as soon as each is written.
SaveReport SaveBoard(FileSystem& fs, const BoardPaths& paths, UserTable& users,
                     const GroupTable& groups, FileSnapshot* userSnapshot = nullptr,
                     FileSnapshot* groupSnapshot = nullptr);

// The writer's rule over the whole tables, as the save runs it before its
// first write: every refused value (record, field, character).
std::vector<SaveFailure> CheckWritable(const UserTable& users, const GroupTable& groups);

// Names of the files of the per-user folder that a save of these users would
// delete (the same rule the save uses).
std::vector<std::string> FilesPruneWouldDelete(FileSystem& fs, const BoardPaths& paths,
                                               const UserTable& users);

// Replaces a file's content safely: temporary file in the same folder, old
// permission bits (and owner when running as root), optional fsync, rename.
// Where renaming would change the owner or group, or the file has several
// hard links, the file is rewritten in place instead. A symbolic link is
// followed. No temporary file stays after a failure. Returns 0 or an errno
// value and the step that failed.
int ReplaceFile(FileSystem& fs, const std::string& path, std::string_view content,
                bool sync, std::string& failedStep);

}  // namespace solne
