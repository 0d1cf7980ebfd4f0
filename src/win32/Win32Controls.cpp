#include "win32/Win32Controls.h"

#include <algorithm>
#include <climits>

#include <commctrl.h>

namespace solne::win32 {

ATOM RegisterWindowClass(HINSTANCE instance, WNDPROC proc, const wchar_t* name, const wchar_t* cursor, HICON icon,
                         HICON smallIcon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, cursor);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    wc.hIcon = icon;
    wc.hIconSm = smallIcon;
    return RegisterClassExW(&wc);
}

std::wstring WideText(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > size_t(INT_MAX)) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(std::max(n, 0)), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8Text(const std::wstring& wide) {
    if (wide.empty() || wide.size() > size_t(INT_MAX) / 4) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(std::max(n, 0)), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

std::string WindowText(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return {};
    std::wstring text(size_t(length) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(hwnd, text.data(), length + 1)));
    return Utf8Text(text);
}

void EditBox::SetText(const std::string& text) { SetWindowTextW(hwnd_, WideText(text).c_str()); }

namespace {

// Counts a change made by this program, so its notifications are told from
// the user's.
class QuietScope {
public:
    explicit QuietScope(int& depth) : depth_(depth) { ++depth_; }
    ~QuietScope() { --depth_; }
    QuietScope(const QuietScope&) = delete;
    QuietScope& operator=(const QuietScope&) = delete;

private:
    int& depth_;
};

}  // namespace

ReportList::ReportList(HWND hwnd, int dpi) : hwnd_(hwnd), dpi_(dpi) {}

void ReportList::AddColumn(const std::string& header, int widthTwips) {
    std::wstring text = WideText(header);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.pszText = text.data();
    column.cx = MulDiv(widthTwips, dpi_, 1440);
    column.iSubItem = int(columnTwips_.size());
    QuietScope quiet(quiet_);
    SendMessageW(hwnd_, LVM_INSERTCOLUMNW, columnTwips_.size(), LPARAM(&column));
    columnTwips_.push_back(widthTwips);
}

void ReportList::SetRows(std::vector<ListRow> rows) {
    QuietScope quiet(quiet_);
    // No selected and no focused row afterwards, before the control asks
    // for a single text of the new rows.
    SendMessageW(hwnd_, LVM_SETITEMCOUNT, 0, 0);
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(hwnd_, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&none));
    rows_ = std::move(rows);
    SendMessageW(hwnd_, LVM_SETITEMCOUNT, rows_.size(), LVSICF_NOSCROLL);
    SendMessageW(hwnd_, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&none));
    SendMessageW(hwnd_, LVM_SETSELECTIONMARK, 0, -1);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

std::vector<int> ReportList::SelectedRows() const {
    std::vector<int> rows;
    int row = -1;
    while ((row = int(SendMessageW(hwnd_, LVM_GETNEXTITEM, WPARAM(row), LVNI_SELECTED))) >= 0) {
        if (row >= RowCount() || (!rows.empty() && row <= rows.back())) break;
        rows.push_back(row);
    }
    return rows;
}

std::optional<int> ReportList::CurrentRow() const {
    std::vector<int> rows = SelectedRows();
    if (rows.empty()) return std::nullopt;
    if (rows.size() == 1) return rows.front();
    int focused = int(SendMessageW(hwnd_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    if (std::binary_search(rows.begin(), rows.end(), focused)) return focused;
    return std::nullopt;
}

void ReportList::GetDispInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    item.pszText[0] = L'\0';
    if (item.iItem < 0 || item.iItem >= RowCount() || item.iSubItem < 0 || item.iSubItem > 2) return;
    textBuffer_ = WideText(rows_[size_t(item.iItem)].texts[item.iSubItem]);
    size_t n = std::min(textBuffer_.size(), size_t(item.cchTextMax) - 1);
    std::copy_n(textBuffer_.data(), n, item.pszText);
    item.pszText[n] = L'\0';
}

void ReportList::SetDpi(int dpi) {
    dpi_ = dpi;
    QuietScope quiet(quiet_);
    for (size_t i = 0; i < columnTwips_.size(); ++i)
        SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, i, MulDiv(columnTwips_[i], dpi, 1440));
}

}  // namespace solne::win32
