// Data files changed on disk by someone else after loading are not
// overwritten without a question.
#include <fcntl.h>
#include <sys/stat.h>

#include "FormTest.h"

namespace solne::test {
namespace {

const char* const kQuestionHead = "次のファイルが、読み込んだ後に他のプログラムによって変更されています。\r\n";
const char* const kQuestionTail = "\r\n上書きして保存しますか？";

class OutsideChangeTest : public FormTest {
protected:
    void SetUp() override {
        WriteBoard(Board(), FiveUsers());
        WriteIni(Board());
        ASSERT_EQ(Open(), StartResult::Ready);
        // A change of the editor's own, to be saved.
        Click(w->userList, 4);
        w->cmdGroupCancel_Click();
        ASSERT_TRUE(w->DataChanged);
    }

    std::string UserTxt() const { return ReadBytes(Board() + "/user.txt"); }
    std::string GroupTxt() const { return ReadBytes(Board() + "/group.txt"); }

    // Another program rewrites a data file (the editor's read-only mark
    // does not stop an administrator).
    void ChangeOnDisk(const std::string& name, const std::string& bytes) {
        std::string path = Board() + "/" + name;
        ::chmod(path.c_str(), 0644);
        WriteBytes(path, bytes);
    }

    void ExpectQuestion(const ShownBox& box, const std::string& files) {
        EXPECT_EQ(box.text, kQuestionHead + files + kQuestionTail);
        EXPECT_EQ(box.icon, MsgIcon::Warning);
        EXPECT_EQ(box.buttons, MsgButtons::YesNo);
        EXPECT_EQ(box.defaultButton, MsgAnswer::No);
        EXPECT_EQ(box.caption, "ソルネ");
    }
};

TEST_F(OutsideChangeTest, UnchangedBoardAsksNothingAndLaterSavesDoNotAskAboutOwnWrites) {
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "データの保存が完了しました。");
    // The editor's own writes (and a mere touch of a file) are no outside change.
    ::utimensat(AT_FDCWD, (Board() + "/group.txt").c_str(), nullptr, 0);
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text, "データの保存が完了しました。");
}

TEST_F(OutsideChangeTest, NoWritesNothingAndKeepsTheChange) {
    const std::string theirs = SjisLines({"u01,p1,1", "zz9,new,2"});
    ChangeOnDisk("user.txt", theirs);
    const std::string group = GroupTxt();
    const auto folder = ListNames(Board() + "/user");

    dialogs.answers = {MsgAnswer::No};
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    ExpectQuestion(dialogs.boxes[0], "user.txt\r\n");
    EXPECT_EQ(UserTxt(), theirs);
    EXPECT_EQ(GroupTxt(), group);
    EXPECT_EQ(ListNames(Board() + "/user"), folder);
    EXPECT_TRUE(w->DataChanged);
    EXPECT_EQ(w->Users[4].UserId, "u05");
}

TEST_F(OutsideChangeTest, YesOverwritesAndAsksNoMoreAfterwards) {
    ChangeOnDisk("user.txt", SjisLines({"zz9,new,2"}));
    ChangeOnDisk("group.txt", SjisLines({"9,他部署"}));

    dialogs.answers = {MsgAnswer::Yes};
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    ExpectQuestion(dialogs.boxes[0], "user.txt\r\ngroup.txt\r\n");
    EXPECT_EQ(dialogs.boxes[1].text, "データの保存が完了しました。");
    EXPECT_EQ(UserTxt(), SjisLines({"u01,p1,1", "u02,p2,1", "u03,p3,2", "u04,p4,2", "u05,p5,0"}));
    EXPECT_FALSE(w->DataChanged);

    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[2].text, "データの保存が完了しました。");
}

TEST_F(OutsideChangeTest, RemovedFileIsNamedAndNotRecreated) {
    ::remove((Board() + "/group.txt").c_str());
    dialogs.answers = {MsgAnswer::Yes};
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    ExpectQuestion(dialogs.boxes[0], "group.txt\r\n");
    // The save goes on, skips the missing file and says so.
    EXPECT_EQ(dialogs.boxes[1].text.rfind("データの保存に失敗しました。\r\n", 0), 0u) << dialogs.boxes[1].text;
    EXPECT_NE(dialogs.boxes[1].text.find("group.txt"), std::string::npos);
    EXPECT_FALSE(PathExists(Board() + "/group.txt"));
    EXPECT_TRUE(w->DataChanged);
}

