// The editor on a board in a real SMB share, reached through two FUSE SMB
// clients that play two machines (scripts/with-share gives the folders in
// SOLNE_SHARE_A and SOLNE_SHARE_B, and SOLNE_SHARE_SERVER where the server
// keeps them). The window runs on the fake toolkit; every file is checked
// byte for byte, through the other client and on the server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/TempBoard.h"
#include "fake/FakeToolkit.h"

namespace solne::test {
namespace {

const char* const kSaved = "データの保存が完了しました。";
const char* const kQuestionHead = "次のファイルが、読み込んだ後に他のプログラムによって変更されています。\r\n";
const char* const kQuestionTail = "\r\n上書きして保存しますか？";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Reads a whole file the way the store does: open, then fstat on the
// descriptor, then read. Through the FUSE client the fstat is what brings a
// file's size up to date after the other client renamed a new file over
// it; a read without it ends at the old size for about a second.
std::string ReadThroughClient(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "(cannot open " + path + ")";
    struct stat st {};
    ::fstat(fd, &st);
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
    ::close(fd);
    return out;
}

// One editor: its own settings file naming the board as its machine sees it.
struct Editor {
    TempDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<FakeForm> w;

    StartResult Open(const std::string& board) {
        WriteBytes(dir / "setup.ini", "[Script]\r\nInstalledPath=" + board + "\r\n");
        w = std::make_unique<FakeForm>(dialogs, dir / "setup.ini");
        return w->Start();
    }
    // Picks a user row and releases it from its group: a change to save.
    void ReleaseFromGroup(int row) {
        w->userList.Click(row);
        w->cmdGroupCancel_Click();
    }
    std::string LastBox() const { return dialogs.boxes.empty() ? "" : dialogs.boxes.back().text; }
};

class ShareTest : public ::testing::Test {
protected:
    std::string a_, b_, server_, name_;

