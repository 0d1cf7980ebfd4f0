// The editor on Windows: one window on the board named by "setup.ini"
// (store/SettingsPlace: beside the program, or under %APPDATA% when that
// folder cannot be written).
#include <exception>
#include <string>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/ProgramEdge.h"
#include "store/SettingsPlace.h"
#include "win32/Win32Editor.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The folder chooser is a COM object of the shell.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    int status = 0;
    try {
        solne::win32::Editor editor(instance, solne::FindSettingsPlace(solne::RealFileSystem()));
        switch (editor.main().Start()) {
        case solne::StartResult::Cancelled: status = 0; break;
        case solne::StartResult::LoadFailed: status = 1; break;
        case solne::StartResult::Ready: editor.form().Run(); break;
        }
    } catch (...) {
        // The window could not be made (out of window handles or memory):
        // say so rather than vanish.
        std::wstring text = L"ウィンドウを作成できませんでした。\r\n" +
                            solne::win32::WideText(solne::DescribeException(std::current_exception()));
        MessageBoxW(nullptr, text.c_str(), L"ソルネ", MB_OK | MB_ICONWARNING | MB_TASKMODAL);
        status = 1;
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return status;
}
