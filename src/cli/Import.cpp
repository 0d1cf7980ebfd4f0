#include "cli/Import.h"

#include <charconv>
#include <optional>
#include <unordered_map>

#include "store/Failure.h"
#include "store/TextRules.h"
#include "store/UserFolder.h"

namespace solne::cli {

namespace {

// Refused rows reported at most; the rest are counted.
constexpr size_t kReportedProblems = 100;

struct Alias {
    Column column;
    const char* name;  // lower case, words separated by one space
};
constexpr Alias kAliases[] = {
    {Column::Id, "ユーザーid"},        {Column::Id, "id"},
    {Column::Id, "user id"},           {Column::Id, "userid"},
    {Column::Name, "ユーザー(表示)名"}, {Column::Name, "表示名"},
    {Column::Name, "ユーザー名"},       {Column::Name, "name"},
    {Column::Name, "display name"},    {Column::Name, "user name"},
    {Column::Name, "username"},        {Column::Group, "グループ名"},
    {Column::Group, "グループ"},        {Column::Group, "group"},
    {Column::Group, "group name"},     {Column::Group, "groupname"},
    {Column::GroupNo, "グループ番号"},  {Column::GroupNo, "group no"},
    {Column::GroupNo, "group number"}, {Column::GroupNo, "groupno"},
    {Column::Password, "パスワード"},   {Column::Password, "password"},
};

// A header as compared: blanks around it dropped, ASCII letters in lower
// case, "_" and "-" as a space.
std::string HeaderKey(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    std::string key = FoldCase(text);
    for (char& c : key)
        if (c == '_' || c == '-') c = ' ';
    return key;
}

std::string Where(const std::string& path, int line, int column) {
    std::string where = path;
    where += ':';
    where += std::to_string(line);
    if (column > 0) {
        where += ':';
        where += std::to_string(column);
    }
    where += ": ";
    return where;
}

Column ColumnOf(InputBox box) {
    switch (box) {
        case InputBox::UserId: return Column::Id;
        case InputBox::PassWord: return Column::Password;
        case InputBox::UserName: return Column::Name;
        case InputBox::GroupName: return Column::Group;
    }
    return Column::Id;
}

// Collects the refused rows of one import.
class Problems {
public:
    explicit Problems(const ImportFile& file) : file_(file) {}
    void Add(int line, std::optional<Column> column, const std::string& message) {
        ++count_;
        if (count_ > kReportedProblems) return;
        int at = column ? file_.columnOf[int(*column)] + 1 : 0;
        std::string text = message;
        if (column && at == 0) text += "（このファイルには「" + std::string(ColumnHeader(*column)) + "」の列がありません）";
        text_ += Where(file_.path, line, at) + text + "\n";
    }
    bool Any() const { return count_ > 0; }
    std::string Text() const {
        std::string text = text_;
        if (count_ > kReportedProblems)
            text += "ほか " + std::to_string(count_ - kReportedProblems) + " 件\n";
        return text + file_.path + ": " + std::to_string(count_) + " 件の誤りがあるため、何も書き込んでいません。\n";
    }

private:
    const ImportFile& file_;
    size_t count_ = 0;
    std::string text_;
};

}  // namespace

const char* ColumnHeader(Column column) {
    switch (column) {
        case Column::Id: return "ユーザーID";
        case Column::Name: return "ユーザー(表示)名";
        case Column::Group: return "グループ名";
        case Column::GroupNo: return "グループ番号";
        case Column::Password: return "パスワード";
    }
    return "";
}

bool ReadImportFile(FileSystem& fs, const std::string& path, ImportFile& file, std::string& err) {
    file.path = path;
    std::string bytes;
    if (int e = fs.ReadFile(path, bytes)) {
        err += path + ": 読み込めませんでした: " + ErrorText(e) + "\n";
        return false;
    }
    std::string text;
    CsvProblem problem;
    std::vector<CsvRecord> records;
    if (!DecodeText(bytes, text, file.encoding, problem) || !ParseCsv(text, records, problem)) {
        err += Where(path, problem.line, problem.column) + problem.message + "\n";
        return false;
    }
    if (records.empty()) {
        err += path + ": 見出しの行がありません。\n";
        return false;
    }
    const CsvRecord& header = records.front();
    bool ok = true;
    for (size_t k = 0; k < header.fields.size(); ++k) {
        const std::string key = HeaderKey(header.fields[k]);
        const Alias* found = nullptr;
        for (const Alias& alias : kAliases)
            if (key == alias.name) found = &alias;
        if (!found) {
            err += Where(path, header.line, int(k) + 1) + "不明な列の見出しです: " + header.fields[k] + "\n";
            ok = false;
        } else if (file.columnOf[int(found->column)] >= 0) {
            err += Where(path, header.line, int(k) + 1) + "同じ列が 2 回あります: " + header.fields[k] + "\n";
            ok = false;
        } else {
            file.columnOf[int(found->column)] = int(k);
        }
    }
    if (ok && file.columnOf[int(Column::Id)] < 0) {
        err += Where(path, header.line, 0) + "「" + ColumnHeader(Column::Id) + "」(id) の列がありません。\n";
        ok = false;
    }
    file.width = header.fields.size();
    file.rows.assign(std::make_move_iterator(records.begin() + 1), std::make_move_iterator(records.end()));
    return ok;
}

bool ApplyImport(CliForm& form, const ImportFile& file, const ImportOptions& options, std::string& err) {
    Problems problems(file);
    CliDialogs& dialogs = form.dialogs;
    auto lastMessage = [&] { return dialogs.messages.empty() ? std::string() : dialogs.messages.back().text; };

    std::unordered_map<std::string, std::vector<size_t>> usersById;
    for (size_t i = 0; i < form.Users.size(); ++i)
        if (!IsBlank(form.Users[i])) usersById[form.Users[i].UserId].push_back(i);
    std::unordered_map<std::string, std::vector<size_t>> groupsByName;
    for (size_t i = 0; i < form.Groups.size(); ++i)
        if (!IsBlank(form.Groups[i])) groupsByName[form.Groups[i].GroupName].push_back(i);
    std::unordered_map<std::string, int> lineOfId;

    for (const CsvRecord& row : file.rows) {
        bool empty = true;
        for (const std::string& f : row.fields) empty = empty && f.empty();
        if (empty) continue;  // a blank row of a spreadsheet
        if (row.fields.size() != file.width) {
            problems.Add(row.line, std::nullopt,
                         "列の数が見出しと違います（この行は " + std::to_string(row.fields.size()) + " 列、見出しは " +
                             std::to_string(file.width) + " 列）。");
            continue;
        }
        auto field = [&](Column c) -> const std::string* {
            const int k = file.columnOf[int(c)];
            return k < 0 ? nullptr : &row.fields[size_t(k)];
        };
        const std::string id = NormalizeTyped(*field(Column::Id));

        // The group the row names: none (no column), release (an empty name), or a slot.
        std::optional<int> groupNo;
        if (const std::string* no = field(Column::GroupNo); no && !no->empty()) {
            int value = 0;
            auto [end, ec] = std::from_chars(no->data(), no->data() + no->size(), value);
            if (ec != std::errc() || end != no->data() + no->size() || value < kMinGroupNo || value > kMaxGroupNo) {
                problems.Add(row.line, Column::GroupNo, "グループ番号は -32768 から 32767 の整数で書いてください。");
                continue;
            }
            groupNo = value;
        }
        const std::string* groupField = field(Column::Group);
        const std::string groupName = groupField ? NormalizeTyped(*groupField) : std::string();
        std::optional<size_t> groupSlot;
        bool groupRefused = false;
        if (!groupName.empty()) {
            std::vector<size_t>& named = groupsByName[groupName];
            for (size_t g : named)
                if (groupNo && form.Groups[g].GroupNo == *groupNo) groupSlot = g;
            if (!groupSlot && named.size() == 1) groupSlot = named.front();
            if (!groupSlot && named.size() > 1) {
                problems.Add(row.line, Column::Group,
                             "グループ「" + groupName + "」が " + std::to_string(named.size()) +
                                 " 個あります。どれのことか決められません（グループ番号の列で選べます）。");
                groupRefused = true;
            } else if (!groupSlot && !options.createGroups) {
                problems.Add(row.line, Column::Group,
                             "グループ「" + groupName + "」はありません。--create-groups を付けると追加します。");
                groupRefused = true;
            } else if (!groupSlot) {
                std::optional<InputBox> refused;
                const int slot = form.AddGroupRecord(groupName, &refused);
                if (slot < 0) {
                    problems.Add(row.line, refused ? std::optional(ColumnOf(*refused)) : std::nullopt, lastMessage());
                    groupRefused = true;
                } else {
                    groupSlot = size_t(slot);
                    named.push_back(size_t(slot));
                }
            }
        }

        if (id.empty()) {
            // A row without an ID names a group (as export writes every group).
            const std::string* name = field(Column::Name);
            const std::string* password = field(Column::Password);
            if (groupName.empty() || (name && !name->empty()) || (password && !password->empty()))
                problems.Add(row.line, Column::Id, "ユーザーIDを入力してください。");
            continue;
        }
        if (auto [it, added] = lineOfId.emplace(id, row.line); !added) {
            problems.Add(row.line, Column::Id,
                         "ユーザーID「" + id + "」は " + std::to_string(it->second) + " 行目にもあります。");
            continue;
        }

        std::vector<size_t>& slots = usersById[id];
        std::optional<InputBox> refused;
        size_t slot = 0;
        if (slots.size() > 1) {
            problems.Add(row.line, Column::Id,
                         "ユーザーID「" + id + "」のユーザーが " + std::to_string(slots.size()) +
                             " 人います。どれのことか決められません。");
            continue;
        } else if (slots.size() == 1) {
            slot = slots.front();
            const UserInfo& user = form.Users[slot];
            const std::string* name = field(Column::Name);
            const std::string* password = field(Column::Password);
            const std::string newName = name ? *name : user.UserName;
            const std::string newPassword = password ? *password : user.PassWord;
            if ((NormalizeTyped(newName) != user.UserName || NormalizeTyped(newPassword) != user.PassWord) &&
                !form.UpdateUserRecord(slot, newPassword, newName, &refused)) {
                problems.Add(row.line, refused ? std::optional(ColumnOf(*refused)) : std::nullopt, lastMessage());
                continue;
            }
        } else {
            const std::string* name = field(Column::Name);
            const std::string* password = field(Column::Password);
            const int added = form.AddUserRecord(id, password ? *password : "", name ? *name : "", &refused);
            if (added < 0) {
                problems.Add(row.line, refused ? std::optional(ColumnOf(*refused)) : std::nullopt, lastMessage());
                continue;
            }
            slot = size_t(added);
            slots.push_back(slot);
        }

        if (groupRefused || !groupField) continue;
        const UserInfo& user = form.Users[slot];
        if (groupSlot) {
            const GroupInfo& group = form.Groups[*groupSlot];
            if (user.GroupNo != group.GroupNo || user.GroupName != group.GroupName) form.AssignGroup(slot, *groupSlot);
        } else if (!(groupNo && *groupNo == user.GroupNo) && (user.GroupNo != 0 || !user.GroupName.empty())) {
            // An empty group name takes the user out of the group, unless
            // the number column keeps the number the user has (a number no
            // group carries, as export writes it).
            form.ReleaseGroup(slot);
        }
    }

    if (problems.Any()) {
        err += problems.Text();
        return false;
    }
    if (options.deleteMissing) {
        std::vector<int> missing;
        for (size_t i = 0; i < form.Users.size(); ++i)
            if (!IsBlank(form.Users[i]) && !lineOfId.contains(form.Users[i].UserId)) missing.push_back(int(i));
        if (!missing.empty()) {
            RemoveUsersAt(form.Users, missing);
            form.DataChanged = true;
        }
    }
    return true;
}

}  // namespace solne::cli
