// Replacing a file's content safely, for every file the editor writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Define/FileSystem.h"

namespace solne {

// Replaces a file's content safely. A symbolic link is followed under the
// link rule (LinkRule.h) with `root` as the folder links may lead into.
// Usually: a new temporary file in the same folder (created exclusively,
// never through a link), the old permission bits and owner (group, or
// owner and group when running as root) set on its handle, optional fsync,
// then a rename within the folder's handle. Where renaming would change the
// owner or group, or the file has several hard links, the file is rewritten
// in place instead: its old content is first kept in a journal beside it
// (flushed to disk), room for the new content is reserved, and the journal
// is removed once the new content is flushed; a crash or a full disk in
// between leaves the journal, from which the loader reads the old content
// and the next save restores it. An interrupted rewrite found on the file
// is rolled back before anything is written. No temporary file stays after
// a failure. Returns 0 or an errno value and the step that failed (a
// Japanese word for reports).
int ReplaceFile(FileSystem& fs, const std::string& root, const std::string& path, std::string_view content,
                bool sync, std::string& failedStep);

// The same for the entry `name` of a folder the caller opened (and checked
// under the link rule). `lookForJournal` false: the caller's listing shows
// no journal beside it. `followedLink`: `name` was reached through a link,
// so finding a link there now means it was swapped meanwhile.
int ReplaceFileIn(FileSystem& fs, Handle dir, const std::string& name, bool lookForJournal, bool followedLink,
                  std::string_view content, bool sync, std::string& failedStep);

// The journal of an interrupted rewrite of the file `name`, in its folder.
std::string JournalName(const std::string& name);

// Reads a file as the editor must see it: the old content kept in its
// journal when a rewrite was interrupted, else the file. `target` is the
// file itself (a link already followed). `lookForJournal` false skips the look for
// a journal when the caller's listing already tells there is none.
int ReadCurrentContent(FileSystem& fs, const std::string& target, std::string& out, size_t limit,
                       bool lookForJournal = true, FileStat* st = nullptr);

// Removes the temporary files that saves of processes no longer running
// left in the folder (named ".NAME.solne-PID-N.tmp"). `entries` is the
// folder's listing when the caller has one. Returns how many went.
int RemoveStaleTemporaryFiles(FileSystem& fs, const std::string& folder,
                              const std::vector<DirEntry>* entries = nullptr);

}  // namespace solne
