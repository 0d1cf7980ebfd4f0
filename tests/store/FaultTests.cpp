// Faults during a save: one failed file operation at every step of a save,
// and saves killed at random moments. Either way every file of the board is
// whole (its content before the save or after it), no temporary file is
// taken for a board file, and a later save completes the board.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Define/FileSystem.h"
#include "common/FaultyFileSystem.h"
#include "common/FolderState.h"
#include "common/SaveReports.h"
#include "common/TempBoard.h"
#include "store/Journal.h"
#include "store/Load.h"
#include "store/SafeWrite.h"
#include "store/Save.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

namespace solne {
namespace {

namespace fs = std::filesystem;
using test::FaultyFileSystem;
using test::Describe;
using test::FolderState;
using test::FsOp;
using test::MemoryScratchParent;
using test::ReadFolderState;
using test::TempDir;

// ------------------------------------------------------------ board state

// The names the save gives its temporary files: a dot, then ".solne-".
bool IsTemporary(const std::string& path) {
    std::string name = NameOf(path);
    return name.starts_with('.') && name.find(".solne-") != std::string::npos;
}

bool IsJournal(const std::string& path) { return IsTemporary(path) && path.ends_with(".solne-journal"); }

std::vector<std::string> TemporaryFiles(const FolderState& state) {
    std::vector<std::string> out;
    for (auto& [path, e] : state)
        if (path.find(".solne-") != std::string::npos && !IsJournal(path)) out.push_back(path);
    return out;
}

// The board as the loader reads it: a file whose rewrite was interrupted
// reads as the old content its journal ".NAME.solne-journal" keeps.
FolderState AsRead(FolderState s) {
    std::vector<std::string> journals;
    for (auto& [path, e] : s)
        if (IsJournal(path)) journals.push_back(path);
    for (auto& j : journals) {
        size_t slash = j.rfind('/');
        std::string folder = slash == std::string::npos ? "" : j.substr(0, slash + 1);
        std::string name = NameOf(j);
        std::string file = folder + name.substr(1, name.size() - 1 - std::string(".solne-journal").size());
        // Past its header (the journals of an earlier version had none).
        std::string_view content = s[j].bytes;
        if (JournalHeader h; ParseJournalHeader(content, h)) content.remove_prefix(kJournalHeaderBytes);
        s[file].bytes = std::string(content);
        s.erase(j);
    }
    return s;
}

void ExpectSnapshotOf(const std::string& path, const FileSnapshot& snapshot) {
    FileStat st;
    ASSERT_EQ(RealFileSystem().Stat(path, st), 0) << path;
    EXPECT_EQ(snapshot, SnapshotOf(true, st, test::ReadBytes(path))) << path;
}


// ------------------------------------------------- a fault at every step

// Errors a file system really gives for each kind of operation.
int UsualErrno(FsOp op) {
    switch (op) {
    case FsOp::ReadFile:
    case FsOp::Write:
    case FsOp::Sync:
    case FsOp::Close: return EIO;
    case FsOp::Chmod:
    case FsOp::Chown: return EPERM;  // not the file's owner
    default: return EACCES;
    }
}

// A full disk: only what writes data fails.
bool WritesData(FsOp op) {
    return op == FsOp::OpenWrite || op == FsOp::Write || op == FsOp::Sync || op == FsOp::Close ||
           op == FsOp::Reserve || op == FsOp::Truncate;
}
int DiskFullErrno(FsOp op) { return op == FsOp::Close ? EDQUOT : ENOSPC; }

// The steps a report may give for a failed operation of each kind.
// ("属性の変更": setting "normal" looks at the file first; "読み込み": a
// per-user file is read before it is written.)
const std::map<FsOp, std::set<std::string>> kStepsOf = {
    {FsOp::Stat, {"情報の取得", "属性の変更", "読み込み"}},
    {FsOp::ReadFile, {"読み込み"}},
    {FsOp::ListDir, {"一覧の取得"}},
    {FsOp::RealPath, {"情報の取得", "属性の変更", "読み込み"}},
    {FsOp::OpenFolder, {"フォルダを開く", "作成", "情報の取得", "属性の変更", "不要なファイルの削除"}},
    {FsOp::ReadLink, {"情報の取得", "リンク先の取得"}},
    // (Operations on a folder are reported with the file they were for.)
    {FsOp::StatAt, {"情報の取得", "名前の変更"}},
    {FsOp::OpenWrite, {"作成", "書き込み用に開く"}},
    {FsOp::OpenRead, {"属性の変更", "読み込み"}},
    {FsOp::Rename, {"名前の変更"}},
    {FsOp::Unlink, {"削除"}},
    // (The board folder and the per-user folder are identified on their descriptors.)
    {FsOp::StatOf, {"情報の取得", "書き込み用に開く", "属性の変更", "読み込み", "フォルダを開く", "不要なファイルの削除"}},
    {FsOp::Read, {"読み込み"}},
    {FsOp::Write, {"書き込み"}},
    {FsOp::Seek, {"書き込み", "読み込み"}},
    {FsOp::Truncate, {"書き込み"}},
    {FsOp::Reserve, {"書き込み"}},
    {FsOp::Sync, {"ディスクへの書き出し"}},
    {FsOp::Close, {"書き込み"}},
    {FsOp::Chmod, {"属性の変更"}},
    {FsOp::Chown, {"所有者の変更"}},
};

// Failures a save may leave unreported: closing a handle it only read or
// listed through (nothing was written), the housekeeping that removes
// temporary files of crashed saves, and a shortcut with a fallback.
bool MayGoUnreported(const std::vector<FaultyFileSystem::Call>& calls, int k, const std::string& root) {
    const FaultyFileSystem::Call& c = calls[k - 1];
    if (c.op == FsOp::ListDir && c.path == root) return true;
    // The per-user folder is opened once for speed; without it each file
    // opens it again itself.
    if (c.op == FsOp::OpenFolder && c.path == root + "/user") return true;
    if (c.op != FsOp::Close) return false;
    // The open this close belongs to: handles of one path are closed in
    // the reverse order of their opening.
    int laterCloses = 0;
    for (int i = k - 2; i >= 0; --i) {
        const auto& o = calls[i];
        if (o.path != c.path) continue;
        if (o.op == FsOp::Close) {
            ++laterCloses;
        } else if (o.result == 0 && (o.op == FsOp::OpenWrite || o.op == FsOp::OpenRead || o.op == FsOp::OpenFolder)) {
            if (laterCloses-- == 0) return o.op != FsOp::OpenWrite;
        }
    }
    return false;
}

// The board file a failed operation works on: the target of a temporary
// file, the destination of a rename, else the path itself.
std::string FileMeant(const FaultyFileSystem::Call& call) {
    std::string path = call.path;
    if (call.op == FsOp::Rename) path = path.substr(path.find(" -> ") + 4);
    size_t slash = path.rfind('/');
    std::string name = path.substr(slash + 1);
    size_t tag = name.find(".solne-");
    if (name.starts_with('.') && tag != std::string::npos && tag > 1)
        return path.substr(0, slash + 1) + name.substr(1, tag - 1);
    return path;
}

// Whether one of the first `count` operations renamed a file onto `path`.
bool RenamedOnto(const std::vector<FaultyFileSystem::Call>& calls, int count, const std::string& path) {
    for (int i = 0; i < count; ++i)
        if (calls[i].op == FsOp::Rename && calls[i].path.ends_with(" -> " + path)) return true;
    return false;
}

class FaultTest : public ::testing::Test {
protected:
    // A small office: five users with their files (one of them a symbolic
    // link into another folder, one with a second name there, two with
    // long memos the save streams from disk), a memo left in the per-user
    // folder, a dot file the board keeps there.
    void WriteBoardBefore() {
        ASSERT_FALSE(dir.path().empty()) << "no folder for the board";
        fs::remove_all(dir.path());
        fs::create_directory(dir.path());
        auto withMemo = [](std::vector<std::string> lines) {
            for (int i = 0; i < 400; ++i) lines.push_back("memo" + std::to_string(i) + "=予定の控え");
            return lines;
        };
        test::WriteBoard(dir.path(),
                         {{"u01,pass1,1", "u02,pw,2", "u03,,1", "u04,x,3", "u06,y,1"},
                          {"1,営業", "2,総務", "3,開発"},
                          {{"u01", {"username=山田", "status=1", "plan=会議"}},
                           {"u02", {"username=佐藤", "status=0", "plan="}},
                           {"u03", withMemo({"username=鈴木", "status=2,外出,15時", "plan=明日休み"})},
                           {"u06", withMemo({"username=渡辺", "status=3", "plan=出張"})}}});
        test::WriteBytes(dir / "shared/u04.txt", test::SjisLines({"username=高橋", "status=0", "plan=", "memo=x"}));
        ::symlink("../shared/u04.txt", (dir / "user/u04.txt").c_str());
        ::link((dir / "user/u06.txt").c_str(), (dir / "shared/u06-copy.txt").c_str());
        test::WriteBytes(dir / "user/memo.txt", "memo");
        test::WriteBytes(dir / "user/.board", "keep");
        paths = BoardPaths::For(dir.path());
        // The editor leaves both data files read-only between saves.
        ::chmod(paths.UserFilePath.c_str(), 0444);
        ::chmod(paths.GroupFilePath.c_str(), 0444);
    }

