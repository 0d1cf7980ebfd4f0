// A board on a network share that cannot do all a local file system does.
// A FUSE client of an SMB share numbers its nodes anew once the kernel has
// forgotten them: the board's folders get other node numbers between the
// load and the save, and the save still writes the board it loaded there,
// and only there. The share refuses to rename a file over one that is open
// somewhere, and has no fallocate: such files are rewritten in place.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/FaultyFileSystem.h"
#include "common/TempBoard.h"
#include "store/BoardFolder.h"
#include "store/Failure.h"
#include "store/Load.h"
#include "store/Save.h"
#include "store/Snapshot.h"

namespace solne {
namespace {

using test::SjisLines;

// Adds `shift` to the node number (and `devShift` to the device) of every
// folder it describes, and says whether it keeps node numbers.
class RenumberingFileSystem : public test::FaultyFileSystem {
public:
    ino_t shift = 0;
    dev_t devShift = 0;
    bool keeps = true;

    bool KeepsNodeNumbers(Handle) override { return keeps; }
    int OpenFolderAt(Handle dir, const std::string& name, Handle& out, FileStat* st) override {
        int err = FaultyFileSystem::OpenFolderAt(dir, name, out, st);
        if (err == 0 && st) Renumber(*st);
        return err;
    }
    int StatOf(Handle file, FileStat& out) override { return Renumber(FaultyFileSystem::StatOf(file, out), out); }
    int StatAt(Handle dir, const std::string& name, FileStat& out) override {
        return Renumber(FaultyFileSystem::StatAt(dir, name, out), out);
    }

private:
    void Renumber(FileStat& st) const {
        if (!st.isDir) return;
        st.ino += shift;
        st.dev += devShift;
    }
    int Renumber(int err, FileStat& st) const {
        if (err == 0) Renumber(st);
        return err;
    }
};

class ShareCompatTest : public ::testing::Test {
protected:
    test::TempDir dir;
    BoardPaths paths = BoardPaths::For(dir.path());
    RenumberingFileSystem fs;
    LoadedBoard board;

    void SetUp() override {
        test::WriteBoard(dir.path(), {{"u1,pw,1", "u2,pw,1"},
                                      {"1,営業"},
                                      {{"u1", {"username=山田", "status=1", "plan=会議"}},
                                       {"u2", {"username=佐藤", "status=0", "plan="}}}});
        test::WriteBytes(dir / "user/memo.txt", "no user's file");
        ASSERT_FALSE(LoadBoard(fs, paths, board).has_value());
        board.Users[1].GroupNo = 0;
        board.Users[0].UserName = "山田 一郎";
    }

