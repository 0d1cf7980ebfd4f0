// The file services the editor uses, behind an interface that tests replace
// to inject failures, and the program's own folder.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace solne {

// ---------------------------------------------------------------- files

// An account (a POSIX user id); 0 is the administrator (root). On Windows,
// where files have no owners here, every file and the program's own account
// are 0.
using AccountId = uint32_t;
// A group of accounts (a POSIX group id); 0 on Windows.
using GroupId = uint32_t;
// Permission bits (07777): set-user-id, set-group-id, sticky, then read,
// write and execute for the owner, the group and everyone else. On Windows
// only the write bits mean something (read-only or not).
using FileMode = uint32_t;
inline constexpr FileMode kModeSticky = 01000;
inline constexpr FileMode kModeOwnerWrite = 0200;
inline constexpr FileMode kModeGroupWrite = 020;
inline constexpr FileMode kModeOthersWrite = 02;
inline constexpr FileMode kModeAnyWrite = 0222;

// Which file a name leads to: the device (volume) and the file's number on
// it. Two looks that give the same identity saw the same file.
struct FileId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

struct FileStat {
    bool exists = false;     // something is there (after following links)
    bool isRegular = false;  // a regular file, or a link to one
    bool isDir = false;
    bool isLink = false;     // the path itself is a symbolic link
    AccountId linkUid = 0;   // owner of the link itself (isLink only)
    FileMode mode = 0;       // permission bits (07777) of the target
    AccountId uid = 0;       // owner
    GroupId gid = 0;         // group
    uint64_t nlink = 0;      // number of hard links (names) of the file
    uint64_t dev = 0;        // device, as FileId::device
    uint64_t ino = 0;        // number on the device, as FileId::inode
    int64_t size = 0;
    int64_t mtimeNs = 0;
    // When the file's content or attributes last changed (POSIX ctime; no
    // program can set it); 0 where the platform does not tell.
    int64_t ctimeNs = 0;
    FileId id() const { return FileId{dev, ino}; }
};

struct DirEntry {
    std::string name;        // name inside the folder, as the file system holds it
    bool isRegular = false;  // a regular file or a link to one
    bool isLink = false;     // the entry itself is a symbolic link
};

// An open file or folder: a descriptor on POSIX, a handle on Windows. The
// file system that opened it is the only one that understands it.
class Handle {
public:
    Handle() = default;
    explicit Handle(intptr_t value) : value_(value) {}
    intptr_t value() const { return value_; }
    bool valid() const { return value_ != -1; }
    bool operator==(const Handle&) const = default;

private:
    intptr_t value_ = -1;
};

// The largest data file or settings file the programs read: far beyond any
// real board, small enough to hold in memory.
constexpr size_t kMaxFileBytes = size_t(64) << 20;

// Returned (as an errno value) for a symbolic link that is not followed:
// the link, or a folder on its way, belongs to an account other than root
// and the editor's, or a folder on its way may be changed by other accounts.
constexpr int kForeignLink = 100001;
// Returned for a fifo, device or socket where a regular file is expected.
constexpr int kNotRegularFile = 100002;
// Returned when a file was replaced by someone else between two steps.
constexpr int kReplacedMeanwhile = 100003;
// Returned when a file's content changed while it was being replaced.
constexpr int kChangedMeanwhile = 100004;
// Returned for a board folder or per-user folder that is no longer the one
// identified when the board was loaded.
constexpr int kFolderReplaced = 100005;
// Returned for a per-user file that turns out to be a data file of the
// board ("user.txt" or "group.txt") under another name.
constexpr int kDataFileAlias = 100006;
// Returned when another program holds the file open in a way that keeps this
// one from reading, replacing or deleting it (Windows file sharing: a virus
// scanner, a search indexer, the board's own program), after the file
// services have waited a moment for it.
constexpr int kSharingViolation = 100007;
// Returned when a network share refuses access to the file.
constexpr int kNetworkAccessDenied = 100008;
// Returned when another program has mapped the file into its memory, so it
// cannot be cut or replaced.
constexpr int kUserMappedFile = 100009;
// The platform's own error codes that have no portable name: kNativeErrorBase
// plus the code (a Windows error code); reports give the system's own text
// of that code (SystemErrorText).
constexpr int kNativeErrorBase = 1 << 24;

