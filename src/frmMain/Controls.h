// What the window's logic needs from its controls, and nothing more: text
// boxes, list views and the window itself. Each toolkit (Qt on Linux, the
// Windows controls, the command-line toolkit's controls in memory) implements
// these; the tests use plain objects. Texts are UTF-8 throughout. Message boxes and the folder chooser are in Dialogs.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace solne {

// A single-line text box.
class TextBox {
public:
    virtual ~TextBox() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

// One row of a list: its texts and the slot of the table it shows.
struct ListRow {
    std::string texts[3];  // row text, sub-item 1, sub-item 2
    int slot = -1;         // the table slot the row shows
};

// A report-view list: column headers, rows in the order given (never
// sorted), no in-place editing. Rows are numbered from 0. Selection changes
// made by the user (mouse or keyboard), and a click on a row that changes
// nothing, raise the list's item-click handler; changes made through this
// interface never do.
class ListView {
public:
    virtual ~ListView() = default;

    // Adds a column at the right; the width is in twips.
    virtual void AddColumn(const std::string& header, int widthTwips) = 0;

    // Replaces every row at once; afterwards no row is selected.
    virtual void SetRows(std::vector<ListRow> rows) = 0;
    virtual int RowCount() const = 0;
    // Row 0 <= row < RowCount().
    virtual const ListRow& Row(int row) const = 0;

    // The selected rows, ascending.
    virtual std::vector<int> SelectedRows() const = 0;
    // The current item: with exactly one selected row, that row; with
    // several, the focused row when it is selected; with none, nothing.
    virtual std::optional<int> CurrentRow() const = 0;
};

// The window itself.
class Window {
public:
    virtual ~Window() = default;
    virtual void Show() = 0;
    // Closes the window the way the user does: frmMain::Form_Unload runs
    // first and may keep it open.
    virtual void Close() = 0;

    // ---- long work (a load, a save), run in the window's own thread
    // The work begins: the busy cursor shows at once, and from now until
    // EndWork neither input nor a request to close reaches the window
    // (frmMain refuses both as well).
    virtual void BeginWork() = 0;
    // Lets the window answer the system while the work runs (painting,
    // moving, the system asking whether it is alive); input to the window
    // is dropped, not kept for later.
    virtual void KeepAnswering() = 0;
    // Shows the small progress window, or updates it: `text` above a bar of
    // `done` of `total`. It has no cancel button and cannot be closed.
    virtual void ShowProgress(const std::string& text, size_t done, size_t total) = 0;
    // The work has ended: the progress window goes, the cursor and the input
    // come back.
    virtual void EndWork() = 0;
};

class Dialogs;

// The controls frmMain talks to. The toolkit makes them (and the labels and
// buttons, which the logic never reads) from the layout in Layout.h, then
// makes frmMain with them, and sends each control event to its handler:
// a button's click to cmdXxx_Click, a list's item click to
// lsvXxx_ItemClick, every request to close the window to Form_Unload.
struct FormControls {
    TextBox& txtUserId;
    TextBox& txtPassWords;
    TextBox& txtUserName;
    ListView& lsvUserList;
    TextBox& txtGroupName;
    ListView& lsvGroupList;
    Window& window;
    Dialogs& dialogs;
};

}  // namespace solne
