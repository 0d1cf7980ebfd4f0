// Saving the board folder: formats, per-user files, pruning, failures.
// Tests run as root in CI, where permission bits stop nothing: failures are
// injected through FaultyFileSystem, or made from what root cannot overcome
// (a folder where a file is expected, a missing folder).
#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>

#include <thread>

#include <atomic>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Define/FileSystem.h"
#include "common/FaultyFileSystem.h"
#include "common/FolderState.h"
#include "common/RunAs.h"
#include "common/SaveReports.h"
#include "common/TempBoard.h"
#include "store/Load.h"
#include "store/SafeWrite.h"
#include "store/Save.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

namespace solne {
namespace {

namespace fs = std::filesystem;
using test::FaultyFileSystem;
using test::Describe;
using test::FsOp;
using test::Reported;
using test::RunAs;
using test::Sjis;
using test::SjisLines;

test::BoardFiles SampleBoard() {
    return {{"u01,pass1,1", "u02,pw,2", "u03,,0", "u04,x,-3"},
            {"1,営業", "2,総務", "-3,負"},
            {{"u01", {"username=山田", "status=1", "plan=会議"}},
             {"u02", {"username=佐藤", "status=0", "plan="}},
             {"u03", {"username=鈴木", "status=在席", "plan=明日休み"}}}};
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::vector<std::string> TempFilesIn(const std::string& root) {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root))
        if (e.path().filename().string().find(".solne-") != std::string::npos) out.push_back(e.path().string());
    return out;
}

class SaveTest : public ::testing::Test {
protected:
    void Make(const test::BoardFiles& files) {
        test::WriteBoard(dir.path(), files);
        paths = BoardPaths::For(dir.path());
        // The editor leaves both data files read-only between saves.
        ::chmod(paths.UserFilePath.c_str(), 0444);
        ::chmod(paths.GroupFilePath.c_str(), 0444);
    }
    LoadedBoard Load() {
        LoadedBoard b;
        auto err = LoadBoard(RealFileSystem(), paths, b);
        EXPECT_FALSE(err.has_value()) << err->ToString();
        return b;
    }
    SaveReport Save(LoadedBoard& b, FileSystem& fsys = RealFileSystem()) {
        return SaveBoard(fsys, paths, b.Users, b.Groups);
    }
    std::string Bytes(const std::string& rel) { return test::ReadBytes(dir / rel); }
    std::string UserFile(const std::string& name) { return JoinPath(paths.UserFolder(), name); }

    test::TempDir dir;
    BoardPaths paths;
};

// ---------------------------------------------------------------- formats

TEST_F(SaveTest, WritesEveryFileInItsFormat) {
    Make(SampleBoard());
    LoadedBoard b = Load();
    b.Users[0].UserName = "山田花子";
    FileSnapshot userSnap, groupSnap;
    SaveReport r = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups, &userSnap, &groupSnap);
    ASSERT_TRUE(r.ok()) << Describe(r);

    EXPECT_EQ(Bytes("user.txt"), SjisLines({"u01,pass1,1", "u02,pw,2", "u03,,0", "u04,x,-3"}));
    EXPECT_EQ(Bytes("group.txt"), SjisLines({"1,営業", "2,総務", "-3,負"}));
    EXPECT_EQ(Bytes("user/u01.txt"), SjisLines({"username=山田花子", "status=1", "plan=会議"}));
    EXPECT_EQ(Bytes("user/u03.txt"), SjisLines({"username=鈴木", "status=在席", "plan=明日休み"}));
    // A user without a file gets one with the new-user lines.
    EXPECT_EQ(Bytes("user/u04.txt"), SjisLines({"username=", "status=0", "plan="}));
    EXPECT_EQ(b.Users[3].StatusLine, "status=0");
    EXPECT_EQ(b.Users[3].PlanLine, "plan=");

    for (auto* name : {"user.txt", "group.txt"}) {
        struct stat st = StatOf(dir / name);
        EXPECT_EQ(st.st_mode & 0222, 0u) << name << " ends read-only";
    }
    FileStat st;
    ASSERT_EQ(RealFileSystem().Stat(paths.UserFilePath, st), 0);
    EXPECT_EQ(userSnap, SnapshotOf(true, st, Bytes("user.txt")));
    ASSERT_EQ(RealFileSystem().Stat(paths.GroupFilePath, st), 0);
    EXPECT_EQ(groupSnap, SnapshotOf(true, st, Bytes("group.txt")));
    EXPECT_TRUE(TempFilesIn(dir.path()).empty());
}

TEST_F(SaveTest, EmptiedTablesWriteTheirSingleLines) {
    Make(SampleBoard());
    UserTable users(1);
    GroupTable groups(1);
    SaveReport r = SaveBoard(RealFileSystem(), paths, users, groups);
    ASSERT_TRUE(r.ok()) << Describe(r);
    EXPECT_EQ(Bytes("user.txt"), ",,0\r\n");
    EXPECT_EQ(Bytes("group.txt"), "0,\r\n");
    EXPECT_EQ(test::ListNames(paths.UserFolder()), std::vector<std::string>{".txt"});
    EXPECT_EQ(Bytes("user/.txt"), "username=\r\nstatus=0\r\nplan=\r\n");

    // The next save finds ".txt" by its exact name and keeps it.
    users[0].UserName = "x";
    ASSERT_TRUE(SaveBoard(RealFileSystem(), paths, users, groups).ok());
    EXPECT_EQ(Bytes("user/.txt"), "username=x\r\nstatus=0\r\nplan=\r\n");
}

TEST_F(SaveTest, QuotedValuesSurviveLoadAndSave) {
    Make({{"u01,\"p,w\",1", "\" u02\",pw ,2"}, {"1,\"営業,東京\"", "2,  総務", "3,\"\tインデント\""}, {}});
    LoadedBoard b = Load();
    ASSERT_EQ(b.Groups[0].GroupName, "営業,東京");
    ASSERT_EQ(b.Users[1].UserId, " u02");
    ASSERT_TRUE(Save(b).ok());
    EXPECT_EQ(Bytes("user.txt"), SjisLines({"u01,\"p,w\",1", "\" u02\",pw,2"}));
    EXPECT_EQ(Bytes("group.txt"), SjisLines({"1,\"営業,東京\"", "2,総務", "3,\"\tインデント\""}));
    LoadedBoard again = Load();
    EXPECT_EQ(again.Users[0].PassWord, "p,w");
    EXPECT_EQ(again.Users[1].UserId, " u02");
    EXPECT_EQ(again.Groups[0].GroupName, "営業,東京");
    EXPECT_EQ(again.Groups[2].GroupName, "\tインデント");
}

