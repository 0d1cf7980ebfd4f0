// Drives the real window and the reference model side by side with random
// user actions: clicks in both lists (plain, Ctrl, Shift), typing into the
// four boxes, the ten buttons and closing, with random answers to every
// question. After each step the window is compared with the model. Used by
// the model test and by the soak run.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "FakeDialogs.h"
#include "Model.h"
#include "common/TempBoard.h"
#include "frmMain/frmMain.h"

namespace solne::model {

enum class Command {
    UserAdd, UserUpdate, UserDelete,
    GroupAdd, GroupRename, GroupDelete, GroupAssign, GroupRelease,
    Save, Close,
    kCount
};
const char* CommandName(Command c);

// The files of a start board together with what the model knows of them.
struct StartBoard {
    MDisk disk;
    // Status and plan lines of the per-user files (disk.files, "<ID>.txt"),
    // by ID; "status=0" and "plan=" when not given.
    std::map<std::string, std::pair<std::string, std::string>> statusPlan;
};
// Writes the board's files into `folder` (the same bytes any editor would).
void WriteStartBoard(const std::string& folder, const StartBoard& board);

class ModelDriver {
public:
    // `root` holds the board folder "board" and the settings file.
    ModelDriver(std::string root, uint64_t seed);
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
    void ClickUser(int row, Qt::KeyboardModifiers mods);
    void ClickGroup(int row, Qt::KeyboardModifiers mods);
    void ChangeUserSelection();
    void ChangeGroupSelection();
    void KeyToNeighbour(ListView* list, int rows, const std::function<void(int)>& modelClick);
    void TypeInto(QLineEdit* box, std::string& modelBox, InputBox kind);
    std::string RandomText(InputBox kind);
    std::string AfterSave();
    int Pick(int n) { return int(rng_() % uint64_t(n)); }
    bool Chance(int percent) { return Pick(100) < percent; }
    void Note(std::string action);

    std::string root_;
    std::mt19937_64 rng_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<frmMain> w_;
    Model model_;
    std::deque<MsgAnswer> answers_;  // answers the model gave, for the window
    std::deque<std::string> log_;
    int counter_ = 0;
};

}  // namespace solne::model
