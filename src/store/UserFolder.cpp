// The per-user folder: its listing and the lookup of a user's file.
#include "store/UserFolder.h"

#include <cerrno>

#include "store/SafeWrite.h"

namespace solne {

namespace {
size_t NameHash(std::string_view name) { return std::hash<std::string_view>{}(name); }
}  // namespace

int UserFolderIndex::Build(FileSystem& fs, Handle dir, const std::string& folder) {
    folder_ = folder;
    entries_.clear();
    exact_.clear();
    folded_.clear();
    foldedBuilt_ = false;
    journals_.clear();
    if (!dir.valid()) return 0;
    if (int err = fs.ReadFolder(dir, entries_); err != 0) return err;
    size_t slots = 16;
    while (slots < 2 * entries_.size()) slots *= 2;
    exact_.assign(slots, 0);
    for (size_t i = 0; i < entries_.size(); ++i) {
        const std::string& name = entries_[i].name;
        if (entries_[i].isRegular) {
            // A listing holds each name once.
            size_t at = NameHash(name) & (slots - 1);
            while (exact_[at] != 0) at = (at + 1) & (slots - 1);
            exact_[at] = uint32_t(i + 1);
        }
        if (name.starts_with('.') && name.ends_with("journal")) journals_.insert(name);
    }
    return 0;
}

long UserFolderIndex::EntryOf(std::string_view name) const {
    if (exact_.empty()) return -1;
    const size_t mask = exact_.size() - 1;
    for (size_t at = NameHash(name) & mask; exact_[at] != 0; at = (at + 1) & mask)
        if (entries_[exact_[at] - 1].name == name) return long(exact_[at] - 1);
    return -1;
}

bool UserFolderIndex::HasJournalOf(const std::string& name) const {
    return !journals_.empty() && journals_.contains(JournalName(name));
}

bool UserFolderIndex::IsLink(std::string_view name) const {
    const long i = EntryOf(name);
    return i >= 0 && entries_[size_t(i)].isLink;
}

std::optional<UserFolderIndex::Match> UserFolderIndex::Find(std::string_view fileName) const {
    if (long i = EntryOf(fileName); i >= 0) return Match{size_t(i), false};
    if (!foldedBuilt_) {
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].isRegular) folded_[FoldCase(entries_[i].name)].push_back(i);
        foldedBuilt_ = true;
    }
    auto it = folded_.find(FoldCase(fileName));
    if (it == folded_.end() || it->second.size() != 1) return std::nullopt;
    return Match{it->second.front(), true};
}

int ReadListedHead(FileSystem& fs, const UserFolderIndex& index, const WorkFolder& user, const BoardIds& ids,
                   const DataFileIds& data, const std::string& name, size_t limit, std::string& out) {
    return ReadListedHead(fs, index, user, ids, data, name, index.IsLink(name), limit, out);
}

int ReadListedHead(FileSystem& fs, const UserFolderIndex& index, const WorkFolder& user, const BoardIds& ids,
                   const DataFileIds& data, const std::string& name, bool isLink, size_t limit, std::string& out) {
    out.clear();
    if (!isLink) {
        OwnerRights rights(user.st.uid);
        if (rights.error() != 0) return rights.error();
        const bool journal = index.HasJournalOf(name);
        if (journal) NameJournalFolder(index.Folder());
        FileStat st;
        int err = ReadCurrentContentIn(fs, *user, name, out, limit, journal, &st);
        if ((err == 0 || err == EFBIG) && data.Holds(st)) {  // another name of a data file
            out.clear();
            return kDataFileAlias;
        }
        return err;
    }
    Place place(fs);
    if (int err = Resolve(fs, *user, user.st, name, ids, place); err != 0) return err;
    OwnerRights rights(place.folder.uid);
    if (rights.error() != 0) return rights.error();
    NameJournalFolder(index.Folder());
    FileStat st;
    int err = ReadCurrentContentIn(fs, place.dir, place.name, out, limit, true, &st);
    if ((err == 0 || err == EFBIG) && data.Holds(st)) {
        out.clear();
        return kDataFileAlias;
    }
    return err;
}

std::string FoldCase(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

std::string UserFileName(const std::string& userId) { return userId + ".txt"; }

bool IdIsSafePath(std::string_view userId) {
    for (char c : userId)
        if (c == '/' || c == '\\' || c == '\0') return false;
    return true;
}

}  // namespace solne
