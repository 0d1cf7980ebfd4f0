// The two lists: a refresh drops blank slots, and every row leads to its own
// record. Clicks and keys on the real lists are tested in tests/qt.
#include "FormTest.h"

namespace solne::test {
namespace {

class ListTest : public FormTest {};

TEST_F(ListTest, RefreshDropsBlankSlotsAndLeavesNothingSelected) {
    ASSERT_EQ(Start(FiveUsers()), StartResult::Ready);
    Click(w->userList, 0);
    Click(w->groupList, 0);
    w->Users[1].UserId.clear();    // blank slots
    w->Groups[0].GroupName.clear();
    w->Users[3].UserName.clear();  // shown, with an empty first column
    w->RefreshUserList();
    w->RefreshGroupList();
    EXPECT_EQ(Column(w->lsvUserList, 1), (std::vector<std::string>{"u01", "u03", "u04", "u05"}));
    EXPECT_EQ(Column(w->lsvUserList, 0), (std::vector<std::string>{"田中", "高橋", "", "伊藤"}));
    EXPECT_EQ(Column(w->lsvGroupList, 0), (std::vector<std::string>{"営業部"}));
    EXPECT_TRUE(w->lsvUserList->SelectedRows().empty());
    EXPECT_TRUE(w->lsvGroupList->SelectedRows().empty());
    EXPECT_TRUE(UserBoxesEmpty());
    EXPECT_TRUE(w->txtGroupName->Text().empty());

    // A table whose only slot is blank refreshes to an empty list.
    w->Users.assign(1, UserInfo{});
    w->RefreshUserList();
    EXPECT_EQ(w->lsvUserList->RowCount(), 0);
}

// "user.txt" whose second line has an empty ID, "group.txt" with an empty
// name in the middle: rows and slots must stay in line after a refresh.
class BlankSlotTest : public FormTest {
protected:
    void SetUp() override {
        BoardFiles b;
        b.userLines = {"u01,p1,0", ",px,0", "u03,p3,0", "u04,p4,0"};
        b.groupLines = {"1,総務部", "2,", "3,開発部"};
        b.perUser = {{"u01", {"username=田中", "status=0", "plan="}},
                     {"u03", {"username=高橋", "status=0", "plan="}},
                     {"u04", {"username=渡辺", "status=0", "plan="}}};
        ASSERT_EQ(Start(b), StartResult::Ready);
    }
};

TEST_F(BlankSlotTest, StartUpShowsBlankRowsAndRefreshDropsThem) {
    EXPECT_EQ(Column(w->lsvUserList, 1), (std::vector<std::string>{"u01", "", "u03", "u04"}));
    EXPECT_EQ(Column(w->lsvGroupList, 0), (std::vector<std::string>{"総務部", "", "開発部"}));
    w->RefreshUserList();
    w->RefreshGroupList();
    EXPECT_EQ(Column(w->lsvUserList, 1), (std::vector<std::string>{"u01", "u03", "u04"}));
    EXPECT_EQ(Column(w->lsvGroupList, 0), (std::vector<std::string>{"総務部", "開発部"}));
}

TEST_F(BlankSlotTest, ClicksAfterARefreshShowTheRecordOfTheRow) {
    w->RefreshUserList();
    w->RefreshGroupList();
    Click(w->userList, 1);
    EXPECT_EQ(Text(w->txtUserId), "u03");
    EXPECT_EQ(Text(w->txtPassWords), "p3");
    Click(w->userList, 2);
    EXPECT_EQ(Text(w->txtUserId), "u04");
    Click(w->groupList, 1);
    EXPECT_EQ(Text(w->txtGroupName), "開発部");
}

TEST_F(BlankSlotTest, AssignReleaseAndDeleteActOnTheChosenRecords) {
    w->RefreshGroupList();
    w->cmdGroupCancel_Click();  // nothing selected: only a message
    dialogs.boxes.clear();
    w->RefreshUserList();

    // Assign 開発部 (slot 2, shown as row 2) to u03 (slot 2, shown as row 2).
    Click(w->groupList, 1);
    Click(w->userList, 1);
    w->cmdGroupSet_Click();
    EXPECT_EQ(w->Users[2].GroupNo, 3);
    EXPECT_EQ(w->Users[2].GroupName, "開発部");
    EXPECT_EQ(w->Users[3].GroupNo, 0);
    EXPECT_EQ(Column(w->lsvUserList, 2), (std::vector<std::string>{"", "開発部", ""}));

    // Release u03 again.
    Click(w->userList, 1);
    w->cmdGroupCancel_Click();
    EXPECT_EQ(w->Users[2].GroupNo, 0);

    // Delete u04 (row 3, slot 3): the blank slot and u03 stay.
    Click(w->userList, 2);
    dialogs.answers = {MsgAnswer::Yes};
    w->cmdUserDelete_Click();
    EXPECT_EQ(dialogs.boxes.back().text, "以下のユーザーを削除しますか？\r\n\r\n渡辺(u04)\r\n");
    EXPECT_EQ(UserIds(), (std::vector<std::string>{"u01", "", "u03"}));

    // Delete 開発部 (row 2, slot 2): 総務部 and the blank slot stay.
    Click(w->groupList, 1);
    dialogs.answers = {MsgAnswer::Yes};
    w->cmdGroupDelete_Click();
    EXPECT_EQ(GroupNames(), (std::vector<std::string>{"総務部", ""}));
}

TEST_F(BlankSlotTest, BlankGroupRowAtStartUpIsNotOfferedForDeletion) {
    Click(w->groupList, 1);  // the row of the empty name
    w->cmdGroupDelete_Click();
    ExpectWarning("削除するグループを「グループ一覧」から選択してください。");
    EXPECT_EQ(w->Groups.size(), 3u);
    EXPECT_FALSE(w->DataChanged);
}

}  // namespace
}  // namespace solne::test
