#include "Model.h"

#include <algorithm>

namespace solne::model {

namespace {

constexpr int kSlotLimit = 32767;
constexpr int kNumberLimit = 32767;

bool Blank(const MUser& u) { return u.id.empty(); }
bool Blank(const MGroup& g) { return g.name.empty(); }

// Append: a table whose last slot is in use grows by one blank slot; a blank
// last slot is filled in place. Returns the slot to fill.
template <class Record>
int Append(std::vector<Record>& table) {
    if (table.empty() || !Blank(table.back())) table.push_back(Record{});
    return int(table.size()) - 1;
}

// Removing one slot: later slots move up by one; removing the only slot
// leaves one blank slot.
template <class Record>
void RemoveAt(std::vector<Record>& table, int index) {
    for (size_t k = size_t(index); k + 1 < table.size(); ++k) table[k] = table[k + 1];
    if (table.size() == 1)
        table.assign(1, Record{});
    else
        table.pop_back();
}

// Removing several slots one after the other leaves the slots not removed in
// their order, or one blank slot when none is left.
template <class Record>
void RemoveSlots(std::vector<Record>& table, const std::vector<int>& slots) {
    std::vector<bool> gone(table.size(), false);
    for (int s : slots) gone[size_t(s)] = true;
    std::vector<Record> kept;
    kept.reserve(table.size());
    for (size_t i = 0; i < table.size(); ++i)
        if (!gone[i]) kept.push_back(std::move(table[i]));
    if (kept.empty()) kept.push_back(Record{});
    table = std::move(kept);
}

MRow RowOf(const MUser& u, int slot) { return MRow{{u.name, u.id, u.group}, slot}; }
MRow RowOf(const MGroup& g, int slot) { return MRow{{g.name, "", ""}, slot}; }

}  // namespace

bool MList::IsSelected(int row) const {
    return std::binary_search(selected.begin(), selected.end(), row);
}

std::string FindUserFile(const std::map<std::string, std::string>& files, const std::string& id) {
    const std::string name = id + ".txt";
    if (files.count(name)) return name;
    auto fold = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return s;
    };
    const std::string folded = fold(name);
    std::string found;
    int matches = 0;
    for (const auto& [file, content] : files)
        if (fold(file) == folded) {
            found = file;
            ++matches;
        }
    return matches == 1 ? found : "";
}

void LoadTables(const MDisk& disk, std::vector<MUser>& users, std::vector<MGroup>& groups) {
    users.clear();
    for (const MDisk::UserLine& line : disk.userLines) {
        MUser u;
        u.id = line.id;
        u.pw = line.pw;
        u.no = line.no;
        const std::string file = FindUserFile(disk.files, line.id);
        if (!file.empty()) u.name = disk.files.at(file);
        for (const MGroup& g : disk.groupLines)
            if (g.no == u.no) u.group = g.name;
        users.push_back(std::move(u));
    }
    if (users.empty()) users.push_back(MUser{});
    groups = disk.groupLines;
    if (groups.empty()) groups.push_back(MGroup{});
}

MDisk Saved(const MDisk& before, const std::vector<MUser>& users, const std::vector<MGroup>& groups) {
    MDisk disk;
    std::map<std::string, std::string> written;
    for (const MUser& u : users) {
        disk.userLines.push_back({u.id, u.pw, u.no});
        std::string file = FindUserFile(before.files, u.id);
        if (file.empty()) file = u.id + ".txt";
        written[file] = u.name;
    }
    for (const auto& [file, content] : before.files)
        if (file.starts_with('.') && !written.count(file)) disk.files[file] = content;
    for (auto& [file, content] : written) disk.files[file] = content;
    disk.groupLines = groups;
    return disk;
}

// ---------------------------------------------------------------- start-up

void Model::Start() {
    LoadTables(disk, users, groups);
    userList = {};
    groupList = {};
    if (!disk.userLines.empty())
        for (size_t i = 0; i < users.size(); ++i) userList.rows.push_back(RowOf(users[i], int(i)));
    if (!disk.groupLines.empty())
        for (size_t i = 0; i < groups.size(); ++i) groupList.rows.push_back(RowOf(groups[i], int(i)));
    txtUserId.clear();
    txtPassWords.clear();
    txtUserName.clear();
    txtGroupName.clear();
    changed = false;
    open = true;
}

// ------------------------------------------------------------------- lists

void Model::RefreshUsers() {
    userList = {};
    for (size_t i = 0; i < users.size(); ++i)
        if (!Blank(users[i])) userList.rows.push_back(RowOf(users[i], int(i)));
    txtUserId.clear();
    txtUserName.clear();
    txtPassWords.clear();
}

void Model::RefreshGroups() {
    groupList = {};
    for (size_t i = 0; i < groups.size(); ++i)
        if (!Blank(groups[i])) groupList.rows.push_back(RowOf(groups[i], int(i)));
    txtGroupName.clear();
}