// A board with the awkward things loading accepts: blank and duplicate
// slots, a case-only match, odd line ends, missing and extra lines.
test::BoardFiles AwkwardBoard() {
    return {{"u01,a,1", ",,0", "u02,\"b,c\",2", "u01,d,1", "u05,e,-7", "u06,f,9"},
            {"1,営業", "2,\"総務,人事\"", "1,営業二", ",", "-7,負"},
            {{"u01", {"username=山田", "status=1,会議", "plan=15時"}},
             {"U02", {"username=佐藤=さん", "status=0"}},
             {"u05", {"username=", "", "plan=x", "追記"}},
             {"memo", {"メモ"}}}};
}

void ExpectSameTables(const LoadedBoard& a, const LoadedBoard& b) {
    ASSERT_EQ(a.Users.size(), b.Users.size());
    for (size_t i = 0; i < a.Users.size(); ++i) {
        const UserInfo &x = a.Users[i], &y = b.Users[i];
        EXPECT_EQ(x.UserId, y.UserId) << i;
        EXPECT_EQ(x.UserName, y.UserName) << i;
        EXPECT_EQ(x.PassWord, y.PassWord) << i;
        EXPECT_EQ(x.GroupNo, y.GroupNo) << i;
        EXPECT_EQ(x.GroupName, y.GroupName) << i;
        EXPECT_EQ(x.StatusLine, y.StatusLine) << i;
        EXPECT_EQ(x.PlanLine, y.PlanLine) << i;
    }
    ASSERT_EQ(a.Groups.size(), b.Groups.size());
    for (size_t i = 0; i < a.Groups.size(); ++i) {
        EXPECT_EQ(a.Groups[i].GroupNo, b.Groups[i].GroupNo) << i;
        EXPECT_EQ(a.Groups[i].GroupName, b.Groups[i].GroupName) << i;
    }
}

TEST_F(SaveTest, LoadSaveLoadKeepsTablesAndSaveSaveKeepsBytes) {
    Make(AwkwardBoard());
    test::WriteBytes(dir / "user/u06.txt", "username=lf\nstatus=2\nplan=p");
    LoadedBoard b = Load();
    ASSERT_TRUE(Save(b).ok());
    ExpectSameTables(b, Load());
    EXPECT_EQ(b.Users[2].UserName, "佐藤");  // the part after a second "=" is gone

    auto before = test::ReadFolderState(dir.path());
    FaultyFileSystem counting;
    LoadedBoard c = Load();
    ASSERT_TRUE(Save(c, counting).ok());
    EXPECT_EQ(test::ReadFolderState(dir.path()), before);
    EXPECT_EQ(counting.CountOf(FsOp::OpenWrite, "/user/"), 0) << "unchanged per-user files are not rewritten";
    EXPECT_EQ(counting.CountOf(FsOp::Unlink), 0);
}

// --------------------------------------------------------- per-user files

TEST_F(SaveTest, KeepsWhatTheBoardWroteSinceLoading) {
    Make(SampleBoard());
    LoadedBoard b = Load();
    // The board system changes a status after the editor has loaded.
    test::WriteBytes(dir / "user/u01.txt", Sjis("username=山田\r\nstatus=2,外出,15時\r\nplan=会議\r\nmemo=x\r\n"));
    b.Users[0].UserName = "山田花子";
    ASSERT_TRUE(Save(b).ok());
    EXPECT_EQ(Bytes("user/u01.txt"), Sjis("username=山田花子\r\nstatus=2,外出,15時\r\nplan=会議\r\nmemo=x\r\n"));
    EXPECT_EQ(b.Users[0].StatusLine, Sjis("status=2,外出,15時"));
    EXPECT_EQ(b.Users[0].PlanLine, Sjis("plan=会議"));
}

TEST_F(SaveTest, CommaInStatusLineSurvivesLoadAndSave) {
    Make({{"u01,a,0"}, {}, {}});
    std::string bytes = Sjis("username=山田\r\nstatus=1,会議中,戻り未定\r\nplan=明日,休み\r\n");
    test::WriteBytes(dir / "user/u01.txt", bytes);
    LoadedBoard b = Load();
    ASSERT_TRUE(Save(b).ok());
    EXPECT_EQ(Bytes("user/u01.txt"), bytes);
    EXPECT_EQ(Load().Users[0].StatusLine, Sjis("status=1,会議中,戻り未定"));
}

TEST_F(SaveTest, MissingOrEmptyStatusAndPlanLinesGetTheirNewUserForm) {
    struct Case {
        std::string before, after, status, plan;
    } cases[] = {
        {"", "username=a\r\nstatus=0\r\nplan=\r\n", "status=0", "plan="},
        {"username=a", "username=a\r\nstatus=0\r\nplan=\r\n", "status=0", "plan="},
        {"username=a\r\n\r\nplan=x\r\n", "username=a\r\nstatus=0\r\nplan=x\r\n", "status=0", "plan=x"},
        {"username=a\r\nstatus=1\r\n", "username=a\r\nstatus=1\r\nplan=\r\n", "status=1", "plan="},
        {"username=a\r\nstatus=1", "username=a\r\nstatus=1\r\nplan=\r\n", "status=1", "plan="},
        {"username=a\rstatus=1\r\n\r\nnext\r\n", "username=a\r\nstatus=1\r\nplan=\r\nnext\r\n", "status=1", "plan="},
        // Complete files keep their own line ends, an unterminated last line included.
        {"username=b\nstatus=1\nplan=p", "username=a\r\nstatus=1\nplan=p", "status=1", "plan=p"},
        {"username=b\rstatus=1\rplan=p\r\r", "username=a\r\nstatus=1\rplan=p\r\r", "status=1", "plan=p"},
    };
    Make({{"a,,0"}, {}, {}});
    for (auto& c : cases) {
        test::WriteBytes(dir / "user/a.txt", c.before);
        UserTable users{UserInfo{"a", "a", "", 0, "", "old", "old"}};
        GroupTable groups(1);
        ASSERT_TRUE(SaveBoard(RealFileSystem(), paths, users, groups).ok());
        EXPECT_EQ(Bytes("user/a.txt"), c.after) << c.before;
        EXPECT_EQ(users[0].StatusLine, c.status) << c.before;
        EXPECT_EQ(users[0].PlanLine, c.plan) << c.before;
    }
}

TEST_F(SaveTest, CaseOnlyMatchIsWrittenUnderItsOwnName) {
    Make({{"u01,a,0"}, {}, {{"U01", {"username=山田", "status=3", "plan="}}}});
    LoadedBoard b = Load();
    b.Users[0].UserName = "佐藤";
    ASSERT_TRUE(Save(b).ok());
    EXPECT_EQ(test::ListNames(paths.UserFolder()), std::vector<std::string>{"U01.txt"});
    EXPECT_EQ(Bytes("user/U01.txt"), SjisLines({"username=佐藤", "status=3", "plan="}));
}