    // The tables as the window holds them when the user saves: a display
    // name changed, a user deleted, a user added, a group renamed.
    LoadedBoard EditedTables() {
        LoadedBoard b;
        auto err = LoadBoard(RealFileSystem(), paths, b);
        EXPECT_FALSE(err.has_value()) << err->ToString();
        b.Users[0].UserName = "山田花子";
        b.Users[3].UserName = "高橋一郎";
        b.Users[4].UserName = "渡辺恵";
        RemoveUserAt(b.Users, 1);
        int slot = AppendUser(b.Users);
        b.Users[slot] = UserInfo{"u05", "伊藤", "new", 3, "開発", "", ""};
        b.Groups[1].GroupName = "総務部";
        return b;
    }

    TempDir dir{MemoryScratchParent()};
    BoardPaths paths;
};

// Runs the save once per file operation it performs, failing operation k on
// run k; a second pass does the same with a full disk for the operations
// that write data.
TEST_F(FaultTest, FaultAtEveryStepIsReportedAndLeavesWholeFiles) {
    WriteBoardBefore();
    const FolderState before = ReadFolderState(dir.path());
    LoadedBoard reference = EditedTables();
    FileSnapshot userSnap = reference.userFile, groupSnap = reference.groupFile;
    FaultyFileSystem counting;
    SaveReport r = SaveBoard(counting, paths, reference.Users, reference.Groups, &userSnap, &groupSnap);
    ASSERT_TRUE(r.ok()) << Describe(r);
    const FolderState intended = ReadFolderState(dir.path());
    const std::vector<FaultyFileSystem::Call> operations = counting.calls();
    ASSERT_NE(intended, before);
    if (std::getenv("SOLNE_FAULTS_LIST"))  // to see which operation k is
        for (size_t i = 0; i < operations.size(); ++i)
            std::printf("%2zu %s %s\n", i + 1, FsOpName(operations[i].op), operations[i].path.c_str());

    std::set<FsOp> kinds;
    for (auto& c : operations) kinds.insert(c.op);
    for (FsOp op : {FsOp::ListDir, FsOp::ReadLink, FsOp::OpenFolder, FsOp::StatAt,
                    FsOp::OpenWrite, FsOp::OpenRead, FsOp::Rename, FsOp::Unlink, FsOp::StatOf, FsOp::Read,
                    FsOp::Write, FsOp::Seek, FsOp::Truncate, FsOp::Reserve, FsOp::Sync, FsOp::Close, FsOp::Chmod})
        EXPECT_TRUE(kinds.contains(op)) << FsOpName(op) << " is among the operations tried";

    struct Pass {
        const char* name;
        int (*errFor)(FsOp);
        bool (*applies)(FsOp);
    } passes[] = {{"usual errors", UsualErrno, [](FsOp) { return true; }},
                  {"disk full", DiskFullErrno, WritesData}};
    int tried = 0;
    for (const Pass& pass : passes) {
        for (int k = 1; k <= int(operations.size()); ++k) {
            if (!pass.applies(operations[k - 1].op)) continue;
            ++tried;
            WriteBoardBefore();
            LoadedBoard b = EditedTables();
            FileSnapshot userSnap = b.userFile, groupSnap = b.groupFile;
            FaultyFileSystem faulty;
            faulty.FailNth(k, pass.errFor);
            SaveReport report = SaveBoard(faulty, paths, b.Users, b.Groups, &userSnap, &groupSnap);

            ASSERT_GE(faulty.count(), k);
            const FaultyFileSystem::Call failed = faulty.calls()[k - 1];
            const int err = pass.errFor(failed.op);
            SCOPED_TRACE(std::string(pass.name) + ", operation " + std::to_string(k) + ": " + FsOpName(failed.op) +
                         " " + failed.path + " (" + ErrorText(err) + ")");

            if (report.ok()) {
                // Only remembering a data file just written may go without
                // its look at the file: size and hash are those written.
                EXPECT_TRUE(((failed.op == FsOp::Stat || failed.op == FsOp::StatAt) &&
                             RenamedOnto(faulty.calls(), k - 1, failed.path)) ||
                            MayGoUnreported(faulty.calls(), k, dir.path()))
                    << "unreported";
                EXPECT_EQ(ReadFolderState(dir.path()), intended);
                for (auto [path, snap] : {std::pair{paths.UserFilePath, userSnap}, {paths.GroupFilePath, groupSnap}}) {
                    std::string bytes = test::ReadBytes(path);
                    EXPECT_EQ(snap.size, int64_t(bytes.size())) << path;
                    EXPECT_EQ(snap.hash, HashBytes(bytes)) << path;
                }
                continue;
            }
            // Reported, with the file and a step that fits the operation.
            EXPECT_FALSE(report.refused);
            // (A user's file behind a symbolic link may be named by the link.)
            const std::string meant = fs::weakly_canonical(FileMeant(failed)).string();
            const std::set<std::string>& steps = kStepsOf.at(failed.op);
            bool named = false;
            for (auto& f : report.failures) {
                const std::string file = fs::weakly_canonical(f.file).string();
                // A folder that cannot be opened fails the files in it.
                const bool inFolder = fs::is_directory(meant) && file.starts_with(meant + "/");
                named |= (file == meant || inFolder) && steps.contains(f.step) && f.Reason() == ErrorText(err);
            }
            EXPECT_TRUE(named) << "expected " << meant << " in:\n" << Describe(report);

            // Every file whole: as before or as intended, never gone when
            // both keep it (a file with a journal reads as its journal).
            const FolderState raw = ReadFolderState(dir.path());
            const FolderState now = AsRead(raw);
            for (auto& [path, e] : now) {
                auto was = before.find(path), will = intended.find(path);
                bool bytesOk = (was != before.end() && was->second.bytes == e.bytes) ||
                               (will != intended.end() && will->second.bytes == e.bytes);
                EXPECT_TRUE(bytesOk) << path << " is neither its old nor its new content";
                // A data file whose "read-only" step failed keeps the owner's write bit.
                bool dataFile = path == "user.txt" || path == "group.txt";
                bool modeOk = (was != before.end() && was->second.mode == e.mode) ||
                              (will != intended.end() &&
                               (will->second.mode == e.mode || (dataFile && (will->second.mode | S_IWUSR) == e.mode)));
                EXPECT_TRUE(modeOk) << path << " mode " << std::oct << e.mode;
            }
            for (auto& [path, e] : before) {
                if (intended.contains(path)) {
                    EXPECT_TRUE(now.contains(path)) << path << " is gone";
                }
            }
            EXPECT_EQ(TemporaryFiles(raw), std::vector<std::string>{});

            // A second save with nothing failing completes the board.
            SaveReport again = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups, &userSnap, &groupSnap);
            EXPECT_TRUE(again.ok()) << Describe(again);
            EXPECT_EQ(ReadFolderState(dir.path()), intended);
            ExpectSnapshotOf(paths.UserFilePath, userSnap);
            ExpectSnapshotOf(paths.GroupFilePath, groupSnap);
        }
    }
    std::printf("fault points tried: %d (%zu operations per save)\n", tried, operations.size());
    RecordProperty("fault_points", tried);
}

// A file rewritten in place (it has a second name) whose rewrite fails and
// whose old content cannot be written back either: the journal keeps the
// old content, the report says so, the loader reads the old content, and
// the next save puts it back before writing.
TEST_F(FaultTest, InPlaceRewriteThatCannotBeUndoneKeepsItsJournal) {
    WriteBoardBefore();
    const std::string u06 = JoinPath(paths.UserFolder(), "u06.txt");
    const std::string old = test::ReadBytes(u06);
    LoadedBoard b = EditedTables();
    FaultyFileSystem faulty;
    faulty.FailKind(FsOp::Write, ENOSPC, u06);
    SaveReport r = SaveBoard(faulty, paths, b.Users, b.Groups);
    ASSERT_EQ(r.failures.size(), 1u) << Describe(r);
    EXPECT_EQ(r.failures[0].ToString(),
              u06 + "（書き込み（元の内容に戻せず、控えのファイルに残しました））: " + ErrorText(ENOSPC));
    const std::string journal = test::ReadBytes(paths.UserFolder() + "/.u06.txt.solne-journal");
    JournalHeader header;
    ASSERT_TRUE(ParseJournalHeader(journal, header));
    EXPECT_EQ(journal.substr(kJournalHeaderBytes), old);
    EXPECT_EQ(header.size, int64_t(old.size()));
    EXPECT_EQ(b.Users[3].UserId, "u06");
    EXPECT_EQ(b.Users[3].StatusLine, "status=3") << "a slot records only what was written";

    LoadedBoard loaded;
    ASSERT_FALSE(LoadBoard(RealFileSystem(), paths, loaded).has_value());
    ASSERT_EQ(loaded.Users[3].UserId, "u06");
    EXPECT_EQ(loaded.Users[3].UserName, "渡辺") << "the old name, from the journal";

    SaveReport again = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups);
    EXPECT_TRUE(again.ok()) << Describe(again);
    EXPECT_FALSE(test::PathExists(paths.UserFolder() + "/.u06.txt.solne-journal"));
    EXPECT_EQ(test::ReadBytes(dir / "shared/u06-copy.txt"), test::ReadBytes(u06)) << "still one file";
    EXPECT_NE(test::ReadBytes(u06), old);
}

