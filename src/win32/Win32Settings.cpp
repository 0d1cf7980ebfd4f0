#include "win32/Win32Settings.h"

#include <windows.h>
#include <shlobj.h>

#include "Define/FileSystem.h"
#include "Define/win32/WinText.h"
#include "win32/Win32Controls.h"

namespace solne::win32 {

namespace {

std::wstring Joined(const std::wstring& folder, const wchar_t* name) {
    if (!folder.empty() && folder.back() != L'\\') return folder + L'\\' + name;
    return folder + name;
}

std::string AppDataFolder() {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)) && path)
        folder = Utf8Text(path);
    CoTaskMemFree(path);
    return folder;
}

}  // namespace

bool FolderWritable(const std::string& folder) {
    std::wstring wide = WidePath(folder);
    if (wide.empty()) return false;
    // A file of our own that Windows removes when it is closed: nothing
    // of the folder is touched, and nothing is left behind.
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        std::wstring probe = Joined(wide, (L"~solne-write-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                           std::to_wstring(attempt) + L".tmp")
                                              .c_str());
        HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

std::string SettingsFilePath(const std::string& programFolder, const std::string& appDataFolder,
                             bool programFolderWritable) {
    const std::string beside = JoinPath(programFolder, "setup.ini");
    if (programFolderWritable || appDataFolder.empty()) return beside;

    const std::string folder = JoinPath(appDataFolder, "solne");
    const std::string file = JoinPath(folder, "setup.ini");
    std::wstring wideFolder = WidePath(folder), wideFile = WidePath(file);
    if (!CreateDirectoryW(wideFolder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return file;  // the settings code reports what then fails
    // bFailIfExists: the user's own settings are never overwritten.
    if (CopyFileW(WidePath(beside).c_str(), wideFile.c_str(), TRUE)) {
        DWORD attributes = GetFileAttributesW(wideFile.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(wideFile.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    }
    return file;
}

std::string SettingsFilePath() {
    const std::string program = ProgramFolder();
    return SettingsFilePath(program, AppDataFolder(), FolderWritable(program));
}

}  // namespace solne::win32