void Model::UserClickHandler() {
    if (userList.selected.size() == 1) {
        const MUser& u = users[size_t(userList.rows[size_t(userList.selected[0])].slot)];
        txtUserId = u.id;
        txtUserName = u.name;
        txtPassWords = u.pw;
    } else {
        txtUserId.clear();
        txtUserName.clear();
        txtPassWords.clear();
    }
}

void Model::GroupClickHandler() {
    // No current item (the click cleared the selection): nothing changes.
    if (groupList.selected.size() != 1) return;
    txtGroupName = groups[size_t(groupList.rows[size_t(groupList.selected[0])].slot)].name;
}

void Model::UserClick(int row) {
    userList.selected = {row};
    UserClickHandler();
}

void Model::UserCtrlClick(int row) {
    auto& sel = userList.selected;
    auto at = std::lower_bound(sel.begin(), sel.end(), row);
    if (at != sel.end() && *at == row)
        sel.erase(at);
    else
        sel.insert(at, row);
    UserClickHandler();
}

void Model::UserShiftClick(int from, int to) {
    userList.selected.clear();
    for (int r = std::min(from, to); r <= std::max(from, to); ++r) userList.selected.push_back(r);
    UserClickHandler();
}

void Model::GroupClick(int row) {
    groupList.selected = {row};
    GroupClickHandler();
}

void Model::GroupCtrlClick(int row) {
    if (groupList.IsSelected(row))
        groupList.selected.clear();
    else
        groupList.selected = {row};
    GroupClickHandler();
}

void Model::UserKeyTo(int row) {
    if (userList.selected != std::vector<int>{row}) UserClick(row);
}

void Model::GroupKeyTo(int row) {
    if (groupList.selected != std::vector<int>{row}) GroupClick(row);
}

// ------------------------------------------------------------------- boxes

void Model::Warn(const std::string& text, const std::string& caption) {
    shown.push_back({text, MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok, caption});
}

MsgAnswer Model::Ask(const std::string& text, MsgButtons buttons) {
    shown.push_back({text, MsgIcon::Warning, buttons, MsgAnswer::Yes, kAppTitle});
    return answer_(shown.back());
}

bool Model::Refused(InputBox box, const std::string& text) {
    if (InputAllowed(box, text)) return false;
    Warn(InputRefusedMessage(box));
    return true;
}

// ----------------------------------------------------------- user commands

void Model::UserAdd() {
    const std::string id = NormalizeTyped(txtUserId);
    const std::string pw = NormalizeTyped(txtPassWords);
    const std::string name = NormalizeTyped(txtUserName);
    if (id.empty()) return Warn("ユーザーIDを入力してください。", "未入力エラー");
    if (pw.empty()) return Warn("パスワードを入力してください。", "未入力エラー");
    if (name.empty()) return Warn("ユーザー(表示)名を入力してください。", "未入力エラー");
    if (Refused(InputBox::UserId, id) || Refused(InputBox::PassWord, pw) ||
        Refused(InputBox::UserName, name))
        return;
    if (!Blank(users.back()) && users.size() >= size_t(kSlotLimit)) {
        ++events["user add at the slot limit"];
        return Warn("これ以上ユーザーを追加できません。");
    }
    if (Blank(users.back())) ++events["user add fills a blank last slot"];
    MUser& u = users[size_t(Append(users))];
    u.id = id;
    u.pw = pw;
    u.name = name;
    changed = true;
    RefreshUsers();
}

void Model::UserUpdate() {
    const std::string key = NormalizeTyped(txtUserId);
    int found = -1;
    for (size_t i = 0; i < users.size(); ++i)
        if (users[i].id == key) found = int(i);
    if (found < 0) {
        Warn("更新可能な項目は「ユーザー(表示)名」、「パスワード」のみです。");
        RefreshUsers();
        return;
    }
    const std::string pw = NormalizeTyped(txtPassWords);
    const std::string name = NormalizeTyped(txtUserName);
    if (Refused(InputBox::PassWord, pw) || Refused(InputBox::UserName, name)) return;
    if (key.empty()) ++events["update of a blank slot found by an empty ID"];
    changed = true;
    users[size_t(found)].name = name;
    users[size_t(found)].pw = pw;
    RefreshUsers();
}

void Model::UserDelete() {
    if (userList.selected.empty())
        return Warn("削除するユーザーを「ユーザー一覧」から選択してください。");
    std::string text = "以下のユーザーを削除しますか？\r\n\r\n";
    std::vector<int> slots;
    for (int r : userList.selected) {
        const MRow& row = userList.rows[size_t(r)];
        text += row.texts[0] + "(" + row.texts[1] + ")\r\n";
        slots.push_back(row.slot);
    }
    if (Ask(text, MsgButtons::YesNo) != MsgAnswer::Yes) return;
    for (int slot : slots)
        if (Blank(users[size_t(slot)])) ++events["delete of a blank user row"];
    if (slots.size() > 1) ++events["delete of several users"];
    RemoveSlots(users, slots);
    changed = true;
    RefreshUsers();
}