// ------------------------------------------------ a link swapped in anywhere

// Plays the account that owns the board folder: right before each file
// operation of a save, the file that operation works on is replaced by a
// link to a file of another account outside the board. Whatever the save
// reports, that file keeps its bytes, mode and owner, and no board file
// becomes it. Running as root (the editor may), the board belongs to
// another account, so the save gives files away with fchown.
TEST_F(FaultTest, LinkSwappedInAtEveryStepNeverReachesOutside) {
    TempDir outside{MemoryScratchParent()};
    ASSERT_FALSE(outside.path().empty());
    const std::string secret = outside / "secret";
    test::WriteBytes(secret, "root only");
    ::chmod(secret.c_str(), 0600);
    const bool root = ::geteuid() == 0;
    const AccountId boardOwner = root ? 4242 : ::geteuid();
    auto prepare = [&] {
        WriteBoardBefore();
        if (!root) return;
        // The link to "shared" and that folder are the administrator's: the
        // board's account makes no link that root's save follows.
        for (auto& e : fs::recursive_directory_iterator(dir.path())) {
            const std::string p = e.path().string();
            if (p == dir / "user/u04.txt" || p == dir / "shared") continue;
            ASSERT_EQ(::lchown(p.c_str(), boardOwner, boardOwner), 0);
        }
    };
    prepare();
    LoadedBoard reference = EditedTables();
    FaultyFileSystem counting;
    ASSERT_TRUE(SaveBoard(counting, paths, reference.Users, reference.Groups).ok());
    const int operations = counting.count();

    struct stat before {};
    ASSERT_EQ(::stat(secret.c_str(), &before), 0);
    int swapped = 0;
    for (int k = 1; k <= operations; ++k) {
        prepare();
        LoadedBoard b = EditedTables();
        FaultyFileSystem attacked;
        attacked.SwapForLinkBeforeNth(k, secret, boardOwner);
        SaveReport r = SaveBoard(attacked, paths, b.Users, b.Groups);
        SCOPED_TRACE("operation " + std::to_string(k) + ", swapped " + attacked.SwappedPath());
        swapped += !attacked.SwappedPath().empty();
        struct stat now {};
        ASSERT_EQ(::stat(secret.c_str(), &now), 0);
        EXPECT_EQ(test::ReadBytes(secret), "root only");
        EXPECT_EQ(now.st_mode, before.st_mode);
        EXPECT_EQ(now.st_uid, before.st_uid);
        EXPECT_EQ(now.st_gid, before.st_gid);
        EXPECT_EQ(now.st_nlink, 1u) << "no board name was given to it";
        // The board itself: it loads, or names the planted link.
        LoadedBoard after;
        if (auto e = LoadBoard(RealFileSystem(), paths, after)) {
            EXPECT_EQ(e->Reason(), ErrorText(kForeignLink)) << e->ToString() << Describe(r);
        }
    }
    EXPECT_GT(swapped, operations / 2);
    std::printf("link swapped in before each of %d operations (%d swaps)\n", operations, swapped);
}

