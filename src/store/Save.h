// Writing the tables back into the board folder: "user.txt", every per-user
// file, pruning of the per-user folder, "group.txt" — in that order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "Define/Define.h"
#include "Define/FileSystem.h"
#include "store/Failure.h"
#include "store/Journal.h"
#include "store/Settings.h"
#include "store/Snapshot.h"

namespace solne {

struct SaveReport {
    // The writer's rule refused a value: nothing at all was written.
    bool refused = false;
    // The caller's last word before the first write was No: nothing was written.
    bool cancelled = false;
    // What failed, each with its file and step (for a refused value: the
    // record, the field and the character).
    std::vector<Failure> failures;
    // Journals found beside the files and not trusted (Journal.h): not
    // used, and no failure, but the report names them.
    std::vector<JournalFinding> ignoredJournals;
    bool ok() const { return !refused && !cancelled && failures.empty(); }
};

// The caller's last word before a save's first write. Either it takes no
// argument, or it is given the files changed outside since the load or the
// last save, as FilesChangedOutside names them (Snapshot.h): the save finds
// them in the same pass that reads every per-user file for its own writes.
class WriteQuestion {
public:
    WriteQuestion() = default;
    template <class F>
        requires std::is_invocable_r_v<bool, F&, const std::vector<std::string>&>
    WriteQuestion(F f) : ask_(std::move(f)), wantsChanges_(true) {}
    template <class F>
        requires(std::is_invocable_r_v<bool, F&> &&
                 !std::is_invocable_r_v<bool, F&, const std::vector<std::string>&>)
    WriteQuestion(F f) : ask_([f = std::move(f)](const std::vector<std::string>&) mutable { return f(); }) {}
    explicit operator bool() const { return bool(ask_); }
    bool WantsChanges() const { return wantsChanges_; }
    bool operator()(const std::vector<std::string>& changed) const { return ask_(changed); }

private:
    std::function<bool(const std::vector<std::string>&)> ask_;
    bool wantsChanges_ = false;
};

// Saves the board. Never shows anything. Changes `users` only to record the
// status and plan lines it wrote into each per-user file. `userSnapshot` and
// `groupSnapshot`, when given, are updated for "user.txt" and "group.txt" as
// soon as each is written.
// A value the writer's rule refuses stops the save before its first write;
// any other failure is reported and the save goes on with the next file
// (pruning waits for a written "user.txt"). `confirmWrite`, when given, is
// asked once the values are known to be writable and before the first
// write (with the files changed outside, when it takes them and
// `userSnapshot` is given); false cancels the save with nothing written.
// `progress`, when given, hears (files done, files in all) after "user.txt",
// after each per-user file and after "group.txt"; the files in all are the
// two data files and the per-user files the save writes.
SaveReport SaveBoard(FileSystem& fs, const BoardPaths& paths, UserTable& users,
                     const GroupTable& groups, FileSnapshot* userSnapshot = nullptr,
                     FileSnapshot* groupSnapshot = nullptr,
                     const WriteQuestion& confirmWrite = {},
                     const std::function<void(size_t done, size_t total)>& progress = {});

// The writer's rule over the whole tables, as the save runs it before its
// first write: every refused value (record, field, character).
std::vector<Failure> CheckWritable(const UserTable& users, const GroupTable& groups);

// Names of the files of the per-user folder that a save of these users would
// delete (the same rule the save uses).
std::vector<std::string> FilesPruneWouldDelete(FileSystem& fs, const BoardPaths& paths,
                                               const UserTable& users);

}  // namespace solne
