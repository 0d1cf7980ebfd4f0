// The Windows controls behind frmMain's interfaces: an edit control as a text
// box, a report-view SysListView32 as a list, the top-level window as the
// window. Win32Form makes them; nothing here knows frmMain.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "frmMain/Controls.h"

namespace solne::win32 {

// Registers a window class of this program's own: the face colour of
// buttons behind it, `cursor` over it, the given icons (none when null).
// 0 when the system refuses.
ATOM RegisterWindowClass(HINSTANCE instance, WNDPROC proc, const wchar_t* name, const wchar_t* cursor,
                         HICON icon = nullptr, HICON smallIcon = nullptr);

// UTF-8 to UTF-16 and back for window texts. Unlike the path conversions of
// the platform layer these never fail: what has no form becomes U+FFFD, which
// the input rules then refuse.
std::wstring WideText(const std::string& utf8);
std::string Utf8Text(const std::wstring& wide);

// The text of a window (control) as UTF-8.
std::string WindowText(HWND hwnd);

class EditBox final : public TextBox {
public:
    explicit EditBox(HWND hwnd) : hwnd_(hwnd) {}
    std::string Text() const override { return WindowText(hwnd_); }
    void SetText(const std::string& text) override;

private:
    HWND hwnd_;
};

// A virtual (owner-data) list view: the control keeps the selection and the
// focused row, the rows live here and are handed out as the control paints,
// so replacing 32,767 rows costs one message.
class ReportList final : public ListView {
public:
    // The user's selection changes and clicks reach the item-click handler
    // through Win32Form, which receives the control's notifications.
    ReportList(HWND hwnd, int dpi);

    void AddColumn(const std::string& header, int widthTwips) override;
    void SetRows(std::vector<ListRow> rows) override;
    int RowCount() const override { return int(rows_.size()); }
    const ListRow& Row(int row) const override { return rows_.at(size_t(row)); }
    std::vector<int> SelectedRows() const override;
    std::optional<int> CurrentRow() const override;

    HWND Handle() const { return hwnd_; }
    // True while this object itself changes rows or selection: the control's
    // notifications then are not the user's.
    bool Quiet() const { return quiet_ > 0; }
    // Fills a LVN_GETDISPINFOW request.
    void GetDispInfo(NMLVDISPINFOW& info);
    // Column widths follow the monitor's DPI.
    void SetDpi(int dpi);

private:
    HWND hwnd_;
    int dpi_;
    int quiet_ = 0;
    std::vector<int> columnTwips_;
    std::vector<ListRow> rows_;
    std::wstring textBuffer_;  // the text handed to the control last
};

}  // namespace solne::win32
