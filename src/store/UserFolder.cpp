// The per-user folder: its listing and the lookup of a user's file.
#include "store/UserFolder.h"

#include <cerrno>

#include "store/LinkRule.h"
#include "store/SafeWrite.h"

namespace solne {

int UserFolderIndex::Build(FileSystem& fs, const std::string& folder) {
    folder_ = folder;
    entries_.clear();
    exact_.clear();
    folded_.clear();
    foldedBuilt_ = false;
    journals_.clear();
    int err = fs.ListDir(folder, entries_);
    if (err == ENOENT) return 0;
    if (err != 0) return err;
    exact_.reserve(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
        const std::string& name = entries_[i].name;
        if (entries_[i].isRegular) exact_.emplace(name, i);
        if (name.starts_with('.') && name.ends_with("journal")) journals_.insert(name);
    }
    return 0;
}

bool UserFolderIndex::HasJournalOf(const std::string& name) const {
    return !journals_.empty() && journals_.contains(JournalName(name));
}

bool UserFolderIndex::IsLink(const std::string& name) const {
    auto it = exact_.find(name);
    return it != exact_.end() && entries_[it->second].isLink;
}

std::optional<UserFolderIndex::Match> UserFolderIndex::Find(const std::string& fileName) const {
    if (auto it = exact_.find(fileName); it != exact_.end()) return Match{entries_[it->second].name, false};
    if (!foldedBuilt_) {
        folded_.reserve(exact_.size());
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].isRegular) folded_[FoldCase(entries_[i].name)].push_back(i);
        foldedBuilt_ = true;
    }
    auto it = folded_.find(FoldCase(fileName));
    if (it == folded_.end() || it->second.size() != 1) return std::nullopt;
    return Match{entries_[it->second.front()].name, true};
}

int ReadListedHead(FileSystem& fs, const std::string& root, const UserFolderIndex& folder, Handle dir,
                   const std::string& name, size_t limit, std::string& out) {
    if (!folder.IsLink(name) && dir.valid()) {
        const bool journal = folder.HasJournalOf(name);
        if (journal) NameJournalFolder(folder.Folder());
        return ReadCurrentContentIn(fs, dir, name, out, limit, journal);
    }
    const std::string path = JoinPath(folder.Folder(), name);
    std::string target = path;
    if (folder.IsLink(name)) {
        if (int err = FollowLink(fs, root, path, target); err != 0) return err;
    }
    return ReadCurrentContent(fs, target, out, limit);
}

std::string FoldCase(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

std::string UserFileName(const std::string& userId) { return userId + ".txt"; }

bool IdIsSafePath(std::string_view userId) {
    return userId.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

}  // namespace solne