TEST_F(SaveTest, SlotsSharingAFileWriteItOnceWithTheLastName) {
    Make({{"u01,a,0", "u01,b,0"}, {}, {{"u01", {"username=x", "status=5", "plan=p"}}}});
    LoadedBoard b = Load();
    b.Users[0].UserName = "最初";
    b.Users[1].UserName = "最後";
    FaultyFileSystem counting;
    ASSERT_TRUE(Save(b, counting).ok());
    EXPECT_EQ(Bytes("user/u01.txt"), SjisLines({"username=最後", "status=5", "plan=p"}));
    EXPECT_EQ(counting.CountOf(FsOp::Rename, "/user/u01.txt"), 1);
    EXPECT_EQ(b.Users[0].StatusLine, "status=5");
    EXPECT_EQ(b.Users[1].StatusLine, "status=5");
}

TEST_F(SaveTest, FilesOfAnotherAccountKeepOwnerAndMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another account";
    Make(SampleBoard());
    std::string perUser = UserFile("u01.txt");
    ASSERT_EQ(::chown(perUser.c_str(), 4321, 4322), 0);
    ASSERT_EQ(::chmod(perUser.c_str(), 0640), 0);
    ASSERT_EQ(::chown(paths.UserFilePath.c_str(), 4321, 4322), 0);
    LoadedBoard b = Load();
    b.Users[0].UserName = "山田花子";
    b.Users[1].PassWord = "new";
    ASSERT_TRUE(Save(b).ok());

    struct stat st = StatOf(perUser);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Bytes("user/u01.txt"), SjisLines({"username=山田花子", "status=1", "plan=会議"}));
    st = StatOf(paths.UserFilePath);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

TEST_F(SaveTest, LinkedFilesStayLinked) {
    Make(SampleBoard());
    // u01's file lives elsewhere behind a symbolic link; u02's has a second name.
    test::WriteBytes(dir / "store/u01.txt", SjisLines({"username=山田", "status=1", "plan=会議"}));
    ::unlink(UserFile("u01.txt").c_str());
    ASSERT_EQ(::symlink("../store/u01.txt", UserFile("u01.txt").c_str()), 0);
    ASSERT_EQ(::link(UserFile("u02.txt").c_str(), (dir / "u02-backup.txt").c_str()), 0);
    ino_t inode = StatOf(UserFile("u02.txt")).st_ino;

    LoadedBoard b = Load();
    b.Users[0].UserName = "山田花子";
    b.Users[1].UserName = "佐藤花子";
    ASSERT_TRUE(Save(b).ok());

    EXPECT_TRUE(S_ISLNK(StatOf(UserFile("u01.txt")).st_mode));
    EXPECT_EQ(fs::read_symlink(UserFile("u01.txt")).string(), "../store/u01.txt");
    EXPECT_EQ(Bytes("store/u01.txt"), SjisLines({"username=山田花子", "status=1", "plan=会議"}));
    EXPECT_EQ(StatOf(UserFile("u02.txt")).st_ino, inode);
    EXPECT_EQ(Bytes("u02-backup.txt"), SjisLines({"username=佐藤花子", "status=0", "plan="}));
    EXPECT_TRUE(TempFilesIn(dir.path()).empty());
}

// A link another account planted to reach a file outside the board: the
// load names it, and a save (of tables loaded before it was planted)
// neither writes, nor changes the mode of, nor prunes anything through it.
TEST_F(SaveTest, LinksPlantedByAnotherAccountLeadNowhere) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link another owner";
    test::TempDir outside;
    const std::string victim = outside / "victim.txt";
    auto plant = [&](const std::string& link, const std::string& target) {
        fs::remove_all(link);
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
        ASSERT_EQ(::lchown(link.c_str(), 4242, 4242), 0);
    };
    const std::string kForeign = ErrorText(kForeignLink);
    struct Case {
        const char* name;       // what is replaced by the link
        std::string target;     // where it leads
    } cases[] = {{"user/u01.txt", victim}, {"user.txt", victim}, {"user", outside.path()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto& e : fs::directory_iterator(dir.path())) fs::remove_all(e.path());
        Make(SampleBoard());
        test::WriteBytes(victim, "outside\r\n");
        ::chmod(victim.c_str(), 0644);
        test::WriteBytes(outside / "stray.txt", "stray");
        LoadedBoard b = Load();
        b.Users[0].UserName = "山田花子";
        plant(dir / c.name, c.target);

        LoadedBoard loaded;
        auto err = LoadBoard(RealFileSystem(), paths, loaded);
        ASSERT_TRUE(err.has_value());
        EXPECT_EQ(err->ToString(), (dir / c.name) + ": " + kForeign);

        SaveReport r = Save(b);
        EXPECT_FALSE(r.ok());
        bool named = false;
        for (auto& f : r.failures) named |= f.file == dir / c.name && f.Reason() == kForeign;
        EXPECT_TRUE(named) << Describe(r);
        EXPECT_EQ(test::ReadBytes(victim), "outside\r\n");
        EXPECT_EQ(StatOf(victim).st_mode & 07777, 0644u);
        EXPECT_TRUE(test::PathExists(outside / "stray.txt")) << "nothing pruned outside";
    }

    // A link of the target's own account is the administrator's: followed.
    for (auto& e : fs::directory_iterator(dir.path())) fs::remove_all(e.path());
    Make(SampleBoard());
    test::WriteBytes(victim, SjisLines({"username=山田", "status=1", "plan=会議"}));
    fs::remove(UserFile("u01.txt"));
    ASSERT_EQ(::symlink(victim.c_str(), UserFile("u01.txt").c_str()), 0);
    LoadedBoard b = Load();
    b.Users[0].UserName = "山田花子";
    EXPECT_TRUE(Save(b).ok());
    EXPECT_EQ(test::ReadBytes(victim), SjisLines({"username=山田花子", "status=1", "plan=会議"}));
}

// A board shared through a group: its owner and another member save in
// turn, each without a failure; the data files end read-only each time and
// the per-user files stay writable for the group.
TEST_F(SaveTest, GroupSharedBoardStaysWritableForEveryMember) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to play two accounts of a group";
    const AccountId owner = 4301, member = 4302;
    const GroupId group = 4300;
    Make(SampleBoard());
    for (auto& e : fs::recursive_directory_iterator(dir.path())) {
        ASSERT_EQ(::chown(e.path().c_str(), owner, group), 0);
        ::chmod(e.path().c_str(), e.is_directory() ? 02775 : 0664);
    }
    ASSERT_EQ(::chown(dir.path().c_str(), owner, group), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 02775), 0);

    for (AccountId who : {owner, member, owner, member}) {
        SCOPED_TRACE("account " + std::to_string(who));
        const int code = RunAs(who, group, [&] {
            LoadedBoard b;
            if (LoadBoard(RealFileSystem(), paths, b)) return 2;
            b.Users[0].UserName = "山田" + std::to_string(who);
            b.Users[1].PassWord = "pw" + std::to_string(who);
            SaveReport r = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups);
            std::fputs(Describe(r).c_str(), stderr);
            return r.ok() ? 0 : 1;
        });
        EXPECT_EQ(code, 0);
        for (const std::string& data : {paths.UserFilePath, paths.GroupFilePath}) {
            struct stat st = StatOf(data);
            EXPECT_EQ(st.st_mode & 07777, 0444u) << data;
            EXPECT_EQ(st.st_gid, group) << data;
        }
        struct stat st = StatOf(UserFile("u01.txt"));
        EXPECT_EQ(st.st_mode & 07777, 0664u);
        EXPECT_EQ(st.st_gid, group);
        EXPECT_EQ(Bytes("user/u01.txt"), SjisLines({"username=山田" + std::to_string(who), "status=1", "plan=会議"}));
    }
    EXPECT_TRUE(TempFilesIn(dir.path()).empty());
}

