// The editor on Windows: one window on the board named by "setup.ini"
// (beside the program, or under %APPDATA% when that folder is read-only).
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "win32/Win32Editor.h"
#include "win32/Win32Settings.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The folder chooser is a COM object of the shell.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    int status = 0;
    {
        solne::win32::Editor editor(instance, solne::win32::SettingsFilePath());
        switch (editor.main().Start()) {
        case solne::StartResult::Cancelled: status = 0; break;
        case solne::StartResult::LoadFailed: status = 1; break;
        case solne::StartResult::Ready: editor.form().Run(); break;
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return status;
}
