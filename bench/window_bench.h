// Shared by the window benchmarks: a generated board with its settings file,
// the window opened on it, and boxes that always answer Yes.
#pragma once

#include <QWidget>

#include <memory>
#include <optional>
#include <string>

#include "frmMain/Dialogs.h"
#include "qt/QtMainWindow.h"

namespace solne::bench {

constexpr int kWindowUsers = 32767;
constexpr int kWindowGroups = 1000;

// Questions are answered Yes; nothing is ever chosen as a folder.
class YesDialogs : public Dialogs {
public:
    MsgAnswer MsgBox(const std::string&, MsgIcon, MsgButtons buttons, MsgAnswer,
                     const std::string&) override {
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
    }
    std::optional<std::string> ChooseFolder() override { return std::nullopt; }
};

// The settings file of a board of 32,767 users and 1,000 groups, generated on
// first use (outside any timing).
const std::string& WindowBoardIni();
// Its board folder.
const std::string& WindowBoardFolder();

// A window started on that board and shown, painted once.
std::unique_ptr<QtMainWindow> OpenWindow(Dialogs& dialogs);

// Runs the event loop until `widget` has painted (shows it first).
void WaitForPaint(QWidget* widget);

// Removes the generated board.
void RemoveWindowBoard();

}  // namespace solne::bench
