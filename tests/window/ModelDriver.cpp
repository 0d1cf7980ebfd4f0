#include "ModelDriver.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>
#include <map>
#include <sstream>

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

void Press(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

void Type(QLineEdit* box, const std::string& utf8) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    if (utf8.empty()) return;
    QInputMethodEvent event;
    event.setCommitString(QString::fromStdString(utf8));
    QApplication::sendEvent(box, &event);
}

void Click(ListView* list, int row, Qt::KeyboardModifiers mods) {
    QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, list->visualRect(index).center());
}

std::string CompareList(const char* name, const ListView* list, const MList& model, int columns) {
    if (list->RowCount() != int(model.rows.size()))
        return Differs(std::string(name) + " row count", list->RowCount(), int(model.rows.size()));
    for (int r = 0; r < list->RowCount(); ++r) {
        const MRow& row = model.rows[size_t(r)];
        if (list->SlotOf(r) != row.slot)
            return Differs(std::string(name) + " row " + std::to_string(r) + " slot", list->SlotOf(r), row.slot);
        for (int k = 0; k < columns; ++k) {
            std::string text = list->SubItem(r, k).toStdString();
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

ModelDriver::ModelDriver(std::string root, uint64_t seed)
    : root_(std::move(root)), rng_(seed), model_([this](const MBox& box) {
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
    if (w_) {
        w_->DataChanged = false;
        w_->close();
    }
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
    w_ = std::make_unique<frmMain>(dialogs_, root_ + "/setup.ini");
    if (w_->Form_Load() != StartResult::Ready) return "the window did not start";
    w_->show();
    if (!QTest::qWaitForWindowExposed(w_.get())) return "the window was not shown";
    model_.Start();
    Note("start-up");
    return Compare();
}

// ------------------------------------------------------------------ clicks

void ModelDriver::ClickUser(int row, Qt::KeyboardModifiers mods) {
    Note(std::string("user row ") + std::to_string(row) +
         (mods & Qt::ControlModifier ? " Ctrl" : mods & Qt::ShiftModifier ? " Shift" : "") + " click");
    Click(w_->lsvUserList, row, mods);
}

void ModelDriver::ClickGroup(int row, Qt::KeyboardModifiers mods) {
    Note(std::string("group row ") + std::to_string(row) + (mods & Qt::ControlModifier ? " Ctrl" : "") +
         " click");
    Click(w_->lsvGroupList, row, mods);
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
                ClickUser(*r, Qt::ControlModifier);
            }
        } else {
            int r = Pick(n);
            model_.UserClick(r);
            ClickUser(r, Qt::NoModifier);
            model_.UserCtrlClick(r);
            ClickUser(r, Qt::ControlModifier);
        }
    } else if (kind < 45) {  // one, a blank slot's row more often
        int r = Pick(n);
        std::vector<int> blank;
        for (int k = 0; k < n; ++k)
            if (model_.userList.rows[size_t(k)].texts[1].empty()) blank.push_back(k);
        if (!blank.empty() && Chance(30)) r = blank[size_t(Pick(int(blank.size())))];
        model_.UserClick(r);
        ClickUser(r, Qt::NoModifier);
    } else if (kind < 65) {  // several, picked one by one
        int r = Pick(n);
        model_.UserClick(r);
        ClickUser(r, Qt::NoModifier);
        for (int k = 1 + Pick(4); k > 0; --k) {
            r = Pick(n);
            model_.UserCtrlClick(r);
            ClickUser(r, Qt::ControlModifier);
        }
    } else if (kind < 80) {  // a range
        int from = Pick(n), to = std::min(n - 1, from + Pick(std::min(n, maxRange)));
        if (Chance(30)) std::swap(from, to);
        model_.UserClick(from);
        ClickUser(from, Qt::NoModifier);
        model_.UserShiftClick(from, to);
        ClickUser(to, Qt::ShiftModifier);
    } else if (kind < 90) {  // one more or one less
        int r = Pick(n);
        model_.UserCtrlClick(r);
        ClickUser(r, Qt::ControlModifier);
    } else {
        KeyToNeighbour(w_->lsvUserList, n, [this](int row) { model_.UserKeyTo(row); });
    }
}

// Up or Down from the focused row selects just the row it moves to.
void ModelDriver::KeyToNeighbour(ListView* list, int rows, const std::function<void(int)>& modelClick) {
    const QModelIndex focused = list->currentIndex();
    if (!focused.isValid()) return;
    const bool down = Chance(50);
    const int to = focused.row() + (down ? 1 : -1);
    if (to < 0 || to >= rows) return;
    Note(list->objectName().toStdString() + (down ? " key Down" : " key Up"));
    modelClick(to);
    QTest::keyClick(list, down ? Qt::Key_Down : Qt::Key_Up);
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
        KeyToNeighbour(w_->lsvGroupList, n, [this](int row) { model_.GroupKeyTo(row); });
    } else if (Chance(70)) {
        model_.GroupClick(r);
        ClickGroup(r, Qt::NoModifier);
    } else {
        // Ctrl on the selected row clears the selection.
        if (!model_.groupList.selected.empty() && Chance(60)) r = model_.groupList.selected[0];
        model_.GroupCtrlClick(r);
        ClickGroup(r, Qt::ControlModifier);
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

void ModelDriver::TypeInto(QLineEdit* box, std::string& modelBox, InputBox kind) {
    modelBox = RandomText(kind);
    Note("type " + box->objectName().toStdString() + " " + Quote(modelBox));
    Type(box, modelBox);
}

// ---------------------------------------------------------------- commands

std::string ModelDriver::Step() {
    ++steps;
    Note("--- step " + std::to_string(steps));
    if (Chance(70)) ChangeUserSelection();
    if (Chance(50)) ChangeGroupSelection();
    if (Chance(30)) TypeInto(w_->txtUserId, model_.txtUserId, InputBox::UserId);
    if (Chance(30)) TypeInto(w_->txtPassWords, model_.txtPassWords, InputBox::PassWord);
    if (Chance(30)) TypeInto(w_->txtUserName, model_.txtUserName, InputBox::UserName);
    if (Chance(30)) TypeInto(w_->txtGroupName, model_.txtGroupName, InputBox::GroupName);

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
    QPushButton* buttons[] = {w_->cmdUserAdd,  w_->cmdUserUp,    w_->cmdUserDelete, w_->cmdGroupAdd,
                              w_->cmdGroupUp,  w_->cmdGroupDelete, w_->cmdGroupSet, w_->cmdGroupCancel,
                              w_->cmdSave,     w_->cmdClose};
    Press(buttons[int(c)]);

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
        if (w_->isVisible() == !model_.open)
            return Differs("window open after closing", int(w_->isVisible()), int(model_.open));
        if (!model_.open) {
            ++reopens;
            w_.reset();
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
    const std::pair<const QLineEdit*, const std::string*> texts[] = {{w_->txtUserId, &model_.txtUserId},
                                                                     {w_->txtPassWords, &model_.txtPassWords},
                                                                     {w_->txtUserName, &model_.txtUserName},
                                                                     {w_->txtGroupName, &model_.txtGroupName}};
    for (const auto& [box, text] : texts)
        if (box->text().toStdString() != *text)
            return Differs(box->objectName().toStdString(), Quote(box->text().toStdString()), Quote(*text));
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
