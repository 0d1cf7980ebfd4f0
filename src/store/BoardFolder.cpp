// The board's folders, and the one rule by which links in them are followed.
#include "store/BoardFolder.h"

#include <cerrno>
#include <vector>

namespace solne {

namespace {

constexpr int kMaxLinks = 40;

// A folder on a link's way: the board's own, or one that only root or the
// editor's account can change.
bool FolderTrusted(const FileStat& st, const BoardIds& ids) {
    if (ids.board.Is(st) || ids.user.Is(st)) return true;
    return TrustedOwner(st.uid) && !OthersMayChange(st);
}

// The names of a link's text, without empty ones and ".".
std::vector<std::string> NamesOf(const std::string& text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= text.size()) {
        size_t cut = text.find_first_of(kPathSeparators, start);
        if (cut == std::string::npos) cut = text.size();
        std::string n = text.substr(start, cut - start);
        if (!n.empty() && n != ".") names.push_back(std::move(n));
        start = cut + 1;
    }
    return names;
}

// The folder an absolute link text starts from: "/" here, the drive on Windows.
int OpenRootOf(FileSystem& fs, const std::string& text, Handle& out, FileStat& st) {
#ifdef _WIN32
    if (text.size() < 3 || text[1] != ':') return EINVAL;  // no network paths
    const std::string root = text.substr(0, 2) + "\\";
#else
    (void)text;
    const std::string root = "/";
#endif
    if (int err = fs.OpenFolder(root, out); err != 0) return err;
    if (int err = fs.StatOf(out, st); err != 0) {
        fs.Close(out);
        out = Handle();
        return err;
    }
    return 0;
}

void Adopt(Place& place, Handle folder, const FileStat& st) {
    place.own.reset();
    place.own.get() = folder;
    place.dir = folder;
    place.folder = st;
}

int ResolveIn(FileSystem& fs, const BoardIds& ids, int& links, Place& out);

// Opens the folder `name` of `dir` for a link's way: a link there is
// followed under the rule, and the folder reached must be trusted.
int StepInto(FileSystem& fs, const BoardIds& ids, int& links, Handle dir, const FileStat& dirSt,
             const std::string& name, Handle& next, FileStat& nextSt) {
    int err;
    if (name == "..") {
        err = fs.OpenFolderAt(dir, "..", next, &nextSt);
    } else {
        Place sub(fs);
        sub.dir = dir;
        sub.folder = dirSt;
        sub.name = name;
        if ((err = ResolveIn(fs, ids, links, sub)) != 0) return err;
        err = fs.OpenFolderAt(sub.dir, sub.name, next, &nextSt);
    }
    if (err != 0) return err;
    if (!FolderTrusted(nextSt, ids)) {
        fs.Close(next);
        next = Handle();
        return kForeignLink;
    }
    return 0;
}

// Follows `out` (its folder and name set) until its name is no link.
int ResolveIn(FileSystem& fs, const BoardIds& ids, int& links, Place& out) {
    for (;;) {
        FileStat st;
        int err = fs.StatAt(out.dir, out.name, st);
        if (err == ENOENT) return 0;
        if (err != 0) return err;
        if (!st.isLink) return 0;
        if (++links > kMaxLinks) return ELOOP;
        std::string text;
        FileStat link;
        err = fs.ReadLinkAt(out.dir, out.name, text, link);
        if (err == EINVAL) continue;  // no longer a link: look again
        if (err != 0) return err;
        if (!TrustedOwner(link.linkUid)) return kForeignLink;
        out.followedLink = true;

        std::vector<std::string> names = NamesOf(text);
        if (names.empty() || names.back() == "..") return EINVAL;
        if (IsAbsolutePath(text)) {
#ifdef _WIN32
            if (names.front().size() == 2 && names.front()[1] == ':') names.erase(names.begin());  // "C:"
            if (names.empty()) return EINVAL;
#endif
            Handle root;
            FileStat rootSt;
            if ((err = OpenRootOf(fs, text, root, rootSt)) != 0) return err;
            Adopt(out, root, rootSt);
            if (!FolderTrusted(rootSt, ids)) return kForeignLink;
        }
        for (size_t i = 0; i + 1 < names.size(); ++i) {
            Handle next;
            FileStat nextSt;
            if ((err = StepInto(fs, ids, links, out.dir, out.folder, names[i], next, nextSt)) != 0) return err;
            Adopt(out, next, nextSt);
        }
        out.name = names.back();
    }
}

}  // namespace

namespace {

// Whether the folder just opened is the one identified before: the same
// node, or on a file system that does not keep its node numbers, a folder
// of the same device (the same mount) reached by the same path.
bool StillTheFolder(FileSystem& fs, const NodeId& expected, const WorkFolder& opened) {
    if (!expected.known || expected.Is(opened.st)) return true;
    return expected.dev == opened.st.dev && !fs.KeepsNodeNumbers(*opened.handle);
}

}  // namespace

int OpenBoardFolder(FileSystem& fs, const std::string& path, const NodeId& expected, WorkFolder& out) {
    out.handle.reset();
    if (int err = fs.OpenFolder(path, out.handle.get()); err != 0) return err;
    if (int err = fs.StatOf(*out.handle, out.st); err != 0) return err;
    if (!StillTheFolder(fs, expected, out)) return kFolderReplaced;
    return 0;
}

int Resolve(FileSystem& fs, Handle from, const FileStat& fromSt, const std::string& name, const BoardIds& ids,
            Place& out) {
    out.own.reset();
    out.dir = from;
    out.folder = fromSt;
    out.name = name;
    out.followedLink = false;
    int links = 0;
    return ResolveIn(fs, ids, links, out);
}

int OpenUserFolder(FileSystem& fs, const WorkFolder& board, const BoardIds& ids, WorkFolder& out) {
    out.handle.reset();
    Place place(fs);
    if (int err = Resolve(fs, *board, board.st, "user", ids, place); err != 0) return err;
    if (int err = fs.OpenFolderAt(place.dir, place.name, out.handle.get(), &out.st); err != 0) return err;
    if (!StillTheFolder(fs, ids.user, out)) return kFolderReplaced;
    return 0;
}

int FindDataFiles(FileSystem& fs, const WorkFolder& board, const BoardIds& ids, DataFileIds& out,
                  std::string& failedName) {
    out = DataFileIds();
    for (auto [name, id] : {std::pair{"user.txt", &out.user}, std::pair{"group.txt", &out.group}}) {
        Place place(fs);
        FileStat st;
        int err = Resolve(fs, *board, board.st, name, ids, place);
        if (err == 0) err = fs.StatAt(place.dir, place.name, st);
        if (err == ENOENT || err == kForeignLink) continue;  // nothing a per-user file could reach
        if (err != 0) {
            failedName = name;
            return err;
        }
        if (!st.isLink) *id = NodeId::Of(st);
    }
    return 0;
}

}  // namespace solne
