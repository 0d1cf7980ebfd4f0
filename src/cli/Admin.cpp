#include "cli/Admin.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "Define/Cp932.h"
#include "cli/CliToolkit.h"
#include "cli/Import.h"
#include "cli/Summary.h"
#include "solne/Version.h"
#include "store/Save.h"
#include "store/TextRules.h"

namespace solne::cli {

namespace {

constexpr const char* kUsage =
    "usage: solne-admin export FOLDER [--format=csv|json] [--encoding=utf-8|cp932] [--with-passwords]\n"
    "       solne-admin import FOLDER FILE [--dry-run] [--create-groups] [--delete-missing]\n"
    "       solne-admin add-user FOLDER ID PASSWORD NAME [--group NAME]\n"
    "       solne-admin update-user FOLDER ID [--password P] [--name N]\n"
    "       solne-admin delete-user FOLDER ID...\n"
    "       solne-admin add-group FOLDER NAME | rename-group FOLDER OLD NEW | delete-group FOLDER NAME\n"
    "       solne-admin set-group FOLDER GROUP ID... | release FOLDER ID...\n"
    "       solne-admin --help | --version\n";

constexpr const char* kHelp =
    "solne-admin: 行き先掲示板システムのフォルダ（\"user.txt\"、\"group.txt\" と \"user/\" の\n"
    "個別ファイル）のユーザーとグループを、コマンドラインから変更します。エディターの\n"
    "ウィンドウと同じ入力の規則、同じメッセージ、同じ安全な保存を使います。\n"
    "\n"
    "  solne-admin export FOLDER [--format=csv|json] [--encoding=utf-8|cp932] [--with-passwords]\n"
    "        全ユーザー（ユーザーID、ユーザー(表示)名、グループ名、グループ番号）と全グループを\n"
    "        表の順に標準出力へ書きます。パスワードは --with-passwords のときだけ書きます。\n"
    "        CSV（既定）は見出しの行付き、CR LF。ユーザーIDが空の行はグループの行です。\n"
    "        UTF-8（既定）はバイトオーダーマーク付き、--encoding=cp932 は Shift_JIS です。\n"
    "  solne-admin import FOLDER FILE [--dry-run] [--create-groups] [--delete-missing]\n"
    "        export の形の CSV を読み込みます。見出しは日本語でも英語でもよく（ユーザーID/id、\n"
    "        ユーザー(表示)名/name、パスワード/password、グループ名/group、\n"
    "        グループ番号/group_no）、列の順は自由、文字コードは UTF-8（BOM の有無を問わず）か\n"
    "        コードページ 932 で、自動で判別します。あるユーザーIDの行はそのユーザーを更新し、\n"
    "        ないユーザーIDの行はユーザーを追加します。ないグループ名は誤りです。\n"
    "        --create-groups はそのグループを追加します。--delete-missing はファイルにない\n"
    "        ユーザーを削除します。すべての行を先に確かめ、1 行でも受け付けられないときは\n"
    "        ファイル:行:列: 理由 を書いて何も書き込みません。\n"
    "  solne-admin add-user FOLDER ID PASSWORD NAME [--group NAME]\n"
    "  solne-admin update-user FOLDER ID [--password P] [--name N]\n"
    "  solne-admin delete-user FOLDER ID...\n"
    "  solne-admin add-group FOLDER NAME\n"
    "  solne-admin rename-group FOLDER OLD NEW\n"
    "  solne-admin delete-group FOLDER NAME\n"
    "  solne-admin set-group FOLDER GROUP ID...\n"
    "  solne-admin release FOLDER ID...\n"
    "        ウィンドウのボタンと同じコマンドです（確認の質問には「はい」と答えます）。\n"
    "        ユーザーはユーザーIDで、グループはグループ名で指定します。同じユーザーIDや\n"
    "        グループ名が 2 つ以上あるときは、どれか決めずに中止します。\n"
    "\n"
    "変更するコマンドの共通オプション:\n"
    "  --dry-run        何が変わるか（ユーザーとグループの追加・更新・削除、書き込む個別\n"
    "                   ファイルと削除する個別ファイル）を書くだけで、何も書き込みません。\n"
    "                   付けないときは保存の後に同じ内容を書きます。\n"
    "  --format=json    その内容を JSON で書きます（既定は --format=text）。\n"
    "  --force          読み込んだ後に他のプログラムが変更したファイルも上書きします。\n"
    "                   付けないときはそのファイルを挙げて中止します。\n"
    "\n"
    "メッセージは標準エラー出力に書きます。終了コード 0: 完了（または変更なし）、\n"
    "1: 入力や引数を受け付けなかった（何も書き込んでいない）、2: フォルダを読み込めない、\n"
    "または保存できなかった（ウィンドウと同じく、失敗したファイルと理由を書きます）。\n"
    "\"-\" で始まる値は -- の後に書きます。\n";

std::string Usage(std::string& err, const std::string& problem) {
    err += "solne-admin: " + problem + "\n" + kUsage;
    return {};
}

// A parsed command line: the command, its positional arguments and options.
struct Options {
    std::string command;
    std::vector<std::string> args;
    bool dryRun = false, json = false, force = false;
    bool createGroups = false, deleteMissing = false, withPasswords = false;
    std::string exportFormat = "csv", encoding = "utf-8";
    std::optional<std::string> group, password, name;
};

bool IsChangingCommand(const std::string& c) {
    return c == "import" || c == "add-user" || c == "update-user" || c == "delete-user" || c == "add-group" ||
           c == "rename-group" || c == "delete-group" || c == "set-group" || c == "release";
}

// Parses options anywhere after the command; "--" ends them. False with the
// problem in `err`.
bool Parse(const std::vector<std::string>& argv, Options& o, std::string& err) {
    o.command = argv[0];
    const bool changing = IsChangingCommand(o.command);
    if (!changing && o.command != "export") return Usage(err, "不明なコマンドです: " + o.command), false;
    bool optionsEnded = false;
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            o.args.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t eq = a.find('=');
        const std::string key = a.substr(0, eq);
        auto value = [&](std::optional<std::string>& into) {
            if (eq != std::string::npos) {
                into = a.substr(eq + 1);
            } else if (i + 1 < argv.size()) {
                into = argv[++i];
            } else {
                Usage(err, key + " に値がありません。");
                return false;
            }
            return true;
        };
        auto flag = [&](bool allowed, bool& into) {
            if (!allowed || eq != std::string::npos) return Usage(err, "このコマンドにないオプションです: " + a), false;
            into = true;
            return true;
        };
        bool ok = true;
        if (key == "--dry-run") ok = flag(changing, o.dryRun);
        else if (key == "--force") ok = flag(changing, o.force);
        else if (key == "--create-groups") ok = flag(o.command == "import", o.createGroups);
        else if (key == "--delete-missing") ok = flag(o.command == "import", o.deleteMissing);
        else if (key == "--with-passwords") ok = flag(o.command == "export", o.withPasswords);
        else if (key == "--format" && eq != std::string::npos) {
            const std::string v = a.substr(eq + 1);
            if (o.command == "export" && (v == "csv" || v == "json")) o.exportFormat = v;
            else if (changing && (v == "text" || v == "json")) o.json = v == "json";
            else ok = (Usage(err, "--format の値が正しくありません: " + v), false);
        } else if (key == "--encoding" && eq != std::string::npos && o.command == "export") {
            o.encoding = a.substr(eq + 1);
            if (o.encoding != "utf-8" && o.encoding != "cp932")
                ok = (Usage(err, "--encoding の値が正しくありません: " + o.encoding), false);
        } else if (key == "--group" && o.command == "add-user") ok = value(o.group);
        else if (key == "--password" && o.command == "update-user") ok = value(o.password);
        else if (key == "--name" && o.command == "update-user") ok = value(o.name);
        else ok = (Usage(err, "このコマンドにないオプションです: " + a), false);
        if (!ok) return false;
    }
    if (o.command == "export" && o.exportFormat == "json" && o.encoding != "utf-8")
        return Usage(err, "JSON は UTF-8 だけで書きます。"), false;

