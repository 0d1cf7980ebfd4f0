#include "FakeToolkit.h"

#include <algorithm>

#include "frmMain/Layout.h"

namespace solne::test {

void FakeListView::AddColumn(const std::string& header, int widthTwips) {
    columns.push_back({header, widthTwips});
}

void FakeListView::SetRows(std::vector<ListRow> rows) {
    rows_ = std::move(rows);
    selected_.assign(rows_.size(), false);
    kept_ = selected_;
    focus_.reset();
    anchor_ = 0;
}

std::vector<int> FakeListView::SelectedRows() const {
    std::vector<int> rows;
    for (size_t i = 0; i < selected_.size(); ++i)
        if (selected_[i]) rows.push_back(int(i));
    return rows;
}

std::optional<int> FakeListView::CurrentRow() const {
    std::vector<int> rows = SelectedRows();
    if (rows.size() == 1) return rows.front();
    if (!rows.empty() && focus_ && selected_[size_t(*focus_)]) return focus_;
    return std::nullopt;
}

void FakeListView::Click(int row, Mods mods) {
    const size_t r = size_t(row);
    if (r >= rows_.size()) return;
    if (!multiSelect_ && mods == Mods::Shift) mods = Mods::None;
    switch (mods) {
    case Mods::None:
        selected_.assign(rows_.size(), false);
        selected_[r] = true;
        kept_.assign(rows_.size(), false);
        anchor_ = row;
        break;
    case Mods::Ctrl:
        if (!multiSelect_) {
            const bool was = selected_[r];
            selected_.assign(rows_.size(), false);
            selected_[r] = !was;
        } else {
            selected_[r] = !selected_[r];
        }
        kept_ = selected_;
        kept_[r] = false;
        anchor_ = row;
        break;
    case Mods::Shift:
        selected_ = kept_;
        for (int k = std::min(anchor_, row); k <= std::max(anchor_, row); ++k) selected_[size_t(k)] = true;
        break;
    }
    focus_ = row;
    if (onItemClick) onItemClick();
}

bool FakeListView::Key(bool down) {
    if (!focus_) return false;
    const int to = *focus_ + (down ? 1 : -1);
    if (to < 0 || to >= RowCount()) return false;
    std::vector<bool> only(rows_.size(), false);
    only[size_t(to)] = true;
    const bool changed = only != selected_;
    selected_ = only;
    kept_.assign(rows_.size(), false);
    anchor_ = to;
    focus_ = to;
    if (changed && onItemClick) onItemClick();
    return true;
}

void FakeListView::Select(std::vector<int> rows) {
    selected_.assign(rows_.size(), false);
    for (int r : rows) selected_.at(size_t(r)) = true;
    kept_ = selected_;
}

void FakeWindow::Close() {
    bool cancel = false;
    if (onClose) onClose(cancel);
    if (!cancel) visible = false;
}

FakeForm::FakeForm(FakeDialogs& dialogs, SettingsPlace settings, FileSystem& fs)
    : frmMain(FormControls{userId, passWords, userName, userList, groupName, groupList, window, dialogs},
              std::move(settings), fs) {
    userList.onItemClick = [this] { layout::Raise(*this, "lsvUserList"); };
    groupList.onItemClick = [this] { layout::Raise(*this, "lsvGroupList"); };
    window.onClose = [this](bool& cancel) { Form_Unload(cancel); };
}

}  // namespace solne::test
