// The file services on Windows, through the wide-character (W) functions:
// every path is converted from our UTF-8 strings first, so the program works
// the same whatever the system's ANSI code page is. Results are errno values
// like the POSIX layer's, so the store and its reports are the same.
//
// What the POSIX layer's notions become here:
// - The existence test and the folder listing: a file that is neither a
//   folder nor hidden nor a system file (GetFileAttributes, FindFirstFile /
//   FindNextFile); read-only and archive files count.
// - "read-only" and "normal" are the read-only attribute; the other
//   attributes (hidden, archive) are kept.
// - Renaming over a file and deleting a file are allowed for a read-only
//   file, as on POSIX in a writable folder: the attribute is checked here and
//   lifted first (Windows refuses both, Wine allows the rename), and put back
//   when the operation fails.
// - Owners do not exist: owner and group are 0, changing them does nothing.
// - Hard links are counted (GetFileInformationByHandle), so a file with
//   several names is rewritten in place and keeps them; a file's identity is
//   its file index.
// - A symbolic link or junction is followed; RealPath gives the final path.
#include "Define/FileSystem.h"
#include "Define/win32/WinText.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>

#include <windows.h>

namespace solne {

namespace {

using win32::ErrnoOf;
using win32::WidePath;

// The errno value of the last error for `path`. Windows says "path not
// found" where a folder on the way is a file; POSIX says ENOTDIR, and so do
// the reports here.
int PathErrno(const std::wstring& path) {
    DWORD e = GetLastError();
    if (e == ERROR_PATH_NOT_FOUND || e == ERROR_DIRECTORY || e == ERROR_INVALID_NAME) {
        for (size_t cut = path.find_last_of(L'\\'); cut != std::wstring::npos && cut > 0;
             cut = path.find_last_of(L'\\', cut - 1)) {
            DWORD a = GetFileAttributesW(path.substr(0, cut).c_str());
            if (a == INVALID_FILE_ATTRIBUTES) continue;
            if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return ENOTDIR;
            break;
        }
    }
    return ErrnoOf(e);
}

int LastErrno() { return ErrnoOf(GetLastError()); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;

// Whether attributes describe an ordinary file: the existence test.
bool Ordinary(DWORD attrs) {
    return (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                     FILE_ATTRIBUTE_DEVICE)) == 0;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// Sets the read-only attribute on or off, keeping the others.
int SetReadOnlyAttribute(const std::wstring& path, DWORD attrs, bool readOnly) {
    DWORD want = (attrs & kSettable & ~DWORD(FILE_ATTRIBUTE_READONLY)) | (readOnly ? FILE_ATTRIBUTE_READONLY : 0);
    if (want == (attrs & kSettable)) return 0;
    if (want == 0) want = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(path.c_str(), want) ? 0 : LastErrno();
}

// Runs `op` on a path whose read-only attribute is lifted for it, and puts
// the attribute back when `op` fails.
template <class Op>
int WithoutReadOnly(const std::wstring& path, Op op) {
    DWORD attrs = GetFileAttributesW(path.c_str());
    bool readOnly = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) &&
                    !(attrs & FILE_ATTRIBUTE_DIRECTORY);
    if (readOnly) {
        if (int err = SetReadOnlyAttribute(path, attrs, false); err != 0) return err;
    }
    if (op()) return 0;
    int err = LastErrno();
    if (readOnly) SetReadOnlyAttribute(path, attrs & ~DWORD(FILE_ATTRIBUTE_READONLY), true);
    return err;
}

int64_t UnixNs(const FILETIME& ft) {
    int64_t t = (int64_t(ft.dwHighDateTime) << 32) | int64_t(ft.dwLowDateTime);
    return (t - 116444736000000000LL) * 100;
}

class Win32FileSystem final : public FileSystem {
public:
    int Stat(const std::string& path, FileStat& out) override {
        out = FileStat{};
        std::wstring w = WidePath(path);
        DWORD own = GetFileAttributesW(w.c_str());
        if (own == INVALID_FILE_ATTRIBUTES) return PathErrno(w);
        HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return LastErrno();
        BY_HANDLE_FILE_INFORMATION info{};
        BOOL ok = GetFileInformationByHandle(h, &info);
        int err = ok ? 0 : LastErrno();
        CloseHandle(h);
        if (!ok) return err;
        const DWORD a = info.dwFileAttributes;
        out.exists = true;
        out.isDir = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
        out.isRegular = Ordinary(a);
        out.isLink = (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        out.mode = (a & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
        if (out.isDir) out.mode |= 0111;
        out.nlink = info.nNumberOfLinks;
        // The file index identifies a file on its volume; the store compares
        // identities only inside one folder. Its low 48 bits (the file record
        // number on NTFS, the inode under Wine) go into dev and ino.
        const uint64_t index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        out.dev = dev_t(uint32_t(index));
        out.ino = ino_t(uint16_t(index >> 32));
        out.size = (int64_t(info.nFileSizeHigh) << 32) | int64_t(info.nFileSizeLow);
        out.mtimeNs = UnixNs(info.ftLastWriteTime);
        return 0;
    }

    int ReadFile(const std::string& path, std::string& out) override {
        out.clear();
        std::wstring w = WidePath(path);
        HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            int err = PathErrno(w);
            DWORD a = GetFileAttributesW(w.c_str());
            if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) err = EISDIR;
            return err;
        }
        int err = 0;
        char buf[65536];
        for (;;) {
            DWORD n = 0;
            if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
                err = LastErrno();
                break;
            }
            if (n == 0) break;
            out.append(buf, n);
        }
        CloseHandle(h);
        if (err != 0) out.clear();
        return err;
    }

