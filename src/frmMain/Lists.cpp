// The two lists: rebuilding them from the tables and copying the record of a
// clicked row into the text boxes. Every row knows its slot, so a click acts
// on the record shown even when blank slots are left out of the list.
#include "frmMain/frmMain.h"

namespace solne {

namespace {

// The rows of every non-blank slot, in slot order.
template <typename Table, typename MakeRow>
std::vector<ListRow> RowsOf(const Table& table, MakeRow makeRow) {
    std::vector<ListRow> rows;
    rows.reserve(table.size());
    for (size_t i = 0; i < table.size(); ++i)
        if (!IsBlank(table[i])) rows.push_back(makeRow(table[i], int(i)));
    return rows;
}

}  // namespace

ListRow frmMain::UserRowOf(const UserInfo& user, int slot) {
    return ListRow{{user.UserName, user.UserId, user.GroupName}, slot};
}

ListRow frmMain::GroupRowOf(const GroupInfo& group, int slot) {
    return ListRow{{group.GroupName, {}, {}}, slot};
}

void frmMain::RefreshUserList() {
    lsvUserList->SetRows(RowsOf(Users, UserRowOf));
    txtUserId->SetText({});
    txtUserName->SetText({});
    txtPassWords->SetText({});
}

void frmMain::RefreshGroupList() {
    lsvGroupList->SetRows(RowsOf(Groups, GroupRowOf));
    txtGroupName->SetText({});
}

// With exactly one selected row the boxes show its user; otherwise they are
// emptied.
void frmMain::lsvUserList_ItemClick() {
    std::vector<int> selected = lsvUserList->SelectedRows();
    if (selected.size() != 1) {
        txtUserId->SetText({});
        txtUserName->SetText({});
        txtPassWords->SetText({});
        return;
    }
    const UserInfo& user = Users[UserSlot(selected.front())];
    txtUserId->SetText(user.UserId);
    txtUserName->SetText(user.UserName);
    txtPassWords->SetText(user.PassWord);
}

// A click that left no current item (a Ctrl-click clearing the selection)
// changes nothing.
void frmMain::lsvGroupList_ItemClick() {
    std::optional<int> row = lsvGroupList->CurrentRow();
    if (!row) return;
    txtGroupName->SetText(Groups[GroupSlot(*row)].GroupName);
}

}  // namespace solne
