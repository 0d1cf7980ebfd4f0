#include "win32/Win32Form.h"

#include <stdexcept>

#include <commctrl.h>

#include "frmMain/Dialogs.h"
#include "win32/Win32Font.h"
#include "win32/Win32Controls.h"

namespace solne::win32 {

namespace {

constexpr wchar_t kClassName[] = L"SolneMainWindow";
constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL
constexpr UINT kItemClickMessage = WM_APP + 1;
constexpr int kApplicationIcon = 1;  // the program's icon resource

#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

int Scale(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// The DPI of the window's monitor where Windows knows it (Windows 10), else
// the system's.
int WindowDpi(HWND hwnd, int fallback) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && hwnd) {
        if (UINT dpi = getDpiForWindow(hwnd); dpi > 0) return int(dpi);
    }
    return fallback;
}

const wchar_t* WindowClassOf(layout::Kind kind) {
    switch (kind) {
    case layout::Kind::Label: return L"STATIC";
    case layout::Kind::TextBox: return L"EDIT";
    case layout::Kind::Button: return L"BUTTON";
    case layout::Kind::ListView: return WC_LISTVIEWW;
    }
    return L"STATIC";
}

DWORD StyleOf(const layout::Control& c) {
    DWORD style = WS_CHILD | WS_VISIBLE | (c.tabOrder > 0 ? WS_TABSTOP : 0);
    switch (c.kind) {
    case layout::Kind::Label: return style | SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE;
    case layout::Kind::TextBox: return style | ES_LEFT | ES_AUTOHSCROLL;
    case layout::Kind::Button:
        return style | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER |
               ((c.style & layout::kWrapCaption) ? BS_MULTILINE : 0);
    case layout::Kind::ListView:
        return style | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER |
               ((c.style & layout::kMultiSelect) ? 0 : LVS_SINGLESEL);
    }
    return style;
}

bool IsPushButton(HWND hwnd) {
    wchar_t name[16];
    if (!GetClassNameW(hwnd, name, 16) || lstrcmpiW(name, L"BUTTON") != 0) return false;
    LONG type = GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// What Windows shows for the window while the prompt holds up the end of
// the session.
constexpr wchar_t kSessionBlockReason[] = L"未保存の変更があります";

template <typename Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

}  // namespace

SessionBlock SessionBlock::System() {
    using CreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
    using DestroyFn = BOOL(WINAPI*)(HWND);
    static const auto create = User32Function<CreateFn>("ShutdownBlockReasonCreate");
    static const auto destroy = User32Function<DestroyFn>("ShutdownBlockReasonDestroy");
    SessionBlock block;
    if (create && destroy) {
        block.create = [](HWND hwnd, const wchar_t* reason) { create(hwnd, reason); };
        block.destroy = [](HWND hwnd) { destroy(hwnd); };
    }
    return block;
}

std::wstring Form::ShownCaption(const layout::Control& control) {
    std::wstring caption = WideText(control.caption);
    if (!(control.style & layout::kWrapCaption)) return caption;
    std::wstring shown;
    for (size_t i = 0; i < caption.size();) {
        if (caption[i] != L' ') {
            shown += caption[i++];
            continue;
        }
        while (i < caption.size() && caption[i] == L' ') ++i;
        if (!shown.empty() && i < caption.size()) shown += L"\r\n";
    }
    return shown;
}

Form::Form(HINSTANCE instance, std::optional<LOGFONTW> messageFont)
    : messageFont_(messageFont ? *messageFont : SystemMessageFont()) {
    static const ATOM windowClass = RegisterWindowClass(
        instance, WndProc, kClassName, IDC_ARROW, LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIcon)),
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kApplicationIcon), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    if (!windowClass) throw std::runtime_error("RegisterClassExW failed");

    systemDpi_ = SystemDpi();
    dpi_ = systemDpi_;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT;
    RECT frame{0, 0, Scale(layout::kClientArea.width, dpi_), Scale(layout::kClientArea.height, dpi_)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    std::wstring title = WideText(kAppTitle);
    hwnd_ = CreateWindowExW(exStyle, kClassName, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                            this);
    if (!hwnd_) throw std::runtime_error("CreateWindowExW failed");
    CreateControls(instance);
    // Created on a monitor with another DPI than the system's: follow it.
    if (int dpi = WindowDpi(hwnd_, dpi_); dpi != dpi_) {
        ApplyDpi(dpi);
        RECT r{0, 0, Scale(layout::kClientArea.width, dpi), Scale(layout::kClientArea.height, dpi)};
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
        SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        ApplyDpi(dpi_);
    }
}

