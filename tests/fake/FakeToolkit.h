// A toolkit of plain objects for the handler tests: text boxes that hold a
// string, lists that hold rows and a selection, a window that is shown or
// not, scripted boxes. The lists take the user's clicks and keys the way the
// editor's lists do and run the item-click handler as they do.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FakeDialogs.h"
#include "frmMain/frmMain.h"

namespace solne::test {

class FakeTextBox : public TextBox {
public:
    std::string text;
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
};

enum class Mods { None, Ctrl, Shift };

class FakeListView : public ListView {
public:
    explicit FakeListView(bool multiSelect) : multiSelect_(multiSelect) {}

    struct Column {
        std::string header;
        int widthTwips;
    };
    std::vector<Column> columns;
    // Run for each click on a row and each key that changes the selection.
    std::function<void()> onItemClick;

    // ---- ListView
    void AddColumn(const std::string& header, int widthTwips) override;
    void SetRows(std::vector<ListRow> rows) override;
    int RowCount() const override { return int(rows_.size()); }
    const ListRow& Row(int row) const override { return rows_.at(size_t(row)); }
    std::vector<int> SelectedRows() const override;
    std::optional<int> CurrentRow() const override;

    // ---- the user's actions
    // A click on a row: plain selects just it; Ctrl toggles it; Shift
    // selects the range from the last row clicked without Shift, keeping
    // the rows picked before that click. One item click follows.
    void Click(int row, Mods mods = Mods::None);
    // Up or Down from the focused row: selects just the row it moves to; an
    // item click follows when the selection changed. False when there is no
    // row to move to.
    bool Key(bool down);
    std::optional<int> FocusedRow() const { return focus_; }

    // ---- selection by code: runs no handler
    void Select(std::vector<int> rows);

private:
    bool multiSelect_;
    std::vector<ListRow> rows_;
    std::vector<bool> selected_;
    std::vector<bool> kept_;  // the selection before the last click without Shift
    std::optional<int> focus_;
    int anchor_ = 0;
};

class FakeWindow : public Window {
public:
    bool visible = false;
    std::function<void(bool&)> onClose;  // Form_Unload
    void Show() override { visible = true; }
    void Close() override;

    // ---- long work: what the window showed, and the user acting meanwhile
    bool working = false;               // between BeginWork and EndWork
    int works = 0;                      // BeginWork calls
    std::vector<std::string> progress;  // each text the progress window showed
    std::function<void()> onAnswer;     // run by each KeepAnswering while working
    void BeginWork() override {
        working = true;
        ++works;
    }
    void KeepAnswering() override {
        if (working && onAnswer) onAnswer();
    }
    void ShowProgress(const std::string& text, size_t, size_t) override { progress.push_back(text); }
    void EndWork() override { working = false; }
};

// The fakes, made before the frmMain that talks to them.
struct FakeControls {
    FakeTextBox userId, passWords, userName, groupName;
    FakeListView userList{true}, groupList{false};
    FakeWindow window;
};

// frmMain on fake controls, with every event wired to its handler.
class FakeForm : public FakeControls, public frmMain {
public:
    FakeForm(FakeDialogs& dialogs, SettingsPlace settings, FileSystem& fs = RealFileSystem());
};

}  // namespace solne::test
