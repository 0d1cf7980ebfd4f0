// Message boxes and the folder chooser of Windows: MessageBoxW owned by the
// editor's window, and the common item dialog picking a folder.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <windows.h>

#include "frmMain/Dialogs.h"

namespace solne::win32 {

// What MessageBoxW is asked: the owner, the text, the caption and the type
// flags (buttons, icon, default button, modality).
using MessageBoxFn = std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption,
                                       UINT type)>;

class Win32Dialogs final : public Dialogs {
public:
    // `owner` gives the window that owns the boxes (nullptr: none, as while
    // the window is not shown yet). `messageBox` is ::MessageBoxW (or, for a
    // text taller than the screen, LongMessageBox) unless a test records the
    // boxes.
    explicit Win32Dialogs(std::function<HWND()> owner, MessageBoxFn messageBox = {});

    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons, MsgAnswer defaultButton,
                     const std::string& caption) override;
    std::optional<std::string> ChooseFolder() override;

    // The type flags of a box: buttons, icon, default button, MB_APPLMODAL
    // (MB_TASKMODAL when there is no owner, so no other window of the
    // program takes input meanwhile), MB_SETFOREGROUND.
    static UINT TypeOf(MsgIcon icon, MsgButtons buttons, MsgAnswer defaultButton, bool owned);
    // The answer for a MessageBoxW result: IDCANCEL (Esc, the close box)
    // counts as Cancel where there is one, No in a Yes/No box, OK in an OK box.
    static MsgAnswer AnswerOf(int result, MsgButtons buttons);

private:
    HWND Owner() const;

    std::function<HWND()> owner_;
    MessageBoxFn messageBox_;
};

}  // namespace solne::win32
