#include "win32/Win32Dialogs.h"

#include <shobjidl.h>

#include "win32/Win32Controls.h"
#include "win32/Win32LongBox.h"

namespace solne::win32 {

namespace {

// Releases a COM object at the end of its scope.
template <typename T>
struct ComRef {
    T* p = nullptr;
    ~ComRef() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
};

}  // namespace

Win32Dialogs::Win32Dialogs(std::function<HWND()> owner, MessageBoxFn messageBox)
    : owner_(std::move(owner)), messageBox_(std::move(messageBox)) {
    if (!messageBox_) {
        messageBox_ = [](HWND hwnd, const std::wstring& text, const std::wstring& caption, UINT type) {
            if (TooTallForMessageBox(text)) return LongMessageBox(hwnd, text, caption, type);
            return MessageBoxW(hwnd, text.c_str(), caption.c_str(), type);
        };
    }
}

HWND Win32Dialogs::Owner() const {
    HWND hwnd = owner_ ? owner_() : nullptr;
    return hwnd && IsWindowVisible(hwnd) ? hwnd : nullptr;
}

UINT Win32Dialogs::TypeOf(MsgIcon icon, MsgButtons buttons, MsgAnswer defaultButton, bool owned) {
    UINT type = icon == MsgIcon::Information ? MB_ICONINFORMATION : MB_ICONWARNING;
    switch (buttons) {
    case MsgButtons::Ok: type |= MB_OK; break;
    case MsgButtons::YesNo:
        type |= MB_YESNO;
        if (defaultButton == MsgAnswer::No) type |= MB_DEFBUTTON2;
        break;
    case MsgButtons::YesNoCancel:
        type |= MB_YESNOCANCEL;
        if (defaultButton == MsgAnswer::No) type |= MB_DEFBUTTON2;
        if (defaultButton == MsgAnswer::Cancel) type |= MB_DEFBUTTON3;
        break;
    }
    return type | (owned ? MB_APPLMODAL : MB_TASKMODAL) | MB_SETFOREGROUND;
}

MsgAnswer Win32Dialogs::AnswerOf(int result, MsgButtons buttons) {
    if (result == IDYES) return MsgAnswer::Yes;
    if (result == IDNO) return MsgAnswer::No;
    switch (buttons) {
    case MsgButtons::Ok: return MsgAnswer::Ok;
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::YesNoCancel: return MsgAnswer::Cancel;
    }
    return MsgAnswer::Cancel;
}

MsgAnswer Win32Dialogs::MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons, MsgAnswer defaultButton,
                               const std::string& caption) {
    HWND owner = Owner();
    int result = messageBox_(owner, WideText(text), WideText(caption),
                             TypeOf(icon, buttons, defaultButton, owner != nullptr));
    return AnswerOf(result, buttons);
}

std::optional<std::string> Win32Dialogs::ChooseFolder() {
    ComRef<IFileOpenDialog> dialog;
    HRESULT hr = CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                  reinterpret_cast<void**>(&dialog.p));
    if (SUCCEEDED(hr)) {
        FILEOPENDIALOGOPTIONS options = 0;
        dialog->GetOptions(&options);
        hr = dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST |
                                FOS_NOCHANGEDIR);
    }
    if (SUCCEEDED(hr)) hr = dialog->Show(Owner());
    if (hr == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return std::nullopt;

    ComRef<IShellItem> item;
    if (SUCCEEDED(hr)) hr = dialog->GetResult(&item.p);
    PWSTR path = nullptr;
    if (SUCCEEDED(hr)) hr = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
    if (SUCCEEDED(hr) && path) {
        std::string folder = Utf8Text(path);
        CoTaskMemFree(path);
        return folder;
    }
    // The chooser could not be shown or gave no folder: say so instead of
    // ending as if the user had cancelled without a word.
    wchar_t reason[256] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(hr), 0, reason,
                   256, nullptr);
    MsgBox("フォルダを選択できませんでした。\r\n" + Utf8Text(reason), MsgIcon::Warning, MsgButtons::Ok,
           MsgAnswer::Ok, kAppTitle);
    return std::nullopt;
}

}  // namespace solne::win32