    int OpenWrite(const std::string& path, bool exclusive, mode_t mode, int& fd) override {
        fd = -1;
        std::wstring w = WidePath(path);
        DWORD attrs = (exclusive && !(mode & 0222)) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
        HANDLE h = CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               exclusive ? CREATE_NEW : OPEN_ALWAYS, attrs, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            int err = PathErrno(w);
            DWORD a = GetFileAttributesW(w.c_str());
            if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) err = EISDIR;
            return err;
        }
        // Emptying an existing file in place keeps its attributes and links
        // (O_TRUNC); CREATE_ALWAYS would not.
        if (!exclusive && !SetEndOfFile(h)) {
            int err = LastErrno();
            CloseHandle(h);
            return err;
        }
        fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        if (fd < 0) {
            CloseHandle(h);
            return EMFILE;
        }
        return 0;
    }

    int Write(int fd, std::string_view data) override {
        HANDLE h = HandleOf(fd);
        if (h == INVALID_HANDLE_VALUE) return EBADF;
        while (!data.empty()) {
            DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : DWORD(data.size());
            DWORD n = 0;
            if (!WriteFile(h, data.data(), chunk, &n, nullptr)) return LastErrno();
            if (n == 0) return EIO;
            data.remove_prefix(n);
        }
        return 0;
    }

    int Sync(int fd) override {
        HANDLE h = HandleOf(fd);
        if (h == INVALID_HANDLE_VALUE) return EBADF;
        return FlushFileBuffers(h) ? 0 : LastErrno();
    }

    int Close(int fd) override { return _close(fd) == 0 ? 0 : errno; }

    int Rename(const std::string& from, const std::string& to) override {
        std::wstring wf = WidePath(from), wt = WidePath(to);
        return WithoutReadOnly(wt, [&] {
            return MoveFileExW(wf.c_str(), wt.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        });
    }

    int Chmod(const std::string& path, mode_t mode) override {
        std::wstring w = WidePath(path);
        DWORD attrs = GetFileAttributesW(w.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES) return LastErrno();
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) return 0;
        return SetReadOnlyAttribute(w, attrs, (mode & 0222) == 0);
    }

    int Chown(const std::string& path, uid_t, gid_t) override {
        std::wstring w = WidePath(path);
        return GetFileAttributesW(w.c_str()) == INVALID_FILE_ATTRIBUTES ? LastErrno() : 0;
    }

    int Unlink(const std::string& path) override {
        std::wstring w = WidePath(path);
        DWORD attrs = GetFileAttributesW(w.c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) return EISDIR;
        return WithoutReadOnly(w, [&] { return DeleteFileW(w.c_str()) != 0; });
    }

    int ListDir(const std::string& path, std::vector<DirEntry>& out) override {
        out.clear();
        std::wstring pattern = WidePath(path);
        if (pattern.empty()) return ENOENT;
        if (pattern.back() != L'\\') pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW data;
        HANDLE h = FindFirstFileW(pattern.c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND) return 0;  // an empty drive root
            DWORD a = GetFileAttributesW(pattern.substr(0, pattern.size() - 2).c_str());
            if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) return ENOTDIR;
            return PathErrno(pattern);
        }
        int err = 0;
        do {
            std::wstring_view name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            DirEntry entry;
            // A name that is no Unicode text (a lone surrogate) cannot be
            // named by this program: it is left alone.
            if (!win32::Narrow(name, entry.name)) continue;
            entry.isRegular = Ordinary(data.dwFileAttributes);
            out.push_back(std::move(entry));
        } while (FindNextFileW(h, &data));
        DWORD e = GetLastError();
        if (e != ERROR_NO_MORE_FILES) err = ErrnoOf(e);
        FindClose(h);
        if (err != 0) out.clear();
        return err;
    }

    int RealPath(const std::string& path, std::string& out) override {
        std::wstring w = WidePath(path);
        HANDLE h = CreateFileW(w.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return LastErrno();
        std::wstring buf(MAX_PATH, L'\0');
        DWORD n = GetFinalPathNameByHandleW(h, buf.data(), DWORD(buf.size()), FILE_NAME_NORMALIZED);
        if (n >= buf.size()) {
            buf.resize(n + 1);
            n = GetFinalPathNameByHandleW(h, buf.data(), DWORD(buf.size()), FILE_NAME_NORMALIZED);
        }
        int err = n == 0 ? LastErrno() : 0;
        CloseHandle(h);
        if (err != 0) return err;
        buf.resize(n);
        std::wstring_view v = buf;
        if (v.starts_with(L"\\\\?\\UNC\\")) {
            buf = L"\\\\" + std::wstring(v.substr(8));
        } else if (v.starts_with(L"\\\\?\\")) {
            buf = std::wstring(v.substr(4));
        }
        for (auto& c : buf)
            if (c == L'\\') c = L'/';
        return win32::Narrow(buf, out) ? 0 : EINVAL;
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static Win32FileSystem fs;
    return fs;
}

std::string ProgramFolder() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return ".";
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    size_t slash = buf.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return ".";
    std::string folder;
    if (!win32::Narrow(std::wstring_view(buf).substr(0, slash), folder)) return ".";
    return folder;
}

}  // namespace solne