// -------------------------------------------------------- killed mid-save

// A board of `users` users with their files, `users / 10` groups, a memo
// in the per-user folder; data files read-only.
void WriteLargeBoard(const std::string& folder, int users) {
    test::BoardFiles files;
    int groups = std::max(1, users / 10);
    for (int g = 1; g <= groups; ++g) files.groupLines.push_back(std::to_string(g) + ",部署" + std::to_string(g));
    for (int i = 0; i < users; ++i) {
        std::string id = "u" + std::to_string(100000 + i);
        files.userLines.push_back(id + ",pw" + std::to_string(i) + "," + std::to_string(1 + i % groups));
        files.perUser.push_back({id, {"username=利用者" + std::to_string(i), "status=" + std::to_string(i % 4) + ",外出",
                                      i % 3 ? "plan=" : "plan=15時戻り"}});
    }
    test::WriteBoard(folder, files);
    test::WriteBytes(folder + "/user/memo.txt", "memo");
    ::chmod((folder + "/user.txt").c_str(), 0444);
    ::chmod((folder + "/group.txt").c_str(), 0444);
}

// Every display name changed, a few users deleted and added, a group renamed.
void EditEverything(LoadedBoard& b) {
    for (auto& u : b.Users) u.UserName = "改" + u.UserName;
    int n = int(b.Users.size());
    RemoveUsersAt(b.Users, {1, n / 3, n / 2, n - 2});
    for (int i = 0; i < 4; ++i) {
        int slot = AppendUser(b.Users);
        b.Users[slot] = UserInfo{"new" + std::to_string(i), "新人" + std::to_string(i), "pw", 1, "", "", ""};
    }
    b.Groups[0].GroupName = "改称した部署";
}