// A real second account that owns the board races root's saves: it
// replaces every temporary file it sees by a link to a root-only file
// elsewhere. That file keeps its bytes, mode and owner.
TEST_F(SaveTest, SecondAccountRacingTheSaveReachesNothingOutside) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a second account";
    const AccountId attacker = 4242;
    test::TempDir outside;
    const std::string secret = outside / "secret";
    test::WriteBytes(secret, "root only");
    ::chmod(secret.c_str(), 0600);
    test::BoardFiles files;
    for (int i = 0; i < 300; ++i) {
        std::string id = "u" + std::to_string(1000 + i);
        files.userLines.push_back(id + ",pw,1");
        files.perUser.push_back({id, {"username=利用者", "status=0", "plan="}});
    }
    files.groupLines = {"1,営業"};
    Make(files);
    for (auto& e : fs::recursive_directory_iterator(dir.path())) ASSERT_EQ(::chown(e.path().c_str(), attacker, attacker), 0);
    ASSERT_EQ(::chown(dir.path().c_str(), attacker, attacker), 0);
    ::chmod(dir.path().c_str(), 0755);

    pid_t racer = ::fork();
    ASSERT_GE(racer, 0);
    if (racer == 0) {
        if (::setgid(attacker) != 0 || ::setuid(attacker) != 0) ::_exit(99);
        for (;;) {
            for (const std::string& folder : {dir.path(), paths.UserFolder()}) {
                std::error_code ec;
                for (auto& e : fs::directory_iterator(folder, ec)) {
                    std::string p = e.path().string();
                    if (p.find(".solne-") == std::string::npos) continue;
                    ::unlink(p.c_str());
                    (void)::symlink(secret.c_str(), p.c_str());
                }
            }
        }
    }
    int failed = 0;
    for (int round = 0; round < 6; ++round) {
        LoadedBoard b;
        if (LoadBoard(RealFileSystem(), paths, b)) continue;  // a planted link is named: nothing to save
        for (auto& u : b.Users) u.UserName = "改" + std::to_string(round);
        failed += !Save(b).ok();
    }
    ::kill(racer, SIGKILL);
    ::waitpid(racer, nullptr, 0);
    struct stat st = StatOf(secret);
    EXPECT_EQ(test::ReadBytes(secret), "root only");
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_nlink, 1u);
    std::printf("racing account: %d of 6 saves reported a failure, the outside file untouched\n", failed);
}

// Two editors open on one board: the first renames u01 and saves. The
// second one's check names u01's file (its first line changed), not u02's,
// whose status line alone the board changed; after the second one's own
// save its check is quiet again.
TEST_F(SaveTest, NameChangedBySecondEditorIsNoticed) {
    Make(SampleBoard());
    LoadedBoard a = Load(), b = Load();
    FileSnapshot aUser = a.userFile, aGroup = a.groupFile;
    a.Users[0].UserName = "山田花子";
    ASSERT_TRUE(SaveBoard(RealFileSystem(), paths, a.Users, a.Groups, &aUser, &aGroup).ok());
    EXPECT_EQ(FilesChangedOutside(RealFileSystem(), paths, aUser, aGroup), std::vector<std::string>{});
    test::WriteBytes(UserFile("u02.txt"), SjisLines({"username=佐藤", "status=3", "plan=出張"}));

    FileSnapshot bUser = b.userFile, bGroup = b.groupFile;
    EXPECT_EQ(FilesChangedOutside(RealFileSystem(), paths, bUser, bGroup),
              (std::vector<std::string>{NativePath("user/u01.txt")}));
    b.Users[1].UserName = "佐藤次郎";
    ASSERT_TRUE(SaveBoard(RealFileSystem(), paths, b.Users, b.Groups, &bUser, &bGroup).ok());
    EXPECT_EQ(FilesChangedOutside(RealFileSystem(), paths, bUser, bGroup), std::vector<std::string>{});
    EXPECT_EQ(FilesChangedOutside(RealFileSystem(), paths, aUser, aGroup),
              (std::vector<std::string>{NativePath("user/u01.txt"), NativePath("user/u02.txt")}));
}

// Data files that are links the link rule follows read, for the question
// before a save, where the load read them: unchanged is unchanged.
TEST_F(SaveTest, LinkedDataFilesUnchangedAreNoOutsideChange) {
    Make(SampleBoard());
    std::filesystem::create_directory(dir / "data");
    for (const char* name : {"user.txt", "group.txt"}) {
        std::filesystem::rename(dir / name, dir / (std::string("data/") + name));
        ASSERT_EQ(::symlink((std::string("data/") + name).c_str(), (dir / name).c_str()), 0);
    }
    LoadedBoard b = Load();
    EXPECT_EQ(FilesChangedOutside(RealFileSystem(), paths, b.userFile, b.groupFile), std::vector<std::string>{});
}