Form::~Form() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (font_) DeleteObject(font_);
}

void Form::CreateControls(HINSTANCE instance) {
    const auto& all = layout::kControls;
    controls_.assign(std::size(all), nullptr);
    for (size_t i = 0; i < std::size(all); ++i) {
        const layout::Control& c = all[i];
        std::wstring caption = ShownCaption(c);
        DWORD exStyle = (c.kind == layout::Kind::TextBox || c.kind == layout::Kind::ListView)
                            ? WS_EX_CLIENTEDGE
                            : 0;
        HWND hwnd = CreateWindowExW(exStyle, WindowClassOf(c.kind), caption.c_str(), StyleOf(c), 0, 0, 0, 0,
                                    hwnd_, reinterpret_cast<HMENU>(INT_PTR(kFirstControlId + int(i))),
                                    instance, nullptr);
        if (!hwnd) throw std::runtime_error("CreateWindowExW failed for a control");
        controls_[i] = hwnd;
        switch (c.kind) {
        case layout::Kind::TextBox: boxes_.push_back(std::make_unique<EditBox>(hwnd)); break;
        case layout::Kind::Button: SetWindowSubclass(hwnd, ButtonProc, 0, DWORD_PTR(this)); break;
        case layout::Kind::ListView: {
            size_t n = lists_[0] ? 1 : 0;
            lists_[n] = std::make_unique<ReportList>(hwnd, dpi_);
            listNames_[n] = c.name;
            SendMessageW(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                         LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
            SetWindowSubclass(hwnd, ListProc, n, DWORD_PTR(this));
            break;
        }
        case layout::Kind::Label: break;
        }
    }
    // Tab moves through the controls in the order of their places among the
    // window's children: put them in the table's tab order. Each text box and
    // list comes right after its label, which is where a screen reader takes
    // its name from.
    HWND after = HWND_TOP;
    auto place = [&after](HWND hwnd) {
        SetWindowPos(hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = hwnd;
    };
    for (const layout::Control* c : layout::TabOrder()) {
        if (const layout::Control* label = layout::LabelOf(*c)) place(controls_[size_t(label - all)]);
        place(controls_[size_t(c - all)]);
    }
}

void Form::ApplyDpi(int dpi) {
    dpi_ = dpi;
    const LOGFONTW chosen = ChooseControlFont(messageFont_, dpi, systemDpi_);
    HFONT font = CreateFontIndirectW(&chosen);
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (size_t i = 0; i < controls_.size(); ++i) {
        const layout::Rect& r = layout::kControls[i].place;
        SetWindowPos(controls_[i], nullptr, Scale(r.left, dpi), Scale(r.top, dpi), Scale(r.width, dpi),
                     Scale(r.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(controls_[i], WM_SETFONT, WPARAM(font), TRUE);
    }
    for (auto& list : lists_)
        if (list) list->SetDpi(dpi);
    if (font_ && font_ != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(font_);
    font_ = font;
}

FormControls Form::Controls(Dialogs& dialogs) {
    auto box = [this](const char* name) -> TextBox& {
        size_t n = 0;
        for (const layout::Control& c : layout::kControls) {
            if (c.kind != layout::Kind::TextBox) continue;
            if (std::string_view(c.name) == name) return *boxes_[n];
            ++n;
        }
        throw std::logic_error("no text box of that name");
    };
    auto list = [this](const char* name) -> ListView& {
        for (size_t n = 0; n < lists_.size(); ++n)
            if (std::string_view(listNames_[n]) == name) return *lists_[n];
        throw std::logic_error("no list of that name");
    };
    return FormControls{box("txtUserId"),    box("txtPassWords"),  box("txtUserName"), list("lsvUserList"),
                        box("txtGroupName"), list("lsvGroupList"), *this,            dialogs};
}

HWND Form::ControlHandle(std::string_view name) const {
    for (size_t i = 0; i < controls_.size(); ++i)
        if (name == layout::kControls[i].name) return controls_[i];
    return nullptr;
}

const layout::Control* Form::ControlOf(HWND control) const {
    for (size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i] == control) return &layout::kControls[i];
    return nullptr;
}

void Form::Show() {
    if (!hwnd_) return;
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    SetForegroundWindow(hwnd_);
    if (!layout::TabOrder().empty()) SetFocus(ControlHandle(layout::TabOrder().front()->name));
}

void Form::Close() {
    if (hwnd_) SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void Form::BeginWork() {
    if (working_ || !hwnd_) return;
    working_ = true;
    HWND focus = GetFocus();
    focusBeforeWork_ = focus && IsChild(hwnd_, focus) ? focus : nullptr;
    EnableWindow(hwnd_, FALSE);
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

// The window's own messages go through as the loop would pass them, but no
// key or mouse message reaches the window, its controls or the progress
// window: they are dropped, not kept for after the work. A WM_QUIT is left
// for the loop.
void Form::KeepAnswering() {
    auto ours = [this](HWND hwnd) {
        return hwnd && (hwnd == hwnd_ || IsChild(hwnd_, hwnd) || (progress_ && (hwnd == progress_ ||
                                                                                IsChild(progress_, hwnd))));
    };
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return;
        }
        const bool input = (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) ||
                           (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST);
        if (input && ours(msg.hwnd)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Form::EndWork() {
    if (!working_) return;
    working_ = false;
    if (hwnd_) EnableWindow(hwnd_, TRUE);  // first, so that it becomes active again
    if (progress_) DestroyWindow(progress_);
    progress_ = progressText_ = progressBar_ = nullptr;
    if (focusBeforeWork_ && IsWindow(focusBeforeWork_) && IsWindowVisible(hwnd_)) SetFocus(focusBeforeWork_);
    focusBeforeWork_ = nullptr;
    POINT at;
    if (GetCursorPos(&at)) SetCursorPos(at.x, at.y);  // the cursor of what lies under it again
}

namespace {

constexpr wchar_t kProgressClassName[] = L"SolneProgress";

// The progress window cannot be closed: it goes when the work ends.
LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE: return 0;
    case WM_SETCURSOR: SetCursor(LoadCursorW(nullptr, IDC_WAIT)); return TRUE;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

// A small window with a caption but no close box: the text, and a bar
// below it. Centred over the editor's window when that is shown, else on
// the screen.
void Form::MakeProgressWindow() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    static const ATOM progressClass = [instance] {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        return RegisterWindowClass(instance, ProgressProc, kProgressClassName, IDC_WAIT);
    }();
    if (!progressClass) return;
    const int width = Scale(5400, dpi_), height = Scale(1200, dpi_), margin = Scale(180, dpi_);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER;
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const bool overWindow = IsWindowVisible(hwnd_);
    RECT area;
    if (!overWindow || !GetWindowRect(hwnd_, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const std::wstring title = WideText(kAppTitle);
    progress_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kProgressClassName, title.c_str(), style,
                                (area.left + area.right - w) / 2, (area.top + area.bottom - h) / 2, w, h,
                                overWindow ? hwnd_ : nullptr, nullptr, instance, nullptr);
    if (!progress_) return;
    progressText_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, margin,
                                    margin, width - 2 * margin, Scale(300, dpi_), progress_, nullptr, instance,
                                    nullptr);
    progressBar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, margin, Scale(600, dpi_),
                                   width - 2 * margin, Scale(330, dpi_), progress_, nullptr, instance, nullptr);
    if (progressText_) SendMessageW(progressText_, WM_SETFONT, WPARAM(font_), FALSE);
    ShowWindow(progress_, SW_SHOWNORMAL);
}

void Form::ShowProgress(const std::string& text, size_t done, size_t total) {
    if (!working_) return;
    if (!progress_) MakeProgressWindow();
    if (!progress_) return;
    if (progressText_) SetWindowTextW(progressText_, WideText(text).c_str());
    if (progressBar_) {
        // The bar counts to at most 65,535 in older controls: scale to a thousandth.
        const int permille = total ? int(done * 1000 / total) : 0;
        SendMessageW(progressBar_, PBM_SETRANGE32, 0, 1000);
        SendMessageW(progressBar_, PBM_SETPOS, WPARAM(permille), 0);
    }
    UpdateWindow(progress_);
}

// A request to close while the prompt is open (another program's WM_CLOSE)
// is left to the prompt's answer; one while a load or a save runs is refused.
void Form::RequestClose() {
    if (unloading_ || working_) return;
    bool cancel = false;
    unloading_ = true;
    if (handlers_.unload) handlers_.unload(cancel);
    unloading_ = false;
    if (!cancel && hwnd_) DestroyWindow(hwnd_);
}

// Windows asks whether the session may end (log-off, shut-down): the same
// unsaved-changes prompt as closing the window. Yes saves (a failed save
// keeps the session), No lets it end without saving, Cancel refuses. The
// window stays until WM_ENDSESSION says the session really ends: another
// program may still refuse, and then the editor goes on as before.
BOOL Form::QueryEndSession() {
    if (unloading_ || working_) return FALSE;  // the prompt is open already, or a save runs
    bool cancel = false;
    unloading_ = true;
    if (sessionBlock_.create) sessionBlock_.create(hwnd_, kSessionBlockReason);
    if (handlers_.unload) handlers_.unload(cancel);
    if (sessionBlock_.destroy && hwnd_) sessionBlock_.destroy(hwnd_);
    unloading_ = false;
    return cancel ? FALSE : TRUE;
}

// The session ends: the prompt has been passed, so the window closes without
// asking again. The message comes in while the loop waits in GetMessage,
// which a posted message wakes so that Run returns.
void Form::EndSession() {
    if (!hwnd_) return;
    DestroyWindow(hwnd_);
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void Form::Run() {
    MSG msg;
    while (hwnd_) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(int(msg.wParam));  // for whoever runs the loop outside
            return;
        }
        if (got < 0) return;
        Dispatch(msg);
    }
}

void Form::Dispatch(MSG& msg) {
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Form::DispatchPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        Dispatch(msg);
    }
}

void Form::ListChangedByUser(size_t list) {
    changedSincePress_[list] = true;
    if (clickPending_[list]) return;
    clickPending_[list] = true;
    PostMessageW(hwnd_, kItemClickMessage, list, 0);
}

LRESULT Form::OnNotify(NMHDR& header) {
    size_t list = 0;
    while (list < lists_.size() && (!lists_[list] || lists_[list]->Handle() != header.hwndFrom)) ++list;
    if (list == lists_.size()) return 0;
    ReportList& view = *lists_[list];
    switch (header.code) {
    case LVN_GETDISPINFOW: view.GetDispInfo(reinterpret_cast<NMLVDISPINFOW&>(header)); return 0;
    case LVN_ITEMCHANGED: {
        auto& change = reinterpret_cast<NMLISTVIEW&>(header);
        if (!view.Quiet() && (change.uChanged & LVIF_STATE) &&
            ((change.uNewState ^ change.uOldState) & LVIS_SELECTED))
            ListChangedByUser(list);
        return 0;
    }
    case LVN_ODSTATECHANGED: {
        auto& change = reinterpret_cast<NMLVODSTATECHANGE&>(header);
        if (!view.Quiet() && ((change.uNewState ^ change.uOldState) & LVIS_SELECTED)) ListChangedByUser(list);
        return 0;
    }
    case NM_CLICK:
    case NM_RCLICK: {
        // A click on a row that changed nothing (it already was the selection)
        // still is a click on that row.
        auto& click = reinterpret_cast<NMITEMACTIVATE&>(header);
        if (!view.Quiet() && click.iItem >= 0 && !changedSincePress_[list]) ListChangedByUser(list);
        return 0;
    }
    case LVN_ODFINDITEMW: return FindItem(view, reinterpret_cast<NMLVFINDITEMW&>(header));
    case LVN_BEGINLABELEDITW: return TRUE;  // no editing in place
    default: return 0;
    }
}

// The control asks for a row by its text (LVM_FINDITEM from a screen reader
// or any other caller): the first column compared without case, as the
// type-ahead does.
LRESULT Form::FindItem(const ReportList& view, const NMLVFINDITEMW& find) const {
    const LVFINDINFOW& info = find.lvfi;
    if (!(info.flags & (LVFI_STRING | LVFI_PARTIAL)) || !info.psz) return -1;
    std::optional<int> row = FindRow(view, Utf8Text(info.psz), find.iStart,
                                     (info.flags & LVFI_PARTIAL) ? RowMatch::Prefix : RowMatch::Whole,
                                     (info.flags & LVFI_WRAP) != 0);
    return row ? *row : -1;
}

// Type-ahead: the row the window logic's rule picks becomes the focused and
// only selected row, as with an arrow key; the control's notifications of
// that change raise the item click as for any change the user makes.
bool Form::TypedInList(size_t list, wchar_t c) {
    if (list >= lists_.size() || !lists_[list]) return false;
    if (c < 0x20 || c == 0x7F) return false;  // Tab, Enter, Esc, Ctrl+letter: the control's
    std::wstring typed;
    if (IS_HIGH_SURROGATE(c)) {
        pendingHighSurrogate_[list] = c;
        return true;
    }
    if (IS_LOW_SURROGATE(c)) {
        if (!pendingHighSurrogate_[list]) return true;
        typed += pendingHighSurrogate_[list];
    }
    pendingHighSurrogate_[list] = 0;
    typed += c;

    ReportList& view = *lists_[list];
    HWND hwnd = view.Handle();
    const int focused = int(SendMessageW(hwnd, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    std::optional<int> row = typeAhead_[list].Typed(view, Utf8Text(typed), int64_t(GetTickCount64()),
                                                    focused >= 0 ? std::optional<int>(focused) : std::nullopt);
    if (!row || (focused == *row && view.SelectedRows() == std::vector<int>{*row})) return true;
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(hwnd, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&none));
    LVITEMW chosen{};
    chosen.state = chosen.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(hwnd, LVM_SETITEMSTATE, WPARAM(*row), LPARAM(&chosen));
    SendMessageW(hwnd, LVM_SETSELECTIONMARK, 0, *row);
    SendMessageW(hwnd, LVM_ENSUREVISIBLE, WPARAM(*row), FALSE);
    return true;
}

LRESULT Form::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const size_t index = size_t(id - kFirstControlId);
        if (HIWORD(wParam) == BN_CLICKED && id >= kFirstControlId && index < controls_.size() &&
            layout::kControls[index].kind == layout::Kind::Button && handlers_.click)
            handlers_.click(layout::kControls[index].name);
        // IDOK (Enter outside a button) and IDCANCEL (Esc) do nothing: the
        // window has no default button and no cancel button.
        return 0;
    }
    case DM_GETDEFID: {
        // Enter presses the focused push button, as in a dialog.
        HWND focus = GetFocus();
        if (focus && GetParent(focus) == hwnd_ && IsPushButton(focus))
            return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
        return 0;
    }
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
    case kItemClickMessage: {
        const size_t list = size_t(wParam);
        if (list >= lists_.size()) return 0;
        clickPending_[list] = false;
        if (handlers_.itemClick) handlers_.itemClick(listNames_[list]);
        return 0;
    }
    case WM_ACTIVATE:
        // Keep the focus on its control while another window is active.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) focusBeforeDeactivation_ = focus;
        } else if (focusBeforeDeactivation_ && IsWindow(focusBeforeDeactivation_)) {
            SetFocus(focusBeforeDeactivation_);
            return 0;
        }
        break;
    case WM_DPICHANGED: {
        ApplyDpi(HIWORD(wParam));
        const RECT& r = *reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_SETCURSOR:
        if (!working_) break;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
    case WM_CLOSE: RequestClose(); return 0;
    case WM_QUERYENDSESSION: return QueryEndSession();
    case WM_ENDSESSION:
        if (wParam) EndSession();
        return 0;
    case WM_DESTROY: hwnd_ = nullptr; return 0;
    default: break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT CALLBACK Form::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form || form->hwnd_ != hwnd) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return form->Handle(msg, wParam, lParam);
}

// The focused push button looks like the default button, as in a dialog.
LRESULT CALLBACK Form::ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS) {
        LONG style = GetWindowLongW(hwnd, GWL_STYLE);
        LONG type = msg == WM_SETFOCUS ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        SendMessageW(hwnd, BM_SETSTYLE, WPARAM((style & ~BS_TYPEMASK & 0xFFFF) | type), TRUE);
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, ButtonProc, 0);
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

// A mouse press starts a new click: whether it changes the selection is
// known when the control reports the click. Typed characters go to the
// type-ahead.
LRESULT CALLBACK Form::ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR ref) {
    auto* form = reinterpret_cast<Form*>(ref);
    if ((msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN) && id < form->changedSincePress_.size())
        form->changedSincePress_[id] = false;
    else if ((msg == WM_CHAR || msg == WM_IME_CHAR) && form->TypedInList(id, wchar_t(wParam)))
        return 0;  // typed text (keys, or what the input method composed) searches the rows
    else if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, ListProc, id);
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace solne::win32
