// The user commands: add, update (display name and password) and delete.
#include "frmMain/frmMain.h"

namespace solne {

namespace {
const char* const kMissingCaption = "未入力エラー";
}

void frmMain::cmdUserAdd_Click() {
    if (AddUserRecord(txtUserId->Text(), txtPassWords->Text(), txtUserName->Text()) >= 0) RefreshUserList();
}

int frmMain::AddUserRecord(const std::string& typedId, const std::string& typedPassword,
                           const std::string& typedName, std::optional<InputBox>* refused) {
    const std::string id = NormalizeTyped(typedId);
    const std::string password = NormalizeTyped(typedPassword);
    const std::string name = NormalizeTyped(typedName);

    auto missing = [&](InputBox box, const char* text) {
        if (refused) *refused = box;
        Warn(text, kMissingCaption);
        return -1;
    };
    if (id.empty()) return missing(InputBox::UserId, "ユーザーIDを入力してください。");
    if (password.empty()) return missing(InputBox::PassWord, "パスワードを入力してください。");
    if (name.empty()) return missing(InputBox::UserName, "ユーザー(表示)名を入力してください。");
    if (InputRefused(InputBox::UserId, id, refused) || InputRefused(InputBox::PassWord, password, refused) ||
        InputRefused(InputBox::UserName, name, refused))
        return -1;

    int slot = AppendUser(Users);
    if (slot < 0) {
        if (refused) refused->reset();
        Warn("これ以上ユーザーを追加できません。");
        return -1;
    }
    UserInfo& user = Users[size_t(slot)];
    user.UserId = id;
    user.PassWord = password;
    user.UserName = name;
    DataChanged = true;
    return slot;
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
    if (UpdateUserRecord(size_t(found), txtPassWords->Text(), txtUserName->Text())) RefreshUserList();
}

bool frmMain::UpdateUserRecord(size_t slot, const std::string& typedPassword, const std::string& typedName,
                               std::optional<InputBox>* refused) {
    const std::string password = NormalizeTyped(typedPassword);
    const std::string name = NormalizeTyped(typedName);
    if (InputRefused(InputBox::PassWord, password, refused) || InputRefused(InputBox::UserName, name, refused))
        return false;

    DataChanged = true;
    Users[slot].UserName = name;
    Users[slot].PassWord = password;
    return true;
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
