// Replacing a file's content safely, for every file the editor writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Define/FileSystem.h"
#include "store/Journal.h"

namespace solne {

// A file about to be replaced, open for reading: its first bytes are held,
// the rest is streamed from disk into the new file when that is written, so
// a file of any size costs a bounded amount of memory.
struct SourceFile {
    explicit SourceFile(FileSystem& fs) : file(fs) {}
    ScopedHandle file;
    FileStat st;         // the file opened (device and inode)
    std::string head;    // its first bytes
    bool atEnd = false;  // `head` is all of it
    int64_t base = 0;    // where its content begins in the file (past a journal's header)
    // Held whole, and last changed before it was read, by the clock its
    // file system stamps every change with (FileSystem::ChangeClock): any
    // later change shows in its change time, so the last look compares
    // identity, size and times without reading it again.
    bool settled = false;
};

// Opens `name` in the folder (never through a link, never anything but a
// regular file) as a source, nothing read yet.
int OpenSource(FileSystem& fs, Handle dir, const std::string& name, SourceFile& out);
// Reads on until the source's head holds at least `size` bytes or the whole file.
int ReadHead(FileSystem& fs, SourceFile& src, size_t size);

// What is known of the folder a new file is made in, learnt once for all
// the files written there with the rights they are written with.
struct FolderRules {
    // The group a file created in the folder gets (NewFileGroup), when
    // known: a new file that replaces one of that group is made with the
    // old file's permissions at once, and needs no change of owner or mode
    // after; otherwise it is made private first.
    std::optional<GroupId> newFileGroup;
    // No account but the folder's owner (whose rights the save has) and
    // root may rename or replace the folder's entries (OthersMayChange is
    // false): the new file's name needs no look before it is renamed.
    bool namesOnlyOwners = false;
    // What a file created in the folder is, when the rules alone tell
    // (FileSystem::NewFileModeMask, and a group the folder's own): its
    // owner, its group, and the bits its mode loses. With namesOnlyOwners,
    // the new file's descriptor is then not asked.
    struct NewFileFacts {
        AccountId uid = 0;
        GroupId gid = 0;
        FileMode umask = 0;
    };
    std::optional<NewFileFacts> newFile;
};

// The new content of a file: `head`, then, with a source, the source's
// bytes from `keepFrom` (within its head) to its end. `verify`: right before
// the new content takes the file's place, the file must still be the source
// and hold the bytes read from it, else nothing changes and the result is
// kChangedMeanwhile, so the caller can rebuild from the new bytes. A
// source without an open handle holds the whole file in `head` (read
// before, `st` from that read's descriptor); the last look then opens the
// name itself (or looks at it, when settled).
struct NewContent {
    NewContent(std::string_view head) : head(head) {}
    NewContent(std::string_view head, SourceFile& source, size_t keepFrom, bool verify)
        : head(head), source(&source), keepFrom(keepFrom), verify(verify) {}
    std::string_view head;
    SourceFile* source = nullptr;
    size_t keepFrom = 0;
    bool verify = false;
    FolderRules folder;  // nothing known by default
};

// Replaces a file's content safely (the settings file; the board's files
// go through ReplaceFileIn on the folders of BoardFolder.h). A symbolic
// link is followed under the link rule (LinkRule.h) with `root` as the
// folder links may lead into.
// Usually: a new temporary file in the same folder (created exclusively,
// never through a link), the old permission bits and owner (group, or
// owner and group when running as root) set on its handle, optional fsync,
// then a rename within the folder's handle. Where renaming would change the
// owner or group, or the file has several hard links, the file is rewritten
// in place instead: its old content is first kept in a journal beside it
// (flushed to disk), room for the new content is reserved, and the journal
// is removed once the new content is flushed; a crash or a full disk in
// between leaves the journal, from which the loader reads the old content
// and the next save restores it. A file that a network share will not let
// a new file be renamed over (it is open somewhere: EBUSY or EEXIST from the
// rename) is rewritten in place the same way. An interrupted rewrite found
// on the file is rolled back before anything is written. No temporary file stays after
// a failure. Returns 0 or an errno value and the step that failed (a
// Japanese word for reports).
int ReplaceFile(FileSystem& fs, const std::string& root, const std::string& path, std::string_view content,
                bool sync, std::string& failedStep);

// The same for the entry `name` of a folder the caller opened (and checked
// under the link rule). `lookForJournal` false: the caller's listing shows
// no journal beside it, or the caller rolled it back. `followedLink`:
// `name` was reached through a link, so finding a link there now means it
// was swapped meanwhile. The source of `content`, if any, is closed before
// the rename (Windows cannot rename over an open file).
int ReplaceFileIn(FileSystem& fs, Handle dir, const std::string& name, bool lookForJournal, bool followedLink,
                  const NewContent& content, bool sync, std::string& failedStep);

// Opens the folder holding the file `path` names, a link followed under the
// link rule; `name` is the file's name in it and `followedLink` tells
// whether a link led there. A path naming nothing is its own target.
int OpenTargetFolder(FileSystem& fs, const std::string& root, const std::string& path, ScopedHandle& dir,
                     std::string& name, bool& followedLink, std::string& failedStep);

// Finishes the roll-back of an interrupted rewrite of `name`, if its journal
// is there and trusted (Journal.h): the old content goes back into the
// file, then the journal goes. A journal that is not trusted is left alone
// and noted as a finding; it stops nothing.
int RollBack(FileSystem& fs, Handle dir, const std::string& name, std::string& failedStep);

// Creates a new temporary file in the folder (exclusively, never through a
// link), named after `name` where the name fits: ".NAME.solne-PID-N.tmp".
int CreateTemporaryFile(FileSystem& fs, Handle dir, const std::string& name, FileMode mode, std::string& temp,
                        Handle& file);

// Reads the entry `name` of a folder the caller opened (never through a
// link) as the editor must see it: the old content kept in its journal when
// a rewrite was interrupted (and the journal is trusted), else the file; as
// much of it as it held when opened, up to `limit`
// bytes (EFBIG with the first `limit` bytes when it held more). `st`, when
// given, receives what the file itself looks like.
int ReadCurrentContentIn(FileSystem& fs, Handle dir, const std::string& name, std::string& out, size_t limit,
                         bool lookForJournal, FileStat* st = nullptr);

// Removes the temporary files that saves of processes no longer running
// left in the open folder `dir` (named ".NAME.solne-PID-N.tmp"): regular
// files only, and only those a save of this account or the administrator
// could have made (owned by the account whose rights the save works with,
// which is the folder's owner for root in another account's folder, by
// root, or by the account the editor runs as). A file of another account
// named like one is not ours and stays. `entries` is the folder's listing
// when the caller has one. Returns how many went.
int RemoveStaleTemporaryFiles(FileSystem& fs, Handle dir, const std::vector<DirEntry>* entries = nullptr);

}  // namespace solne
