#include "win32ui/TestFiles.h"

#include <windows.h>

#include "Define/FileSystem.h"
#include "win32/Win32Controls.h"

namespace solne::test {

namespace {

void Remove(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(path);
            else DeleteFileW(path.c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

TempDir::TempDir() {
    wchar_t base[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH + 1, base);
    static unsigned counter = 0;
    for (;;) {
        std::wstring path = std::wstring(base) + L"solne-ui-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++counter);
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            path_ = win32::Utf8Text(path);
            return;
        }
    }
}

TempDir::~TempDir() { Remove(win32::WideText(path_)); }

std::string TempDir::operator/(const std::string& name) const { return JoinPath(path_, name); }

void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(win32::WideText(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ReadBytes(const std::string& path) {
    HANDLE h = CreateFileW(win32::WideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes, chunk(4096, '\0');
    DWORD got = 0;
    while (ReadFile(h, chunk.data(), DWORD(chunk.size()), &got, nullptr) && got > 0) bytes.append(chunk, 0, got);
    CloseHandle(h);
    return bytes;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(win32::WideText(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace solne::test