// Every operation returns 0 on success or an error value: an errno value
// (ENOENT, EACCES, ...; the same numbers on every platform that has them) or
// one of the values above. The platform's own code behind the last failure
// stays available (NativeError). Paths are in the file system's own encoding
// (UTF-8 here). Everything that changes a file
// works on a handle the caller opened, and names inside a folder are taken
// relative to a folder handle, so a path swapped for a link between two
// steps cannot redirect a change. A name is never followed when it is a
// symbolic link, except by the calls that say so.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // ---------------------------------------------------------- by path
    // Follows links; `isLink` and `linkUid` describe the path itself.
    virtual int Stat(const std::string& path, FileStat& out) = 0;
    // Reads a regular file (following links) without blocking on a fifo or
    // device: anything else is kNotRegularFile (EISDIR for a folder). At most `limit`
    // bytes: a longer file gives EFBIG with its first `limit` bytes in `out`.
    // `st`, when given, receives what the opened file looked like.
    virtual int ReadFile(const std::string& path, std::string& out, size_t limit = kMaxFileBytes,
                         FileStat* st = nullptr) = 0;
    // Every entry of the folder but "." and ".."; dot names included.
    virtual int ListDir(const std::string& path, std::vector<DirEntry>& out) = 0;
    // The final target of a path that may be a symbolic link (realpath).
    virtual int RealPath(const std::string& path, std::string& out) = 0;

    // ------------------------------------------------- folders and names
    // Opens a folder (following a link in the path) to work inside it.
    virtual int OpenFolder(const std::string& path, Handle& dir) = 0;
    // The entry `name` of the folder itself, never followed.
    virtual int StatAt(Handle dir, const std::string& name, FileStat& out) = 0;
    // Creates a new file for writing (O_CREAT | O_EXCL | O_NOFOLLOW).
    virtual int CreateAt(Handle dir, const std::string& name, FileMode mode, Handle& file) = 0;
    // Opens an existing regular file for reading, or for reading and
    // writing; never follows a link, never blocks, refuses anything but a
    // regular file (kNotRegularFile). `st`, when given, receives what the
    // opened file looks like.
    virtual int OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& file,
                       FileStat* st = nullptr) = 0;
    // Renames within one folder, replacing what `to` names.
    virtual int RenameAt(Handle dir, const std::string& from, const std::string& to) = 0;
    // Removes the name (a link itself, never its target).
    virtual int UnlinkAt(Handle dir, const std::string& name) = 0;
    // Opens the folder `name` of a folder, never through a link (ELOOP or
    // ENOTDIR when `name` is one); ".." is the folder's parent. `st`, when
    // given, receives what the opened folder looks like.
    virtual int OpenFolderAt(Handle dir, const std::string& name, Handle& out, FileStat* st = nullptr) = 0;
    // Every entry of an open folder but "." and "..", as ListDir.
    virtual int ReadFolder(Handle dir, std::vector<DirEntry>& out) = 0;
    // The text of the symbolic link `name` of a folder and what the link
    // itself is (its owner), both from one look at the same link. EINVAL
    // when `name` is no link.
    virtual int ReadLinkAt(Handle dir, const std::string& name, std::string& target, FileStat& link) = 0;
    // Whether the file system of the open folder keeps the node numbers
    // (FileStat::ino) of its folders and files for as long as they exist.
    // A FUSE client may number a node anew once the kernel has forgotten
    // it (an SMB share mounted with smbnetfs does); its device stays.
    virtual bool KeepsNodeNumbers(Handle folder) {
        (void)folder;
        return true;
    }
    // The time now (ns) on the clock this file system stamps the change
    // time (FileStat::ctimeNs) of the files of the open folder with, at
    // every change, when that clock is this machine's own (a local disk);
    // nullopt where it is not known to be (a network share, FUSE), or where
    // files have no change time.
    virtual std::optional<int64_t> ChangeClock(Handle folder) {
        (void)folder;
        return std::nullopt;
    }
    // The permission bits a file created in the open folder loses from the
    // mode asked for (the umask), where that alone decides its mode and its
    // owner and group follow the POSIX rules (a local disk, no default ACL
    // on the folder); nullopt where that is not known.
    virtual std::optional<FileMode> NewFileModeMask(Handle folder) {
        (void)folder;
        return std::nullopt;
    }

    // ------------------------------------------------------ open files
    virtual int StatOf(Handle file, FileStat& out) = 0;  // fstat
    // Appends to `out` up to `max` bytes from the current position; fewer at the end.
    virtual int Read(Handle file, size_t max, std::string& out) = 0;
    virtual int Write(Handle file, std::string_view data) = 0;  // writes all of it
    virtual int Seek(Handle file, int64_t offset) = 0;         // from the start
    virtual int Truncate(Handle file, int64_t size) = 0;
    // Reserves room for `size` bytes without changing the content or the
    // size; EOPNOTSUPP where the file system cannot.
    virtual int Reserve(Handle file, int64_t size) = 0;
    virtual int Sync(Handle fileOrFolder) = 0;  // fsync
    virtual int Close(Handle fileOrFolder) = 0;

    // --------------------------------- owner and mode (POSIX; no-ops elsewhere)
    virtual int SetMode(Handle file, FileMode mode) = 0;                // fchmod
    virtual int SetOwner(Handle file, AccountId uid, GroupId gid) = 0;  // fchown

    // ------------------------------------------------------------ errors
    // The platform's own code behind `err`, when `err` is what the last
    // failed call of this thread returned: on Windows the GetLastError value
    // it came from (ERROR_ACCESS_DENIED behind EACCES), on POSIX the errno
    // value itself. 0 when not known (the failure was not the platform's, or
    // another failure came since).
    virtual long NativeError(int err) { (void)err; return 0; }
};

