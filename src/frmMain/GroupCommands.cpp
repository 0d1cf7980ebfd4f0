// The group commands: add, rename, delete, and assigning users to a group or
// releasing them from it.
#include <algorithm>

#include "frmMain/frmMain.h"

namespace solne {

// A new group gets one more than the largest number in use, by a group or by
// a user whose group line is missing (at least 1).
void frmMain::cmdGroupAdd_Click() {
    if (AddGroupRecord(txtGroupName->Text()) >= 0) RefreshGroupList();
}

int frmMain::AddGroupRecord(const std::string& typedName, std::optional<InputBox>* refused) {
    const std::string name = NormalizeTyped(typedName);
    if (name.empty()) {
        if (refused) *refused = InputBox::GroupName;
        Warn("グループ名を入力してください。", "未入力エラー");
        return -1;
    }
    if (InputRefused(InputBox::GroupName, name, refused)) return -1;

    int largest = 0;
    for (const GroupInfo& group : Groups) largest = std::max(largest, int(group.GroupNo));
    for (const UserInfo& user : Users) largest = std::max(largest, int(user.GroupNo));
    int slot = largest >= kMaxGroupNo ? -1 : AppendGroup(Groups);
    if (slot < 0) {
        if (refused) refused->reset();
        Warn("これ以上グループを追加できません。");
        return -1;
    }

    DataChanged = true;
    Groups[size_t(slot)].GroupNo = int16_t(largest + 1);
    Groups[size_t(slot)].GroupName = name;
    return slot;
}

// Finds the group by the name of the current row (exact text, the last match
// winning), renames it and rewrites the copy of its name in every member.
void frmMain::cmdGroupUp_Click() {
    int found = -1;
    if (std::optional<int> row = lsvGroupList->CurrentRow()) {
        const std::string current = lsvGroupList->Row(*row).texts[0];
        for (size_t i = 0; i < Groups.size(); ++i)
            if (Groups[i].GroupName == current) found = int(i);
    }
    if (found < 0) {
        Warn("更新したいグループを選択してください。");
        RefreshGroupList();
        RefreshUserList();
        return;
    }
    const std::string name = Typed(*txtGroupName);
    if (name.empty()) return Warn("グループ名を入力してください。", "未入力エラー");
    if (InputRefused(InputBox::GroupName, name)) return;

    DataChanged = true;
    GroupInfo& group = Groups[size_t(found)];
    group.GroupName = name;
    for (UserInfo& user : Users)
        if (user.GroupNo == group.GroupNo) user.GroupName = name;
    RefreshGroupList();
    RefreshUserList();
}

// Each selected group is offered on its own; after a Yes its members are
// released at once and its slot goes with the others at the end.
void frmMain::cmdGroupDelete_Click() {
    bool offered = false;
    std::vector<int> removed;
    for (int row : lsvGroupList->SelectedRows()) {
        const std::string& text = lsvGroupList->Row(row).texts[0];
        if (text.empty()) continue;
        offered = true;
        if (!AskYesNo("以下のグループを削除します。\r\nまた、所属するユーザーのグループ設定は解除されます。\r\n\r\n" +
                      text))
            continue;
        const size_t slot = GroupSlot(row);
        const int16_t number = Groups[slot].GroupNo;
        for (UserInfo& user : Users) {
            if (user.GroupNo == number) {
                user.GroupNo = 0;
                user.GroupName.clear();
            }
        }
        removed.push_back(int(slot));
    }
    if (!offered) return Warn("削除するグループを「グループ一覧」から選択してください。");

    RemoveGroupsAt(Groups, removed);
    DataChanged = true;
    RefreshGroupList();
    RefreshUserList();
}

// The group of the selected group row (the last one, were there several)
// goes to every selected user. The group list keeps its selection.
void frmMain::cmdGroupSet_Click() {
    const std::vector<int> groupRows = lsvGroupList->SelectedRows();
    if (groupRows.empty()) return Warn("設定したいグループを「グループ一覧」から選択してください。");
    const size_t group = GroupSlot(groupRows.back());

    const std::vector<int> userRows = lsvUserList->SelectedRows();
    if (userRows.empty()) return Warn("グループ設定したいユーザーを「ユーザー一覧」から選択してください。");
    for (int row : userRows) AssignGroup(UserSlot(row), group);
    DataChanged = true;
    RefreshUserList();
}

void frmMain::cmdGroupCancel_Click() {
    const std::vector<int> rows = lsvUserList->SelectedRows();
    if (rows.empty()) return Warn("グループ解除したいユーザーを「ユーザー一覧」から選択してください。");
    for (int row : rows) ReleaseGroup(UserSlot(row));
    DataChanged = true;
    RefreshUserList();
}

void frmMain::AssignGroup(size_t userSlot, size_t groupSlot) {
    UserInfo& user = Users[userSlot];
    user.GroupNo = Groups[groupSlot].GroupNo;
    user.GroupName = Groups[groupSlot].GroupName;
    DataChanged = true;
}

void frmMain::ReleaseGroup(size_t userSlot) {
    Users[userSlot].GroupNo = 0;
    Users[userSlot].GroupName.clear();
    DataChanged = true;
}

}  // namespace solne
