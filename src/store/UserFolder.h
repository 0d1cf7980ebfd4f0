// The per-user folder: the file name of a user's file, and the folder's
// listing with the lookup by exact and by case-insensitive name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Define/FileSystem.h"
#include "store/BoardFolder.h"

namespace solne {

// Per-user file name of a user ID: the ID followed by ".txt".
std::string UserFileName(const std::string& userId);

// Whether an ID may be used to build a path: no "/", "\" or NUL.
bool IdIsSafePath(std::string_view userId);

// Lower-cases ASCII letters (the case folding used for per-user file names
// and for the names of the settings file).
std::string FoldCase(std::string_view name);

// The per-user folder as listed once: finds a user's file by its exact name,
// else by the one file whose name matches case-insensitively.
class UserFolderIndex {
public:
    // Lists the open folder `dir` (`folder` is its path, for reports). An
    // invalid handle (no folder) gives an empty index.
    int Build(FileSystem& fs, Handle dir, const std::string& folder);

    struct Match {
        size_t entry = 0;       // the file's entry in the listing (Entries)
        bool caseOnly = false;  // found by a case-insensitive match
    };
    // Exact name "<id>.txt" when such a regular file exists (a dot name
    // included), else the single case-insensitive match, else nullopt.
    std::optional<Match> Find(std::string_view fileName) const;

    // The entry of the regular file of exactly this name, or -1.
    long EntryOf(std::string_view name) const;
    // Whether the listing holds a regular file of exactly this name that
    // is a symbolic link.
    bool IsLink(std::string_view name) const;
    // Whether the listing holds an entry of any kind under the name of the
    // journal of `name` (it is then judged, and named when not trusted).
    bool HasJournalOf(const std::string& name) const;

    const std::vector<DirEntry>& Entries() const { return entries_; }
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    std::vector<DirEntry> entries_;
    // The regular files by exact name: an open-addressed table of entry
    // numbers plus one (0: free), at least twice as large as needed; built
    // in one pass and never grown, so a lookup costs no allocation.
    std::vector<uint32_t> exact_;
    // Lower-case name to regular files; built on the first lookup that needs it.
    mutable std::unordered_map<std::string, std::vector<size_t>> folded_;
    mutable bool foldedBuilt_ = false;
    std::unordered_set<std::string> journals_;  // entries named like journals
};

// Reads up to `limit` bytes of the listed file `name` of the open per-user
// folder `user` as the editor must see it: with the rights of the folder's
// owner, an interrupted rewrite read from its journal, a link followed only
// under the board's link rule (BoardFolder.h) and never to "user.txt" or
// "group.txt" (`data`: kDataFileAlias). EFBIG: the file is longer.
int ReadListedHead(FileSystem& fs, const UserFolderIndex& index, const WorkFolder& user, const BoardIds& ids,
                   const DataFileIds& data, const std::string& name, size_t limit, std::string& out);
// The same for an entry already found, whose `isLink` is known (Match).
int ReadListedHead(FileSystem& fs, const UserFolderIndex& index, const WorkFolder& user, const BoardIds& ids,
                   const DataFileIds& data, const std::string& name, bool isLink, size_t limit, std::string& out);

}  // namespace solne
