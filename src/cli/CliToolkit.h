// The command-line toolkit of solne-admin: frmMain on controls held in
// memory. Text boxes hold a string, lists hold their rows and a selection
// that the command sets by key, and the boxes of the window become answers
// given by the command line and messages collected for standard error. So a
// command runs the window's own handlers, checks, messages and save.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "frmMain/frmMain.h"

namespace solne::cli {

class CliTextBox : public TextBox {
public:
    std::string text;
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
};

class CliListView : public ListView {
public:
    void AddColumn(const std::string&, int) override {}
    void SetRows(std::vector<ListRow> rows) override;
    int RowCount() const override { return int(rows_.size()); }
    const ListRow& Row(int row) const override { return rows_.at(size_t(row)); }
    std::vector<int> SelectedRows() const override;
    std::optional<int> CurrentRow() const override;

    // The rows whose text `column` is exactly `key`, ascending.
    std::vector<int> RowsWith(int column, const std::string& key) const;
    // Selects exactly these rows (the last one becomes the current item).
    void Select(const std::vector<int>& rows);

private:
    std::vector<ListRow> rows_;
    std::vector<bool> selected_;
    std::optional<int> current_;
};

// No window: nothing to show while a load or a save runs.
class CliWindow : public Window {
public:
    void Show() override {}
    void Close() override {}
    void BeginWork() override {}
    void KeepAnswering() override {}
    void ShowProgress(const std::string&, size_t, size_t) override {}
    void EndWork() override {}
};

// One message box the window showed.
struct ShownMessage {
    std::string text;  // LF line ends
    MsgIcon icon;
    MsgButtons buttons;
};

// The window's boxes on the command line. A question while a command runs
// (the delete confirmations) is answered Yes: the command line is the
// confirmation. A question while saving is the one about files changed by
// someone else since loading: Yes only with --force, else No, and the
// question is kept as the refusal.
class CliDialogs : public Dialogs {
public:
    bool force = false;
    bool saving = false;

    std::vector<ShownMessage> messages;  // every OK box, in order
    std::vector<std::string> questions;  // every question, in order
    std::optional<std::string> overwriteRefused;  // the question answered No

    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons, MsgAnswer defaultButton,
                     const std::string& caption) override;
    std::optional<std::string> ChooseFolder() override { return std::nullopt; }

    // Whether a warning was shown since `from` (an index into `messages`).
    bool WarnedSince(size_t from) const;
};

// CR LF as the window writes it in a box, as LF for a terminal.
std::string TerminalText(const std::string& text);

struct CliControls {
    CliTextBox userId, passWords, userName, groupName;
    CliListView userList, groupList;
    CliWindow window;
    CliDialogs dialogs;
};

// frmMain on the command-line controls.
class CliForm : public CliControls, public frmMain {
public:
    explicit CliForm(FileSystem& fs = RealFileSystem());
};

}  // namespace solne::cli
