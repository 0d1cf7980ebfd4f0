// frmMain on the Windows controls: the window, its controls and boxes, and
// every control event wired to its handler.
#pragma once

#include <memory>
#include <string>

#include <windows.h>

#include "frmMain/frmMain.h"
#include "win32/Win32Dialogs.h"
#include "win32/Win32Form.h"

namespace solne::win32 {

class Editor {
public:
    // The message boxes are MessageBoxW owned by the window unless
    // `messageBox` stands in for it (tests).
    Editor(HINSTANCE instance, SettingsPlace settings, FileSystem& fs = RealFileSystem(),
           MessageBoxFn messageBox = {});

    Form& form() { return form_; }
    frmMain& main() { return *main_; }

private:
    Form form_;
    Win32Dialogs dialogs_;
    std::unique_ptr<frmMain> main_;
};

// Sends each control event of `form` to its handler in `main`.
void Connect(Form& form, frmMain& main);

}  // namespace solne::win32