// Closes a handle when it goes out of scope (a close error is lost: callers
// that must see it call Release and close themselves).
class ScopedHandle {
public:
    ScopedHandle(FileSystem& fs) : fs_(fs) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    Handle& get() { return h_; }
    Handle operator*() const { return h_; }
    void reset() {
        if (h_.valid()) fs_.Close(h_);
        h_ = Handle();
    }
    Handle Release() {
        Handle h = h_;
        h_ = Handle();
        return h;
    }

private:
    FileSystem& fs_;
    Handle h_;
};

// The platform's own file system: the POSIX calls, or on Windows the W
// functions (src/Define/win32).
FileSystem& RealFileSystem();

// The system's own words for one of its error codes (strerror; on Windows
// FormatMessage, in Japanese where the system has it), one line without a
// closing period; "" when the system has none. Reports say what the store's
// own values mean themselves (store/Failure.h).
std::string SystemErrorText(long native);

// Existence test: a regular file or a link to one; folders, sockets,
// devices and fifos do not count.
bool FileExists(FileSystem& fs, const std::string& path);

// Joins a folder and a name with the platform's separator ("\\" on Windows).
std::string JoinPath(const std::string& folder, const std::string& name);

// A path as the platform shows it: on Windows every "/" becomes "\\", so a
// message names "Z:\\board\\user.txt"; elsewhere the path as it is.
std::string NativePath(std::string path);

// The characters that separate folders in a path ("/"; on Windows "\\" too).
#ifdef _WIN32
inline constexpr const char* kPathSeparators = "\\/";
#else
inline constexpr const char* kPathSeparators = "/";
#endif

// Whether a path names its place from the root ("/x"; on Windows also
// "C:\\x", "C:/x" and "\\\\server\\share"), not from a current folder.
bool IsAbsolutePath(const std::string& path);

// The folder part of a path ("." for a bare name, "/" for a name at the
// root) and its last name.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// The folder that holds the running executable, whatever the current folder
// (/proc/self/exe on Linux, GetModuleFileNameW on Windows).
std::string ProgramFolder();

// The account whose file-system rights this thread works with (the
// program's own, or a folder owner's while an OwnerRights lives), and
// whether that is the administrator (root), who may give files away.
AccountId EffectiveUser();
bool RunningAsRoot();

// Whether a link or folder of the account `uid` is the administrator's or
// the editor's own: root or the account the program runs as (everything is
// on Windows, where files have no owners here).
bool TrustedOwner(AccountId uid);
// Whether accounts other than its owner may change the entries of a folder:
// writable by its group or by everyone, unless sticky (in a sticky folder
// nobody replaces or removes another account's entries).
bool OthersMayChange(const FileStat& folder);