    // The number of positional arguments (FOLDER first).
    size_t least = 1, most = 1;
    const std::string& c = o.command;
    if (c == "export") least = most = 1;
    else if (c == "import") least = most = 2;
    else if (c == "add-user") least = most = 4;
    else if (c == "update-user") least = most = 2;
    else if (c == "add-group" || c == "delete-group") least = most = 2;
    else if (c == "rename-group") least = most = 3;
    else if (c == "set-group") least = 2, most = SIZE_MAX;
    else least = 1, most = SIZE_MAX;  // delete-user, release
    if (o.args.size() < least || o.args.size() > most)
        return Usage(err, c + " の引数の数が正しくありません。"), false;
    if (o.args[0].empty()) return Usage(err, "フォルダが空です。"), false;
    if (c == "update-user" && !o.password && !o.name)
        return Usage(err, "update-user には --password か --name が必要です。"), false;
    return true;
}

void PutMessages(const CliDialogs& d, size_t from, std::string& err) {
    for (size_t i = from; i < d.messages.size(); ++i) err += d.messages[i].text + "\n";
}

// Loads the board; false (with the window's message in `err`) when it does not load.
bool Load(CliForm& form, const std::string& folder, std::string& err) {
    if (form.Form_LoadFolder(folder) == StartResult::Ready) return true;
    PutMessages(form.dialogs, 0, err);
    return false;
}

// ---------------------------------------------------------------- export

int Export(const Options& o, FileSystem& fs, std::string& out, std::string& err) {
    ReadOnlyFileSystem readOnly(fs);
    CliForm form(readOnly);
    if (!Load(form, o.args[0], err)) return kBoardFailed;

    std::string text;
    if (o.exportFormat == "json") {
        text = "{\"users\": [";
        bool first = true;
        for (const UserInfo& u : form.Users) {
            if (IsBlank(u)) continue;
            text += first ? "\n  " : ",\n  ";
            first = false;
            text += "{\"id\": " + JsonString(u.UserId) + ", \"name\": " + JsonString(u.UserName) +
                    ", \"group\": " + JsonString(u.GroupName) + ", \"group_no\": " + std::to_string(u.GroupNo);
            if (o.withPasswords) text += ", \"password\": " + JsonString(u.PassWord);
            text += "}";
        }
        text += first ? "],\n \"groups\": [" : "\n ],\n \"groups\": [";
        first = true;
        for (const GroupInfo& g : form.Groups) {
            if (IsBlank(g)) continue;
            text += first ? "\n  " : ",\n  ";
            first = false;
            text += "{\"group_no\": " + std::to_string(g.GroupNo) + ", \"name\": " + JsonString(g.GroupName) + "}";
        }
        text += first ? "]}\n" : "\n ]}\n";
        out += text;
        return kDone;
    }

    std::vector<std::string> header = {ColumnHeader(Column::Id), ColumnHeader(Column::Name),
                                       ColumnHeader(Column::Group), ColumnHeader(Column::GroupNo)};
    if (o.withPasswords) header.push_back(ColumnHeader(Column::Password));
    text = CsvLine(header);
    for (const UserInfo& u : form.Users) {
        if (IsBlank(u)) continue;
        std::vector<std::string> row = {u.UserId, u.UserName, u.GroupName, std::to_string(u.GroupNo)};
        if (o.withPasswords) row.push_back(u.PassWord);
        text += CsvLine(row);
    }
    for (const GroupInfo& g : form.Groups) {
        if (IsBlank(g)) continue;
        std::vector<std::string> row = {"", "", g.GroupName, std::to_string(g.GroupNo)};
        if (o.withPasswords) row.push_back("");
        text += CsvLine(row);
    }
    if (o.encoding == "cp932") {
        std::string bytes;
        size_t bad = 0;
        if (!Utf8ToCp932(text, bytes, &bad)) {
            err += "solne-admin: コードページ 932 にない文字があります: " + text.substr(bad, 4) + "\n";
            return kRefused;
        }
        out += bytes;
    } else {
        out += "\xEF\xBB\xBF" + text;
    }
    return kDone;
}

// ------------------------------------------------------ changing commands

// The message for a key that names no row or more than one.
void KeyRefused(const std::string& key, size_t rows, bool user, std::string& err) {
    if (rows == 0)
        err += user ? "ユーザーID「" + key + "」のユーザーはいません。\n" : "グループ「" + key + "」はありません。\n";
    else
        err += (user ? "ユーザーID「" + key + "」のユーザーが " : "グループ「" + key + "」が ") + std::to_string(rows) +
               (user ? " 人" : " 個") + "います。どれのことか決められないため、何も変更しません。\n";
}

// The one row of a list whose key is `key`; false with the message when
// there is none or more than one.
bool OneRow(const CliListView& list, int column, const std::string& key, bool user, int& row, std::string& err) {
    const std::vector<int> rows = list.RowsWith(column, key);
    if (rows.size() == 1) {
        row = rows.front();
        return true;
    }
    KeyRefused(key, rows.size(), user, err);
    return false;
}

// Selects the rows of these users (one pass over the list, however many IDs).
bool SelectUsers(CliForm& f, const std::vector<std::string>& ids, std::string& err) {
    std::unordered_map<std::string, std::vector<int>> rowsById;
    for (const std::string& id : ids) rowsById.emplace(NormalizeTyped(id), std::vector<int>{});
    for (int row = 0; row < f.userList.RowCount(); ++row)
        if (auto it = rowsById.find(f.userList.Row(row).texts[1]); it != rowsById.end()) it->second.push_back(row);
    std::vector<int> rows;
    std::unordered_set<std::string> refused;
    for (const std::string& id : ids) {
        const std::string key = NormalizeTyped(id);
        const std::vector<int>& found = rowsById[key];
        if (found.size() == 1) rows.push_back(found.front());
        else if (refused.insert(key).second) KeyRefused(key, found.size(), true, err);
    }
    const bool ok = refused.empty();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (ok) f.userList.Select(rows);
    return ok;
}

bool SelectGroup(CliForm& f, const std::string& name, std::string& err) {
    int row = 0;
    if (!OneRow(f.groupList, 0, NormalizeTyped(name), false, row, err)) return false;
    f.groupList.Select({row});
    return true;
}

// Runs one of the window's commands through its handlers. False when a key
// was refused (its message is in `err`); the handlers' own refusals are
// warnings in the form's dialogs.
bool RunVerb(const Options& o, CliForm& f, std::string& err) {
    const std::string& c = o.command;
    const std::vector<std::string> rest(o.args.begin() + 1, o.args.end());
    if (c == "add-user") {
        if (o.group && !SelectGroup(f, *o.group, err)) return false;
        f.userId.text = rest[0];
        f.passWords.text = rest[1];
        f.userName.text = rest[2];
        const size_t mark = f.dialogs.messages.size();
        f.cmdUserAdd_Click();
        if (!o.group || f.dialogs.WarnedSince(mark)) return true;
        // The new user is the last row; the group row stays selected.
        f.userList.Select({f.userList.RowCount() - 1});
        f.cmdGroupSet_Click();
    } else if (c == "update-user") {
        const std::vector<int> rows = f.userList.RowsWith(1, NormalizeTyped(rest[0]));
        if (rows.size() > 1) {
            int row = 0;
            return OneRow(f.userList, 1, NormalizeTyped(rest[0]), true, row, err);
        }
        if (rows.size() == 1) {
            f.userList.Select(rows);
            f.lsvUserList_ItemClick();
        } else {
            f.userId.text = rest[0];  // the window's message for an ID no user has
        }
        if (o.password) f.passWords.text = *o.password;
        if (o.name) f.userName.text = *o.name;
        f.cmdUserUp_Click();
    } else if (c == "delete-user") {
        if (!SelectUsers(f, rest, err)) return false;
        f.cmdUserDelete_Click();
    } else if (c == "add-group") {
        f.groupName.text = rest[0];
        f.cmdGroupAdd_Click();
    } else if (c == "rename-group") {
        if (!SelectGroup(f, rest[0], err)) return false;
        f.lsvGroupList_ItemClick();
        f.groupName.text = rest[1];
        f.cmdGroupUp_Click();
    } else if (c == "delete-group") {
        if (!SelectGroup(f, rest[0], err)) return false;
        f.cmdGroupDelete_Click();
    } else if (c == "set-group") {
        if (!SelectGroup(f, rest[0], err)) return false;
        if (!SelectUsers(f, {rest.begin() + 1, rest.end()}, err)) return false;
        f.cmdGroupSet_Click();
    } else if (c == "release") {
        if (!SelectUsers(f, rest, err)) return false;
        f.cmdGroupCancel_Click();
    }
    return true;
}

// After a command: nothing to do, the summary of a dry run, or the save
// and its summary.
int Finish(const Options& o, CliForm& f, FileSystem& fs, const UserTable& usersBefore,
           const GroupTable& groupsBefore, std::string& out, std::string& err,
           const std::function<void()>& beforeSave) {
    Summary summary = Compare(usersBefore, groupsBefore, f.Users, f.Groups);
    auto put = [&](Outcome outcome) {
        out += o.json ? SummaryJson(summary, outcome) : SummaryText(summary, outcome);
        return kDone;
    };
    if (SameTables(usersBefore, groupsBefore, f.Users, f.Groups)) return put(Outcome::Unchanged);
    for (const std::string& name : FilesPruneWouldDelete(fs, BoardPaths::For(f.InstalledPath), f.Users))
        summary.filesPruned.push_back("user/" + name);
    if (o.dryRun) return put(Outcome::DryRun);

    if (beforeSave) beforeSave();
    f.dialogs.saving = true;
    f.dialogs.force = o.force;
    const size_t mark = f.dialogs.messages.size();
    if (f.SaveData()) return put(Outcome::Saved);
    if (f.dialogs.overwriteRefused) {
        std::string text = *f.dialogs.overwriteRefused;
        const size_t ask = text.rfind("\n\n");
        if (ask != std::string::npos) text.erase(ask + 1);
        err += text + "何も書き込んでいません。--force を付けると上書きして保存します。\n";
        return kRefused;
    }
    PutMessages(f.dialogs, mark, err);
    return kBoardFailed;
}

int Change(const Options& o, FileSystem& fs, std::string& out, std::string& err,
           const std::function<void()>& beforeSave) {
    CliForm form(fs);
    if (o.command == "import") {
        // The file first: a file that is no CSV of users needs no board.
        ImportFile file;
        if (!ReadImportFile(fs, o.args[1], file, err)) return kRefused;
        if (!Load(form, o.args[0], err)) return kBoardFailed;
        const UserTable usersBefore = form.Users;
        const GroupTable groupsBefore = form.Groups;
        if (!ApplyImport(form, file, ImportOptions{o.createGroups, o.deleteMissing}, err)) return kRefused;
        return Finish(o, form, fs, usersBefore, groupsBefore, out, err, beforeSave);
    }
    if (!Load(form, o.args[0], err)) return kBoardFailed;
    const UserTable usersBefore = form.Users;
    const GroupTable groupsBefore = form.Groups;
    const size_t mark = form.dialogs.messages.size();
    if (!RunVerb(o, form, err)) return kRefused;
    if (form.dialogs.WarnedSince(mark)) {
        PutMessages(form.dialogs, mark, err);
        return kRefused;
    }
    return Finish(o, form, fs, usersBefore, groupsBefore, out, err, beforeSave);
}

}  // namespace

int RunAdmin(const std::vector<std::string>& args, std::string& out, std::string& err, FileSystem& fs,
             const std::function<void()>& beforeSave) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out += kHelp;
        return kDone;
    }
    if (args.size() == 1 && args[0] == "--version") {
        out += "solne-admin " SOLNE_VERSION "\n";
        return kDone;
    }
    if (args.empty()) return Usage(err, "コマンドがありません。"), kRefused;
    Options o;
    if (!Parse(args, o, err)) return kRefused;
    if (o.command == "export") return Export(o, fs, out, err);
    return Change(o, fs, out, err, beforeSave);
}

}  // namespace solne::cli