    SaveReport Save() { return SaveBoard(fs, paths, board.Users, board.Groups, &board.userFile, &board.groupFile); }
    std::vector<std::string> ChangedOutside() {
        return FilesChangedOutside(fs, paths, board.userFile, board.groupFile);
    }
    static bool Reports(const SaveReport& r, const std::string& file, int err) {
        for (const Failure& f : r.failures)
            if (f.file == file && f.code == err) return true;
        return false;
    }
    void ExpectNothingWritten() {
        EXPECT_EQ(test::ReadBytes(dir / "user.txt"), SjisLines({"u1,pw,1", "u2,pw,1"}));
        EXPECT_EQ(test::ReadBytes(dir / "user/u1.txt"), SjisLines({"username=山田", "status=1", "plan=会議"}));
        EXPECT_TRUE(test::PathExists(dir / "user/memo.txt"));
    }
};

TEST_F(ShareCompatTest, NewNumbersOnAFileSystemThatDoesNotKeepThemAreTheSameFolders) {
    fs.shift = 1000;
    fs.keeps = false;
    EXPECT_TRUE(ChangedOutside().empty());
    const SaveReport r = Save();
    EXPECT_TRUE(r.ok()) << (r.failures.empty() ? "" : r.failures[0].ToString());
    EXPECT_EQ(test::ReadBytes(dir / "user.txt"), SjisLines({"u1,pw,1", "u2,pw,0"}));
    EXPECT_EQ(test::ReadBytes(dir / "user/u1.txt"), SjisLines({"username=山田 一郎", "status=1", "plan=会議"}));
    EXPECT_EQ(test::ListNames(dir / "user"), (std::vector<std::string>{"u1.txt", "u2.txt"}));

    // The next save knows the folders by their new numbers, and by any later ones.
    fs.shift = 2000;
    board.Users[0].UserName = "山田";
    EXPECT_TRUE(ChangedOutside().empty());
    EXPECT_TRUE(Save().ok());
    EXPECT_EQ(test::ReadBytes(dir / "user/u1.txt"), SjisLines({"username=山田", "status=1", "plan=会議"}));
}

TEST_F(ShareCompatTest, NewNumbersWhereTheFileSystemKeepsThemAreAnotherFolder) {
    fs.shift = 1000;
    EXPECT_EQ(ChangedOutside(), (std::vector<std::string>{"user.txt", "group.txt", "user/u1.txt", "user/u2.txt"}));
    const SaveReport r = Save();
    EXPECT_TRUE(Reports(r, paths.InstalledPath, kFolderReplaced)) << (r.failures.empty() ? "" : r.failures[0].ToString());
    ExpectNothingWritten();
}

TEST_F(ShareCompatTest, AnotherDeviceIsAnotherFolderEvenWhereNumbersAreNotKept) {
    fs.shift = 1000;
    fs.devShift = 1;
    fs.keeps = false;
    EXPECT_FALSE(ChangedOutside().empty());
    EXPECT_TRUE(Reports(Save(), paths.InstalledPath, kFolderReplaced));
    ExpectNothingWritten();
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

// Every rename over a board file refused as the share refuses it for a file
// open on this machine (EBUSY) or on another (EEXIST), and no fallocate:
// every changed file is rewritten in place, its journal gone afterwards.
TEST_F(ShareCompatTest, RenameRefusedOverAnOpenFileRewritesInPlace) {
    for (int err : {EEXIST, EBUSY}) {
        SCOPED_TRACE(ErrorText(err));
        fs.Reset();
        // Renames over the board's files; those of the journals go through.
        for (const char* file : {"user.txt", "group.txt", "user/u"})
            fs.FailKind(test::FsOp::Rename, err, ".tmp -> " + (dir / file));
        fs.FailKind(test::FsOp::Reserve, EOPNOTSUPP);
        const ino_t userTxt = InodeOf(dir / "user.txt");
        const ino_t u1 = InodeOf(dir / "user/u1.txt");
        board.Users[0].UserName = err == EEXIST ? "山田 一郎" : "山田 次郎";
        const SaveReport r = Save();
        EXPECT_TRUE(r.ok()) << (r.failures.empty() ? "" : r.failures[0].ToString());
        EXPECT_GT(fs.CountOf(test::FsOp::Rename), 0);
        EXPECT_EQ(test::ReadBytes(dir / "user.txt"), SjisLines({"u1,pw,1", "u2,pw,0"}));
        EXPECT_EQ(test::ReadBytes(dir / "user/u1.txt"),
                  SjisLines({"username=" + board.Users[0].UserName, "status=1", "plan=会議"}));
        EXPECT_EQ(InodeOf(dir / "user.txt"), userTxt);
        EXPECT_EQ(InodeOf(dir / "user/u1.txt"), u1);
        EXPECT_EQ(test::ListNames(dir.path()), (std::vector<std::string>{"group.txt", "user", "user.txt"}));
        EXPECT_EQ(test::ListNames(dir / "user"), (std::vector<std::string>{"u1.txt", "u2.txt"}));
    }
}

// The rewrite in place that follows fails halfway: the file keeps its old
// content, the failure is reported, no journal or temporary file stays.
TEST_F(ShareCompatTest, FailedRewriteAfterARefusedRenameKeepsTheOldContent) {
    fs.FailKind(test::FsOp::Rename, EEXIST, ".tmp -> " + (dir / "user/u1.txt"));
    fs.FailKind(test::FsOp::Truncate, EIO, "u1.txt", 1);
    const SaveReport r = Save();
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].file, dir / "user/u1.txt");
    EXPECT_EQ(r.failures[0].Reason(), ErrorText(EIO));
    EXPECT_EQ(test::ReadBytes(dir / "user/u1.txt"), SjisLines({"username=山田", "status=1", "plan=会議"}));
    EXPECT_EQ(test::ReadBytes(dir / "user.txt"), SjisLines({"u1,pw,1", "u2,pw,0"}));
    EXPECT_EQ(test::ListNames(dir / "user"), (std::vector<std::string>{"u1.txt", "u2.txt"}));
}

// Another error of the rename is no sign of an open file: reported, and
// the file left as it was.
TEST_F(ShareCompatTest, OtherRenameErrorsAreReportedNotWorkedAround) {
    fs.FailKind(test::FsOp::Rename, EACCES, "u1.txt");
    const SaveReport r = Save();
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].Reason(), ErrorText(EACCES));
    EXPECT_EQ(test::ReadBytes(dir / "user/u1.txt"), SjisLines({"username=山田", "status=1", "plan=会議"}));
    EXPECT_EQ(fs.CountOf(test::FsOp::Truncate, "u1.txt"), 0);
}

}  // namespace
}  // namespace solne
