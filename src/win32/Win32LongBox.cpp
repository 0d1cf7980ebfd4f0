#include "win32/Win32LongBox.h"

#include <algorithm>
#include <vector>

#include "win32/Win32Controls.h"

namespace solne::win32 {

namespace {

constexpr wchar_t kClassName[] = L"SolneLongMessage";
constexpr int kTextId = 100;

struct BoxState {
    int result = 0;
};

NONCLIENTMETRICSW Metrics() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return metrics;
}

int LineCount(const std::wstring& text) { return 1 + int(std::count(text.begin(), text.end(), L'\n')); }

// The height of one line of the message font, in pixels.
int LineHeight() {
    LOGFONTW font = Metrics().lfMessageFont;
    return std::max(8, int(std::abs(font.lfHeight) * 4 / 3));
}

RECT WorkArea() {
    RECT area{0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<BoxState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          LONG_PTR(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        break;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (!state || state->result) return 0;
        if (id == IDYES || id == IDNO || id == IDOK || id == IDCANCEL) {
            // Esc (IDCANCEL from the dialog keys) ends the box only as MessageBoxW's
            // close would: the caller reads IDCANCEL as Cancel, No or OK.
            state->result = id;
        }
        return 0;
    }
    case WM_CLOSE:
        if (state && !state->result) state->result = IDCANCEL;
        return 0;
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

bool TooTallForMessageBox(const std::wstring& text) {
    const RECT area = WorkArea();
    // Caption, icon margins and the button row of a message box: about eight lines.
    return (LineCount(text) + 8) * LineHeight() > (area.bottom - area.top) * 9 / 10;
}

int LongMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    static const ATOM windowClass = RegisterWindowClass(instance, BoxProc, kClassName, IDC_ARROW);
    if (!windowClass) return MessageBoxW(owner, text.c_str(), caption.c_str(), type);

    struct Button {
        int id;
        const wchar_t* text;
    };
    std::vector<Button> buttons;
    switch (type & MB_TYPEMASK) {
    case MB_YESNO: buttons = {{IDYES, L"はい(&Y)"}, {IDNO, L"いいえ(&N)"}}; break;
    case MB_YESNOCANCEL: buttons = {{IDYES, L"はい(&Y)"}, {IDNO, L"いいえ(&N)"}, {IDCANCEL, L"キャンセル"}}; break;
    default: buttons = {{IDOK, L"OK"}}; break;
    }
    const size_t defaultIndex = std::min(size_t((type & MB_DEFMASK) >> 8), buttons.size() - 1);
    BoxState state;

    const NONCLIENTMETRICSW metrics = Metrics();
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    const RECT area = WorkArea();
    const int line = LineHeight(), margin = line, buttonW = line * 6, buttonH = line * 2;
    const int width = std::min(int(area.right - area.left) * 8 / 10, line * 45);
    const int height = std::min(int(area.bottom - area.top) * 8 / 10, (LineCount(text) + 6) * line);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    const int frameW = frame.right - frame.left, frameH = frame.bottom - frame.top;
    HWND hwnd = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClassName, caption.c_str(), style,
                                area.left + (area.right - area.left - frameW) / 2,
                                area.top + (area.bottom - area.top - frameH) / 2, frameW, frameH, owner, nullptr,
                                instance, &state);
    if (!hwnd) {
        DeleteObject(font);
        return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
    }

    const int iconSize = GetSystemMetrics(SM_CXICON);
    HWND icon = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, margin, margin, iconSize,
                                iconSize, hwnd, nullptr, instance, nullptr);
    SendMessageW(icon, STM_SETICON,
                 WPARAM(LoadIconW(nullptr, (type & MB_ICONMASK) == MB_ICONINFORMATION ? IDI_INFORMATION : IDI_WARNING)),
                 0);
    const int textLeft = margin * 2 + iconSize;
    HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", text.c_str(),
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY,
                                textLeft, margin, width - textLeft - margin, height - buttonH - margin * 3, hwnd,
                                reinterpret_cast<HMENU>(INT_PTR(kTextId)), instance, nullptr);
    SendMessageW(edit, WM_SETFONT, WPARAM(font), FALSE);
    HWND focus = nullptr;
    for (size_t i = 0; i < buttons.size(); ++i) {
        const int left = width - margin - int(buttons.size() - i) * (buttonW + margin / 2);
        HWND button = CreateWindowExW(
            0, L"BUTTON", buttons[i].text,
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), left,
            height - margin - buttonH, buttonW, buttonH, hwnd, reinterpret_cast<HMENU>(INT_PTR(buttons[i].id)),
            instance, nullptr);
        SendMessageW(button, WM_SETFONT, WPARAM(font), FALSE);
        if (i == defaultIndex) focus = button;
    }
    if ((type & MB_TYPEMASK) == MB_YESNO) {
        // As in MessageBoxW: a Yes/No question has no close box.
        EnableMenuItem(GetSystemMenu(hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    }

    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    SetFocus(focus);
    MSG msg;
    bool quit = false;
    while (!state.result) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            quit = got == 0;
            state.result = IDCANCEL;
            break;
        }
        if (IsDialogMessageW(hwnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (owner) EnableWindow(owner, TRUE);
    DestroyWindow(hwnd);
    DeleteObject(font);
    if (owner) SetActiveWindow(owner);
    if (quit) PostQuitMessage(int(msg.wParam));
    return state.result;
}

}  // namespace solne::win32
