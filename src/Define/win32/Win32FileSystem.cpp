// The file services on Windows, through the wide-character (W) functions:
// every path is converted from our UTF-8 strings first, so the program works
// the same whatever the system's ANSI code page is. Results are errno values
// like the POSIX layer's, so the store and its reports are the same.
//
// What the POSIX layer's notions become here:
// - A handle is an open Windows handle together with the full path it was
//   opened by. A folder handle is opened with backup semantics; the names
//   inside it are taken relative to its final path (links on the way
//   followed once, when the folder was opened), and opened with
//   FILE_FLAG_OPEN_REPARSE_POINT so a link or junction in the folder is the
//   entry itself, never its target.
// - The existence test and the folder listing: a file that is neither a
//   folder nor hidden nor a system file (GetFileAttributes, FindFirstFile /
//   FindNextFile); read-only and archive files count. The calls on handles
//   and names inside a folder (StatAt, StatOf, OpenAt) call any file that is
//   no folder, device or link a regular file, hidden ones too, so a hidden
//   board file is still read and saved.
// - "read-only" and "normal" are the read-only attribute; the other
//   attributes (hidden, archive) are kept.
// - Renaming over a file and deleting a file are allowed for a read-only
//   file, as on POSIX in a writable folder: the attribute is checked here and
//   lifted first (Windows refuses both, Wine allows the rename), and put back
//   when the operation fails.
// - Owners do not exist: owner and group are 0, changing them does nothing,
//   and the program never runs as the administrator in the POSIX sense.
// - Hard links are counted (GetFileInformationByHandle), so a file with
//   several names is rewritten in place and keeps them; a file's identity is
//   its file index.
// - Stat, ReadFile and RealPath follow a symbolic link or junction.
// - Another program may hold a file open in a way that keeps this one from
//   reading, replacing or deleting it: virus scanners and search indexers
//   open every new file for a moment, the board's own program opens its
//   files. Opening, replacing and deleting are tried again with a short
//   back-off for at most kHeldBudgetMs per file in all (the operations on
//   one file during a save share the time), then fail with
//   kSharingViolation.
#include "Define/FileSystem.h"
#include "Define/win32/WinText.h"
#include "Define/win32/WinErrors.h"

#include <cerrno>
#include <mutex>
#include <unordered_map>

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
            if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
                win32::NoteNativeError(e, ENOTDIR);
                return ENOTDIR;
            }
            break;
        }
    }
    return ErrnoOf(e);
}

int LastErrno() { return ErrnoOf(GetLastError()); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// ------------------------------------------------ files held by others

// How long, in all, the operations on one file wait for another program to
// let go of it, and the longest single pause.
constexpr ULONGLONG kHeldBudgetMs = 2000;
constexpr DWORD kLongestPauseMs = 250;
// The operations on one file that follow each other closer than this share
// one budget; a file left alone this long gets a new one (a later save).
constexpr ULONGLONG kBudgetQuietMs = 5000;

// The time each file has been waited for: by its full path, from the first
// wait. Only files that were held are in it, and old entries go.
class HeldBudgets {
public:
    // How long to pause before the next try on `path` (after `tries` tries);
    // 0 when its time is used up.
    DWORD NextPause(const std::wstring& path, int tries) {
        std::lock_guard<std::mutex> lock(mutex_);
        const ULONGLONG now = GetTickCount64();
        if (spent_.size() > 64) {
            for (auto it = spent_.begin(); it != spent_.end();)
                it = now - it->second.last > kBudgetQuietMs ? spent_.erase(it) : std::next(it);
        }
        auto [it, added] = spent_.try_emplace(path, Budget{now, now});
        Budget& b = it->second;
        if (!added && now - b.last > kBudgetQuietMs) b.first = now;
        b.last = now;
        const ULONGLONG used = now - b.first;
        if (used >= kHeldBudgetMs) return 0;
        // 15, 30, 60, 120, 240 ms, then 250 ms: quick for a scanner's moment.
        DWORD pause = tries >= 5 ? kLongestPauseMs : DWORD(15) << tries;
        if (pause > kLongestPauseMs) pause = kLongestPauseMs;
        if (pause > kHeldBudgetMs - used) pause = DWORD(kHeldBudgetMs - used);
        return pause;
    }
    // The pause is over: it counts as time spent on the file.
    void Waited(const std::wstring& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto it = spent_.find(path); it != spent_.end()) it->second.last = GetTickCount64();
    }

private:
    struct Budget {
        ULONGLONG first;  // the first wait of this run of operations
        ULONGLONG last;   // the end of the latest wait
    };
    std::mutex mutex_;
    std::unordered_map<std::wstring, Budget> spent_;
};

