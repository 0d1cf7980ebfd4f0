// Drives the Windows window the way the user does, with window messages:
// mouse presses on rows and buttons, keys through the window's own dialog
// handling, the close box. Every helper handles the messages it caused
// before it returns.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>
#include <commctrl.h>

#include "win32/Win32Form.h"

namespace solne::test {

// Modifier keys held during a click or key (MK_CONTROL, MK_SHIFT).
enum Held : unsigned { kNone = 0, kCtrl = MK_CONTROL, kShift = MK_SHIFT };

class FormDriver {
public:
    explicit FormDriver(win32::Form& form) : form_(form) {}

    HWND Control(std::string_view name) const { return form_.ControlHandle(name); }

    // A left click on row `row` (from 0) of a list.
    void ClickRow(std::string_view list, int row, unsigned held = kNone);
    // A left click in the list below its last row.
    void ClickBelowRows(std::string_view list);
    // A left click in the middle of a control.
    void Click(std::string_view control);
    // Types `text` (UTF-8) into a control as keyboard characters.
    void Type(std::string_view box, const std::string& text);
    // Text an input method composed, as it reaches a control (WM_IME_CHAR).
    void Compose(std::string_view control, const std::string& text);
    // A key pressed and released on the control that has the focus.
    void Key(UINT vk, unsigned held = kNone);
    // Alt+F4 on the focused control.
    void AltF4();
    // The close box (the system command it sends).
    void CloseBox();

    void Pump() { form_.DispatchPending(); }

private:
    void Hold(unsigned held);
    void Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    win32::Form& form_;
};

}  // namespace solne::test
