// Saving, closing with and without unsaved changes, and the example flow
// from a click to the bytes on disk.
#include <sys/stat.h>

#include "FormTest.h"
#include "common/FaultyFileSystem.h"

namespace solne::test {
namespace {

class SaveCloseTest : public FormTest {
protected:
    void SetUp() override { WriteBoard(Board(), FiveUsers()); WriteIni(Board()); }

    std::string UserTxt() const { return ReadBytes(Board() + "/user.txt"); }
    std::string GroupTxt() const { return ReadBytes(Board() + "/group.txt"); }

    // Releases u05's neighbour u04 from its group: a change to save.
    void MakeAChange() {
        Click(w->userList, 3);
        w->cmdGroupCancel_Click();
        ASSERT_TRUE(w->DataChanged);
    }

    void ExpectSavedBox(const ShownBox& box) {
        EXPECT_EQ(box.text, "データの保存が完了しました。");
        EXPECT_EQ(box.icon, MsgIcon::Information);
        EXPECT_EQ(box.buttons, MsgButtons::Ok);
        EXPECT_EQ(box.caption, "ソルネ");
    }

    void ExpectCloseQuestion(const ShownBox& box) {
        EXPECT_EQ(box.text, "データが変更されています。保存しますか？");
        EXPECT_EQ(box.icon, MsgIcon::Warning);
        EXPECT_EQ(box.buttons, MsgButtons::YesNoCancel);
        EXPECT_EQ(box.defaultButton, MsgAnswer::Yes);
        EXPECT_EQ(box.caption, "ソルネ");
    }
};

TEST_F(SaveCloseTest, CloseRightAfterStartUpAsksNothing) {
    ASSERT_EQ(Open(), StartResult::Ready);
    const std::string before = UserTxt();
    w->cmdClose_Click();
    EXPECT_FALSE(w->window.visible);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(UserTxt(), before);
}

TEST_F(SaveCloseTest, CancelKeepsTheWindowAndTheChangeAndAsksAgain) {
    ASSERT_EQ(Open(), StartResult::Ready);
    MakeAChange();
    dialogs.answers = {MsgAnswer::Cancel};
    EXPECT_FALSE(Close());
    EXPECT_TRUE(w->window.visible);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    ExpectCloseQuestion(dialogs.boxes[0]);
    EXPECT_TRUE(w->DataChanged);
    EXPECT_EQ(w->Users[3].GroupNo, 0);

    const std::string before = UserTxt();
    dialogs.answers = {MsgAnswer::No};
    w->cmdClose_Click();
    EXPECT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_FALSE(w->window.visible);
    EXPECT_EQ(UserTxt(), before);  // No: nothing written
}

TEST_F(SaveCloseTest, YesSavesShowsTheCompletionAndCloses) {
    ASSERT_EQ(Open(), StartResult::Ready);
    Click(w->groupList, 0);
    Type(w->groupName, "総務課");
    w->cmdGroupUp_Click();
    dialogs.answers = {MsgAnswer::Yes};
    EXPECT_TRUE(Close());
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    ExpectSavedBox(dialogs.boxes[1]);
    EXPECT_EQ(GroupTxt(), Sjis("1,総務課\r\n2,営業部\r\n"));
    EXPECT_FALSE(w->DataChanged);
}

TEST_F(SaveCloseTest, SaveThenCloseAsksNothing) {
    ASSERT_EQ(Open(), StartResult::Ready);
    MakeAChange();
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    ExpectSavedBox(dialogs.boxes[0]);
    EXPECT_FALSE(w->DataChanged);
    EXPECT_TRUE(Close());
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST_F(SaveCloseTest, SaveWithNothingChangedStillWrites) {
    ASSERT_EQ(Open(), StartResult::Ready);
    WriteBytes(Board() + "/user/memo.txt", "x");  // belongs to no user
    w->cmdSave_Click();
    ExpectSavedBox(dialogs.boxes.at(0));
    EXPECT_FALSE(PathExists(Board() + "/user/memo.txt"));
}

// A save that fails reports every failure, keeps the change marked, and a
// Yes on closing then keeps the window open so nothing is lost.
TEST_F(SaveCloseTest, FailedSaveIsReportedAndKeepsTheWindowOpen) {
    FaultyFileSystem fs;
    ASSERT_EQ(Open("", fs), StartResult::Ready);
    MakeAChange();
    fs.FailKind(FsOp::OpenWrite, EIO);

    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    const std::string head = "データの保存に失敗しました。\r\n";
    EXPECT_EQ(dialogs.boxes[0].text.substr(0, head.size()), head);
    EXPECT_NE(dialogs.boxes[0].text.find(Board()), std::string::npos) << dialogs.boxes[0].text;
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Warning);
    EXPECT_EQ(dialogs.boxes[0].caption, "ソルネ");
    EXPECT_TRUE(w->DataChanged);

    dialogs.answers = {MsgAnswer::Yes};
    EXPECT_FALSE(Close());
    EXPECT_TRUE(w->window.visible);
    EXPECT_TRUE(w->DataChanged);
    EXPECT_EQ(dialogs.boxes.back().text.substr(0, head.size()), head);

    fs.Reset();  // the disk is back: closing asks again, and Yes saves and closes
    dialogs.answers = {MsgAnswer::Yes};
    EXPECT_TRUE(Close());
    ExpectSavedBox(dialogs.boxes.back());
    EXPECT_EQ(UserTxt(), Sjis("u01,p1,1\r\nu02,p2,1\r\nu03,p3,2\r\nu04,p4,0\r\nu05,p5,0\r\n"));
}

// The example of assigning a group to two users, from the clicks to the
// files on disk.
TEST_F(SaveCloseTest, AssignTwoUsersSaveAndCloseWritesTheBoard) {
    ASSERT_EQ(Open(), StartResult::Ready);
    Click(w->groupList, 1);
    EXPECT_EQ(Text(w->txtGroupName), "営業部");
    Click(w->userList, 0);
    Click(w->userList, 4, Mods::Ctrl);
    EXPECT_TRUE(UserBoxesEmpty());
    w->cmdGroupSet_Click();
    EXPECT_EQ(Column(w->lsvUserList, 2), (std::vector<std::string>{"営業部", "総務部", "営業部", "営業部", "営業部"}));
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    ExpectSavedBox(dialogs.boxes[0]);
    EXPECT_TRUE(Close());
    EXPECT_EQ(dialogs.boxes.size(), 1u);  // no question

    EXPECT_EQ(UserTxt(), Sjis("u01,p1,2\r\nu02,p2,1\r\nu03,p3,2\r\nu04,p4,2\r\nu05,p5,2\r\n"));
    EXPECT_EQ(GroupTxt(), Sjis("1,総務部\r\n2,営業部\r\n"));
    EXPECT_EQ(ReadBytes(Board() + "/user/u01.txt"), Sjis("username=田中\r\nstatus=1\r\nplan=会議\r\n"));
    EXPECT_EQ(ReadBytes(Board() + "/user/u04.txt"), Sjis("username=渡辺\r\nstatus=2\r\nplan=出張\r\n"));
    EXPECT_EQ(ReadBytes(Board() + "/user/u05.txt"), Sjis("username=伊藤\r\nstatus=0\r\nplan=\r\n"));
    EXPECT_EQ(ListNames(Board() + "/user"),
              (std::vector<std::string>{"u01.txt", "u02.txt", "u03.txt", "u04.txt", "u05.txt"}));
    struct stat st {};
    ASSERT_EQ(stat((Board() + "/user.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);  // read-only between saves
}

// A user added in this run gets a per-user file with a fresh status and plan.
TEST_F(SaveCloseTest, AddedUserIsWrittenWithAFreshPerUserFile) {
    ASSERT_EQ(Open(), StartResult::Ready);
    Type(w->userId, "u06");
    Type(w->passWords, "pw6");
    Type(w->userName, "山田 太郎");
    w->cmdUserAdd_Click();
    w->cmdSave_Click();
    ExpectSavedBox(dialogs.boxes.at(0));
    EXPECT_EQ(ReadBytes(Board() + "/user/u06.txt"), Sjis("username=山田 太郎\r\nstatus=0\r\nplan=\r\n"));
    EXPECT_EQ(UserTxt().substr(UserTxt().size() - 11), "u06,pw6,0\r\n");
}

}  // namespace
}  // namespace solne::test