// Second names in "links/" for "user.txt" and every third per-user file:
// those files cannot be replaced by renaming and are rewritten in place.
void AddHardLinks(const std::string& folder) {
    fs::remove_all(folder + "/links");
    fs::create_directory(folder + "/links");
    ASSERT_EQ(::link((folder + "/user.txt").c_str(), (folder + "/links/user.txt").c_str()), 0);
    for (int i = 0; i < 100000; i += 3) {
        std::string name = "u" + std::to_string(100000 + i) + ".txt";
        if (::link((folder + "/user/" + name).c_str(), (folder + "/links/" + name).c_str()) != 0) break;
    }
}

// The board file a second name in "links/" stands for.
std::string LinkedFile(const std::string& path) {
    std::string name = NameOf(path);
    return name == "user.txt" ? name : "user/" + name;
}

// The board as the loader reads it, second names included: a second name
// of a file with a journal reads as that file.
FolderState AsReadWithLinks(const FolderState& raw) {
    FolderState s = AsRead(raw);
    for (auto& [path, e] : s)
        if (path.starts_with("links/") && s.contains(LinkedFile(path))) e.bytes = s.at(LinkedFile(path)).bytes;
    return s;
}

// Every file of `now` holds the bytes it had in `oldState` or has in
// `newState`, and no file both keep is gone. A temporary file of the save
// (no journal) may lie beside them where `temporariesAllowed`.
void ExpectEveryFileOldOrNew(const FolderState& now, const FolderState& oldState, const FolderState& newState,
                             bool temporariesAllowed) {
    for (auto& [path, e] : now) {
        auto was = oldState.find(path), will = newState.find(path);
        if (temporariesAllowed && was == oldState.end() && will == newState.end()) {
            EXPECT_TRUE(IsTemporary(path) && !IsJournal(path)) << path << " is no board file";
            continue;
        }
        EXPECT_TRUE((was != oldState.end() && was->second.bytes == e.bytes) ||
                    (will != newState.end() && will->second.bytes == e.bytes))
            << path << " is neither old nor new";
    }
    for (auto& [path, e] : oldState) {
        if (newState.contains(path)) {
            EXPECT_TRUE(now.contains(path)) << path << " is gone";
        }
    }
}

