#include "cli/CliToolkit.h"

namespace solne::cli {

void CliListView::SetRows(std::vector<ListRow> rows) {
    rows_ = std::move(rows);
    selected_.assign(rows_.size(), false);
    current_.reset();
}

std::vector<int> CliListView::SelectedRows() const {
    std::vector<int> rows;
    for (size_t i = 0; i < selected_.size(); ++i)
        if (selected_[i]) rows.push_back(int(i));
    return rows;
}

std::optional<int> CliListView::CurrentRow() const {
    if (current_ && selected_[size_t(*current_)]) return current_;
    return std::nullopt;
}

std::vector<int> CliListView::RowsWith(int column, const std::string& key) const {
    std::vector<int> rows;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].texts[column] == key) rows.push_back(int(i));
    return rows;
}

void CliListView::Select(const std::vector<int>& rows) {
    selected_.assign(rows_.size(), false);
    current_.reset();
    for (int row : rows) {
        selected_.at(size_t(row)) = true;
        current_ = row;
    }
}

std::string TerminalText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

MsgAnswer CliDialogs::MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons, MsgAnswer,
                             const std::string&) {
    if (buttons == MsgButtons::Ok) {
        messages.push_back({TerminalText(text), icon, buttons});
        return MsgAnswer::Ok;
    }
    questions.push_back(TerminalText(text));
    if (!saving) return MsgAnswer::Yes;
    if (force) return MsgAnswer::Yes;
    overwriteRefused = questions.back();
    return MsgAnswer::No;
}

bool CliDialogs::WarnedSince(size_t from) const {
    for (size_t i = from; i < messages.size(); ++i)
        if (messages[i].icon == MsgIcon::Warning) return true;
    return false;
}

CliForm::CliForm(FileSystem& fs)
    : frmMain(FormControls{userId, passWords, userName, userList, groupName, groupList, window, dialogs},
              SettingsPlace{}, fs) {}

}  // namespace solne::cli