// The board's own program rewrites status lines by cutting a file and
// writing it again: a look in that moment sees no name line, but the name
// did not change, and the question before a save must not say it did.
TEST_F(SaveTest, StatusRewrittenByCuttingTheFileIsNoOutsideChange) {
    test::BoardFiles files;
    files.groupLines = {"1,営業"};
    for (int i = 0; i < 8; ++i) {
        const std::string id = "u" + std::to_string(i);
        files.userLines.push_back(id + ",pw,1");
        files.perUser.push_back({id, {"username=利用者" + std::to_string(i), "status=0", "plan="}});
    }
    Make(files);
    LoadedBoard b = Load();
    std::atomic<bool> stop{false};
    std::thread board([&] {
        for (long n = 0; !stop; ++n) {
            const std::string id = "u" + std::to_string(n % 8);
            const std::string bytes =
                SjisLines({"username=利用者" + std::to_string(n % 8), "status=" + std::to_string(n), "plan="});
            // A millisecond between the cut and the write, as a program
            // that works out the new line after opening the file.
            int fd = ::open(UserFile(id + ".txt").c_str(), O_WRONLY | O_TRUNC);
            if (fd < 0) continue;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            (void)!::write(fd, bytes.data(), bytes.size());
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    int falseQuestions = 0;
    for (int look = 0; look < 60; ++look) {
        falseQuestions += !FilesChangedOutside(RealFileSystem(), paths, b.userFile, b.groupFile).empty();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
    board.join();
    EXPECT_EQ(falseQuestions, 0) << "of 60 looks";
}

// Temporary files a killed save left behind go with the next save, in the
// board folder and the per-user folder; those of a process still running
// (another editor saving right now) stay.
TEST_F(SaveTest, TemporaryFilesOfDeadProcessesAreRemoved) {
    Make(SampleBoard());
    pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const std::string d = std::to_string(dead);
    const std::string live = std::to_string(::getppid());
    for (const std::string& rel : {".user.txt.solne-" + d + "-3.tmp", "user/.u01.txt.solne-" + d + "-7.tmp",
                                   "user/.solne-" + d + "-8.tmp", "user/.u02.txt.solne-" + live + "-1.tmp"})
        test::WriteBytes(dir / rel, "half");
    LoadedBoard b = Load();
    ASSERT_TRUE(Save(b).ok());
    EXPECT_EQ(TempFilesIn(dir.path()), std::vector<std::string>{dir / ("user/.u02.txt.solne-" + live + "-1.tmp")});
}

// The board's program rewriting "u01.txt" right after the save read it:
// "username=山田", "status=" (statusBase plus the writes left), `plan`,
// then `tail`; in place, or by renaming a new file over it.
struct BoardWritesAfterRead : FaultyFileSystem {
    std::string file;
    int writesLeft = 1;
    int statusBase = 0;
    std::string plan = "外出中";
    bool byRename = false;
    int readsBefore = 0;            // reads of the file to let pass first
    std::vector<std::string> tail;  // lines the board writes after the plan line
    Handle watched;
    int OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& out, FileStat* st) override {
        int err = FaultyFileSystem::OpenAt(dir, name, forWriting, out, st);
        if (err == 0 && !forWriting && name == "u01.txt") watched = out;
        return err;
    }
    int Read(Handle h, size_t max, std::string& out) override {
        int err = FaultyFileSystem::Read(h, max, out);
        if (h == watched && readsBefore-- <= 0 && writesLeft > 0) {
            std::vector<std::string> lines = {"username=山田", "status=" + std::to_string(statusBase + writesLeft--),
                                              "plan=" + plan};
            lines.insert(lines.end(), tail.begin(), tail.end());
            std::string bytes = SjisLines(lines);
            test::WriteBytes(byRename ? file + ".new" : file, bytes);
            if (byRename) ::rename((file + ".new").c_str(), file.c_str());
        }
        return err;
    }
    int Close(Handle h) override {
        if (h == watched) watched = Handle();
        return FaultyFileSystem::Close(h);
    }
};

// The board rewrites a status line in place, keeping the file's size, right
// after the save read the file: the last look before the rename notices
// it, for a file that last changed long before (its change time tells) as
// for one that changed a moment before (its bytes are read again).
TEST_F(SaveTest, StatusRewrittenInPlaceWithTheSameSizeSurvives) {
    for (bool settled : {true, false}) {
        SCOPED_TRACE(settled ? "settled" : "just written");
        Make(SampleBoard());
        if (settled) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        LoadedBoard b = Load();
        b.Users[0].UserName = "山田花子";
        BoardWritesAfterRead board;  // "status=1" becomes "status=2", the plan stays
        board.file = UserFile("u01.txt");
        board.statusBase = 1;
        board.plan = "会議";
        ASSERT_TRUE(Save(b, board).ok());
        EXPECT_EQ(board.writesLeft, 0);
        EXPECT_EQ(Bytes("user/u01.txt"), SjisLines({"username=山田花子", "status=2", "plan=会議"}));
        EXPECT_EQ(b.Users[0].StatusLine, "status=2");
    }
}

// The board rewrites a per-user file right after the save read it, in
// place or by renaming a new file over it: the last look before the replace
// notices it, and the new status survives. A file that changes at every
// look is saved all the same after a few attempts.
TEST_F(SaveTest, StatusWrittenWhileSavingSurvives) {
#ifdef _WIN32
    const bool ways[] = {false};  // Windows renames over no file that is open
#else
    const bool ways[] = {false, true};
#endif
    for (bool byRename : ways) {
        SCOPED_TRACE(byRename ? "by rename" : "in place");
        Make(SampleBoard());
        BoardWritesAfterRead board;
        board.file = UserFile("u01.txt");
        board.byRename = byRename;
        LoadedBoard b = Load();
        b.Users[0].UserName = "山田花子";
        ASSERT_TRUE(Save(b, board).ok());
        EXPECT_EQ(Bytes("user/u01.txt"), SjisLines({"username=山田花子", "status=1", "plan=外出中"}));
        EXPECT_EQ(b.Users[0].StatusLine, "status=1");
    }
    // A file longer than the part the save holds: the board changes its
    // last line while the save copies it (into the new file, or into the
    // journal of a rewrite in place).
    std::vector<std::string> memo(600, "memo=控え");
#ifdef _WIN32
    // Windows lets nobody write a file while the save rewrites it in place.
    const bool secondNames[] = {false};
#else
    const bool secondNames[] = {false, true};
#endif
    for (bool secondName : secondNames) {
        SCOPED_TRACE(secondName ? "long file rewritten in place" : "long file replaced");
        Make(SampleBoard());
        std::vector<std::string> lines = {"username=山田", "status=1", "plan=外出中"};
        lines.insert(lines.end(), memo.begin(), memo.end());
        test::WriteBytes(UserFile("u01.txt"), SjisLines(lines));
        if (secondName) ::link(UserFile("u01.txt").c_str(), (dir / "second-name.txt").c_str());
        BoardWritesAfterRead board;
        board.file = UserFile("u01.txt");
        board.readsBefore = 1;
        board.tail = memo;
        board.tail.back() = "memo=予定";  // the same size: only the bytes tell
        LoadedBoard b = Load();
        b.Users[0].UserName = "山田花子";
        ASSERT_TRUE(Save(b, board).ok());
        lines = {"username=山田花子", "status=1", "plan=外出中"};
        lines.insert(lines.end(), board.tail.begin(), board.tail.end());
        EXPECT_EQ(Bytes("user/u01.txt"), SjisLines(lines));
        EXPECT_TRUE(TempFilesIn(dir.path()).empty());
    }

    Make(SampleBoard());
    BoardWritesAfterRead restless;
    restless.file = UserFile("u01.txt");
    restless.writesLeft = 1000;
    LoadedBoard b = Load();
    b.Users[0].UserName = "山田花子";
    SaveReport r = Save(b, restless);
    EXPECT_TRUE(r.ok()) << Describe(r);
    EXPECT_EQ(restless.CountOf(FsOp::OpenRead, "/u01.txt"), 4);
    EXPECT_TRUE(Bytes("user/u01.txt").starts_with(SjisLines({"username=山田花子"})));
}

// A per-user file larger than any file the programs read whole (a log the
// board keeps after the plan line): the save streams everything after the
// first line from disk, whether it replaces the file or rewrites it in
// place (a second name), and the file keeps it byte for byte.
TEST_F(SaveTest, HugePerUserFileKeepsEverythingAfterItsFirstLine) {
    for (bool secondName : {false, true}) {
        SCOPED_TRACE(secondName ? "rewritten in place" : "replaced");
        Make(SampleBoard());
        const std::string file = UserFile("u01.txt");
        const std::string firstLine = SjisLines({"username=山田"});
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out << SjisLines({"username=山田", "status=1", "plan=会議"});
            out.seekp(std::streamoff(kMaxFileBytes) + 12345);
            out << "the end";
        }
        if (secondName) ::link(file.c_str(), (dir / "second-name.txt").c_str());
        const std::string before = test::ReadBytes(file);
        LoadedBoard b = Load();
        b.Users[0].UserName = "山田花子";
        SaveReport r = Save(b);
        ASSERT_TRUE(r.ok()) << Describe(r);
        const std::string after = test::ReadBytes(file);
        const std::string newFirstLine = SjisLines({"username=山田花子"});
        ASSERT_EQ(after.size(), before.size() - firstLine.size() + newFirstLine.size());
        EXPECT_TRUE(after.starts_with(newFirstLine));
        EXPECT_TRUE(std::string_view(after).substr(newFirstLine.size()) ==
                    std::string_view(before).substr(firstLine.size()));
        EXPECT_EQ(b.Users[0].StatusLine, "status=1");
        if (secondName) {
            EXPECT_EQ(test::ReadBytes(dir / "second-name.txt").size(), after.size());
        }
        EXPECT_TRUE(TempFilesIn(dir.path()).empty());
    }
}

TEST_F(SaveTest, UnreadablePerUserFileIsLeftAndReported) {
    Make(SampleBoard());
    LoadedBoard b = Load();
    std::string before = Bytes("user/u01.txt");
    b.Users[0].UserName = "山田花子";
    b.Users[1].UserName = "佐藤花子";
    FaultyFileSystem faulty;
    faulty.FailKind(FsOp::OpenRead, EACCES, "/u01.txt");
    SaveReport r = Save(b, faulty);
    EXPECT_TRUE(Reported(r, UserFile("u01.txt"), "読み込み", ErrorText(EACCES))) << Describe(r);
    EXPECT_EQ(r.failures.size(), 1u) << Describe(r);
    EXPECT_EQ(Bytes("user/u01.txt"), before);
    EXPECT_EQ(b.Users[0].StatusLine, "status=1");
    EXPECT_EQ(Bytes("user/u02.txt"), SjisLines({"username=佐藤花子", "status=0", "plan="}));
}

TEST_F(SaveTest, IdThatWouldLeaveTheFolderIsNeverUsedAsAPath) {
    Make(SampleBoard());
    UserTable users(3);
    users[0].UserId = "../evil";
    users[1].UserId = "a\\b";
    users[2].UserId = "u01";
    users[2].UserName = "山田";
    GroupTable groups(1);
    SaveReport r = SaveBoard(RealFileSystem(), paths, users, groups);
    ASSERT_EQ(r.failures.size(), 2u) << Describe(r);
    for (auto& f : r.failures) EXPECT_EQ(f.step, "ユーザーファイル");
    EXPECT_FALSE(test::PathExists(dir / "evil.txt"));
    EXPECT_EQ(test::ListNames(paths.UserFolder()), std::vector<std::string>{"u01.txt"});
    EXPECT_EQ(Bytes("user.txt"), "../evil,,0\r\na\\b,,0\r\nu01,,0\r\n");
}

// ----------------------------------------------------------------- pruning

TEST_F(SaveTest, PruningDeletesStrayFilesOnly) {
    Make(SampleBoard());
    test::WriteBytes(UserFile("memo.txt"), "memo");
    test::WriteBytes(UserFile("old.dat"), "x");
    test::WriteBytes(UserFile(".hidden"), "keep");
    test::WriteBytes(UserFile("sub/inside.txt"), "keep");
    test::WriteBytes(dir / "outside.txt", "target");
    ASSERT_EQ(::symlink("../outside.txt", UserFile("link.txt").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", UserFile("dangling.txt").c_str()), 0);
    // Another name of a user's file is that user's file.
    ASSERT_EQ(::link(UserFile("u02.txt").c_str(), UserFile("ALIAS.txt").c_str()), 0);

    LoadedBoard b = Load();
    RemoveUserAt(b.Users, 2);  // u03
    std::vector<std::string> wouldDelete = FilesPruneWouldDelete(RealFileSystem(), paths, b.Users);
    std::sort(wouldDelete.begin(), wouldDelete.end());
    EXPECT_EQ(wouldDelete, (std::vector<std::string>{"link.txt", "memo.txt", "old.dat", "u03.txt"}));

    auto before = test::ListNames(paths.UserFolder());
    ASSERT_TRUE(Save(b).ok());
    auto after = test::ListNames(paths.UserFolder());
    std::vector<std::string> deleted;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(deleted));
    EXPECT_EQ(deleted, wouldDelete);
    EXPECT_EQ(after, (std::vector<std::string>{".hidden", "ALIAS.txt", "dangling.txt", "sub", "u01.txt", "u02.txt", "u04.txt"}));
    EXPECT_EQ(Bytes("outside.txt"), "target");
    EXPECT_EQ(Bytes("user/sub/inside.txt"), "keep");
}

TEST_F(SaveTest, PruningWaitsForAWrittenUserTxt) {
    Make(SampleBoard());
    test::WriteBytes(UserFile("memo.txt"), "memo");
    LoadedBoard b = Load();
    b.Users[0].UserName = "山田花子";
    ::unlink(paths.UserFilePath.c_str());  // removed while the editor runs
    SaveReport r = Save(b);
    EXPECT_TRUE(Reported(r, paths.UserFilePath, "属性の変更", ErrorText(ENOENT))) << Describe(r);
    EXPECT_TRUE(Reported(r, paths.UserFolder(), "不要なファイルの削除")) << Describe(r);
    EXPECT_EQ(r.failures.size(), 2u) << Describe(r);
    EXPECT_FALSE(test::PathExists(paths.UserFilePath)) << "not recreated";
    EXPECT_EQ(Bytes("user/memo.txt"), "memo");
    EXPECT_EQ(Bytes("user/u01.txt"), SjisLines({"username=山田花子", "status=1", "plan=会議"}));
    EXPECT_EQ(Bytes("group.txt"), SjisLines({"1,営業", "2,総務", "-3,負"}));
}

TEST_F(SaveTest, FileThatCannotBeDeletedIsReported) {
    Make(SampleBoard());
    test::WriteBytes(UserFile("memo.txt"), "memo");
    test::WriteBytes(UserFile("other.txt"), "other");
    LoadedBoard b = Load();
    FaultyFileSystem faulty;
    faulty.FailKind(FsOp::Unlink, EBUSY, "memo.txt");
    SaveReport r = Save(b, faulty);
    EXPECT_TRUE(Reported(r, UserFile("memo.txt"), "削除", ErrorText(EBUSY))) << Describe(r);
    EXPECT_EQ(r.failures.size(), 1u) << Describe(r);
    EXPECT_TRUE(test::PathExists(UserFile("memo.txt")));
    EXPECT_FALSE(test::PathExists(UserFile("other.txt")));
    EXPECT_EQ(faulty.CountOf(FsOp::Rename, "group.txt"), 1) << "the group file is still written";
}

// ---------------------------------------------------------------- failures

TEST_F(SaveTest, RefusedValueWritesNothingAtAll) {
    Make(SampleBoard());
    test::WriteBytes(UserFile("memo.txt"), "memo");
    struct Case {
        const char* what;
        void (*change)(LoadedBoard&);
        std::string field, character;
    } cases[] = {
        {"emoji in a name", [](LoadedBoard& b) { b.Users[2].UserName = "鈴木😀"; }, "ユーザー(表示)名", "😀"},
        {"line break in a password", [](LoadedBoard& b) { b.Users[0].PassWord = "a\nb"; }, "パスワード", "改行"},
        {"leading quote in a group", [](LoadedBoard& b) { b.Groups[1].GroupName = "\"総務"; }, "グループ名", "\""},
        {"= in a name", [](LoadedBoard& b) { b.Users[3].UserName = "a=b"; }, "ユーザー(表示)名", "="},
    };
    for (auto& c : cases) {
        LoadedBoard b = Load();
        b.Users[1].UserName = "変更";
        c.change(b);
        auto before = test::ReadFolderState(dir.path());
        std::vector<Failure> check = CheckWritable(b.Users, b.Groups);
        SaveReport r = Save(b);
        EXPECT_TRUE(r.refused) << c.what;
        EXPECT_FALSE(r.ok()) << c.what;
        ASSERT_EQ(r.failures.size(), 1u) << c.what;
        ASSERT_EQ(check.size(), 1u) << c.what;
        EXPECT_EQ(check[0].ToString(), r.failures[0].ToString());
        EXPECT_EQ(r.failures[0].step, c.field) << c.what;
        EXPECT_NE(r.failures[0].Reason().find(c.character), std::string::npos) << r.failures[0].ToString();
        EXPECT_EQ(test::ReadFolderState(dir.path()), before) << c.what;
    }
}

TEST_F(SaveTest, LastWordBeforeWritingIsAskedOnlyForWritableTables) {
    Make(SampleBoard());
    LoadedBoard b = Load();
    b.Users[0].UserName = "変更";
    auto before = test::ReadFolderState(dir.path());
    int asked = 0;
    SaveReport no = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups, nullptr, nullptr, [&] {
        ++asked;
        return false;
    });
    EXPECT_TRUE(no.cancelled);
    EXPECT_FALSE(no.ok());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(test::ReadFolderState(dir.path()), before);

    b.Users[1].UserName = "改行\n";  // refused: the question never comes
    SaveReport refused = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups, nullptr, nullptr, [&] {
        ++asked;
        return true;
    });
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(test::ReadFolderState(dir.path()), before);
}

TEST_F(SaveTest, DataFileThatIsAFolderOrMissingIsSkipped) {
    Make(SampleBoard());
    LoadedBoard b = Load();
    ::unlink(paths.UserFilePath.c_str());
    fs::create_directory(paths.UserFilePath);
    ::unlink(paths.GroupFilePath.c_str());
    b.Users[0].UserName = "山田花子";
    SaveReport r = Save(b);
    EXPECT_TRUE(Reported(r, paths.UserFilePath, "属性の変更", ErrorText(EISDIR))) << Describe(r);
    EXPECT_TRUE(Reported(r, paths.GroupFilePath, "属性の変更", ErrorText(ENOENT))) << Describe(r);
    EXPECT_TRUE(fs::is_directory(paths.UserFilePath));
    EXPECT_FALSE(test::PathExists(paths.GroupFilePath));
    EXPECT_EQ(Bytes("user/u01.txt"), SjisLines({"username=山田花子", "status=1", "plan=会議"}));
}

TEST_F(SaveTest, UnwritableUserFolderReportsEveryFileAndStillWritesGroupTxt) {
    Make(SampleBoard());
    LoadedBoard b = Load();
    for (auto& u : b.Users) u.UserName += "様";
    b.Groups[0].GroupName = "営業部";
    FaultyFileSystem faulty;
    faulty.FailKind(FsOp::OpenWrite, EACCES, "/user/");
    std::map<std::string, std::string> before;
    for (auto* id : {"u01", "u02", "u03"}) before[id] = Bytes(std::string("user/") + id + ".txt");
    SaveReport r = Save(b, faulty);
    ASSERT_EQ(r.failures.size(), 4u) << Describe(r);
    for (auto* id : {"u01", "u02", "u03", "u04"})
        EXPECT_TRUE(Reported(r, UserFile(std::string(id) + ".txt"), "作成", ErrorText(EACCES))) << id;
    for (auto& [id, bytes] : before) EXPECT_EQ(Bytes("user/" + id + ".txt"), bytes);
    EXPECT_EQ(Bytes("group.txt"), SjisLines({"1,営業部", "2,総務", "-3,負"}));
    EXPECT_TRUE(TempFilesIn(dir.path()).empty());
}

TEST_F(SaveTest, MissingUserFolderOrAFileInItsPlaceReportsEveryFile) {
    Make(SampleBoard());
    LoadedBoard b = Load();
    fs::remove_all(paths.UserFolder());
    SaveReport r = Save(b);
    EXPECT_EQ(r.failures.size(), 4u) << Describe(r);
    EXPECT_TRUE(Reported(r, UserFile("u04.txt"), "作成", ErrorText(ENOENT))) << Describe(r);
    EXPECT_FALSE(test::PathExists(paths.UserFolder()));
    EXPECT_EQ(Bytes("group.txt"), SjisLines({"1,営業", "2,総務", "-3,負"}));

    test::WriteBytes(paths.UserFolder(), "not a folder");
    r = Save(b);
    EXPECT_TRUE(Reported(r, paths.UserFolder(), "一覧の取得", ErrorText(ENOTDIR))) << Describe(r);
    EXPECT_TRUE(Reported(r, UserFile("u01.txt"), "情報の取得", ErrorText(ENOTDIR))) << Describe(r);
    EXPECT_EQ(r.failures.size(), 5u) << Describe(r);
    EXPECT_EQ(Bytes("user"), "not a folder");
}

// A failure anywhere between creating the temporary file and renaming it
// leaves the old file as it was, and no temporary file behind.
TEST_F(SaveTest, FailureBeforeTheRenameKeepsTheOldFile) {
    struct Case {
        FsOp op;
        const char* step;
    } cases[] = {{FsOp::OpenWrite, "作成"}, {FsOp::Write, "書き込み"}, {FsOp::Sync, "ディスクへの書き出し"},
                 {FsOp::Close, "書き込み"}, {FsOp::Chown, "所有者の変更"}, {FsOp::Chmod, "属性の変更"},
                 {FsOp::Rename, "名前の変更"}};
    Make(SampleBoard());
    // Owner and mode are set only where the new file differs: a group the
    // new files do not get (root), and a mode the umask narrows.
    const mode_t oldMask = ::umask(022);
    for (auto& c : cases) {
        if (c.op == FsOp::Chown && ::geteuid() != 0) continue;
        if (c.op == FsOp::Chmod && !kFilesHaveOwners) continue;  // a new file's attributes are the old one's
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(paths.UserFilePath.c_str(), 0, 1), 0);
            ASSERT_EQ(::chown(UserFile("u02.txt").c_str(), 0, 1), 0);
        }
        ::chmod(UserFile("u02.txt").c_str(), 0666);
        LoadedBoard b = Load();
        b.Users[0].PassWord = "new";
        b.Users[1].UserName = std::string("佐藤") + FsOpName(c.op);  // differs from the file every time
        b.Users[1].StatusLine = "stale";
        std::string oldUserTxt = Bytes("user.txt"), oldU02 = Bytes("user/u02.txt");
        FaultyFileSystem faulty;
        faulty.FailKind(c.op, ENOSPC, "/.user.txt.solne-");
        if (c.op != FsOp::Sync) faulty.FailKind(c.op, ENOSPC, "/.u02.txt.solne-");  // per-user files are not synced
        SaveReport r = Save(b, faulty);
        const char* name = FsOpName(c.op);
        EXPECT_TRUE(Reported(r, paths.UserFilePath, c.step, ErrorText(ENOSPC))) << name << "\n" << Describe(r);
        EXPECT_EQ(Bytes("user.txt"), oldUserTxt) << name;
        EXPECT_EQ(StatOf(paths.UserFilePath).st_mode & 0222, 0u) << name << ": read-only again";
        if (c.op != FsOp::Sync) {
            EXPECT_TRUE(Reported(r, UserFile("u02.txt"), c.step, ErrorText(ENOSPC))) << name;
            EXPECT_EQ(Bytes("user/u02.txt"), oldU02) << name;
            EXPECT_EQ(b.Users[1].StatusLine, "stale") << "a slot records only what was written";
        }
        EXPECT_TRUE(TempFilesIn(dir.path()).empty()) << name;
        EXPECT_TRUE(Reported(r, paths.UserFolder(), "不要なファイルの削除")) << name;
    }
    ::umask(oldMask);
}