int JournalsIn(const FolderState& s) {
    int n = 0;
    for (auto& [path, e] : s) n += IsJournal(path);
    return n;
}

void CopyBoard(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
    AddHardLinks(to);
}


TEST(CrashTest, SaveKilledAtRandomMomentsLeavesOldOrNewFiles) {
    const bool full = std::getenv("SOLNE_CRASH_FULL") && std::string(std::getenv("SOLNE_CRASH_FULL")) == "1";
    const int users = full ? 10000 : 1000;
    const int kills = full ? 50 : 10;
    const char* seedText = std::getenv("SOLNE_CRASH_SEED");
    const uint64_t seed = seedText ? std::strtoull(seedText, nullptr, 10) : std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (SOLNE_CRASH_SEED repeats it)");
    std::mt19937_64 rng(seed);
    const auto started = std::chrono::steady_clock::now();

    TempDir root{MemoryScratchParent()};
    ASSERT_FALSE(root.path().empty()) << "no folder for the boards";
    const std::string pristine = root / "pristine", board = root / "board", reference = root / "reference";
    WriteLargeBoard(pristine, users);
    AddHardLinks(pristine);
    const FolderState oldState = ReadFolderState(pristine);
    LoadedBoard edited;
    auto err = LoadBoard(RealFileSystem(), BoardPaths::For(pristine), edited);
    ASSERT_FALSE(err.has_value()) << err->ToString();
    EditEverything(edited);

    // The same save in another folder: the new content, and how long a save
    // takes (the shorter of two, so a busy moment does not stretch it).
    auto timeSave = [&] {
        CopyBoard(pristine, reference);
        UserTable copy = edited.Users;
        auto t0 = std::chrono::steady_clock::now();
        SaveReport r = SaveBoard(RealFileSystem(), BoardPaths::For(reference), copy, edited.Groups);
        auto took = std::chrono::steady_clock::now() - t0;
        EXPECT_TRUE(r.ok()) << Describe(r);
        return std::chrono::duration_cast<std::chrono::microseconds>(took);
    };
    const std::chrono::microseconds saveTime = std::min(timeSave(), timeSave());
    const FolderState newState = ReadFolderState(reference);
    ASSERT_NE(oldState, newState);

    const BoardPaths boardPaths = BoardPaths::For(board);
    int killedMidSave = 0, interruptedRewrites = 0;
    for (int run = 0; run < kills && !HasFatalFailure(); ++run) {
        const auto delay = std::chrono::microseconds(
            std::uniform_int_distribution<int64_t>(0, saveTime.count())(rng));
        SCOPED_TRACE("run " + std::to_string(run) + ", killed after " + std::to_string(delay.count()) + " µs");
        CopyBoard(pristine, board);

        int ready[2] = {-1, -1};
        ASSERT_EQ(::pipe(ready), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            char go = 1;
            if (::write(ready[1], &go, 1) != 1) ::_exit(3);
            SaveReport r = SaveBoard(RealFileSystem(), boardPaths, edited.Users, edited.Groups);
            ::_exit(r.ok() ? 0 : 1);
        }
        ::close(ready[1]);
        char go = 0;
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ::close(ready[0]);
        std::this_thread::sleep_for(delay);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (WIFSIGNALED(status)) {
            ASSERT_EQ(WTERMSIG(status), SIGKILL);
            ++killedMidSave;
        } else {
            ASSERT_TRUE(WIFEXITED(status));
            ASSERT_EQ(WEXITSTATUS(status), 0) << "the save ended before the kill and failed";
        }

        // The board loads, and every file reads old or new, never partial
        // (a file whose rewrite in place was cut short reads as its journal).
        LoadedBoard loaded;
        auto loadErr = LoadBoard(RealFileSystem(), boardPaths, loaded);
        EXPECT_FALSE(loadErr.has_value()) << loadErr->ToString();
        const FolderState raw = ReadFolderState(board);
        interruptedRewrites += JournalsIn(raw);
        const FolderState now = AsReadWithLinks(raw);
        ExpectEveryFileOldOrNew(now, oldState, newState, /*temporariesAllowed=*/true);

        // Saving again completes the board, rolls back a rewrite cut
        // short, and removes the temporary files the killed save left.
        UserTable again = edited.Users;
        SaveReport r = SaveBoard(RealFileSystem(), boardPaths, again, edited.Groups);
        EXPECT_TRUE(r.ok()) << Describe(r);
        EXPECT_EQ(ReadFolderState(board), newState);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("crash test: %d users, save %.1f ms, %d kills (%d mid-save, %d in a rewrite in place), seed %llu, "
                "%.1f s\n",
                users, saveTime.count() / 1000.0, kills, killedMidSave, interruptedRewrites,
                static_cast<unsigned long long>(seed), seconds);
}

// A rewrite in place of a large hard-linked "user.txt", killed at random
// moments from its start to its end: the file reads (through its journal
// when one is left) as the old or the new content, never shorter, never
// mixed; the next write rolls back and completes.
TEST(CrashTest, RewriteInPlaceKilledReadsOldOrNew) {
    TempDir root{MemoryScratchParent()};
    ASSERT_FALSE(root.path().empty());
    const std::string file = root / "user.txt";
    std::string oldContent, newContent;
    for (int i = 0; i < 32767; ++i) {
        oldContent += "u" + std::to_string(100000 + i) + ",pw" + std::to_string(i) + ",1\r\n";
        if (i % 3) newContent += "n" + std::to_string(100000 + i) + ",password" + std::to_string(i) + ",2\r\n";
    }
    auto reset = [&] {
        fs::remove_all(root / "links");
        test::WriteBytes(file, oldContent);
        fs::create_directory(root / "links");
        ASSERT_EQ(::link(file.c_str(), (root / "links/user.txt").c_str()), 0);
    };
    // The rewrite in a child process, killed `delay` after it begins (none:
    // left to finish). The child tells through a pipe when it begins.
    std::chrono::steady_clock::time_point began;
    auto rewriteInChild = [&](std::optional<std::chrono::microseconds> delay) {
        int ready[2];
        if (::pipe(ready) != 0) return pid_t(-1);
        pid_t child = ::fork();
        if (child == 0) {
            std::string s;
            (void)!::write(ready[1], "x", 1);
            ::_exit(ReplaceFile(RealFileSystem(), root.path(), file, newContent, true, s) == 0 ? 0 : 1);
        }
        char byte;
        if (child > 0 && ::read(ready[0], &byte, 1) == 1) began = std::chrono::steady_clock::now();
        ::close(ready[0]);
        ::close(ready[1]);
        if (child > 0 && delay) {
            std::this_thread::sleep_for(*delay);
            ::kill(child, SIGKILL);
        }
        return child;
    };
    reset();
    std::string step;
    // How long a child takes from its beginning to its end, the span the kills land in.
    pid_t child = rewriteInChild(std::nullopt);
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(test::ReadBytes(root / "links/user.txt"), newContent) << "rewritten in place";

    std::mt19937_64 rng(std::random_device{}());
    int journals = 0, runs = 40;
    for (int run = 0; run < runs; ++run) {
        reset();
        // Spread evenly over the span, each at a random point of its share.
        std::uniform_real_distribution<double> within(0, 1);
        child = rewriteInChild(std::chrono::microseconds(int64_t((run + within(rng)) * double(took.count()) / runs)));
        ASSERT_GT(child, 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0));

        journals += test::PathExists(root / ".user.txt.solne-journal");
        std::string seen;
        ScopedHandle folder(RealFileSystem());
        ASSERT_EQ(RealFileSystem().OpenFolder(FolderOf(file), folder.get()), 0);
        ASSERT_EQ(ReadCurrentContentIn(RealFileSystem(), *folder, NameOf(file), seen, kMaxFileBytes, true), 0);
        EXPECT_TRUE(seen == oldContent || seen == newContent) << "run " << run << ": " << seen.size() << " bytes";
        ASSERT_EQ(ReplaceFile(RealFileSystem(), root.path(), file, newContent, true, step), 0) << step;
        EXPECT_EQ(test::ReadBytes(root / "links/user.txt"), newContent);
        EXPECT_FALSE(test::PathExists(root / ".user.txt.solne-journal"));
    }
    std::printf("rewrite in place killed %d times (%.1f ms each): %d journals rolled back\n", runs,
                took.count() / 1000.0, journals);
}

