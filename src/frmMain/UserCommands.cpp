// The user commands: add, update (display name and password) and delete.
#include "frmMain/frmMain.h"

namespace solne {

namespace {
const char* const kMissingCaption = "未入力エラー";
}

void frmMain::cmdUserAdd_Click() {
    const std::string id = Typed(*txtUserId);
    const std::string password = Typed(*txtPassWords);
    const std::string name = Typed(*txtUserName);

    if (id.empty()) return Warn("ユーザーIDを入力してください。", kMissingCaption);
    if (password.empty()) return Warn("パスワードを入力してください。", kMissingCaption);
    if (name.empty()) return Warn("ユーザー(表示)名を入力してください。", kMissingCaption);
    if (InputRefused(InputBox::UserId, id) || InputRefused(InputBox::PassWord, password) ||
        InputRefused(InputBox::UserName, name))
        return;

    int slot = AppendUser(Users);
    if (slot < 0) return Warn("これ以上ユーザーを追加できません。");
    UserInfo& user = Users[size_t(slot)];
    user.UserId = id;
    user.PassWord = password;
    user.UserName = name;
    DataChanged = true;
    RefreshUserList();
}

// Finds the user by the ID in its box (exact text, the last match winning)
// and replaces display name and password.
void frmMain::cmdUserUp_Click() {
    const std::string id = Typed(*txtUserId);
    int found = -1;
    for (size_t i = 0; i < Users.size(); ++i)
        if (Users[i].UserId == id) found = int(i);

    if (found < 0) {
        Warn("更新可能な項目は「ユーザー(表示)名」、「パスワード」のみです。");
        RefreshUserList();
        return;
    }
    const std::string password = Typed(*txtPassWords);
    const std::string name = Typed(*txtUserName);
    if (InputRefused(InputBox::PassWord, password) || InputRefused(InputBox::UserName, name)) return;

    DataChanged = true;
    Users[size_t(found)].UserName = name;
    Users[size_t(found)].PassWord = password;
    RefreshUserList();
}

// One question for all selected users, then every selected slot is removed
// in one pass.
void frmMain::cmdUserDelete_Click() {
    const std::vector<int> rows = lsvUserList->SelectedRows();
    if (rows.empty()) return Warn("削除するユーザーを「ユーザー一覧」から選択してください。");

    std::string prompt = "以下のユーザーを削除しますか？\r\n\r\n";
    for (int row : rows) {
        const ListRow& shown = lsvUserList->Row(row);
        prompt += shown.texts[0] + "(" + shown.texts[1] + ")\r\n";
    }
    if (!AskYesNo(prompt)) return;

    std::vector<int> removed;
    removed.reserve(rows.size());
    for (int row : rows) removed.push_back(int(UserSlot(row)));
    RemoveUsersAt(Users, removed);
    DataChanged = true;
    RefreshUserList();
}

}  // namespace solne
