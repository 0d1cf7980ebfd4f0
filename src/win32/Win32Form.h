// The editor's window with the Windows controls: a top-level window whose
// client area and controls follow the layout table (Layout.h) in twips,
// scaled by the monitor's DPI, with the system's message font where it fits
// (else MS UI Gothic, Win32Font.h), the table's
// tab order and the keys of a dialog (Tab, Shift+Tab, Enter on a focused
// button, Esc) through IsDialogMessage. Its events go to FormHandlers by the
// controls' names, so frmMain's handlers (or a test's) can be plugged in.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "frmMain/Controls.h"
#include "frmMain/Layout.h"
#include "frmMain/TypeAhead.h"
#include "win32/Win32Controls.h"

namespace solne::win32 {

struct FormHandlers {
    // A push button was pressed (mouse, Space, Enter on the focused button).
    std::function<void(std::string_view button)> click;
    // The user changed the selection of a list (mouse or keyboard), or
    // clicked a row without changing it: once per action, after the control
    // has finished changing the selection. Changes made through ListView
    // never raise it.
    std::function<void(std::string_view list)> itemClick;
    // Every request to close the window (the close box, Alt+F4, the system
    // menu, Window::Close) asks this first; `cancel` keeps it open.
    std::function<void(bool& cancel)> unload;
};

// Tells Windows why the window holds up the end of the session while it
// asks about unsaved changes: user32's ShutdownBlockReasonCreate and
// ShutdownBlockReasonDestroy where Windows has them (Vista and later).
struct SessionBlock {
    std::function<void(HWND, const wchar_t* reason)> create;
    std::function<void(HWND)> destroy;
    static SessionBlock System();
};

class Form final : public Window {
public:
    // Creates the window and its controls, hidden. Needs the common controls
    // initialised (InitCommonControlsEx). The controls take the system's
    // message font, or `messageFont` in its place (tests), where it fits the
    // layout (Win32Font.h).
    explicit Form(HINSTANCE instance, std::optional<LOGFONTW> messageFont = std::nullopt);
    ~Form() override;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    void SetHandlers(FormHandlers handlers) { handlers_ = std::move(handlers); }
    void SetSessionBlock(SessionBlock block) { sessionBlock_ = std::move(block); }
    // The controls frmMain reads and fills, with `dialogs` for its boxes.
    FormControls Controls(Dialogs& dialogs);

    HWND Handle() const { return hwnd_; }
    // The control of that name in the layout table; nullptr when unknown.
    HWND ControlHandle(std::string_view name) const;
    // The layout entry of a control window; nullptr for other windows.
    const layout::Control* ControlOf(HWND control) const;
    int Dpi() const { return dpi_; }
    // False once the window has closed.
    bool Open() const { return hwnd_ != nullptr; }

    // Window: shows the window with the focus on the first control of the
    // tab order; Close asks `unload` first, as the close box does.
    void Show() override;
    void Close() override;
    // Long work: the window is disabled and shows the wait cursor; its
    // messages are handled meanwhile, its input dropped, and a request to
    // close (or to end the session) refused. The progress window is owned
    // by the window while that is shown.
    void BeginWork() override;
    void KeepAnswering() override;
    void ShowProgress(const std::string& text, size_t done, size_t total) override;
    void EndWork() override;
    // The progress window while it is shown; nullptr otherwise.
    HWND ProgressHandle() const { return progress_; }

    // The message loop, until the window has closed.
    void Run();
    // One message as the loop handles it: the dialog keys first.
    void Dispatch(MSG& msg);
    // Handles every message waiting in this thread's queue.
    void DispatchPending();

    // The caption a control shows: a wrapping button's caption has a line
    // break for each run of blanks, so it breaks where the layout wants
    // rather than wherever the text is too wide.
    static std::wstring ShownCaption(const layout::Control& control);

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR ref);
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR ref);
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(NMHDR& header);
    void CreateControls(HINSTANCE instance);
    void ApplyDpi(int dpi);
    void ListChangedByUser(size_t list);
    void RequestClose();
    void MakeProgressWindow();
    BOOL QueryEndSession();
    void EndSession();
    // A character typed into a list (WM_CHAR, WM_IME_CHAR); true when taken.
    bool TypedInList(size_t list, wchar_t c);
    LRESULT FindItem(const ReportList& view, const NMLVFINDITEMW& find) const;

    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    int systemDpi_ = 96;
    LOGFONTW messageFont_;
    HFONT font_ = nullptr;
    HWND focusBeforeDeactivation_ = nullptr;
    FormHandlers handlers_;
    std::vector<HWND> controls_;  // by index in layout::kControls
    std::vector<std::unique_ptr<EditBox>> boxes_;
    std::array<std::unique_ptr<ReportList>, 2> lists_;  // user list, group list
    std::array<const char*, 2> listNames_{};
    std::array<bool, 2> clickPending_{};
    std::array<bool, 2> changedSincePress_{};
    // Typing in a list: a pause of a second starts a new search.
    static constexpr int64_t kTypeAheadPauseMs = 1000;
    std::array<TypeAhead, 2> typeAhead_{TypeAhead(kTypeAheadPauseMs), TypeAhead(kTypeAheadPauseMs)};
    std::array<wchar_t, 2> pendingHighSurrogate_{};
    bool unloading_ = false;  // the unsaved-changes prompt is open
    bool working_ = false;     // a load or a save runs (BeginWork to EndWork)
    HWND focusBeforeWork_ = nullptr;
    HWND progress_ = nullptr;  // the progress window, its text and its bar
    HWND progressText_ = nullptr;
    HWND progressBar_ = nullptr;
    SessionBlock sessionBlock_ = SessionBlock::System();
};

}  // namespace solne::win32
