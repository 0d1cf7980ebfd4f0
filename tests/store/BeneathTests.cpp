// A board shared with the board's own account, saved by root: whatever that
// account plants or swaps in the board (links, another folder in the place
// of "user/") leads root's save nowhere that account could not reach itself,
// and root works in the account's folders with the account's rights.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "common/BoardRace.h"
#include "common/SaveReports.h"
#include "common/TempBoard.h"
#include "store/Load.h"
#include "store/Save.h"

namespace solne {
namespace {

namespace fs = std::filesystem;
using test::Account;
using test::BoardAccount;
using test::Describe;
using test::Reported;
using test::SjisLines;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// A root-owned board folder (group-writable for the board's account's
// group) whose "user/" and per-user files belong to the board's account;
// "user.txt" and "group.txt" root's, 0644; and a root-owned program of the
// board system beside them.
class SharedBoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to play the board's account and the administrator";
        acct = BoardAccount();
        if (!acct.real) std::printf("no account could be made (useradd): playing the unused uid %u\n", acct.uid);
        ::chmod(dir.path().c_str(), 0755);
        test::WriteBoard(dir.path(), {{"u1,pw,1", "u2,pw,1", "u3,pw,1"},
                                      {"1,営業"},
                                      {{"u1", {"username=山田", "status=1", "plan=会議"}},
                                       {"u2", {"username=佐藤", "status=0", "plan="}},
                                       {"u3", {"username=鈴木", "status=0", "plan="}}}});
        test::WriteBytes(dir / "board.cgi", "#!/bin/sh\necho board\n");
        ::chmod((dir / "board.cgi").c_str(), 0755);
        for (auto& e : fs::recursive_directory_iterator(dir / "user")) ::lchown(e.path().c_str(), acct.uid, acct.gid);
        ::chown((dir / "user").c_str(), acct.uid, acct.gid);
        ::chown(dir.path().c_str(), 0, acct.gid);
        ::chmod(dir.path().c_str(), 02775);
        paths = BoardPaths::For(dir.path());
        userTxt = test::ReadBytes(paths.UserFilePath);
        ASSERT_FALSE(LoadBoard(RealFileSystem(), paths, loaded).has_value());
        userSnap = loaded.userFile;
        groupSnap = loaded.groupFile;
        for (auto& u : loaded.Users) u.UserName += "改";
    }

    SaveReport Save() {
        return SaveBoard(RealFileSystem(), paths, loaded.Users, loaded.Groups, &userSnap, &groupSnap);
    }

    // Plants a link as the board's account would: owned by it.
    void Plant(const std::string& link, const std::string& target, uid_t owner) {
        fs::remove_all(link);
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
        ASSERT_EQ(::lchown(link.c_str(), owner, owner), 0);
    }

    Account acct;
    test::TempDir dir;
    BoardPaths paths;
    LoadedBoard loaded;
    FileSnapshot userSnap, groupSnap;
    std::string userTxt;
};

// "user/" put away by the board's account after the load: replaced by a
// link to a folder of its own that holds root's files, or by another
// folder. The save writes and prunes in neither, and says why.
TEST_F(SharedBoardTest, PerUserFolderSwappedAfterTheLoadIsNotEntered) {
    test::TempDir outside;
    ::chmod(outside.path().c_str(), 0755);
    ::chown(outside.path().c_str(), acct.uid, acct.gid);
    for (const char* name : {"stray.txt", "notes.txt"}) test::WriteBytes(outside / name, "root's own");
    fs::rename(dir / "user", dir / "user.old");
    Plant(dir / "user", outside.path(), acct.uid);

    SaveReport r = Save();
    EXPECT_TRUE(Reported(r, paths.UserFolder(), "", ErrorText(kForeignLink))) << Describe(r);
    EXPECT_EQ(test::ListNames(outside.path()), (std::vector<std::string>{"notes.txt", "stray.txt"}));
    EXPECT_EQ(test::ReadBytes(outside / "stray.txt"), "root's own");
    EXPECT_EQ(test::ReadBytes(paths.UserFilePath), test::SjisLines({"u1,pw,1", "u2,pw,1", "u3,pw,1"}));

    // Another real folder in its place: not the one loaded.
    fs::remove(dir / "user");
    fs::create_directory(dir / "user");
    ::chown((dir / "user").c_str(), acct.uid, acct.gid);
    test::WriteBytes(dir / "user/stray.txt", "kept");
    r = Save();
    EXPECT_TRUE(Reported(r, paths.UserFolder(), "", ErrorText(kFolderReplaced))) << Describe(r);
    EXPECT_EQ(test::ListNames(dir / "user"), std::vector<std::string>{"stray.txt"});
    EXPECT_EQ(test::ListNames(dir / "user.old"), (std::vector<std::string>{"u1.txt", "u2.txt", "u3.txt"}));
}