HeldBudgets& Budgets() {
    static HeldBudgets budgets;
    return budgets;
}

bool SharingError(DWORD e) { return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION; }

// Whether this account may have `access` to the file at all, whoever else
// holds it: an open with that access and every share mode is refused with
// "access denied" only when the account lacks the right (or the file is
// being deleted).
bool AccessRefused(const std::wstring& path, DWORD access) {
    HANDLE h = CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(h);
    return false;
}

// What an operation on files met. `held`: another program holds one of
// the files; `error` the Windows error code (0: success).
struct Outcome {
    DWORD error = 0;
    bool held = false;
};

// Runs `attempt` (true on success, else GetLastError tells why) until it
// succeeds, fails for another reason, or `path` has used its budget.
// "Access denied" counts as held when this account has the right
// `probeAccess` to `path` and to `also` (when given) after all: Windows
// refuses to replace or delete a file that is open, whatever its share
// mode, with "access denied". With `probeAccess` 0 only sharing errors
// count.
template <class Attempt>
Outcome WhileHeld(const std::wstring& path, DWORD probeAccess, const std::wstring* also, Attempt attempt) {
    for (int tries = 0;; ++tries) {
        if (attempt()) return {};
        const DWORD e = GetLastError();
        bool held = SharingError(e);
        if (!held && e == ERROR_ACCESS_DENIED && probeAccess != 0)
            held = !AccessRefused(path, probeAccess) && !(also && AccessRefused(*also, probeAccess));
        if (!held) return {e, false};
        const DWORD pause = Budgets().NextPause(path, tries);
        if (pause == 0) return {e, true};
        Sleep(pause);
        Budgets().Waited(path);
    }
}

// The errno value of an outcome: a file still held is kSharingViolation.
int ErrnoOfOutcome(const Outcome& o) {
    if (!o.held) return ErrnoOf(o.error);
    win32::NoteNativeError(o.error != 0 ? o.error : ERROR_SHARING_VIOLATION, kSharingViolation);
    return kSharingViolation;
}
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;

// Whether attributes describe an ordinary file: the existence test.
bool Ordinary(DWORD attrs) {
    return (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                     FILE_ATTRIBUTE_DEVICE)) == 0;
}

// What a Handle holds: the Windows handle and the full path it was opened by
// (for a folder: the base of the names inside it).
struct Open {
    HANDLE h = INVALID_HANDLE_VALUE;
    std::wstring path;
    bool isDir = false;
    bool writable = false;
};

Handle Wrap(Open* o) { return Handle(reinterpret_cast<intptr_t>(o)); }
Open* Unwrap(Handle h) { return h.valid() ? reinterpret_cast<Open*>(h.value()) : nullptr; }

// The full path of `name` inside an open folder. A name is one entry of the
// folder, never a path ("..": the folder's parent, where `parent` allows).
int PathAt(Handle dir, const std::string& name, std::wstring& out, bool parent = false) {
    const Open* d = Unwrap(dir);
    if (!d || !d->isDir) return EBADF;
    if (name.empty()) return ENOENT;
    if (name.find_first_of("\\/") != std::string::npos || name == "." || (name == ".." && !parent)) return EINVAL;
    std::wstring w = WidePath(name);
    if (w.empty()) return EINVAL;
    out = d->path;
    if (out.empty() || out.back() != L'\\') out += L'\\';
    out += w;
    return 0;
}

