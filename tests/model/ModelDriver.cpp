#include "ModelDriver.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>

#include "frmMain/Layout.h"
#include "store/Load.h"

namespace solne::model {

namespace {

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

template <class T>
std::string Differs(const std::string& what, const T& window, const T& model) {
    std::ostringstream out;
    out << what << ": window " << window << ", model " << model;
    return out.str();
}

std::string ShowBox(const MsgIcon icon, MsgButtons buttons, MsgAnswer def, const std::string& caption,
                    const std::string& text) {
    std::ostringstream out;
    out << "[icon " << int(icon) << " buttons " << int(buttons) << " default " << int(def) << " caption "
        << caption << "] " << text;
    return out.str();
}

std::string CompareList(const char* name, const ListView* list, const MList& model, int columns) {
    if (list->RowCount() != int(model.rows.size()))
        return Differs(std::string(name) + " row count", list->RowCount(), int(model.rows.size()));
    for (int r = 0; r < list->RowCount(); ++r) {
        const MRow& row = model.rows[size_t(r)];
        const ListRow& shown = list->Row(r);
        if (shown.slot != row.slot)
            return Differs(std::string(name) + " row " + std::to_string(r) + " slot", shown.slot, row.slot);
        for (int k = 0; k < columns; ++k) {
            const std::string& text = shown.texts[k];
            if (text != row.texts[k])
                return Differs(std::string(name) + " row " + std::to_string(r) + " column " + std::to_string(k),
                               Quote(text), Quote(row.texts[k]));
        }
    }
    std::vector<int> selected = list->SelectedRows();
    if (selected != model.selected) {
        auto join = [](const std::vector<int>& rows) {
            std::string s;
            for (int r : rows) s += std::to_string(r) + " ";
            return "{ " + s + "}";
        };
        return Differs(std::string(name) + " selection", join(selected), join(model.selected));
    }
    return "";
}

std::string CompareUsers(const UserTable& window, const std::vector<MUser>& model, const char* what) {
    if (window.size() != model.size())
        return Differs(std::string(what) + " slots", window.size(), model.size());
    for (size_t i = 0; i < window.size(); ++i) {
        const UserInfo& w = window[i];
        const MUser& m = model[i];
        std::string at = std::string(what) + "[" + std::to_string(i) + "].";
        if (w.UserId != m.id) return Differs(at + "UserId", Quote(w.UserId), Quote(m.id));
        if (w.UserName != m.name) return Differs(at + "UserName", Quote(w.UserName), Quote(m.name));
        if (w.PassWord != m.pw) return Differs(at + "PassWord", Quote(w.PassWord), Quote(m.pw));
        if (w.GroupNo != m.no) return Differs(at + "GroupNo", int(w.GroupNo), m.no);
        if (w.GroupName != m.group) return Differs(at + "GroupName", Quote(w.GroupName), Quote(m.group));
    }
    return "";
}

std::string CompareGroups(const GroupTable& window, const std::vector<MGroup>& model, const char* what) {
    if (window.size() != model.size())
        return Differs(std::string(what) + " slots", window.size(), model.size());
    for (size_t i = 0; i < window.size(); ++i) {
        std::string at = std::string(what) + "[" + std::to_string(i) + "].";
        if (window[i].GroupNo != model[i].no) return Differs(at + "GroupNo", int(window[i].GroupNo), model[i].no);
        if (window[i].GroupName != model[i].name)
            return Differs(at + "GroupName", Quote(window[i].GroupName), Quote(model[i].name));
    }
    return "";
}

// Texts the boxes are filled with: ordinary ones, and the ones the input
// rule refuses or changes.
const char* const kOddTexts[] = {
    "",      "a,b",   " lead", "trail ", "\"q",   "a=b",    "a/b",   "C:\\x", "CON",  "con.txt",
    "lpt3",  "COM1",  "〜波",  "é",      "x\ty",  "¥100",   "—線",   "ｱｲｳ",   "髙橋", "①",
    "a*b",   "a|b",   "a?",    "<x>",    "a:b",   "　全角", "😀",    "a\"b",  "in side", "x=y=z"};

// A stored text as it may be typed: the characters that code page 932
// reads back in another form, in the form typed.
std::string AsTyped(std::string s) {
    const std::pair<std::string, std::string> forms[] = {{"～", "〜"}, {"―", "—"}, {"\\", "¥"}, {"－", "−"}};
    for (const auto& [stored, typed] : forms)
        for (size_t at = s.find(stored); at != std::string::npos; at = s.find(stored, at + typed.size()))
            s.replace(at, stored.size(), typed);
    return s;
}

}  // namespace

const char* CommandName(Command c) {
    switch (c) {
    case Command::UserAdd: return "cmdUserAdd";
    case Command::UserUpdate: return "cmdUserUp";
    case Command::UserDelete: return "cmdUserDelete";
    case Command::GroupAdd: return "cmdGroupAdd";
    case Command::GroupRename: return "cmdGroupUp";
    case Command::GroupDelete: return "cmdGroupDelete";
    case Command::GroupAssign: return "cmdGroupSet";
    case Command::GroupRelease: return "cmdGroupCancel";
    case Command::Save: return "cmdSave";
    case Command::Close: return "cmdClose";
    case Command::kCount: break;
    }
    return "?";
}

// Blank slots in the middle of both files (an empty ID, an empty name) and
// at their ends (reused by the first add, with the numbers they hold),
// duplicate IDs, an ID differing only in case, duplicate group names, a group
// number used twice, a user without per-user file and a user whose group
// number no group has.
StartBoard RichBoard() {
    StartBoard b;
    b.disk.userLines = {{"u01", "p1", 1}, {"", "pwB", 2}, {"u02", "p2", 2}, {"u03", "p3", 9},  {"u02", "p2b", 3},
                        {"u04", "p4", 4}, {"u05", "p5", 0}, {"U01", "p6", 3}, {"", "", 5}};
    b.disk.files = {{"u01.txt", "田中"}, {".txt", "空き"}, {"u02.txt", "鈴木"},
                    {"u03.txt", "高橋"}, {"u04.txt", "渡辺"}, {"U01.txt", "大文字"}};
    b.disk.groupLines = {{1, "総務"}, {2, "営業"}, {4, ""}, {3, "営業"}, {5, "開発"}, {2, "営業二課"}, {8, ""}};
    b.statusPlan = {{"u01", {"status=1", "plan=会議"}}, {"u04", {"status=2", "plan=出張"}}};
    return b;
}

void WriteStartBoard(const std::string& folder, const StartBoard& board) {
    test::BoardFiles files;
    for (const MDisk::UserLine& u : board.disk.userLines)
        files.userLines.push_back(u.id + "," + u.pw + "," + std::to_string(u.no));
    for (const MGroup& g : board.disk.groupLines)
        files.groupLines.push_back(std::to_string(g.no) + "," + g.name);
    for (const auto& [file, name] : board.disk.files) {
        const std::string id = file.substr(0, file.size() - 4);
        auto sp = board.statusPlan.find(id);
        std::string status = sp != board.statusPlan.end() ? sp->second.first : "status=0";
        std::string plan = sp != board.statusPlan.end() ? sp->second.second : "plan=";
        files.perUser.push_back({id, {"username=" + name, status, plan}});
    }
    test::WriteBoard(folder, files);
}

// ------------------------------------------------------------ fake hands

frmMain& FakeHands::Open(Dialogs& dialogs, const std::string& setupIniPath) {
    form_.reset();
    form_ = std::make_unique<test::FakeForm>(static_cast<test::FakeDialogs&>(dialogs), setupIniPath);
    form_->Start();
    return *form_;
}

void FakeHands::Type(Box box, const std::string& text) {
    test::FakeTextBox* boxes[] = {&form_->userId, &form_->passWords, &form_->userName, &form_->groupName};
    boxes[int(box)]->text = text;
}

void FakeHands::Press(int button) { layout::Raise(*form_, CommandName(Command(button))); }

// ------------------------------------------------------------------ driver

ModelDriver::ModelDriver(std::string root, uint64_t seed, std::unique_ptr<Hands> hands)
    : root_(std::move(root)), rng_(seed), hands_(hands ? std::move(hands) : std::make_unique<FakeHands>()),
      model_([this](const MBox& box) {
          MsgAnswer a;
          if (box.buttons == MsgButtons::YesNo)
              a = Chance(60) ? MsgAnswer::Yes : MsgAnswer::No;
          else
              a = std::array{MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Cancel}[size_t(Pick(3))];
          answers_.push_back(a);
          ++questions;
          return a;
      }) {}

ModelDriver::~ModelDriver() {
    if (w_) w_->DataChanged = false;  // no question on the way out
}

std::string ModelDriver::Start(const StartBoard& board) {
    WriteStartBoard(BoardFolder(), board);
    model_.disk = board.disk;
    return Open();
}

std::string ModelDriver::StartOnFolder() {
    LoadedBoard loaded;
    if (auto error = LoadBoard(RealFileSystem(), BoardPaths::For(BoardFolder()), loaded))
        return "the board does not load: " + error->ToString();
    MDisk disk;
    // Every file of the per-user folder; those of the users with their names.
    for (const std::string& name : test::ListNames(BoardPaths::For(BoardFolder()).UserFolder()))
        disk.files[name] = "";
    if (loaded.userSources.empty() || loaded.userSources[0].line > 0)
        for (size_t i = 0; i < loaded.Users.size(); ++i) {
            const UserInfo& u = loaded.Users[i];
            disk.userLines.push_back({u.UserId, u.PassWord, u.GroupNo});
            if (!loaded.userSources[i].perUserFile.empty())
                disk.files[loaded.userSources[i].perUserFile] = u.UserName;
        }
    if (loaded.groupSources.empty() || loaded.groupSources[0].line > 0)
        for (const GroupInfo& g : loaded.Groups) disk.groupLines.push_back({g.GroupNo, g.GroupName});
    model_.disk = std::move(disk);
    return Open();
}

std::string ModelDriver::Open() {
    test::WriteBytes(root_ + "/setup.ini", "[Script]\r\nInstalledPath=" + BoardFolder() + "\r\n");
    w_ = &hands_->Open(dialogs_, root_ + "/setup.ini");
    if (!hands_->Visible()) return "the window did not start";
    model_.Start();
    Note("start-up");
    return Compare();
}

// ------------------------------------------------------------------ clicks

void ModelDriver::ClickUser(int row, Mods mods) {
    Note(std::string("user row ") + std::to_string(row) +
         (mods == Mods::Ctrl ? " Ctrl" : mods == Mods::Shift ? " Shift" : "") + " click");
    hands_->Click(List::Users, row, mods);
}

void ModelDriver::ClickGroup(int row, Mods mods) {
    Note(std::string("group row ") + std::to_string(row) + (mods == Mods::Ctrl ? " Ctrl" : "") + " click");
    hands_->Click(List::Groups, row, mods);
}

void ModelDriver::ChangeUserSelection() {
    const int n = int(model_.userList.rows.size());
    if (n == 0 || w_->lsvUserList->RowCount() != n) return;
    const int kind = Pick(100);
    if (kind < 10) {  // none
        if (Chance(50) && !model_.userList.selected.empty()) {
            std::vector<int> selected = model_.userList.selected;
            for (auto r = selected.rbegin(); r != selected.rend(); ++r) {
                model_.UserCtrlClick(*r);
                ClickUser(*r, Mods::Ctrl);
            }
        } else {
            int r = Pick(n);
            model_.UserClick(r);
            ClickUser(r, Mods::None);
            model_.UserCtrlClick(r);
            ClickUser(r, Mods::Ctrl);
        }
    } else if (kind < 45) {  // one, a blank slot's row more often
        int r = Pick(n);
        std::vector<int> blank;
        for (int k = 0; k < n; ++k)
            if (model_.userList.rows[size_t(k)].texts[1].empty()) blank.push_back(k);
        if (!blank.empty() && Chance(30)) r = blank[size_t(Pick(int(blank.size())))];
        model_.UserClick(r);
        ClickUser(r, Mods::None);
    } else if (kind < 65) {  // several, picked one by one
        int r = Pick(n);
        model_.UserClick(r);
        ClickUser(r, Mods::None);
        for (int k = 1 + Pick(4); k > 0; --k) {
            r = Pick(n);
            model_.UserCtrlClick(r);
            ClickUser(r, Mods::Ctrl);
        }
    } else if (kind < 80) {  // a range
        int from = Pick(n), to = std::min(n - 1, from + Pick(std::min(n, maxRange)));
        if (Chance(30)) std::swap(from, to);
        model_.UserClick(from);
        ClickUser(from, Mods::None);
        model_.UserShiftClick(from, to);
        ClickUser(to, Mods::Shift);
    } else if (kind < 90) {  // one more or one less
        int r = Pick(n);
        model_.UserCtrlClick(r);
        ClickUser(r, Mods::Ctrl);
    } else {
        KeyToNeighbour(List::Users, n, [this](int row) { model_.UserKeyTo(row); });
    }
}

// Up or Down from the focused row selects just the row it moves to.
void ModelDriver::KeyToNeighbour(List list, int rows, const std::function<void(int)>& modelClick) {
    const std::optional<int> focused = hands_->FocusedRow(list);
    if (!focused) return;
    const bool down = Chance(50);
    const int to = *focused + (down ? 1 : -1);
    if (to < 0 || to >= rows) return;
    Note(std::string(list == List::Users ? "lsvUserList" : "lsvGroupList") + (down ? " key Down" : " key Up"));
    modelClick(to);
    hands_->Key(list, down);
}

void ModelDriver::ChangeGroupSelection() {
    const int n = int(model_.groupList.rows.size());
    if (n == 0 || w_->lsvGroupList->RowCount() != n) return;
    int r = Pick(n);
    // Rows of blank slots (shown after start-up only) are picked more often.
    std::vector<int> blank;
    for (int k = 0; k < n; ++k)
        if (model_.groupList.rows[size_t(k)].texts[0].empty()) blank.push_back(k);
    if (!blank.empty() && Chance(40)) r = blank[size_t(Pick(int(blank.size())))];
    if (Chance(15)) {
        KeyToNeighbour(List::Groups, n, [this](int row) { model_.GroupKeyTo(row); });
    } else if (Chance(70)) {
        model_.GroupClick(r);
        ClickGroup(r, Mods::None);
    } else {
        // Ctrl on the selected row clears the selection.
        if (!model_.groupList.selected.empty() && Chance(60)) r = model_.groupList.selected[0];
        model_.GroupCtrlClick(r);
        ClickGroup(r, Mods::Ctrl);
    }
}

// ------------------------------------------------------------------ typing

std::string ModelDriver::RandomText(InputBox kind) {
    const int roll = Pick(100);
    if (roll < 35) return kOddTexts[Pick(int(std::size(kOddTexts)))];
    if (roll < 60) {  // an existing value, sometimes a little changed
        std::string s;
        if (kind == InputBox::GroupName) {
            s = model_.groups[size_t(Pick(int(model_.groups.size())))].name;
        } else {
            const MUser& u = model_.users[size_t(Pick(int(model_.users.size())))];
            s = kind == InputBox::UserId ? u.id : kind == InputBox::PassWord ? u.pw : u.name;
        }
        if (Chance(15))
            for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (Chance(50)) s = AsTyped(s);
        if (Chance(10)) s += " ";
        return s;
    }
    const std::string n = std::to_string(++counter_);
    switch (kind) {
    case InputBox::UserId: return Chance(60) ? "n" + n : Chance(50) ? "新" + n : "n〜" + n;
    case InputBox::PassWord: return Chance(80) ? "p" + n : "pa ss" + n;
    case InputBox::UserName: return Chance(50) ? "山田" + n : "Yamada " + n;
    case InputBox::GroupName: return Chance(50) ? "G" + n : "第" + n + "課";
    }
    return n;
}

void ModelDriver::TypeInto(Box box, std::string& modelBox, InputBox kind) {
    static const char* const names[] = {"txtUserId", "txtPassWords", "txtUserName", "txtGroupName"};
    modelBox = RandomText(kind);
    Note(std::string("type ") + names[int(box)] + " " + Quote(modelBox));
    hands_->Type(box, modelBox);
}

// ---------------------------------------------------------------- commands

std::string ModelDriver::Step() {
    ++steps;
    Note("--- step " + std::to_string(steps));
    if (Chance(70)) ChangeUserSelection();
    if (Chance(50)) ChangeGroupSelection();
    if (Chance(30)) TypeInto(Box::UserId, model_.txtUserId, InputBox::UserId);
    if (Chance(30)) TypeInto(Box::PassWords, model_.txtPassWords, InputBox::PassWord);
    if (Chance(30)) TypeInto(Box::UserName, model_.txtUserName, InputBox::UserName);
    if (Chance(30)) TypeInto(Box::GroupName, model_.txtGroupName, InputBox::GroupName);

    int total = 0;
    for (int weight : weights) total += weight;
    int roll = Pick(total);
    int c = 0;
    while (roll >= weights[c]) roll -= weights[c++];
    return Run(Command(c));
}

std::string ModelDriver::Run(Command c) {
    ++commandCount[int(c)];
    bool saved = false;
    const std::vector<MUser> usersBefore = model_.users;
    const std::vector<MGroup> groupsBefore = model_.groups;
    switch (c) {
    case Command::UserAdd: model_.UserAdd(); break;
    case Command::UserUpdate: model_.UserUpdate(); break;
    case Command::UserDelete: model_.UserDelete(); break;
    case Command::GroupAdd: model_.GroupAdd(); break;
    case Command::GroupRename: model_.GroupRename(); break;
    case Command::GroupDelete: model_.GroupDelete(); break;
    case Command::GroupAssign: model_.GroupAssign(); break;
    case Command::GroupRelease: model_.GroupRelease(); break;
    case Command::Save: model_.Save(); break;
    case Command::Close: model_.Close(); break;
    case Command::kCount: break;
    }
    if (model_.users != usersBefore || model_.groups != groupsBefore) ++commandEffect[int(c)];
    for (const MBox& box : model_.shown) {
        if (box.text == "データの保存が完了しました。") saved = true;
        ++boxTexts[box.text.substr(0, box.text.find('\r'))];
    }

    std::string answers;
    for (MsgAnswer a : answers_) answers += a == MsgAnswer::Yes ? " Yes" : a == MsgAnswer::No ? " No" : " Cancel";
    Note(std::string(CommandName(c)) + (answers.empty() ? "" : " answered" + answers));

    dialogs_.answers.assign(answers_.begin(), answers_.end());
    answers_.clear();
    hands_->Press(int(c));

    if (dialogs_.unanswered) return "the window asked a question the model did not ask";
    if (!dialogs_.answers.empty()) return "the window did not ask every question the model asked";
    std::string diff = Compare();
    if (!diff.empty()) return diff;
    if (saved) {
        ++saves;
        diff = AfterSave();
        if (!diff.empty()) return diff;
    }
    if (c == Command::Close) {
        if (hands_->Visible() == !model_.open)
            return Differs("window open after closing", int(hands_->Visible()), int(model_.open));
        if (!model_.open) {
            ++reopens;
            return Open();
        }
    }
    return "";
}

std::string ModelDriver::Reopen() {
    if (model_.changed) return "reopening with unsaved changes";
    return Run(Command::Close);
}

// What the files of the board load as must be what the model saved; the
// status and plan lines must be the ones the window recorded as written.
std::string ModelDriver::AfterSave() {
    LoadedBoard loaded;
    if (auto error = LoadBoard(RealFileSystem(), BoardPaths::For(BoardFolder()), loaded))
        return "the saved board does not load: " + error->ToString();
    std::vector<MUser> users;
    std::vector<MGroup> groups;
    LoadTables(model_.disk, users, groups);
    std::string diff = CompareUsers(loaded.Users, users, "reloaded Users");
    if (diff.empty()) diff = CompareGroups(loaded.Groups, groups, "reloaded Groups");
    if (!diff.empty()) return diff;
    // Slots sharing a per-user file hold the lines written into it.
    std::map<std::string, size_t> last;
    for (size_t i = 0; i < w_->Users.size(); ++i) last[w_->Users[i].UserId] = i;
    for (size_t i = 0; i < loaded.Users.size(); ++i) {
        const UserInfo& saved = w_->Users[last[loaded.Users[i].UserId]];
        if (loaded.Users[i].StatusLine != saved.StatusLine || loaded.Users[i].PlanLine != saved.PlanLine)
            return "reloaded Users[" + std::to_string(i) + "] status or plan line differs from the one written";
    }
    return "";
}

// ---------------------------------------------------------------- compare

std::string ModelDriver::Compare() {
    std::string diff;
    const auto& wb = dialogs_.boxes;
    const auto& mb = model_.shown;
    boxes += long(wb.size());
    bool same = wb.size() == mb.size();
    for (size_t i = 0; same && i < wb.size(); ++i)
        same = wb[i].text == mb[i].text && wb[i].icon == mb[i].icon && wb[i].buttons == mb[i].buttons &&
               wb[i].defaultButton == mb[i].defaultButton && wb[i].caption == mb[i].caption;
    if (!same) {
        diff = "boxes differ\n  window:";
        for (const auto& b : wb) diff += "\n    " + ShowBox(b.icon, b.buttons, b.defaultButton, b.caption, b.text);
        diff += "\n  model:";
        for (const auto& b : mb) diff += "\n    " + ShowBox(b.icon, b.buttons, b.defaultButton, b.caption, b.text);
    }
    dialogs_.boxes.clear();
    model_.shown.clear();
    if (!diff.empty()) return diff;

    if (w_->DataChanged != model_.changed) return Differs("DataChanged", w_->DataChanged, model_.changed);
    if (!(diff = CompareUsers(w_->Users, model_.users, "Users")).empty()) return diff;
    if (!(diff = CompareGroups(w_->Groups, model_.groups, "Groups")).empty()) return diff;
    if (!(diff = CompareList("lsvUserList", w_->lsvUserList, model_.userList, 3)).empty()) return diff;
    if (!(diff = CompareList("lsvGroupList", w_->lsvGroupList, model_.groupList, 1)).empty()) return diff;
    const std::tuple<const char*, const TextBox*, const std::string*> texts[] = {
        {"txtUserId", w_->txtUserId, &model_.txtUserId},
        {"txtPassWords", w_->txtPassWords, &model_.txtPassWords},
        {"txtUserName", w_->txtUserName, &model_.txtUserName},
        {"txtGroupName", w_->txtGroupName, &model_.txtGroupName}};
    for (const auto& [name, box, text] : texts)
        if (box->Text() != *text) return Differs(name, Quote(box->Text()), Quote(*text));
    return "";
}

std::string ModelDriver::Summary() const {
    std::ostringstream out;
    out << steps << " steps, " << saves << " saves, " << reopens << " restarts, " << questions
        << " questions answered\n";
    for (int c = 0; c < int(Command::kCount); ++c)
        out << "  " << CommandName(Command(c)) << ": " << commandCount[c] << " runs, " << commandEffect[c]
            << " changed a table\n";
    for (const auto& [text, n] : boxTexts) out << "  " << n << " x " << text << "\n";
    for (const auto& [event, n] : model_.events) out << "  " << n << " x " << event << "\n";
    return out.str();
}

void ModelDriver::Note(std::string action) {
    log_.push_back(std::move(action));
    if (log_.size() > 80) log_.pop_front();
}

std::string ModelDriver::Log() const {
    std::string s;
    for (const std::string& line : log_) s += "  " + line + "\n";
    return s;
}

}  // namespace solne::model