// Links the board's account plants in "user/": to "user.txt", to the board's
// program beside it, through a chain of its own links outside. None is
// followed: the load names the link, the save leaves each target whole.
// A link root made to a data file is refused all the same.
TEST_F(SharedBoardTest, LinksInTheBoardLeadRootNowhere) {
    test::TempDir own;
    ::chmod(own.path().c_str(), 0755);
    ::chown(own.path().c_str(), acct.uid, acct.gid);
    Plant(own / "hop", paths.UserFilePath, acct.uid);
    const std::string cgi = test::ReadBytes(dir / "board.cgi");
    struct Case {
        const char* file;
        std::string target;
        uid_t owner;
        int err;
    } cases[] = {{"u1.txt", "../user.txt", acct.uid, kForeignLink},
                 {"u2.txt", "../board.cgi", acct.uid, kForeignLink},
                 {"u3.txt", own / "hop", acct.uid, kForeignLink},
                 {"u1.txt", "../user.txt", 0, kDataFileAlias},
                 {"u2.txt", "../group.txt", 0, kDataFileAlias}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " -> " + c.target);
        const std::string link = dir / ("user/" + std::string(c.file));
        const std::string kept = test::ReadBytes(link);
        Plant(link, c.target, c.owner);
        LoadedBoard again;
        auto err = LoadBoard(RealFileSystem(), paths, again);
        ASSERT_TRUE(err.has_value());
        EXPECT_EQ(err->ToString(), link + ": " + ErrorText(c.err));

        SaveReport r = Save();
        EXPECT_TRUE(Reported(r, link, "", ErrorText(c.err))) << Describe(r);
        EXPECT_EQ(test::ReadBytes(dir / "board.cgi"), cgi);
        EXPECT_EQ(test::ReadBytes(paths.GroupFilePath), test::SjisLines({"1,営業"}));
        EXPECT_TRUE(test::ReadBytes(paths.UserFilePath).starts_with("u1,pw,1"));
        EXPECT_EQ(StatOf(dir / "board.cgi").st_uid, 0u);
        fs::remove(link);
        test::WriteBytes(link, kept);
        ::lchown(link.c_str(), acct.uid, acct.gid);
    }
}

// Root works in the account's folder with the account's rights: a new
// user's file belongs to the account, and a file the account may not read
// is not read for it.
TEST_F(SharedBoardTest, RootWorksInTheAccountsFolderWithItsRights) {
    int slot = AppendUser(loaded.Users);
    loaded.Users[slot] = UserInfo{"u4", "高橋", "pw", 1, "営業", "", ""};
    SaveReport r = Save();
    ASSERT_TRUE(r.ok()) << Describe(r);
    EXPECT_EQ(StatOf(dir / "user/u4.txt").st_uid, acct.uid);
    EXPECT_EQ(StatOf(dir / "user/u1.txt").st_uid, acct.uid);
    EXPECT_EQ(StatOf(paths.UserFilePath).st_uid, 0u) << "the board folder is root's: root's rights there";

    ::chown((dir / "user/u2.txt").c_str(), 0, 0);
    ::chmod((dir / "user/u2.txt").c_str(), 0600);
    LoadedBoard again;
    auto err = LoadBoard(RealFileSystem(), paths, again);
    ASSERT_TRUE(err.has_value());
    EXPECT_EQ(err->file, dir / "user/u2.txt");
}

// The rights are the thread's own: another thread keeps root's meanwhile,
// and they come back at the end.
TEST(OwnerRights, PerThreadAndForTheScopeOnly) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    const Account acct = BoardAccount();
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    {
        // A thread started before: a new thread would copy the rights.
        std::atomic<bool> go = false;
        std::thread other([&] {
            while (!go) std::this_thread::yield();
            test::WriteBytes(dir / "other", "x");
        });
        OwnerRights rights(acct.uid);
        ASSERT_EQ(rights.error(), 0);
        EXPECT_EQ(EffectiveUser(), acct.uid);
        EXPECT_FALSE(RunningAsRoot());
        test::WriteBytes(dir / "mine", "x");
        go = true;
        other.join();
    }
    EXPECT_TRUE(RunningAsRoot());
    test::WriteBytes(dir / "after", "x");
    EXPECT_EQ(StatOf(dir / "mine").st_uid, acct.uid);
    EXPECT_EQ(StatOf(dir / "other").st_uid, 0u);
    EXPECT_EQ(StatOf(dir / "after").st_uid, 0u);
    ::chmod((dir / "after").c_str(), 0600);
    {
        OwnerRights rights(acct.uid);
        std::string bytes;
        EXPECT_EQ(RealFileSystem().ReadFile(dir / "after", bytes), EACCES);
    }
}

// The board's account flips "user/", or a per-user file, between what it
// is and a link out of the board while root saves: nothing outside changes.
// (`make soak` runs the long version with its figures.)
TEST(BoardRace, FlippingFolderOrFileReachesNothingOutside) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the board's account";
    for (auto target : {test::RaceTarget::UserFolder, test::RaceTarget::PerUserFile}) {
        const test::RaceResult r = test::RaceSaves(target, 15, 200);
        EXPECT_EQ(r.outsideChanged, 0) << r.firstChange;
        EXPECT_EQ(r.saves, 15);
        std::printf("%s: %d saves (%d reported a swap), %ld flips, outside changed after %d\n",
                    target == test::RaceTarget::UserFolder ? "user/" : "per-user file", r.saves, r.failedSaves,
                    r.flips, r.outsideChanged);
    }
}

// The window answers the system from inside the load's and the save's
// progress: that never happens with the folder owner's rights, and the
// files come out as without it.
TEST_F(SharedBoardTest, ProgressIsHeardWithTheProgramsOwnRights) {
    std::vector<AccountId> heardAs;
    auto progress = [&](size_t, size_t) { heardAs.push_back(EffectiveUser()); };
    LoadedBoard again;
    ASSERT_FALSE(LoadBoard(RealFileSystem(), paths, again, progress).has_value());
    EXPECT_EQ(again.Users.size(), loaded.Users.size());
    const SaveReport r = SaveBoard(RealFileSystem(), paths, loaded.Users, loaded.Groups, &userSnap, &groupSnap,
                                   [](const std::vector<std::string>&) { return true; }, progress);
    EXPECT_TRUE(r.ok()) << Describe(r);
    ASSERT_GE(heardAs.size(), 2 * loaded.Users.size());
    for (AccountId who : heardAs) EXPECT_EQ(who, AccountId(0));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "user/u1.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, acct.uid) << "the per-user file is still the board account's";
}

}  // namespace
}  // namespace solne