// While it lives, this thread's file operations run with the file-system
// rights of the account `owner` (its primary and supplementary groups
// included) when the program runs as root and `owner` is another account;
// otherwise it changes nothing. New files then belong to that account. The
// rights are per thread (setfsuid, setfsgid, and the raw setgroups system
// call, which on Linux changes the calling thread alone, where glibc's
// setgroups would change every thread of the process); the previous ones come
// back at the end. A thread started meanwhile would keep them (the kernel
// copies a thread's rights to the threads it starts): the store starts none.
// Scopes do not nest. On Windows it changes nothing.
class OwnerRights {
public:
    explicit OwnerRights(AccountId owner);
    ~OwnerRights();
    OwnerRights(const OwnerRights&) = delete;
    OwnerRights& operator=(const OwnerRights&) = delete;
    // 0, or why the rights could not be taken (an errno value); the thread
    // then keeps its own rights and the caller must not go on.
    int error() const { return error_; }
    // Whether this scope changed the thread's rights (and gives them back
    // at its end); a scope that changed nothing may be kept at no cost.
    bool taken() const { return active_; }

private:
    bool active_ = false;
    int error_ = 0;
    AccountId oldUid_ = 0;
    GroupId oldGid_ = 0;
    std::vector<GroupId> oldGroups_;
};
// Gives rights held from file to file back before a progress report, so
// the window answers the system with the program's own rights; a scope
// that changed nothing is kept (taking it again would ask the system once
// more), one that failed is tried again.
inline void GiveBackForReport(std::optional<OwnerRights>& rights) {
    if (rights && (rights->taken() || rights->error() != 0)) rights.reset();
}
// Whether an account belongs to a group (as its primary group or one of
// its others); for this process's own account, its groups as it runs.
bool AccountInGroup(AccountId uid, GroupId gid);
// The group a file this thread creates now in the folder `folder` gets:
// the folder's own where it hands its group on (set-group-id), else the
// thread's file-system group (OwnerRights). 0 on Windows.
GroupId NewFileGroup(const FileStat& folder);
// Whether files have owners and permission bits that say who may write
// them (POSIX); on Windows every file reports owner 0 and its mode only
// tells read-only.
#ifdef _WIN32
inline constexpr bool kFilesHaveOwners = false;
#else
inline constexpr bool kFilesHaveOwners = true;
#endif
// The running process's id, and whether a process of that id still runs.
long CurrentProcessId();
bool ProcessIsRunning(long pid);

// A file system that reads through to another one and refuses every
// operation that would change something (EROFS). The checker runs on it, so
// it cannot write to the board folder whatever the code it calls does.
class ReadOnlyFileSystem : public FileSystem {
public:
    explicit ReadOnlyFileSystem(FileSystem& inner) : inner_(inner) {}

    int Stat(const std::string& path, FileStat& out) override { return inner_.Stat(path, out); }
    int ReadFile(const std::string& path, std::string& out, size_t limit = kMaxFileBytes,
                 FileStat* st = nullptr) override {
        return inner_.ReadFile(path, out, limit, st);
    }
    int ListDir(const std::string& path, std::vector<DirEntry>& out) override { return inner_.ListDir(path, out); }
    int RealPath(const std::string& path, std::string& out) override { return inner_.RealPath(path, out); }
    int OpenFolder(const std::string& path, Handle& dir) override { return inner_.OpenFolder(path, dir); }
    int StatAt(Handle dir, const std::string& name, FileStat& out) override { return inner_.StatAt(dir, name, out); }
    int CreateAt(Handle, const std::string&, FileMode, Handle& file) override;
    int OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& file,
               FileStat* st = nullptr) override;
    int RenameAt(Handle, const std::string&, const std::string&) override { return EROFS; }
    int UnlinkAt(Handle, const std::string&) override { return EROFS; }
    int OpenFolderAt(Handle dir, const std::string& name, Handle& out, FileStat* st = nullptr) override {
        return inner_.OpenFolderAt(dir, name, out, st);
    }
    int ReadFolder(Handle dir, std::vector<DirEntry>& out) override { return inner_.ReadFolder(dir, out); }
    int ReadLinkAt(Handle dir, const std::string& name, std::string& target, FileStat& link) override {
        return inner_.ReadLinkAt(dir, name, target, link);
    }
    bool KeepsNodeNumbers(Handle folder) override { return inner_.KeepsNodeNumbers(folder); }
    std::optional<int64_t> ChangeClock(Handle folder) override { return inner_.ChangeClock(folder); }
    std::optional<FileMode> NewFileModeMask(Handle folder) override { return inner_.NewFileModeMask(folder); }
    int StatOf(Handle file, FileStat& out) override { return inner_.StatOf(file, out); }
    int Read(Handle file, size_t max, std::string& out) override { return inner_.Read(file, max, out); }
    int Write(Handle, std::string_view) override { return EROFS; }
    int Seek(Handle file, int64_t offset) override { return inner_.Seek(file, offset); }
    int Truncate(Handle, int64_t) override { return EROFS; }
    int Reserve(Handle, int64_t) override { return EROFS; }
    int Sync(Handle) override { return EROFS; }
    int Close(Handle h) override { return inner_.Close(h); }
    int SetMode(Handle, FileMode) override { return EROFS; }
    int SetOwner(Handle, AccountId, GroupId) override { return EROFS; }
    long NativeError(int err) override { return inner_.NativeError(err); }

private:
    FileSystem& inner_;
};

}  // namespace solne
