// "setup.ini" through the Windows profile functions, GetPrivateProfileStringW
// and WritePrivateProfileStringW, with the file named by its wide path.
//
// The profile functions rewrite the file in place. So that a crash or a full
// disk never leaves half a settings file, the value is written into a copy
// beside it, which is flushed and then put in its place (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH); the file keeps its
// attributes. Windows keeps a file without a byte-order mark in the ANSI code
// page: a value without a form there would be written as "?", so it is
// refused (EILSEQ) and nothing changes.
#include "Define/Profile.h"

#include <atomic>
#include <cerrno>

#include <windows.h>

#include "Define/Cp932.h"
#include "Define/FileSystem.h"
#include "Define/win32/WinText.h"

namespace solne {

namespace {

using win32::Narrow;
using win32::Widen;
using win32::WidePath;

// Whether every character has a form in the ANSI code page.
bool HasAnsiForm(const std::wstring& text) {
    if (text.empty()) return true;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), nullptr, 0, nullptr,
                                &usedDefault);
    return n > 0 && !usedDefault;
}

// The path of a new temporary file beside `file`.
std::wstring TempBeside(const std::wstring& file) {
    static std::atomic<unsigned> counter{0};
    size_t slash = file.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? L"." : file.substr(0, slash);
    return folder + L"\\.setup.solne-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L".tmp";
}

int LastErrno() { return win32::ErrnoOf(GetLastError()); }

class Win32Profile final : public ProfileFunctions {
public:
    std::string Read(const std::string& file, const std::string& section, const std::string& key) override {
        std::wstring wfile = WidePath(file), wsection, wkey;
        if (wfile.empty() || !Widen(section, wsection) || !Widen(key, wkey)) return {};
        std::wstring buf(1024, L'\0');
        for (;;) {
            DWORD n = GetPrivateProfileStringW(wsection.c_str(), wkey.c_str(), L"", buf.data(), DWORD(buf.size()),
                                               wfile.c_str());
            if (n + 1 < buf.size() || buf.size() >= (1u << 20)) {
                buf.resize(n);
                break;
            }
            buf.resize(buf.size() * 4);  // cut at the buffer's end: read again
        }
        std::string out;
        return Narrow(buf, out) ? out : std::string();
    }

    int Write(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value) override {
        if (value.find_first_of("\r\n") != std::string::npos || section.find_first_of("\r\n]") != std::string::npos ||
            key.find_first_of("\r\n=") != std::string::npos)
            return EINVAL;
        std::wstring wfile = WidePath(file), wsection, wkey, wvalue;
        if (wfile.empty() || !Widen(section, wsection) || !Widen(key, wkey) || !Widen(value, wvalue))
            return EINVAL;
        if (!HasAnsiForm(wsection) || !HasAnsiForm(wkey) || !HasAnsiForm(wvalue)) return EILSEQ;

        DWORD attrs = GetFileAttributesW(wfile.c_str());
        const bool exists = attrs != INVALID_FILE_ATTRIBUTES;
        if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) return LastErrno();
        if (exists && (attrs & FILE_ATTRIBUTE_DIRECTORY)) return EISDIR;

        std::wstring temp = TempBeside(wfile);
        auto fail = [&](int err) {
            SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(temp.c_str());
            return err;
        };
        if (exists) {
            if (!CopyFileW(wfile.c_str(), temp.c_str(), TRUE)) return fail(LastErrno());
            if (!SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL)) return fail(LastErrno());
        }
        if (!WritePrivateProfileStringW(wsection.c_str(), wkey.c_str(), wvalue.c_str(), temp.c_str()))
            return fail(LastErrno());
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, temp.c_str());  // flushes Windows' cache

        HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return fail(LastErrno());
        BOOL flushed = FlushFileBuffers(h);
        int err = flushed ? 0 : LastErrno();
        CloseHandle(h);
        if (!flushed) return fail(err);
        if (exists && (attrs & FILE_ATTRIBUTE_READONLY)) {
            DWORD keep = attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE);
            if (!SetFileAttributesW(temp.c_str(), keep)) return fail(LastErrno());
        }
        // The copy sits in the file's folder: renamed there by name. The file
        // system's rename lifts a read-only attribute of the old file.
        const size_t cut = temp.find_last_of(L'\\');
        const size_t fileCut = file.find_last_of(kPathSeparators);
        std::string folder, tempName;
        if (!Narrow(std::wstring_view(temp).substr(0, cut), folder) ||
            !Narrow(std::wstring_view(temp).substr(cut + 1), tempName))
            return fail(EINVAL);
        const std::string name = fileCut == std::string::npos ? file : file.substr(fileCut + 1);
        FileSystem& fs = RealFileSystem();
        ScopedHandle dir(fs);
        if (int e = fs.OpenFolder(folder, dir.get()); e != 0) return fail(e);
        if (int e = fs.RenameAt(*dir, tempName, name); e != 0) return fail(e);
        return 0;
    }
};

}  // namespace

ProfileFunctions* PlatformProfileFunctions() {
    static Win32Profile profile;
    return &profile;
}

}  // namespace solne