// A per-user file replaced by a new one: made with the old file's
// permissions where it gets the old file's group at once, with owner and
// mode set after only where they differ; either way the same in the end.
TEST_F(SaveTest, NewPerUserFileGetsTheOldOwnerAndModeWithNoCallMoreThanNeeded) {
    if (!kFilesHaveOwners) GTEST_SKIP() << "files have no owners or permission bits here";
    const mode_t oldMask = ::umask(022);
    struct Case {
        mode_t mode;
        bool otherGroup;  // root only
        bool chmodNeeded;
    } cases[] = {{0644, false, false}, {0640, false, false}, {0664, false, true}, {0644, true, true}};
    for (const Case& c : cases) {
        if (c.otherGroup && ::geteuid() != 0) continue;
        SCOPED_TRACE(std::to_string(c.mode) + (c.otherGroup ? " other group" : ""));
        Make(SampleBoard());
        const std::string u02 = UserFile("u02.txt");
        ::chmod(u02.c_str(), c.mode);
        if (c.otherGroup) {
            ASSERT_EQ(::chown(u02.c_str(), 0, 1), 0);
        }
        const struct stat before = StatOf(u02);
        LoadedBoard b = Load();
        b.Users[1].UserName = "佐藤二郎";
        FaultyFileSystem counted;
        ASSERT_TRUE(Save(b, counted).ok()) << Describe(Save(b));
        const struct stat after = StatOf(u02);
        EXPECT_NE(after.st_ino, before.st_ino) << "replaced by a new file";
        EXPECT_EQ(after.st_mode & 07777, c.mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(counted.CountOf(FsOp::Chown, "/.u02.txt.solne-"), c.otherGroup ? 1 : 0);
        EXPECT_EQ(counted.CountOf(FsOp::Chmod, "/.u02.txt.solne-"), c.chmodNeeded ? 1 : 0);
        // On a local disk, in a folder only its owner changes, the rules tell
        // what the new file is: its descriptor is not asked.
        Handle folder;
        ASSERT_EQ(RealFileSystem().OpenFolder(paths.UserFolder(), folder), 0);
        const bool rulesTell = RealFileSystem().NewFileModeMask(folder).has_value();
        RealFileSystem().Close(folder);
        EXPECT_EQ(counted.CountOf(FsOp::StatOf, "/.u02.txt.solne-"), rulesTell ? 0 : 1);
    }
    ::umask(oldMask);
}

TEST_F(SaveTest, DataFileThatCannotBeMadeReadOnlyIsReported) {
    Make(SampleBoard());
    ::chmod(paths.GroupFilePath.c_str(), 0644);
    LoadedBoard b = Load();
    b.Groups[0].GroupName = "営業部";
    FaultyFileSystem faulty;
    faulty.FailKind(FsOp::Chmod, EPERM, paths.GroupFilePath);
    SaveReport r = Save(b, faulty);
    EXPECT_TRUE(Reported(r, paths.GroupFilePath, "属性の変更", ErrorText(EPERM))) << Describe(r);
    EXPECT_EQ(r.failures.size(), 1u) << Describe(r);
    EXPECT_EQ(Bytes("group.txt"), SjisLines({"1,営業部", "2,総務", "-3,負"}));
}

// ------------------------------------------------------------ ReplaceFile

TEST(ReplaceFile, KeepsTheModeAndCreatesNewFiles) {
    test::TempDir dir;
    std::string path = dir / "f.txt";
    test::WriteBytes(path, "old");
    ::chmod(path.c_str(), 0666);
    mode_t oldMask = ::umask(022);
    std::string step;
    EXPECT_EQ(ReplaceFile(RealFileSystem(), dir.path(), path, "new", false, step), 0);
    EXPECT_EQ(test::ReadBytes(path), "new");
    EXPECT_EQ(StatOf(path).st_mode & 07777, 0666u) << "not narrowed by the umask";

    std::string fresh = dir / "g.txt";
    EXPECT_EQ(ReplaceFile(RealFileSystem(), dir.path(), fresh, "", true, step), 0);
    EXPECT_TRUE(test::PathExists(fresh));
    EXPECT_EQ(StatOf(fresh).st_mode & 07777, 0644u);
    ::umask(oldMask);

    fs::create_directory(dir / "d.txt");
    EXPECT_EQ(ReplaceFile(RealFileSystem(), dir.path(), dir / "d.txt", "x", false, step), EISDIR);
    EXPECT_EQ(ReplaceFile(RealFileSystem(), dir.path(), dir / "missing/h.txt", "x", false, step), ENOENT);
    EXPECT_EQ(step, "作成");
    EXPECT_EQ(test::ListNames(dir.path()), (std::vector<std::string>{"d.txt", "f.txt", "g.txt"}));
}

}  // namespace
}  // namespace solne
