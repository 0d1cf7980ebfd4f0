// The board folder and its per-user folder as the editor works in them:
// each opened once and identified by device and inode, every name inside
// resolved through their descriptors, and a symbolic link followed only when
// the administrator (root) or the editor's own account made it.
#pragma once

#include <string>

#include "Define/FileSystem.h"

namespace solne {

// What identifies a file or folder: its device and inode.
struct NodeId {
    bool known = false;
    uint64_t dev = 0;
    uint64_t ino = 0;
    static NodeId Of(const FileStat& st) { return NodeId{true, st.dev, st.ino}; }
    bool Is(const FileStat& st) const { return known && st.dev == dev && st.ino == ino; }
};

// The two folders of a board as identified when it was loaded (unknown
// before the first load).
struct BoardIds {
    NodeId board;
    NodeId user;
};

// A folder open for work and what it was when opened.
struct WorkFolder {
    explicit WorkFolder(FileSystem& fs) : handle(fs) {}
    ScopedHandle handle;
    FileStat st;
    Handle operator*() const { return *handle; }
};

// Opens the board folder by the path the settings give (links on that path
// are the administrator's set-up and are followed). With `expected` known,
// it must be that folder: kFolderReplaced otherwise. On a file system that
// does not keep its node numbers (FileSystem::KeepsNodeNumbers), a folder of
// the same device counts as that folder; the same holds for OpenUserFolder.
int OpenBoardFolder(FileSystem& fs, const std::string& path, const NodeId& expected, WorkFolder& out);

// Where an entry of a folder leads.
struct Place {
    explicit Place(FileSystem& fs) : own(fs) {}
    ScopedHandle own;           // the folder a link led to (invalid: the start)
    Handle dir;                 // the folder that holds the entry
    FileStat folder;            // that folder: its owner's rights are the ones to work in it with
    std::string name;           // the entry's name there
    bool followedLink = false;  // a link led there
};

// Resolves the entry `name` of the open folder `from` (`fromSt` what it
// is). An entry that is no symbolic link, or is missing, is itself. A link
// is followed only when it belongs to root or to the account the editor runs
// as, and so does every folder on its way, which no other account may
// change either (a sticky folder lets nobody replace another's entries);
// the board's own two folders (`ids`) are on the way as they are, since the
// work in them is done with their owner's rights. Each step opens the next
// folder through the last one, never letting the kernel follow a link; the
// links on the way pass the same rule. kForeignLink for a link the rule
// refuses, ELOOP after 40 links.
int Resolve(FileSystem& fs, Handle from, const FileStat& fromSt, const std::string& name, const BoardIds& ids,
            Place& out);

// Opens the per-user folder "user" of the open board folder, a link
// followed under the rule above. With `ids.user` known, it must be that
// folder: kFolderReplaced otherwise.
int OpenUserFolder(FileSystem& fs, const WorkFolder& board, const BoardIds& ids, WorkFolder& out);

// "user.txt" and "group.txt" as found in the board folder: no per-user
// file may be either of them.
struct DataFileIds {
    NodeId user;
    NodeId group;
    bool Holds(const FileStat& st) const { return user.Is(st) || group.Is(st); }
};
// Finds both where their names lead (a missing file has no identity).
// Returns 0, or an errno value with the name that could not be looked at.
int FindDataFiles(FileSystem& fs, const WorkFolder& board, const BoardIds& ids, DataFileIds& out,
                  std::string& failedName);

}  // namespace solne
