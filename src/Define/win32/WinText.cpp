#include "Define/win32/WinText.h"

#include <cerrno>
#include <climits>

#include <windows.h>

namespace solne::win32 {

bool Decode(unsigned codePage, std::string_view bytes, std::wstring& out) {
    out.clear();
    if (bytes.empty()) return true;
    if (bytes.size() > size_t(INT_MAX)) return false;
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(size_t(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), out.data(), n) == n;
}

bool Widen(std::string_view utf8, std::wstring& out) { return Decode(CP_UTF8, utf8, out); }

bool Narrow(std::wstring_view wide, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    if (wide.size() > size_t(INT_MAX) / 4) return false;
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0) return false;
    out.resize(size_t(n));
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), int(wide.size()), out.data(), n,
                               nullptr, nullptr) == n;
}

std::wstring WidePath(std::string_view utf8) {
    std::wstring w;
    if (!Widen(utf8, w)) return {};
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

int ErrnoOf(unsigned long e) {
    switch (e) {
    case ERROR_SUCCESS: return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY: return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
    case ERROR_BAD_PATHNAME:
    case ERROR_NO_UNICODE_TRANSLATION: return EINVAL;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    default: return EIO;
    }
}

}  // namespace solne::win32
