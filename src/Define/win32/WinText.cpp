#include "Define/win32/WinText.h"

#include <iterator>

#include <cerrno>
#include <climits>

#include <windows.h>

#include "Define/win32/WinErrors.h"

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

// The numbers of the table are those of <windows.h>.
static_assert(code::kFileNotFound == ERROR_FILE_NOT_FOUND && code::kPathNotFound == ERROR_PATH_NOT_FOUND &&
              code::kTooManyOpenFiles == ERROR_TOO_MANY_OPEN_FILES && code::kAccessDenied == ERROR_ACCESS_DENIED &&
              code::kNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY && code::kOutOfMemory == ERROR_OUTOFMEMORY &&
              code::kInvalidDrive == ERROR_INVALID_DRIVE && code::kCurrentDirectory == ERROR_CURRENT_DIRECTORY &&
              code::kNotSameDevice == ERROR_NOT_SAME_DEVICE && code::kWriteProtect == ERROR_WRITE_PROTECT &&
              code::kSharingViolation == ERROR_SHARING_VIOLATION && code::kLockViolation == ERROR_LOCK_VIOLATION &&
              code::kHandleDiskFull == ERROR_HANDLE_DISK_FULL && code::kBadNetPath == ERROR_BAD_NETPATH &&
              code::kNetworkAccessDenied == ERROR_NETWORK_ACCESS_DENIED && code::kBadNetName == ERROR_BAD_NET_NAME &&
              code::kFileExists == ERROR_FILE_EXISTS && code::kInvalidParameter == ERROR_INVALID_PARAMETER &&
              code::kBufferOverflow == ERROR_BUFFER_OVERFLOW && code::kDiskFull == ERROR_DISK_FULL &&
              code::kInvalidName == ERROR_INVALID_NAME && code::kDirNotEmpty == ERROR_DIR_NOT_EMPTY &&
              code::kBadPathname == ERROR_BAD_PATHNAME && code::kBusy == ERROR_BUSY &&
              code::kAlreadyExists == ERROR_ALREADY_EXISTS && code::kFilenameExcedRange == ERROR_FILENAME_EXCED_RANGE &&
              code::kDirectory == ERROR_DIRECTORY && code::kPrivilegeNotHeld == ERROR_PRIVILEGE_NOT_HELD &&
              code::kUserMappedFile == ERROR_USER_MAPPED_FILE &&
              code::kNoUnicodeTranslation == ERROR_NO_UNICODE_TRANSLATION);

int ErrnoOf(unsigned long e) { return PortableErrorKept(e); }

}  // namespace solne::win32

namespace solne {

std::string SystemErrorText(long native) {
    if (native <= 0) return {};
    constexpr DWORD kFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD e = DWORD(native);
    wchar_t buf[1024];
    // Japanese where the system has it, else the system's own language.
    DWORD n = FormatMessageW(kFlags, nullptr, e, MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), buf,
                             DWORD(std::size(buf)), nullptr);
    if (n == 0) n = FormatMessageW(kFlags, nullptr, e, 0, buf, DWORD(std::size(buf)), nullptr);
    std::wstring_view text(buf, n);
    // One line, without the closing period.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.' || text.back() == L'\u3002'))
        text.remove_suffix(1);
    std::wstring line;
    for (wchar_t c : text) line += (c == L'\r' || c == L'\n') ? L' ' : c;
    std::string out;
    if (line.empty() || !win32::Narrow(line, out)) return {};
    return out;
}

}  // namespace solne