TEST_F(OutsideChangeTest, ClosingWithYesThenNoKeepsTheWindowOpen) {
    ChangeOnDisk("group.txt", SjisLines({"1,総務部"}));
    dialogs.answers = {MsgAnswer::Yes, MsgAnswer::No};
    EXPECT_FALSE(Close());
    EXPECT_TRUE(w->window.visible);
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    ExpectQuestion(dialogs.boxes[1], "group.txt\r\n");
    EXPECT_EQ(GroupTxt(), SjisLines({"1,総務部"}));
    EXPECT_TRUE(w->DataChanged);
}

TEST_F(OutsideChangeTest, ValuesThatCannotBeWrittenAreReportedBeforeTheQuestion) {
    ChangeOnDisk("user.txt", SjisLines({"zz9,new,2"}));
    w->Users[0].UserName = "改行\n入り";  // loaded data the save cannot write back
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text.rfind("データの保存に失敗しました。", 0), 0u);
    EXPECT_EQ(UserTxt(), SjisLines({"zz9,new,2"}));
}

// ---- the display names in the per-user files

class NameLineChangeTest : public FormTest {
protected:
    std::string PerUser(const std::string& id) const { return ReadBytes(Board() + "/user/" + id + ".txt"); }
    void WritePerUser(const std::string& id, const std::vector<std::string>& lines) {
        WriteBytes(Board() + "/user/" + id + ".txt", SjisLines(lines));
    }
    void ChangeSomething() {
        Click(w->userList, 0);
        w->cmdGroupCancel_Click();
        ASSERT_TRUE(w->DataChanged);
    }
};

TEST_F(NameLineChangeTest, RenameBySecondEditorIsNamedYesSavesNoWritesNothing) {
    ASSERT_EQ(Start(FiveUsers()), StartResult::Ready);
    ChangeSomething();
    const std::string theirs = SjisLines({"username=田中二郎", "status=1", "plan=会議"});
    WritePerUser("u01", {"username=田中二郎", "status=1", "plan=会議"});
    const std::string userTxt = ReadBytes(Board() + "/user.txt");

    dialogs.answers = {MsgAnswer::No};
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, std::string(kQuestionHead) + "user/u01.txt\r\n" + kQuestionTail);
    EXPECT_EQ(dialogs.boxes[0].defaultButton, MsgAnswer::No);
    EXPECT_EQ(PerUser("u01"), theirs);
    EXPECT_EQ(ReadBytes(Board() + "/user.txt"), userTxt);
    EXPECT_TRUE(w->DataChanged);

    dialogs.answers = {MsgAnswer::Yes};
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[1].text, dialogs.boxes[0].text);
    EXPECT_EQ(dialogs.boxes[2].text, "データの保存が完了しました。");
    EXPECT_EQ(PerUser("u01"), SjisLines({"username=田中", "status=1", "plan=会議"}));
    EXPECT_FALSE(w->DataChanged);
}

TEST_F(NameLineChangeTest, TenFilesAreNamedThenTheRestCounted) {
    BoardFiles board;
    board.groupLines = {"1,総務部"};
    for (int i = 1; i <= 12; ++i) {
        std::string id = (i < 10 ? "u0" : "u") + std::to_string(i);
        board.userLines.push_back(id + ",p,1");
        board.perUser.push_back({id, {"username=名" + std::to_string(i), "status=0", "plan="}});
    }
    ASSERT_EQ(Start(board), StartResult::Ready);
    ChangeSomething();
    for (auto& [id, lines] : board.perUser) WritePerUser(id, {"username=別名", "status=0", "plan="});

    dialogs.answers = {MsgAnswer::No};
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    std::string listed;
    for (int i = 1; i <= 10; ++i) listed += std::string("user/") + (i < 10 ? "u0" : "u") + std::to_string(i) + ".txt\r\n";
    EXPECT_EQ(dialogs.boxes[0].text, kQuestionHead + listed + "ほか 2 件\r\n" + kQuestionTail);
}

TEST_F(NameLineChangeTest, StatusAndPlanWrittenByTheBoardRaiseNoQuestionAndAreKept) {
    ASSERT_EQ(Start(FiveUsers()), StartResult::Ready);
    ChangeSomething();
    const std::string board = SjisLines({"username=田中", "status=3", "plan=外出 15時戻り"});
    WriteBytes(Board() + "/user/u01.txt", board);

    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "データの保存が完了しました。");
    EXPECT_EQ(PerUser("u01"), board);
}

}  // namespace
}  // namespace solne::test