// Sets the read-only attribute on or off, keeping the others.
int SetReadOnlyAttribute(const std::wstring& path, DWORD attrs, bool readOnly) {
    DWORD want = (attrs & kSettable & ~DWORD(FILE_ATTRIBUTE_READONLY)) | (readOnly ? FILE_ATTRIBUTE_READONLY : 0);
    if (want == (attrs & kSettable)) return 0;
    if (want == 0) want = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(path.c_str(), want) ? 0 : LastErrno();
}

// Runs `op` (which gives an Outcome) on a path whose read-only attribute is
// lifted for it, and puts the attribute back when `op` fails.
template <class Op>
int WithoutReadOnly(const std::wstring& path, Op op) {
    DWORD attrs = GetFileAttributesW(path.c_str());
    bool readOnly = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) &&
                    !(attrs & FILE_ATTRIBUTE_DIRECTORY);
    if (readOnly) {
        if (int err = SetReadOnlyAttribute(path, attrs, false); err != 0) return err;
    }
    const Outcome o = op();
    if (o.error == 0) return 0;
    if (readOnly) SetReadOnlyAttribute(path, attrs & ~DWORD(FILE_ATTRIBUTE_READONLY), true);
    return ErrnoOfOutcome(o);
}

int64_t UnixNs(const FILETIME& ft) {
    int64_t t = (int64_t(ft.dwHighDateTime) << 32) | int64_t(ft.dwLowDateTime);
    return (t - 116444736000000000LL) * 100;
}

