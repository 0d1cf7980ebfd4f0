// Drives the window and the reference model side by side with random user
// actions: clicks in both lists (plain, Ctrl, Shift), typing into the four
// boxes, the ten buttons and closing, with random answers to every question.
// After each step the window is compared with the model. The window is made
// and handled by a toolkit's Hands: the fake toolkit in the model test, Qt
// in the soak run and in the Qt tests.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Model.h"
#include "common/TempBoard.h"
#include "frmMain/frmMain.h"
#include "fake/FakeToolkit.h"

namespace solne::model {

enum class Command {
    UserAdd, UserUpdate, UserDelete,
    GroupAdd, GroupRename, GroupDelete, GroupAssign, GroupRelease,
    Save, Close,
    kCount
};
const char* CommandName(Command c);

enum class List { Users, Groups };
enum class Box { UserId, PassWords, UserName, GroupName };
using test::Mods;

// What a user does to a window, for one toolkit.
class Hands {
public:
    virtual ~Hands() = default;
    // Makes a fresh window with these boxes and settings file and starts it
    // (frmMain::Start); the old one, if any, is dropped first.
    virtual frmMain& Open(Dialogs& dialogs, const std::string& setupIniPath) = 0;
    virtual bool Visible() = 0;
    virtual void Click(List list, int row, Mods mods) = 0;
    // The row with the keyboard focus, if any.
    virtual std::optional<int> FocusedRow(List list) = 0;
    // Up or Down from the focused row.
    virtual void Key(List list, bool down) = 0;
    // Replaces the text of a box, typed as a user types it.
    virtual void Type(Box box, const std::string& text) = 0;
    // Presses one of the ten buttons (Command below, in its order).
    virtual void Press(int button) = 0;
};

// Hands of the fake toolkit.
class FakeHands : public Hands {
public:
    frmMain& Open(Dialogs& dialogs, const std::string& setupIniPath) override;
    bool Visible() override { return form_->window.visible; }
    void Click(List list, int row, Mods mods) override { ListOf(list).Click(row, mods); }
    std::optional<int> FocusedRow(List list) override { return ListOf(list).FocusedRow(); }
    void Key(List list, bool down) override { ListOf(list).Key(down); }
    void Type(Box box, const std::string& text) override;
    void Press(int button) override;

private:
    test::FakeListView& ListOf(List list) { return list == List::Users ? form_->userList : form_->groupList; }
    std::unique_ptr<test::FakeForm> form_;
};

// The files of a start board together with what the model knows of them.
struct StartBoard {
    MDisk disk;
    // Status and plan lines of the per-user files (disk.files, "<ID>.txt"),
    // by ID; "status=0" and "plan=" when not given.
    std::map<std::string, std::pair<std::string, std::string>> statusPlan;
};
// A board with blank slots in the middle and at the ends of both files,
// duplicate IDs and group names, an ID differing only in case, a group
// number used twice, a user without per-user file and one whose group
// number no group has.
StartBoard RichBoard();
// Writes the board's files into `folder` (the same bytes any editor would).
void WriteStartBoard(const std::string& folder, const StartBoard& board);

class ModelDriver {
public:
    // `root` holds the board folder "board" and the settings file. Without
    // `hands` the driver uses the fake toolkit.
    ModelDriver(std::string root, uint64_t seed, std::unique_ptr<Hands> hands = nullptr);
    ~ModelDriver();

    std::string BoardFolder() const { return root_ + "/board"; }

    // Writes `board` and opens the window on it.
    std::string Start(const StartBoard& board);
    // Opens the window on the board already in the folder; the model takes
    // the board as the loader reads it (for generated boards).
    std::string StartOnFolder();

    // How often each command is chosen; zero leaves it out.
    int weights[int(Command::kCount)] = {14, 12, 10, 10, 10, 8, 12, 8, 5, 6};
    // The longest Shift-click range of user rows.
    int maxRange = 8;

    // One random step: selection changes, typing, one command; then the
    // comparison. Returns "" or what differs.
    std::string Step();
    // One given command, without clicks or typing first.
    std::string Run(Command c);
    // Closes the window (no question when nothing changed) and opens a fresh
    // one on the board.
    std::string Reopen();

    // Window against model: tables, change flag, lists (rows, slots,
    // selection), text boxes, and the boxes shown since the last comparison.
    std::string Compare();

    frmMain& Window() { return *w_; }
    bool WindowVisible() { return hands_->Visible(); }
    Model& TheModel() { return model_; }
    // The recent actions, one per line, for a failure report.
    std::string Log() const;

    // Counters for a summary.
    long steps = 0, saves = 0, reopens = 0, boxes = 0, questions = 0;
    long commandCount[int(Command::kCount)] = {};
    long commandEffect[int(Command::kCount)] = {};  // runs that changed a table
    std::map<std::string, long> boxTexts;           // first line of each box -> times shown
    // The counters above as a few lines of text.
    std::string Summary() const;

private:
    std::string Open();
    void ClickUser(int row, Mods mods);
    void ClickGroup(int row, Mods mods);
    void ChangeUserSelection();
    void ChangeGroupSelection();
    void KeyToNeighbour(List list, int rows, const std::function<void(int)>& modelClick);
    void TypeInto(Box box, std::string& modelBox, InputBox kind);
    std::string RandomText(InputBox kind);
    std::string AfterSave();
    int Pick(int n) { return int(rng_() % uint64_t(n)); }
    bool Chance(int percent) { return Pick(100) < percent; }
    void Note(std::string action);

    std::string root_;
    std::mt19937_64 rng_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<Hands> hands_;
    frmMain* w_ = nullptr;
    Model model_;
    std::deque<MsgAnswer> answers_;  // answers the model gave, for the window
    std::deque<std::string> log_;
    int counter_ = 0;
};

}  // namespace solne::model
