// The per-user folder as the store sees it: the listing (FindFirstFileW /
// FindNextFileW on Windows, readdir on Linux), the existence test
// (GetFileAttributesW / stat) and what a save would prune, on the same
// folder, against data/listing.txt (made once from the Linux side).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "Define/FileSystem.h"
#include "Vectors.h"
#include "common/TempBoard.h"
#include "store/Save.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using namespace solne;
using namespace solne::test;

namespace {

enum Kind { kFile, kFolder };

struct Entry {
    const char* name;
    Kind kind;
    bool readOnly = false;
    bool hidden = false;  // the hidden attribute (Windows)
    bool system = false;  // the system attribute (Windows)
};

const Entry kEntries[] = {
    {"u01.txt", kFile},
    {"U02.TXT", kFile},
    {"memo.txt", kFile},
    {"old.dat", kFile},
    {"noext", kFile},
    {".txt", kFile},
    {".board", kFile},
    {"ro.txt", kFile, true},
    {"ソ表.txt", kFile},
    {"日本語.dat", kFile},
    {"hidden.txt", kFile, false, true},
    {"system.txt", kFile, false, false, true},
    {"both.txt", kFile, false, true, true},
    {"hiddenro.txt", kFile, true, true},
    {"sub", kFolder},
    {"folder.txt", kFolder},
    {"hiddendir", kFolder, false, true},
};

#ifdef _WIN32
void SetAttributes(const std::string& path, const Entry& e) {
    std::wstring w = std::filesystem::path(std::u8string(path.begin(), path.end())).wstring();
    DWORD a = GetFileAttributesW(w.c_str());
    ASSERT_NE(a, INVALID_FILE_ATTRIBUTES) << path;
    a &= ~DWORD(FILE_ATTRIBUTE_ARCHIVE);
    if (e.readOnly) a |= FILE_ATTRIBUTE_READONLY;
    if (e.hidden) a |= FILE_ATTRIBUTE_HIDDEN;
    if (e.system) a |= FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(w.c_str(), a ? a : FILE_ATTRIBUTE_NORMAL)) << path;
}
#else
// POSIX has no hidden or system attribute: such entries are ordinary here.
void SetAttributes(const std::string& path, const Entry& e) {
    if (e.readOnly) {
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0) << path;
    }
}
#endif

// Where Windows (checked under Wine 8) and our POSIX layer give different
// answers on this folder. The store follows each platform's own rule: a
// hidden or system file is not the user's file on Windows (the board's own
// program does not see it either), while POSIX has no such attributes and
// keeps its dot names instead (a save never deletes them on either side).
const std::set<std::string> kWindowsListingDifferences = {
    "-hidden.txt\tregular\tyes\tdeleted", "+hidden.txt\tother\tno\tkept",
    "-system.txt\tregular\tyes\tdeleted", "+system.txt\tother\tno\tkept",
    "-both.txt\tregular\tyes\tdeleted",   "+both.txt\tother\tno\tkept",
    "-hiddenro.txt\tregular\tyes\tdeleted", "+hiddenro.txt\tother\tno\tkept",
};

}  // namespace

TEST(ListingVectors, PerUserFolderListedAndPrunedAsTheTableSays) {
    TempDir dir;
    const std::string board = dir / "board";
    WriteBytes(board + "/user.txt", "u01,p,0\r\nu02,p,0\r\n,p,0\r\n");
    WriteBytes(board + "/group.txt", "");
    const std::string folder = board + "/user";
    for (const Entry& e : kEntries) {
        const std::string path = folder + "/" + e.name;
        if (e.kind == kFolder) std::filesystem::create_directories(std::filesystem::path(std::u8string(path.begin(), path.end())));
        else WriteBytes(path, "username=x\r\nstatus=0\r\nplan=\r\n");
        SetAttributes(path, e);
    }

    FileSystem& fs = RealFileSystem();
    std::vector<DirEntry> listed;
    ASSERT_EQ(fs.ListDir(folder, listed), 0);
    std::map<std::string, bool> regular;
    for (auto& l : listed) regular[l.name] = l.isRegular;

    UserTable users(3);
    users[0].UserId = "u01";
    users[1].UserId = "u02";  // "U02.TXT" by letter case
    const auto doomed = FilesPruneWouldDelete(fs, BoardPaths::For(board), users);

    std::vector<std::string> lines;
    for (const Entry& e : kEntries) {
        std::string line = e.name;
        auto it = regular.find(e.name);
        line += it == regular.end() ? "\tnot listed" : it->second ? "\tregular" : "\tother";
        line += FileExists(fs, folder + "/" + e.name) ? "\tyes" : "\tno";
        line += std::find(doomed.begin(), doomed.end(), e.name) != doomed.end() ? "\tdeleted" : "\tkept";
        lines.push_back(line);
    }
    EXPECT_EQ(listed.size(), std::size(kEntries)) << "every entry but \".\" and \"..\" is listed";
    // Restore write access so the folder can be removed.
    for (const Entry& e : kEntries)
        if (e.readOnly) std::filesystem::permissions(std::filesystem::u8path(folder + "/" + e.name),
                                                     std::filesystem::perms::owner_write,
                                                     std::filesystem::perm_options::add);

    const char* header =
        "The per-user folder listed: name, TAB, listed as regular / other, TAB, existence test,\n"
        "TAB, what a save with users u01, u02 and a blank one does with it. Made from the Linux side.";
    if (WriteVectorsIfAsked("listing.txt", header, lines)) return;
    std::set<std::string> named;
#ifdef _WIN32
    named = kWindowsListingDifferences;
#endif
    std::set<std::string> diffs = LineDifferences(ExpectedLines("listing.txt"), lines);
    std::set<std::string> unnamed, unseen;
    for (auto& d : diffs)
        if (!named.contains(d)) unnamed.insert(d);
    for (auto& d : named)
        if (!diffs.contains(d)) unseen.insert(d);
    EXPECT_TRUE(unnamed.empty()) << "differences not named:\n" << ShowSome(unnamed);
    EXPECT_TRUE(unseen.empty()) << "named differences that did not occur:\n" << ShowSome(unseen);
}