// Fills `out` from an open handle. `regular` decides what counts as a
// regular file (see the top of this file).
int FillFrom(HANDLE h, FileStat& out, bool existenceTest) {
    out = FileStat{};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return LastErrno();
    const DWORD a = info.dwFileAttributes;
    out.exists = true;
    out.isDir = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    out.isLink = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool disk = GetFileType(h) == FILE_TYPE_DISK;
    out.isRegular = existenceTest ? Ordinary(a) && disk
                                  : disk && !out.isLink && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
    out.mode = (a & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    if (out.isDir) out.mode |= 0111;
    out.nlink = info.nNumberOfLinks;
    // The file index identifies a file on its volume; the store compares
    // identities only inside one folder. Its low 48 bits (the file record
    // number on NTFS, the inode under Wine) go into dev and ino, split as
    // the journals written so far name their files: the low 32 bits as the
    // device, the next 16 as the number.
    const uint64_t index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    out.dev = uint32_t(index);
    out.ino = uint16_t(index >> 32);
    out.size = (int64_t(info.nFileSizeHigh) << 32) | int64_t(info.nFileSizeLow);
    out.mtimeNs = UnixNs(info.ftLastWriteTime);
    return 0;
}

// Appends up to `max` bytes; stops early only at the end of the file.
int ReadInto(HANDLE h, size_t max, std::string& out) {
    char buf[65536];
    while (max > 0) {
        DWORD n = 0;
        if (!::ReadFile(h, buf, DWORD(max < sizeof buf ? max : sizeof buf), &n, nullptr)) {
            // The write end of a pipe closed: its end.
            if (GetLastError() == ERROR_BROKEN_PIPE) break;
            return LastErrno();
        }
        if (n == 0) break;
        out.append(buf, n);
        max -= n;
    }
    return 0;
}

// The kind check of an opened file: folders are EISDIR, links, devices and
// pipes kNotRegularFile (a link opened itself: ELOOP, as O_NOFOLLOW says).
int CheckRegular(HANDLE h, bool linkIsLoop) {
    FileStat st;
    if (int err = FillFrom(h, st, false); err != 0) return err;
    if (st.isDir) return EISDIR;
    if (st.isLink && linkIsLoop) return ELOOP;
    return st.isRegular ? 0 : kNotRegularFile;
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
        int err = FillFrom(h, out, true);
        CloseHandle(h);
        if (err != 0) return err;
        out.isLink = (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        return 0;
    }

    int ReadFile(const std::string& path, std::string& out, size_t limit, FileStat* st) override {
        out.clear();
        std::wstring w = WidePath(path);
        // Every share mode is asked for: "access denied" is this account's
        // right, never another program's hold.
        HANDLE h = INVALID_HANDLE_VALUE;
        const Outcome o = WhileHeld(w, 0, nullptr, [&] {
            h = CreateFileW(w.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            return h != INVALID_HANDLE_VALUE;
        });
        if (o.held) return kSharingViolation;
        if (h == INVALID_HANDLE_VALUE) {
            SetLastError(o.error);
            int err = PathErrno(w);
            DWORD a = GetFileAttributesW(w.c_str());
            if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) err = EISDIR;
            return err;
        }
        // Opened through any link: the file reached must be a regular one (a
        // device name such as "NUL" or "CON" is not).
        int err = CheckRegular(h, false);
        if (err == 0 && st) err = FillFrom(h, *st, false);
        if (err == 0) err = ReadInto(h, limit, out);
        if (err == 0 && out.size() == limit) {
            char more;
            DWORD n = 0;
            if (::ReadFile(h, &more, 1, &n, nullptr) && n > 0) err = EFBIG;
        }
        CloseHandle(h);
        if (err != 0 && err != EFBIG) out.clear();
        return err;
    }

    int ListDir(const std::string& path, std::vector<DirEntry>& out) override {
        out.clear();
        return ListWide(WidePath(path), out);
    }

    int ReadFolder(Handle dir, std::vector<DirEntry>& out) override {
        out.clear();
        const Open* d = Unwrap(dir);
        if (!d || !d->isDir) return EBADF;
        return ListWide(d->path, out);
    }

    static int ListWide(std::wstring pattern, std::vector<DirEntry>& out) {
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
            // A link to a file carries the attributes of the link itself,
            // which have no folder bit: it counts like the file it leads to.
            entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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
        if (h == INVALID_HANDLE_VALUE) return PathErrno(w);
        std::wstring buf;
        int err = FinalPath(h, buf);
        CloseHandle(h);
        if (err != 0) return err;
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

    // ------------------------------------------------- folders and names

    int OpenFolder(const std::string& path, Handle& dir) override {
        dir = Handle();
        std::wstring w = WidePath(path);
        if (w.empty()) return ENOENT;
        HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY, kShareAll, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return PathErrno(w);
        BY_HANDLE_FILE_INFORMATION info{};
        int err = GetFileInformationByHandle(h, &info) ? 0 : LastErrno();
        if (err == 0 && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) err = ENOTDIR;
        // The names inside are taken from where the folder really is, so a
        // link on the way is followed only this once.
        std::wstring base;
        if (err == 0 && FinalPath(h, base) != 0) base = AbsolutePath(w);
        if (err != 0) {
            CloseHandle(h);
            return err;
        }
        dir = Wrap(new Open{h, std::move(base), true, false});
        return 0;
    }

    // A link or junction on the way is refused (ELOOP), never followed.
    int OpenFolderAt(Handle dir, const std::string& name, Handle& out, FileStat* st) override {
        out = Handle();
        std::wstring w;
        if (int err = PathAt(dir, name, w, true); err != 0) return err;
        HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY, kShareAll, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) return PathErrno(w);
        FileStat seen;
        int err = FillFrom(h, seen, false);
        if (err == 0 && seen.isLink) err = ELOOP;
        if (err == 0 && !seen.isDir) err = ENOTDIR;
        std::wstring base;
        if (err == 0 && FinalPath(h, base) != 0) base = AbsolutePath(w);
        if (err != 0) {
            CloseHandle(h);
            return err;
        }
        if (st) *st = seen;
        out = Wrap(new Open{h, std::move(base), true, false});
        return 0;
    }

    // Windows keeps no link text that this program could walk: the text is
    // the final path the link leads to (the system resolves it).
    int ReadLinkAt(Handle dir, const std::string& name, std::string& target, FileStat& link) override {
        target.clear();
        link = FileStat{};
        std::wstring w;
        if (int err = PathAt(dir, name, w); err != 0) return err;
        HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) return PathErrno(w);
        int err = FillFrom(h, link, false);
        CloseHandle(h);
        if (err == 0 && !link.isLink) err = EINVAL;
        if (err != 0) return err;
        h = CreateFileW(w.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return PathErrno(w);
        std::wstring buf;
        err = FinalPath(h, buf);
        CloseHandle(h);
        if (err != 0) return err;
        std::wstring_view v = buf;
        if (v.starts_with(L"\\\\?\\UNC\\")) buf = L"\\\\" + std::wstring(v.substr(8));
        else if (v.starts_with(L"\\\\?\\")) buf = std::wstring(v.substr(4));
        return win32::Narrow(buf, target) ? 0 : EINVAL;
    }

    int StatAt(Handle dir, const std::string& name, FileStat& out) override {
        out = FileStat{};
        std::wstring w;
        if (int err = PathAt(dir, name, w); err != 0) return err;
        HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) return PathErrno(w);
        int err = FillFrom(h, out, false);
        CloseHandle(h);
        return err;
    }

    int CreateAt(Handle dir, const std::string& name, FileMode mode, Handle& file) override {
        file = Handle();
        std::wstring w;
        if (int err = PathAt(dir, name, w); err != 0) return err;
        DWORD attrs = (mode & 0222) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
        // CREATE_NEW fails on any existing name, a link or junction included.
        HANDLE h = CreateFileW(w.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, CREATE_NEW, attrs | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            int err = PathErrno(w);
            // A folder of that name: Windows says "access denied".
            DWORD a = GetFileAttributesW(w.c_str());
            if (a != INVALID_FILE_ATTRIBUTES) err = EEXIST;
            return err;
        }
        file = Wrap(new Open{h, std::move(w), false, true});
        return 0;
    }

    int OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& file, FileStat* st) override {
        file = Handle();
        std::wstring w;
        if (int err = PathAt(dir, name, w); err != 0) return err;
        // Backup semantics: a folder opens too and is then refused as
        // EISDIR, as on POSIX, instead of "access denied".
        HANDLE h = INVALID_HANDLE_VALUE;
        const Outcome o = WhileHeld(w, 0, nullptr, [&] {
            h = CreateFileW(w.c_str(), forWriting ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                            forWriting ? FILE_SHARE_READ | FILE_SHARE_DELETE : kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            return h != INVALID_HANDLE_VALUE;
        });
        if (o.held) return kSharingViolation;
        if (h == INVALID_HANDLE_VALUE) {
            SetLastError(o.error);
            return PathErrno(w);
        }
        if (int err = CheckRegular(h, true); err != 0) {
            CloseHandle(h);
            return err;
        }
        if (st) {
            *st = FileStat{};
            if (int err = FillFrom(h, *st, false); err != 0) {
                CloseHandle(h);
                return err;
            }
        }
        file = Wrap(new Open{h, std::move(w), false, forWriting});
        return 0;
    }

    int RenameAt(Handle dir, const std::string& from, const std::string& to) override {
        std::wstring wf, wt;
        if (int err = PathAt(dir, from, wf); err != 0) return err;
        if (int err = PathAt(dir, to, wt); err != 0) return err;
        DWORD a = GetFileAttributesW(wt.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return EISDIR;
        return WithoutReadOnly(wt, [&] {
            return WhileHeld(wt, DELETE, &wf, [&] {
                return MoveFileExW(wf.c_str(), wt.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            });
        });
    }

    int UnlinkAt(Handle dir, const std::string& name) override {
        std::wstring w;
        if (int err = PathAt(dir, name, w); err != 0) return err;
        DWORD attrs = GetFileAttributesW(w.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES) return PathErrno(w);
        // A link to a folder is removed as the link it is.
        if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (attrs & FILE_ATTRIBUTE_DIRECTORY)
                return RemoveDirectoryW(w.c_str()) ? 0 : LastErrno();
        } else if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
            return EISDIR;
        }
        return WithoutReadOnly(w, [&] {
            return WhileHeld(w, DELETE, nullptr, [&] { return DeleteFileW(w.c_str()) != 0; });
        });
    }

    // ------------------------------------------------------ open files

    int StatOf(Handle file, FileStat& out) override {
        out = FileStat{};
        const Open* o = Unwrap(file);
        if (!o) return EBADF;
        return FillFrom(o->h, out, false);
    }

    int Read(Handle file, size_t max, std::string& out) override {
        const Open* o = Unwrap(file);
        if (!o || o->isDir) return o ? EISDIR : EBADF;
        return ReadInto(o->h, max, out);
    }

    int Write(Handle file, std::string_view data) override {
        const Open* o = Unwrap(file);
        if (!o || !o->writable) return EBADF;
        while (!data.empty()) {
            DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : DWORD(data.size());
            DWORD n = 0;
            if (!WriteFile(o->h, data.data(), chunk, &n, nullptr)) return LastErrno();
            if (n == 0) return EIO;
            data.remove_prefix(n);
        }
        return 0;
    }

    int Seek(Handle file, int64_t offset) override {
        const Open* o = Unwrap(file);
        if (!o) return EBADF;
        if (offset < 0) return EINVAL;
        LARGE_INTEGER to;
        to.QuadPart = offset;
        return SetFilePointerEx(o->h, to, nullptr, FILE_BEGIN) ? 0 : LastErrno();
    }

    // Cuts or extends the file; the position stays where it was (ftruncate).
    int Truncate(Handle file, int64_t size) override {
        const Open* o = Unwrap(file);
        if (!o || !o->writable) return o ? EINVAL : EBADF;
        if (size < 0) return EINVAL;
        LARGE_INTEGER zero{}, here{}, to;
        if (!SetFilePointerEx(o->h, zero, &here, FILE_CURRENT)) return LastErrno();
        to.QuadPart = size;
        int err = 0;
        if (!SetFilePointerEx(o->h, to, nullptr, FILE_BEGIN) || !SetEndOfFile(o->h)) err = LastErrno();
        SetFilePointerEx(o->h, here, nullptr, FILE_BEGIN);
        return err;
    }

    // The allocation size: room on the disk without a change of size or
    // content. Only ever grown: an allocation below the size would cut the
    // file.
    int Reserve(Handle file, int64_t size) override {
        const Open* o = Unwrap(file);
        if (!o || !o->writable) return o ? EINVAL : EBADF;
        if (size <= 0) return 0;
        LARGE_INTEGER now{};
        if (!GetFileSizeEx(o->h, &now)) return LastErrno();
        if (size <= now.QuadPart) return 0;
        FILE_ALLOCATION_INFO info{};
        info.AllocationSize.QuadPart = size;
        if (SetFileInformationByHandle(o->h, FileAllocationInfo, &info, sizeof info)) return 0;
        DWORD e = GetLastError();
        if (e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL) return ENOSPC;
        return EOPNOTSUPP;
    }

    // A folder has nothing to flush: a rename is on the disk once
    // MoveFileEx with MOVEFILE_WRITE_THROUGH returned. A file opened only for
    // reading has nothing either (FlushFileBuffers would refuse it).
    int Sync(Handle h) override {
        const Open* o = Unwrap(h);
        if (!o) return EBADF;
        if (o->isDir || !o->writable) return 0;
        return FlushFileBuffers(o->h) ? 0 : LastErrno();
    }

    int Close(Handle h) override {
        Open* o = Unwrap(h);
        if (!o) return EBADF;
        int err = CloseHandle(o->h) ? 0 : LastErrno();
        delete o;
        return err;
    }

    // The read-only attribute, set through the handle; the other attributes
    // stay.
    int SetMode(Handle file, FileMode mode) override {
        const Open* o = Unwrap(file);
        if (!o) return EBADF;
        if (o->isDir) return 0;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(o->h, &info)) return LastErrno();
        const DWORD attrs = info.dwFileAttributes;
        const bool readOnly = (mode & 0222) == 0;
        DWORD want = (attrs & kSettable & ~DWORD(FILE_ATTRIBUTE_READONLY)) | (readOnly ? FILE_ATTRIBUTE_READONLY : 0);
        if (want == (attrs & kSettable)) return 0;
        FILE_BASIC_INFO basic{};  // times 0: left as they are
        basic.FileAttributes = want == 0 ? FILE_ATTRIBUTE_NORMAL : want;
        if (SetFileInformationByHandle(o->h, FileBasicInfo, &basic, sizeof basic)) return 0;
        DWORD e = GetLastError();
        // A handle without the right to change attributes: by its path.
        if (e == ERROR_ACCESS_DENIED || e == ERROR_INVALID_PARAMETER || e == ERROR_CALL_NOT_IMPLEMENTED)
            return SetReadOnlyAttribute(o->path, attrs, readOnly);
        return ErrnoOf(e);
    }

    int SetOwner(Handle file, AccountId, GroupId) override { return Unwrap(file) ? 0 : EBADF; }

    long NativeError(int err) override { return long(win32::NativeErrorBehind(err)); }