    void SetUp() override {
        a_ = Env("SOLNE_SHARE_A");
        b_ = Env("SOLNE_SHARE_B");
        server_ = Env("SOLNE_SHARE_SERVER");
        if (a_.empty() || b_.empty() || server_.empty())
            GTEST_SKIP() << "no share: run through scripts/with-share (make test-share)";
        name_ = std::string("t-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        WriteBoard(A(), test::FiveUsers());
    }

    // The board as each machine and the server see it.
    std::string A() const { return a_ + "/" + name_; }
    std::string B() const { return b_ + "/" + name_; }
    std::string Server() const { return server_ + "/" + name_; }

    // The same bytes through both clients and on the server. `heldOnB`: the
    // second client had the file open while it was rewritten in place; it
    // keeps the old size of that node for up to about two seconds, even
    // across an fstat, so its view is given that long to catch up.
    void ExpectFile(const std::string& name, const std::string& bytes, bool heldOnB = false) {
        EXPECT_EQ(ReadThroughClient(A() + "/" + name), bytes) << name << " through the first client";
        std::string seenOnB = ReadThroughClient(B() + "/" + name);
        for (int wait = 0; heldOnB && seenOnB != bytes && wait < 30; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            seenOnB = ReadThroughClient(B() + "/" + name);
        }
        EXPECT_EQ(seenOnB, bytes) << name << " through the second client";
        EXPECT_EQ(ReadBytes(Server() + "/" + name), bytes) << name << " on the server";
    }

    // No temporary file or journal left in the board or its per-user folder.
    void ExpectNoLeftovers() {
        EXPECT_EQ(ListNames(Server()), (std::vector<std::string>{"group.txt", "user", "user.txt"}));
        for (const std::string& n : ListNames(Server() + "/user")) EXPECT_NE(n[0], '.') << n;
    }

    // Makes the kernel forget the share's cached names and nodes, as memory
    // pressure does during a long edit: the FUSE client then hands out new
    // node numbers for the same folders and files.
    static void ForgetCachedNodes() {
        ::sync();
        std::ofstream("/proc/sys/vm/drop_caches") << "2\n";
    }
};

// The example: a group assigned to two users, saved, the window closed.
TEST_F(ShareTest, ExampleFlowWritesEveryFileRight) {
    Editor e;
    ASSERT_EQ(e.Open(A()), StartResult::Ready);
    e.w->groupList.Click(1);
    e.w->userList.Click(0);
    e.w->userList.Click(4, Mods::Ctrl);
    e.w->cmdGroupSet_Click();
    e.w->cmdSave_Click();
    ASSERT_EQ(e.dialogs.Texts(), std::vector<std::string>{kSaved});
    e.w->window.Close();
    EXPECT_FALSE(e.w->window.visible);
    EXPECT_EQ(e.dialogs.boxes.size(), 1u);  // no question on closing

    ExpectFile("user.txt", Sjis("u01,p1,2\r\nu02,p2,1\r\nu03,p3,2\r\nu04,p4,2\r\nu05,p5,2\r\n"));
    ExpectFile("group.txt", Sjis("1,総務部\r\n2,営業部\r\n"));
    ExpectFile("user/u01.txt", Sjis("username=田中\r\nstatus=1\r\nplan=会議\r\n"));
    ExpectFile("user/u02.txt", Sjis("username=鈴木\r\nstatus=0\r\nplan=\r\n"));
    ExpectFile("user/u04.txt", Sjis("username=渡辺\r\nstatus=2\r\nplan=出張\r\n"));
    ExpectFile("user/u05.txt", Sjis("username=伊藤\r\nstatus=0\r\nplan=\r\n"));
    EXPECT_EQ(ListNames(Server() + "/user"),
              (std::vector<std::string>{"u01.txt", "u02.txt", "u03.txt", "u04.txt", "u05.txt"}));
    ExpectNoLeftovers();
}

// Two machines: the second renames a user and saves; the first, which
// loaded before, is asked before its save overwrites that. No: nothing of
// the second's is touched. Yes: the first's board is written whole.
TEST_F(ShareTest, SecondEditorsChangeIsAskedAboutBeforeOverwriting) {
    Editor first, second;
    ASSERT_EQ(first.Open(A()), StartResult::Ready);
    ASSERT_EQ(second.Open(B()), StartResult::Ready);

    second.w->userList.Click(1);
    second.w->txtUserName->SetText("鈴木 次郎");
    second.w->cmdUserUp_Click();
    second.ReleaseFromGroup(2);
    second.w->cmdSave_Click();
    ASSERT_EQ(second.LastBox(), kSaved);
    const std::string theirUserTxt = Sjis("u01,p1,1\r\nu02,p2,1\r\nu03,p3,0\r\nu04,p4,2\r\nu05,p5,0\r\n");
    ExpectFile("user.txt", theirUserTxt);
    ExpectFile("user/u02.txt", Sjis("username=鈴木 次郎\r\nstatus=0\r\nplan=\r\n"));

    first.ReleaseFromGroup(0);
    first.dialogs.answers = {MsgAnswer::No};
    first.w->cmdSave_Click();
    ASSERT_EQ(first.dialogs.boxes.size(), 1u);
    EXPECT_EQ(first.dialogs.boxes[0].text, kQuestionHead + std::string("user.txt\r\nuser/u02.txt\r\n") + kQuestionTail);
    EXPECT_EQ(first.dialogs.boxes[0].defaultButton, MsgAnswer::No);
    ExpectFile("user.txt", theirUserTxt);
    ExpectFile("user/u02.txt", Sjis("username=鈴木 次郎\r\nstatus=0\r\nplan=\r\n"));
    EXPECT_TRUE(first.w->DataChanged);

    first.dialogs.answers = {MsgAnswer::Yes};
    first.w->cmdSave_Click();
    ASSERT_EQ(first.dialogs.boxes.size(), 3u);
    EXPECT_EQ(first.LastBox(), kSaved);
    ExpectFile("user.txt", Sjis("u01,p1,0\r\nu02,p2,1\r\nu03,p3,2\r\nu04,p4,2\r\nu05,p5,0\r\n"));
    ExpectFile("user/u02.txt", Sjis("username=鈴木\r\nstatus=0\r\nplan=\r\n"));
    ExpectFile("user/u01.txt", Sjis("username=田中\r\nstatus=1\r\nplan=会議\r\n"));
    ExpectNoLeftovers();

    // The second machine now sees the first's save as a change from outside.
    second.ReleaseFromGroup(3);
    second.dialogs.answers = {MsgAnswer::No};
    second.w->cmdSave_Click();
    EXPECT_EQ(second.LastBox(), kQuestionHead + std::string("user.txt\r\nuser/u02.txt\r\n") + kQuestionTail);
}

// A status line written by a board program on the other machine between
// the load and the save is kept: the save rewrites only the name line.
TEST_F(ShareTest, StatusWrittenOnTheOtherMachineIsKept) {
    Editor e;
    ASSERT_EQ(e.Open(A()), StartResult::Ready);
    WriteBytes(B() + "/user/u03.txt", Sjis("username=高橋\r\nstatus=3\r\nplan=外出中\r\n"));
    e.w->userList.Click(2);
    e.w->txtUserName->SetText("高橋 花子");
    e.w->cmdUserUp_Click();
    e.w->cmdSave_Click();
    ASSERT_EQ(e.LastBox(), kSaved);
    ExpectFile("user/u03.txt", Sjis("username=高橋 花子\r\nstatus=3\r\nplan=外出中\r\n"));
}

// The same, when the other machine replaces the file by renaming a new
// one over it (as a save does): the first client still has the old file's
// size, and the save must not take the longer new file for a shorter one.
TEST_F(ShareTest, StatusReplacedOnTheOtherMachineIsKeptWhole) {
    Editor e;
    ASSERT_EQ(e.Open(A()), StartResult::Ready);
    WriteBytes(B() + "/user/.u03.new", Sjis("username=高橋\r\nstatus=3\r\nplan=午後から本社で打ち合わせ\r\n"));
    ASSERT_EQ(::rename((B() + "/user/.u03.new").c_str(), (B() + "/user/u03.txt").c_str()), 0);
    e.w->userList.Click(2);
    e.w->txtUserName->SetText("高橋 花子");
    e.w->cmdUserUp_Click();
    e.w->cmdSave_Click();
    ASSERT_EQ(e.LastBox(), kSaved);
    EXPECT_EQ(ReadBytes(Server() + "/user/u03.txt"),
              Sjis("username=高橋 花子\r\nstatus=3\r\nplan=午後から本社で打ち合わせ\r\n"));
}

// A load right after the other machine saved a longer "user.txt" reads all of it.
TEST_F(ShareTest, LoadRightAfterTheOtherMachineSavedReadsTheWholeFile) {
    Editor first, second;
    ASSERT_EQ(first.Open(A()), StartResult::Ready);
    ASSERT_EQ(second.Open(B()), StartResult::Ready);
    second.w->txtUserId->SetText("u06");
    second.w->txtPassWords->SetText("p6");
    second.w->txtUserName->SetText("山田");
    second.w->cmdUserAdd_Click();
    second.w->cmdSave_Click();
    ASSERT_EQ(second.LastBox(), kSaved);
    Editor again;
    ASSERT_EQ(again.Open(A()), StartResult::Ready);
    ASSERT_EQ(again.w->Users.size(), 6u);
    EXPECT_EQ(again.w->Users[5].UserId, "u06");
}

// The share refuses to rename a file over one that is open on any machine
// (EBUSY): here the other machine holds "user.txt" and a per-user file open,
// as a board program reading them does. The save writes both all the same.
TEST_F(ShareTest, FilesHeldOpenOnTheOtherMachineAreStillWritten) {
    Editor e;
    ASSERT_EQ(e.Open(A()), StartResult::Ready);
    const int heldUserTxt = ::open((B() + "/user.txt").c_str(), O_RDONLY | O_CLOEXEC);
    const int heldPerUser = ::open((B() + "/user/u03.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(heldUserTxt, 0);
    ASSERT_GE(heldPerUser, 0);
    e.w->userList.Click(2);
    e.w->txtUserName->SetText("高橋 花子");
    e.w->cmdUserUp_Click();
    e.ReleaseFromGroup(0);
    e.w->cmdSave_Click();
    EXPECT_EQ(e.dialogs.Texts(), std::vector<std::string>{kSaved});
    ::close(heldUserTxt);
    ::close(heldPerUser);
    ExpectFile("user.txt", Sjis("u01,p1,0\r\nu02,p2,1\r\nu03,p3,2\r\nu04,p4,2\r\nu05,p5,0\r\n"), true);
    ExpectFile("user/u03.txt", Sjis("username=高橋 花子\r\nstatus=0\r\nplan=\r\n"), true);
    ExpectNoLeftovers();
}

// The client's node numbers of the board's folders change once the kernel
// forgets them; the save still writes the board it loaded.
TEST_F(ShareTest, SaveAfterTheClientForgotItsNodes) {
    Editor e;
    ASSERT_EQ(e.Open(A()), StartResult::Ready);
    struct stat before {};
    ASSERT_EQ(::stat((A() + "/user").c_str(), &before), 0);
    e.ReleaseFromGroup(0);
    ForgetCachedNodes();
    e.w->cmdSave_Click();
    EXPECT_EQ(e.dialogs.Texts(), std::vector<std::string>{kSaved});
    ExpectFile("user.txt", Sjis("u01,p1,0\r\nu02,p2,1\r\nu03,p3,2\r\nu04,p4,2\r\nu05,p5,0\r\n"));
    ExpectFile("user/u05.txt", Sjis("username=伊藤\r\nstatus=0\r\nplan=\r\n"));
    ExpectNoLeftovers();
    // And the next save too.
    ForgetCachedNodes();
    e.ReleaseFromGroup(1);
    e.w->cmdSave_Click();
    EXPECT_EQ(e.LastBox(), kSaved);
    ExpectFile("user.txt", Sjis("u01,p1,0\r\nu02,p2,0\r\nu03,p3,2\r\nu04,p4,2\r\nu05,p5,0\r\n"));
}

}  // namespace
}  // namespace solne::test
