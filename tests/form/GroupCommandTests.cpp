// The group commands through the window: add, rename, delete, assign, release.
#include "FormTest.h"

namespace solne::test {
namespace {

class GroupCommandTest : public FormTest {
protected:
    // Groups with the given "number,name" lines; users u1..u4 in groups 1, 2, 2 and none.
    StartResult StartWith(std::vector<std::string> groupLines,
                          std::vector<std::string> userLines = {"u1,p,1", "u2,p,2", "u3,p,2", "u4,p,0"}) {
        BoardFiles b;
        b.userLines = std::move(userLines);
        b.groupLines = std::move(groupLines);
        return Start(b);
    }

    void AddGroup(const char* name) {
        Type(w->groupName, name);
        w->cmdGroupAdd_Click();
    }

    std::vector<int> GroupNumbers() const {
        std::vector<int> numbers;
        for (const GroupInfo& g : w->Groups) numbers.push_back(g.GroupNo);
        return numbers;
    }
    std::vector<int> UserGroupNumbers() const {
        std::vector<int> numbers;
        for (const UserInfo& u : w->Users) numbers.push_back(u.GroupNo);
        return numbers;
    }
};

// ---- add

TEST_F(GroupCommandTest, AddWithAnEmptyNameReports) {
    ASSERT_EQ(StartWith({"1,A"}), StartResult::Ready);
    w->cmdGroupAdd_Click();
    ExpectWarning("グループ名を入力してください。", "未入力エラー");
    EXPECT_EQ(w->Groups.size(), 1u);
    EXPECT_FALSE(w->DataChanged);
}

TEST_F(GroupCommandTest, AddNumbersOneMoreThanTheLargest) {
    ASSERT_EQ(StartWith({"1,A", "2,B", "5,C"}, {"u1,p,1"}), StartResult::Ready);
    Click(w->userList, 0);  // the user list is left alone
    AddGroup("D");
    EXPECT_EQ(GroupNumbers(), (std::vector<int>{1, 2, 5, 6}));
    EXPECT_EQ(Column(w->lsvGroupList, 0), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_TRUE(w->txtGroupName->Text().empty());
    EXPECT_EQ(w->lsvUserList->SelectedRows(), (std::vector<int>{0}));
    EXPECT_EQ(Text(w->txtUserId), "u1");
    EXPECT_TRUE(w->DataChanged);

    AddGroup("A");  // an existing name: a second group with the next number
    EXPECT_EQ(GroupNumbers(), (std::vector<int>{1, 2, 5, 6, 7}));
}

TEST_F(GroupCommandTest, AddAfterDeletingTheLargestReusesTheFreedRange) {
    ASSERT_EQ(StartWith({"1,A", "2,B", "5,C"}, {"u1,p,5"}), StartResult::Ready);
    Click(w->groupList, 2);
    dialogs.answers = {MsgAnswer::Yes};
    w->cmdGroupDelete_Click();
    EXPECT_EQ(UserGroupNumbers(), (std::vector<int>{0}));  // released
    AddGroup("D");
    EXPECT_EQ(GroupNumbers(), (std::vector<int>{1, 2, 3}));
}

TEST_F(GroupCommandTest, AddAfterEveryGroupWasDeletedGivesOne) {
    ASSERT_EQ(StartWith({"4,A"}, {"u1,p,4", "u2,p,0"}), StartResult::Ready);
    Click(w->groupList, 0);
    dialogs.answers = {MsgAnswer::Yes};
    w->cmdGroupDelete_Click();
    ASSERT_EQ(w->Groups.size(), 1u);
    AddGroup("B");
    ASSERT_EQ(w->Groups.size(), 1u);
    EXPECT_EQ(w->Groups[0].GroupNo, 1);
    EXPECT_EQ(w->Groups[0].GroupName, "B");
}

// A user whose group line is missing keeps its number out of use.
TEST_F(GroupCommandTest, AddSkipsNumbersHeldOnlyByUsers) {
    ASSERT_EQ(StartWith({"1,A", "2,B"}, {"u1,p,9", "u2,p,1"}), StartResult::Ready);
    AddGroup("C");
    EXPECT_EQ(GroupNumbers(), (std::vector<int>{1, 2, 10}));
    EXPECT_EQ(w->Users[0].GroupName, "");  // u1 did not join the new group
}

TEST_F(GroupCommandTest, AddRefusedAtTheNumberAndTableLimits) {
    ASSERT_EQ(StartWith({"32767,A"}), StartResult::Ready);
    AddGroup("B");
    ExpectWarning("これ以上グループを追加できません。");
    EXPECT_EQ(w->Groups.size(), 1u);
    EXPECT_EQ(Text(w->txtGroupName), "B");

    w->Groups.assign(size_t(kMaxSlots), GroupInfo{1, "G"});
    dialogs.boxes.clear();
    w->cmdGroupAdd_Click();
    ExpectWarning("これ以上グループを追加できません。");
    EXPECT_EQ(int(w->Groups.size()), kMaxSlots);
    EXPECT_FALSE(w->DataChanged);
}

TEST_F(GroupCommandTest, AddRefusesNamesTheFileCannotHold) {
    ASSERT_EQ(StartWith({"1,A"}), StartResult::Ready);
    for (const char* name : {"営業,第一", " 営業", "\"営業", "café"}) {
        SCOPED_TRACE(name);
        dialogs.boxes.clear();
        AddGroup(name);
        ExpectWarning("グループ名に使用できない文字が含まれています。");
        EXPECT_EQ(Text(w->txtGroupName), name);
    }
    EXPECT_EQ(w->Groups.size(), 1u);
    EXPECT_FALSE(w->DataChanged);
}

// ---- rename

TEST_F(GroupCommandTest, RenameChangesThatGroupAndTheColumnOfItsMembers) {
    for (int row : {0, 1, 2}) {
        SCOPED_TRACE(row);
        ASSERT_EQ(StartWith({"1,A", "2,B", "3,C"}, {"u1,p,1", "u2,p,2", "u3,p,3", "u4,p,0", "u5,p,2"}),
                  StartResult::Ready);
        Click(w->groupList, row);
        Type(w->groupName, "新名");
        w->cmdGroupUp_Click();
        std::vector<std::string> names = {"A", "B", "C"};
        names[size_t(row)] = "新名";
        EXPECT_EQ(GroupNames(), names);
        std::vector<std::string> column = {"A", "B", "C", "", "B"};
        for (std::string& c : column)
            if (c == std::string(1, char('A' + row))) c = "新名";
        EXPECT_EQ(Column(w->lsvUserList, 2), column);
        EXPECT_EQ(GroupNumbers(), (std::vector<int>{1, 2, 3}));
        EXPECT_TRUE(w->txtGroupName->Text().empty());
        EXPECT_TRUE(w->lsvGroupList->SelectedRows().empty());
        EXPECT_TRUE(w->DataChanged);
        EXPECT_TRUE(dialogs.boxes.empty());
        w->DataChanged = false;
    }
}

TEST_F(GroupCommandTest, RenameOfADuplicatedNameChangesTheLaterGroup) {
    ASSERT_EQ(StartWith({"1,A", "2,A"}), StartResult::Ready);
    Click(w->groupList, 0);
    Type(w->groupName, "Z");
    w->cmdGroupUp_Click();
    EXPECT_EQ(GroupNames(), (std::vector<std::string>{"A", "Z"}));
    EXPECT_EQ(Column(w->lsvUserList, 2), (std::vector<std::string>{"A", "Z", "Z", ""}));
}

TEST_F(GroupCommandTest, RenameWithoutCurrentRowReportsAndRebuildsBothLists) {
    ASSERT_EQ(StartWith({"1,A", "2,B"}), StartResult::Ready);
    Click(w->userList, 0);
    Type(w->groupName, "Z");
    w->cmdGroupUp_Click();
    ExpectWarning("更新したいグループを選択してください。");
    EXPECT_EQ(GroupNames(), (std::vector<std::string>{"A", "B"}));
    EXPECT_FALSE(w->DataChanged);
    EXPECT_TRUE(w->txtGroupName->Text().empty());
    EXPECT_TRUE(UserBoxesEmpty());
    EXPECT_TRUE(w->lsvUserList->SelectedRows().empty());
}

// An empty or unwritable new name is refused once the group is found;
// nothing changes and nothing is rebuilt.
TEST_F(GroupCommandTest, RenameRefusesAnEmptyOrUnwritableName) {
    ASSERT_EQ(StartWith({"1,A", "2,B"}), StartResult::Ready);
    Click(w->groupList, 1);
    Type(w->groupName, "");
    w->cmdGroupUp_Click();
    ExpectWarning("グループ名を入力してください。", "未入力エラー");
    Type(w->groupName, "B,C");
    w->cmdGroupUp_Click();
    ExpectWarning("グループ名に使用できない文字が含まれています。");
    EXPECT_EQ(GroupNames(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(w->Users[1].GroupName, "B");
    EXPECT_FALSE(w->DataChanged);
    EXPECT_EQ(w->lsvGroupList->SelectedRows(), (std::vector<int>{1}));
    EXPECT_EQ(Text(w->txtGroupName), "B,C");
}

// ---- delete

TEST_F(GroupCommandTest, DeleteAnsweredYesRemovesTheGroupAndReleasesItsMembers) {
    ASSERT_EQ(StartWith({"1,A", "2,B", "3,C"}), StartResult::Ready);
    Click(w->groupList, 1);
    dialogs.answers = {MsgAnswer::Yes};
    w->cmdGroupDelete_Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    const ShownBox& box = dialogs.boxes[0];
    EXPECT_EQ(box.text, "以下のグループを削除します。\r\nまた、所属するユーザーのグループ設定は解除されます。\r\n\r\nB");
    EXPECT_EQ(box.buttons, MsgButtons::YesNo);
    EXPECT_EQ(box.defaultButton, MsgAnswer::Yes);
    EXPECT_EQ(box.icon, MsgIcon::Warning);
    EXPECT_EQ(box.caption, "ソルネ");
    EXPECT_EQ(GroupNames(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(UserGroupNumbers(), (std::vector<int>{1, 0, 0, 0}));
    EXPECT_EQ(Column(w->lsvUserList, 2), (std::vector<std::string>{"A", "", "", ""}));
    EXPECT_TRUE(w->DataChanged);
}

TEST_F(GroupCommandTest, DeleteAnsweredNoStillMarksAChangeAndRebuilds) {
    ASSERT_EQ(StartWith({"1,A", "2,B"}), StartResult::Ready);
    Click(w->userList, 0);
    Click(w->groupList, 0);
    dialogs.answers = {MsgAnswer::No};
    w->cmdGroupDelete_Click();
    EXPECT_EQ(GroupNames(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(UserGroupNumbers(), (std::vector<int>{1, 2, 2, 0}));
    EXPECT_TRUE(w->DataChanged);
    EXPECT_TRUE(w->lsvGroupList->SelectedRows().empty());
    EXPECT_TRUE(w->lsvUserList->SelectedRows().empty());
    EXPECT_TRUE(w->txtGroupName->Text().empty());
}

TEST_F(GroupCommandTest, DeleteWithNothingSelectedReports) {
    ASSERT_EQ(StartWith({"1,A"}), StartResult::Ready);
    w->cmdGroupDelete_Click();
    ExpectWarning("削除するグループを「グループ一覧」から選択してください。");
    EXPECT_FALSE(w->DataChanged);
}

// ---- assign and release

TEST_F(GroupCommandTest, AssignGivesTheSelectedUsersTheGroupAndKeepsTheGroupRow) {
    ASSERT_EQ(StartWith({"1,A", "2,B", "3,C"}), StartResult::Ready);
    Click(w->groupList, 2);
    Click(w->userList, 0);
    Click(w->userList, 1, Mods::Ctrl);
    Click(w->userList, 3, Mods::Ctrl);
    w->cmdGroupSet_Click();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(UserGroupNumbers(), (std::vector<int>{3, 3, 2, 3}));
    EXPECT_EQ(Column(w->lsvUserList, 2), (std::vector<std::string>{"C", "C", "B", "C"}));
    EXPECT_EQ(w->lsvGroupList->SelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(Text(w->txtGroupName), "C");
    EXPECT_TRUE(w->lsvUserList->SelectedRows().empty());
    EXPECT_TRUE(w->DataChanged);
}

TEST_F(GroupCommandTest, AssignReportsAMissingGroupBeforeMissingUsers) {
    ASSERT_EQ(StartWith({"1,A"}), StartResult::Ready);
    Click(w->userList, 0);
    w->cmdGroupSet_Click();
    ExpectWarning("設定したいグループを「グループ一覧」から選択してください。");
    EXPECT_EQ(w->lsvUserList->SelectedRows(), (std::vector<int>{0}));

    w->userList.Select({});
    Click(w->groupList, 0);
    w->cmdGroupSet_Click();
    ExpectWarning("グループ設定したいユーザーを「ユーザー一覧」から選択してください。");
    EXPECT_EQ(UserGroupNumbers(), (std::vector<int>{1, 2, 2, 0}));
    EXPECT_FALSE(w->DataChanged);
}

TEST_F(GroupCommandTest, ReleaseClearsTheGroupOfTheSelectedUsers) {
    ASSERT_EQ(StartWith({"1,A", "2,B"}), StartResult::Ready);
    Click(w->userList, 1);
    Click(w->userList, 3, Mods::Ctrl);  // u4 has no group already
    w->cmdGroupCancel_Click();
    EXPECT_EQ(UserGroupNumbers(), (std::vector<int>{1, 0, 2, 0}));
    EXPECT_EQ(Column(w->lsvUserList, 2), (std::vector<std::string>{"A", "", "B", ""}));
    EXPECT_TRUE(w->DataChanged);

    w->DataChanged = false;
    Click(w->userList, 3);
    w->cmdGroupCancel_Click();  // a user without a group: still a change
    EXPECT_TRUE(w->DataChanged);
}

TEST_F(GroupCommandTest, ReleaseWithNothingSelectedReports) {
    ASSERT_EQ(StartWith({"1,A"}), StartResult::Ready);
    w->cmdGroupCancel_Click();
    ExpectWarning("グループ解除したいユーザーを「ユーザー一覧」から選択してください。");
    EXPECT_FALSE(w->DataChanged);
}

// A row that shows no slot of its table (the table shrank with no refresh)
// stops the program before a handler reads or writes past the table.
TEST_F(GroupCommandTest, ARowWithoutItsSlotStopsTheProgramInsteadOfReachingPastTheTable) {
    ASSERT_EQ(StartWith({"1,A", "2,B", "3,C"}), StartResult::Ready);
    Click(w->groupList, 2);
    Click(w->userList, 0);
    w->Groups.resize(2);
    EXPECT_DEATH(w->cmdGroupSet_Click(), "list row 2 shows slot 2 of a table of 2 slots");
    w->Users.resize(1);
    w->userList.Select({3});
    EXPECT_DEATH(w->cmdGroupCancel_Click(), "list row 3 shows slot 3 of a table of 1 slots");
}

}  // namespace
}  // namespace solne::test