private:
    // The final path of an open handle ("\\?\C:\..." or "\\?\UNC\...").
    static int FinalPath(HANDLE h, std::wstring& out) {
        std::wstring buf(MAX_PATH, L'\0');
        DWORD n = GetFinalPathNameByHandleW(h, buf.data(), DWORD(buf.size()), FILE_NAME_NORMALIZED);
        if (n >= buf.size()) {
            buf.resize(n + 1);
            n = GetFinalPathNameByHandleW(h, buf.data(), DWORD(buf.size()), FILE_NAME_NORMALIZED);
        }
        if (n == 0 || n >= buf.size()) return n == 0 ? LastErrno() : EIO;
        buf.resize(n);
        out = std::move(buf);
        return 0;
    }

    static std::wstring AbsolutePath(const std::wstring& w) {
        DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
        if (n == 0) return w;
        std::wstring buf(n, L'\0');
        n = GetFullPathNameW(w.c_str(), n, buf.data(), nullptr);
        if (n == 0 || n >= buf.size()) return w;
        buf.resize(n);
        return buf;
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static Win32FileSystem fs;
    return fs;
}

AccountId EffectiveUser() { return 0; }
bool RunningAsRoot() { return false; }
bool TrustedOwner(AccountId) { return true; }
bool OthersMayChange(const FileStat&) { return false; }
GroupId NewFileGroup(const FileStat&) { return 0; }
OwnerRights::OwnerRights(AccountId) {}
OwnerRights::~OwnerRights() {}
// No owners or groups in this sense (kFilesHaveOwners): every account is 0.
bool AccountInGroup(AccountId, GroupId) { return true; }
long CurrentProcessId() { return long(GetCurrentProcessId()); }

bool ProcessIsRunning(long pid) {
    if (pid <= 0 || static_cast<unsigned long>(pid) > 0xFFFFFFFFul) return false;
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    // A process of another account that this one may not look at still runs.
    if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    bool running = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    CloseHandle(h);
    return running;
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
