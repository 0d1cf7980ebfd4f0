// The program's and the account's folders on Windows: %APPDATA%, and a
// program folder that counts as writable when a file can be created in it.
#include "Define/Places.h"

#include <cerrno>

#include <windows.h>
#include <shlobj.h>

#include "Define/FileSystem.h"
#include "Define/win32/WinText.h"

namespace solne {

namespace {

int LastErrno() { return win32::ErrnoOf(GetLastError()); }

class Win32Places final : public Places {
public:
    std::string ProgramFolder() override { return solne::ProgramFolder(); }

    bool IsOwnWritableFolder(const std::string& folder) override {
        std::wstring wide = win32::WidePath(folder);
        if (wide.empty()) return false;
        if (wide.back() != L'\\') wide += L'\\';
        // A file of our own that Windows removes when it is closed: nothing
        // of the folder is touched, and nothing is left behind.
        for (unsigned attempt = 0; attempt < 16; ++attempt) {
            const std::wstring probe = wide + L"~solne-write-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                       std::to_wstring(attempt) + L".tmp";
            HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                   nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                CloseHandle(h);
                return true;
            }
            if (GetLastError() != ERROR_FILE_EXISTS) return false;
        }
        return false;
    }

    std::string AccountSettingsFolder() override {
        PWSTR path = nullptr;
        std::string folder;
        if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)) && path &&
            !win32::Narrow(path, folder))
            folder.clear();
        CoTaskMemFree(path);
        return folder;
    }

    std::vector<std::string> SystemSettingsFolders() override { return {}; }

    bool CopiesPresetToAccount() override { return true; }

    int MakeFolder(const std::string& folder) override {
        const std::wstring wide = win32::WidePath(folder);
        if (wide.empty()) return EINVAL;
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ENOTDIR;
        const DWORD missing = GetLastError();
        if (missing != ERROR_FILE_NOT_FOUND && missing != ERROR_PATH_NOT_FOUND) return win32::ErrnoOf(missing);
        const std::string parent = FolderOf(folder);
        if (parent != folder) {
            if (int err = MakeFolder(parent)) return err;
        }
        if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return LastErrno();
        return 0;
    }

    int CopyNewFile(const std::string& from, const std::string& to) override {
        const std::wstring wideFrom = win32::WidePath(from), wideTo = win32::WidePath(to);
        if (wideFrom.empty() || wideTo.empty()) return EINVAL;
        // bFailIfExists: a file already there is never overwritten.
        if (!CopyFileW(wideFrom.c_str(), wideTo.c_str(), TRUE)) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST : win32::ErrnoOf(error);
        }
        const DWORD attributes = GetFileAttributesW(wideTo.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(wideTo.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
        return 0;
    }
};

}  // namespace

Places& PlatformPlaces() {
    static Win32Places places;
    return places;
}

}  // namespace solne
