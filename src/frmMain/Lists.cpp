// The two lists: rebuilding them from the tables and copying the record of a
// clicked row into the text boxes. Every row knows its slot, so a click acts
// on the record shown even when blank slots are left out of the list.
#include <QLineEdit>

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
    ListRow row;
    row.texts[0] = QString::fromStdString(user.UserName);
    row.texts[1] = QString::fromStdString(user.UserId);
    row.texts[2] = QString::fromStdString(user.GroupName);
    row.slot = slot;
    return row;
}

ListRow frmMain::GroupRowOf(const GroupInfo& group, int slot) {
    ListRow row;
    row.texts[0] = QString::fromStdString(group.GroupName);
    row.slot = slot;
    return row;
}

void frmMain::RefreshUserList() {
    lsvUserList->SetRows(RowsOf(Users, UserRowOf));
    txtUserId->clear();
    txtUserName->clear();
    txtPassWords->clear();
}

void frmMain::RefreshGroupList() {
    lsvGroupList->SetRows(RowsOf(Groups, GroupRowOf));
    txtGroupName->clear();
}

// With exactly one selected row the boxes show its user; otherwise they are
// emptied. A row that leads to no slot leaves the boxes alone.
void frmMain::lsvUserList_ItemClick() {
    std::vector<int> selected = lsvUserList->SelectedRows();
    if (selected.size() != 1) {
        txtUserId->clear();
        txtUserName->clear();
        txtPassWords->clear();
        return;
    }
    int slot = lsvUserList->SlotOf(selected.front());
    if (slot < 0 || size_t(slot) >= Users.size()) return;
    const UserInfo& user = Users[size_t(slot)];
    txtUserId->setText(QString::fromStdString(user.UserId));
    txtUserName->setText(QString::fromStdString(user.UserName));
    txtPassWords->setText(QString::fromStdString(user.PassWord));
}

void frmMain::lsvGroupList_ItemClick() {
    std::optional<int> row = lsvGroupList->CurrentRow();
    if (!row) return;
    int slot = lsvGroupList->SlotOf(*row);
    if (slot < 0 || size_t(slot) >= Groups.size()) return;
    txtGroupName->setText(QString::fromStdString(Groups[size_t(slot)].GroupName));
}

}  // namespace solne
