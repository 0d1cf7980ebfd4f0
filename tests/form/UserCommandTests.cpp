// The user commands through the window: add, update, delete.
#include "FormTest.h"

namespace solne::test {
namespace {

class UserCommandTest : public FormTest {
protected:
    void SetUp() override { ASSERT_EQ(Start(FiveUsers()), StartResult::Ready); }

    void Fill(const char* id, const char* password, const char* name) {
        Type(w->userId, id);
        Type(w->passWords, password);
        Type(w->userName, name);
    }
};

// ---- add

TEST_F(UserCommandTest, AddReportsOnlyTheFirstEmptyBoxInBoxOrder) {
    struct Case {
        const char *id, *password, *name, *message;
    };
    const Case cases[] = {
        {"", "", "", "ユーザーIDを入力してください。"},
        {"", "pw", "名前", "ユーザーIDを入力してください。"},
        {"u09", "", "", "パスワードを入力してください。"},
        {"u09", "pw", "", "ユーザー(表示)名を入力してください。"},
    };
    for (const Case& c : cases) {
        Fill(c.id, c.password, c.name);
        dialogs.boxes.clear();
        w->cmdUserAdd_Click();
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        ExpectWarning(c.message, "未入力エラー");
        EXPECT_EQ(Text(w->txtUserId), c.id);  // kept for correction
        EXPECT_EQ(Text(w->txtUserName), c.name);
    }
    EXPECT_EQ(w->Users.size(), 5u);
    EXPECT_FALSE(w->DataChanged);
}

TEST_F(UserCommandTest, AddAppendsTheUserWithoutGroupAndEmptiesTheBoxes) {
    Fill("u06", "秘密", "山田 太郎");
    w->cmdUserAdd_Click();
    EXPECT_TRUE(dialogs.boxes.empty());
    ASSERT_EQ(w->Users.size(), 6u);
    const UserInfo& added = w->Users[5];
    EXPECT_EQ(added.UserId, "u06");
    EXPECT_EQ(added.PassWord, "秘密");
    EXPECT_EQ(added.UserName, "山田 太郎");
    EXPECT_EQ(added.GroupNo, 0);
    EXPECT_EQ(w->lsvUserList->RowCount(), 6);
    EXPECT_EQ(w->lsvUserList->Row(5).texts[0], "山田 太郎");
    EXPECT_EQ(w->lsvUserList->Row(5).texts[2], "");
    EXPECT_TRUE(UserBoxesEmpty());
    EXPECT_TRUE(w->DataChanged);
}

TEST_F(UserCommandTest, AddAcceptsAnExistingId) {
    Fill("u02", "x", "二人目");
    w->cmdUserAdd_Click();
    EXPECT_EQ(Column(w->lsvUserList, 1), (std::vector<std::string>{"u01", "u02", "u03", "u04", "u05", "u02"}));
}

TEST_F(UserCommandTest, DeleteAllThenAddFillsTheOneBlankSlot) {
    w->userList.Select({0, 1, 2, 3, 4});
    dialogs.answers = {MsgAnswer::Yes};
    w->cmdUserDelete_Click();
    EXPECT_EQ(w->lsvUserList->RowCount(), 0);
    ASSERT_EQ(w->Users.size(), 1u);
    EXPECT_TRUE(IsBlank(w->Users[0]));

    Fill("n01", "pw", "新人");
    w->cmdUserAdd_Click();
    ASSERT_EQ(w->Users.size(), 1u);
    EXPECT_EQ(w->Users[0].UserId, "n01");
    EXPECT_EQ(w->lsvUserList->RowCount(), 1);
}

// Typed values that would corrupt the files are refused, box by box, after
// the empty-field tests; nothing changes and the boxes keep the text.
TEST_F(UserCommandTest, AddRefusesValuesTheFilesCannotHold) {
    struct Case {
        const char *id, *password, *name, *message;
    };
    const Case cases[] = {
        {"a/b", "p,w", "名=前", "ユーザーIDに使用できない文字が含まれています。"},
        {"CON", "pw", "名前", "ユーザーIDに使用できない文字が含まれています。"},
        {"lpt1.txt", "pw", "名前", "ユーザーIDに使用できない文字が含まれています。"},
        {"u09", "p,w", "名=前", "パスワードに使用できない文字が含まれています。"},
        {"u09", " pw", "名前", "パスワードに使用できない文字が含まれています。"},
        {"u09", "pw", "名=前", "ユーザー(表示)名に使用できない文字が含まれています。"},
        {"u09", "pw", "😀", "ユーザー(表示)名に使用できない文字が含まれています。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id + std::string(" ") + c.password + " " + c.name);
        Fill(c.id, c.password, c.name);
        dialogs.boxes.clear();
        w->cmdUserAdd_Click();
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        ExpectWarning(c.message);
        EXPECT_EQ(Text(w->txtPassWords), c.password);
    }
    EXPECT_EQ(w->Users.size(), 5u);
    EXPECT_EQ(w->lsvUserList->RowCount(), 5);
    EXPECT_FALSE(w->DataChanged);
}

TEST_F(UserCommandTest, AddStoresWhatCodePage932ReadsBack) {
    Fill("u09", "pw", "波〜ダッシュ—");
    w->cmdUserAdd_Click();
    ASSERT_EQ(w->Users.size(), 6u);
    EXPECT_EQ(w->Users[5].UserName, "波～ダッシュ―");
}

TEST_F(UserCommandTest, AddRefusedWhenTheTableIsFull) {
    w->Users.resize(kMaxSlots);
    for (int i = 5; i < kMaxSlots; ++i) w->Users[size_t(i)].UserId = "x" + std::to_string(i);
    Fill("u99", "pw", "名前");
    w->cmdUserAdd_Click();
    ExpectWarning("これ以上ユーザーを追加できません。");
    EXPECT_EQ(int(w->Users.size()), kMaxSlots);
    EXPECT_EQ(Text(w->txtUserId), "u99");
    EXPECT_FALSE(w->DataChanged);
}

// ---- update

TEST_F(UserCommandTest, UpdateChangesExactlyTheClickedUser) {
    for (int row : {0, 2, 4}) {
        SCOPED_TRACE(row);
        const UserTable before = w->Users;
        Click(w->userList, row);
        Type(w->userName, "新しい名前");
        Type(w->passWords, "newpw");
        w->cmdUserUp_Click();
        for (size_t i = 0; i < before.size(); ++i) {
            bool target = int(i) == row;
            EXPECT_EQ(w->Users[i].UserName, target ? "新しい名前" : before[i].UserName);
            EXPECT_EQ(w->Users[i].PassWord, target ? "newpw" : before[i].PassWord);
            EXPECT_EQ(w->Users[i].UserId, before[i].UserId);
            EXPECT_EQ(w->Users[i].GroupNo, before[i].GroupNo);
        }
        EXPECT_TRUE(UserBoxesEmpty());
        EXPECT_TRUE(w->lsvUserList->SelectedRows().empty());
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(UserCommandTest, UpdateWithUnknownIdReportsChangesNothingAndEmptiesTheBoxes) {
    for (const char* id : {"u99", "U01", "u01 "}) {
        SCOPED_TRACE(id);
        Click(w->userList, 0);
        Type(w->userId, id);
        Type(w->userName, "別名");
        dialogs.boxes.clear();
        w->cmdUserUp_Click();
        ExpectWarning("更新可能な項目は「ユーザー(表示)名」、「パスワード」のみです。");
        EXPECT_TRUE(UserBoxesEmpty());
    }
    EXPECT_EQ(w->Users[0].UserName, "田中");
    EXPECT_FALSE(w->DataChanged);
}

TEST_F(UserCommandTest, UpdateOfADuplicatedIdChangesTheLaterSlot) {
    w->Users[3].UserId = "u02";
    w->RefreshUserList();
    Click(w->userList, 1);  // the first u02
    Type(w->userName, "更新後");
    w->cmdUserUp_Click();
    EXPECT_EQ(w->Users[1].UserName, "鈴木");
    EXPECT_EQ(w->Users[3].UserName, "更新後");
}

TEST_F(UserCommandTest, UpdateWithUnchangedValuesStillMarksAChange) {
    Click(w->userList, 0);
    w->cmdUserUp_Click();
    EXPECT_TRUE(w->DataChanged);
    EXPECT_EQ(w->Users[0].UserName, "田中");
}

TEST_F(UserCommandTest, UpdateRefusesValuesTheFilesCannotHoldAndKeepsEverything) {
    Click(w->userList, 1);
    Type(w->passWords, "a,b");
    Type(w->userName, "x=y");
    w->cmdUserUp_Click();
    ExpectWarning("パスワードに使用できない文字が含まれています。");
    Type(w->passWords, "ab");
    w->cmdUserUp_Click();
    ExpectWarning("ユーザー(表示)名に使用できない文字が含まれています。");
    EXPECT_EQ(w->Users[1].PassWord, "p2");
    EXPECT_EQ(w->Users[1].UserName, "鈴木");
    EXPECT_FALSE(w->DataChanged);
    EXPECT_EQ(Text(w->txtUserName), "x=y");
    EXPECT_EQ(w->lsvUserList->SelectedRows(), (std::vector<int>{1}));  // nothing rebuilt
}

TEST_F(UserCommandTest, UpdateWithAnEmptyNameLeavesAnEmptyFirstColumn) {
    Click(w->userList, 2);
    Type(w->userName, "");
    w->cmdUserUp_Click();
    EXPECT_EQ(w->lsvUserList->Row(2).texts[0], "");
    EXPECT_EQ(w->lsvUserList->Row(2).texts[1], "u03");
}

// ---- delete

TEST_F(UserCommandTest, DeleteWithNothingSelectedReports) {
    w->cmdUserDelete_Click();
    ExpectWarning("削除するユーザーを「ユーザー一覧」から選択してください。");
    EXPECT_FALSE(w->DataChanged);
}

TEST_F(UserCommandTest, DeleteOfRowsTwoAndFourAnsweredYes) {
    Click(w->userList, 1);
    Click(w->userList, 3, Mods::Ctrl);
    dialogs.answers = {MsgAnswer::Yes};
    w->cmdUserDelete_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    const ShownBox& box = dialogs.boxes[0];
    EXPECT_EQ(box.text, "以下のユーザーを削除しますか？\r\n\r\n鈴木(u02)\r\n渡辺(u04)\r\n");
    EXPECT_EQ(box.icon, MsgIcon::Warning);
    EXPECT_EQ(box.buttons, MsgButtons::YesNo);
    EXPECT_EQ(box.defaultButton, MsgAnswer::Yes);
    EXPECT_EQ(box.caption, "ソルネ");
    EXPECT_EQ(UserIds(), (std::vector<std::string>{"u01", "u03", "u05"}));
    EXPECT_EQ(Column(w->lsvUserList, 1), (std::vector<std::string>{"u01", "u03", "u05"}));
    EXPECT_EQ(w->Users[1].StatusLine, "status=0");  // whole records moved up
    EXPECT_EQ(w->Users[2].UserName, "伊藤");
    EXPECT_TRUE(w->DataChanged);
}

TEST_F(UserCommandTest, DeleteAnsweredNoKeepsUsersAndSelection) {
    Click(w->userList, 1);
    Click(w->userList, 3, Mods::Ctrl);
    dialogs.answers = {MsgAnswer::No};
    w->cmdUserDelete_Click();
    EXPECT_EQ(w->Users.size(), 5u);
    EXPECT_EQ(w->lsvUserList->SelectedRows(), (std::vector<int>{1, 3}));
    EXPECT_FALSE(w->DataChanged);
}

}  // namespace
}  // namespace solne::test