// ------------------------------------------------------ a real full disk

// A small tmpfs, mounted for the test and filled to the byte before each
// save, with a board whose "user.txt" and every third per-user file are
// hard-linked (rewritten in place). The save reports the full disk, every
// file reads old or new, and once room is made a save completes.
TEST(FullDiskTest, SaveOnAFullTmpfsLeavesOldOrNewFiles) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    TempDir mountPoint{MemoryScratchParent()}, store(MemoryScratchParent());
    ASSERT_FALSE(mountPoint.path().empty() || store.path().empty());
    if (::mount("solne-test", mountPoint.path().c_str(), "tmpfs", 0, "size=8m") != 0)
        GTEST_SKIP() << "mounting a tmpfs was refused here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint.path()};

    const std::string pristine = store / "pristine", board = mountPoint / "board";
    WriteLargeBoard(pristine, 600);
    AddHardLinks(pristine);
    const FolderState oldState = ReadFolderState(pristine);
    LoadedBoard edited;
    ASSERT_FALSE(LoadBoard(RealFileSystem(), BoardPaths::For(pristine), edited).has_value());
    EditEverything(edited);
    CopyBoard(pristine, store / "reference");
    UserTable copy = edited.Users;
    ASSERT_TRUE(SaveBoard(RealFileSystem(), BoardPaths::For(store / "reference"), copy, edited.Groups).ok());
    const FolderState newState = ReadFolderState(store / "reference");

    int failedSaves = 0;
    for (int run = 0; run < 5; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        CopyBoard(pristine, board);
        // Fill to the byte, then give back a few pages, more in each run.
        const std::string filler = mountPoint / "filler";
        {
            int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ASSERT_GE(fd, 0);
            std::string block(65536, 'x');
            for (size_t chunk = block.size(); chunk > 0; chunk /= 2)
                while (::write(fd, block.data(), chunk) == ssize_t(chunk)) {}
            ::close(fd);
        }
        const off_t size = off_t(fs::file_size(filler));
        ASSERT_EQ(::truncate(filler.c_str(), std::max<off_t>(0, size - off_t(run) * 3 * 4096)), 0);

        UserTable users = edited.Users;
        SaveReport r = SaveBoard(RealFileSystem(), BoardPaths::For(board), users, edited.Groups);
        failedSaves += !r.ok();
        for (auto& f : r.failures) {
            EXPECT_TRUE(f.Reason() == ErrorText(ENOSPC) || f.step == "不要なファイルの削除") << f.ToString();
        }
        LoadedBoard loaded;
        auto err = LoadBoard(RealFileSystem(), BoardPaths::For(board), loaded);
        EXPECT_FALSE(err.has_value()) << err->ToString();
        const FolderState now = AsReadWithLinks(ReadFolderState(board));
        ExpectEveryFileOldOrNew(now, oldState, newState, /*temporariesAllowed=*/false);
        fs::remove(filler);
        SaveReport again = SaveBoard(RealFileSystem(), BoardPaths::For(board), users, edited.Groups);
        EXPECT_TRUE(again.ok()) << Describe(again);
        EXPECT_EQ(ReadFolderState(board), newState);
    }
    EXPECT_GT(failedSaves, 0) << "the disk was never full enough";
    std::printf("full tmpfs: %d of 5 saves failed, every file old or new\n", failedSaves);
}

}  // namespace
}  // namespace solne