// ---------------------------------------------------------- group commands

void Model::GroupAdd() {
    const std::string name = NormalizeTyped(txtGroupName);
    if (name.empty()) return Warn("グループ名を入力してください。", "未入力エラー");
    if (Refused(InputBox::GroupName, name)) return;
    int largest = 0;
    for (const MGroup& g : groups) largest = std::max(largest, g.no);
    for (const MUser& u : users) largest = std::max(largest, u.no);
    if ((!Blank(groups.back()) && groups.size() >= size_t(kSlotLimit)) || largest + 1 > kNumberLimit) {
        ++events["group add at the limit"];
        return Warn("これ以上グループを追加できません。");
    }
    if (Blank(groups.back())) ++events["group add fills a blank last slot"];
    if (largest > 0 && std::none_of(groups.begin(), groups.end(), [&](const MGroup& x) { return x.no == largest; }))
        ++events["group number from a user's number"];
    MGroup& g = groups[size_t(Append(groups))];
    g.no = largest + 1;
    g.name = name;
    changed = true;
    RefreshGroups();
}

void Model::GroupRename() {
    int found = -1;
    if (groupList.selected.size() == 1) {
        const std::string& key = groupList.rows[size_t(groupList.selected[0])].texts[0];
        for (size_t i = 0; i < groups.size(); ++i)
            if (groups[i].name == key) found = int(i);
    }
    if (found < 0) {
        Warn("更新したいグループを選択してください。");
        RefreshGroups();
        RefreshUsers();
        return;
    }
    const std::string name = NormalizeTyped(txtGroupName);
    if (name.empty()) return Warn("グループ名を入力してください。", "未入力エラー");
    if (Refused(InputBox::GroupName, name)) return;
    if (groups[size_t(found)].name.empty()) ++events["rename of a blank group slot"];
    if (found != groupList.rows[size_t(groupList.selected[0])].slot) ++events["rename finds a later slot of the name"];
    changed = true;
    MGroup& g = groups[size_t(found)];
    g.name = name;
    for (MUser& u : users)
        if (u.no == g.no) u.group = name;
    RefreshGroups();
    RefreshUsers();
}

void Model::GroupDelete() {
    bool offered = false;
    std::vector<int> rows = groupList.selected;
    int removed = 0;  // slots removed so far: later rows' slots moved up
    for (int r : rows) {
        const MRow& row = groupList.rows[size_t(r)];
        if (row.texts[0].empty()) {
            ++events["group delete passes over a blank row"];
            continue;
        }
        offered = true;
        const std::string text = "以下のグループを削除します。\r\nまた、所属するユーザーのグループ設定は解除されます。\r\n\r\n" +
                                 row.texts[0];
        if (Ask(text, MsgButtons::YesNo) != MsgAnswer::Yes) continue;
        const int slot = row.slot - removed;
        const int number = groups[size_t(slot)].no;
        for (MUser& u : users)
            if (u.no == number) {
                u.no = 0;
                u.group.clear();
            }
        RemoveAt(groups, slot);
        ++removed;
    }
    if (!offered) return Warn("削除するグループを「グループ一覧」から選択してください。");
    changed = true;
    RefreshGroups();
    RefreshUsers();
}

void Model::GroupAssign() {
    if (groupList.selected.empty())
        return Warn("設定したいグループを「グループ一覧」から選択してください。");
    const MGroup g = groups[size_t(groupList.rows[size_t(groupList.selected.back())].slot)];
    if (Blank(g)) ++events["assign from a blank group row"];
    if (userList.selected.empty())
        return Warn("グループ設定したいユーザーを「ユーザー一覧」から選択してください。");
    for (int r : userList.selected) {
        MUser& u = users[size_t(userList.rows[size_t(r)].slot)];
        u.no = g.no;
        u.group = g.name;
    }
    changed = true;
    RefreshUsers();
}

void Model::GroupRelease() {
    if (userList.selected.empty())
        return Warn("グループ解除したいユーザーを「ユーザー一覧」から選択してください。");
    for (int r : userList.selected) {
        MUser& u = users[size_t(userList.rows[size_t(r)].slot)];
        u.no = 0;
        u.group.clear();
    }
    changed = true;
    RefreshUsers();
}

// --------------------------------------------------------- saving, closing

void Model::Save() {
    disk = Saved(disk, users, groups);
    shown.push_back({"データの保存が完了しました。", MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok,
                     kAppTitle});
    changed = false;
}

void Model::Close() {
    if (changed) {
        MsgAnswer a = Ask("データが変更されています。保存しますか？", MsgButtons::YesNoCancel);
        if (a == MsgAnswer::Cancel) return;
        if (a == MsgAnswer::Yes) Save();
    }
    open = false;
}

}  // namespace solne::model
