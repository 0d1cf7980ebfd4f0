// The POSIX implementation of the file services, and the program's own folder.
#include "Define/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <vector>

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/openat2.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace solne {

namespace {

void FillStat(const struct stat& st, FileStat& out) {
    out.exists = true;
    out.isRegular = S_ISREG(st.st_mode);
    out.isDir = S_ISDIR(st.st_mode);
    out.mode = st.st_mode & 07777;
    out.uid = st.st_uid;
    out.gid = st.st_gid;
    out.nlink = st.st_nlink;
    out.dev = st.st_dev;
    out.ino = st.st_ino;
    out.size = int64_t(st.st_size);
    out.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec);
    out.ctimeNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + int64_t(st.st_ctim.tv_nsec);
}

int Fd(Handle h) { return int(h.value()); }
int Result(int r) { return r == 0 ? 0 : errno; }

// Whether `name` is one entry of a folder: not empty, no "/", not "." or
// "..". Names inside a folder are never paths.
bool IsOneName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Opens `name` beneath the folder `dir` without following any link: the
// kernel's openat2 with RESOLVE_BENEATH (nothing outside the folder, no
// "..", no absolute path), RESOLVE_NO_SYMLINKS and RESOLVE_NO_MAGICLINKS.
// Where the kernel has no openat2 (before Linux 5.6), a one-name check and
// O_NOFOLLOW give the same guarantee. -1 with errno on failure.
int OpenBeneath(int dir, const std::string& name, int flags, mode_t mode = 0) {
    if (!IsOneName(name)) {
        errno = name.empty() ? ENOENT : EINVAL;
        return -1;
    }
    static bool noOpenat2 = false;
    if (!__atomic_load_n(&noOpenat2, __ATOMIC_RELAXED)) {
        struct open_how how {};
        how.flags = uint64_t(flags | O_NOFOLLOW);
        how.mode = (flags & O_CREAT) ? mode : 0;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        long fd;
        while ((fd = ::syscall(SYS_openat2, dir, name.c_str(), &how, sizeof how)) < 0 && errno == EINTR) {}
        if (fd >= 0 || errno != ENOSYS) return int(fd);
        __atomic_store_n(&noOpenat2, true, __ATOMIC_RELAXED);
    }
    return ::openat(dir, name.c_str(), flags | O_NOFOLLOW, mode);
}

// The thread's file-system account while an OwnerRights lives.
thread_local bool tlRightsTaken = false;
thread_local uid_t tlRightsUid = 0;
// While any OwnerRights lives on the thread (taken or not), the effective
// user it found: the store changes no process credentials, so one look
// serves every file of a load or a save instead of a system call each.
thread_local int tlRightsScopes = 0;
thread_local uid_t tlScopeEuid = 0;

// Whether the open file or folder is on a local disk: a file system whose
// times come from this machine's clock and whose new files take their
// owner, group and mode as the POSIX rules say.
bool OnLocalDisk(int fd) {
    constexpr long kLocal[] = {0xEF53 /* ext2/3/4 */, 0x58465342 /* xfs */, 0x9123683E /* btrfs */,
                               0x01021994 /* tmpfs */, 0xF2F52010 /* f2fs */};
    struct statfs s {};
    if (::fstatfs(fd, &s) != 0) return false;
    return std::find(std::begin(kLocal), std::end(kLocal), long(s.f_type)) != std::end(kLocal);
}

// Checks that an opened descriptor is a regular file; closes it otherwise.
int KeepIfRegular(int fd, Handle& file, FileStat* out = nullptr) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return err;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
    }
    if (out) FillStat(st, *out);
    file = Handle(fd);
    return 0;
}

// Appends up to `max` bytes; stops early only at the end of the file.
// Reads straight into `out`, at most 64 KiB a call.
int ReadInto(int fd, size_t max, std::string& out) {
    constexpr size_t kChunk = 65536;
    while (max > 0) {
        const size_t want = max < kChunk ? max : kChunk;
        const size_t had = out.size();
        out.resize(had + want);
        ssize_t n = ::read(fd, out.data() + had, want);
        out.resize(had + (n > 0 ? size_t(n) : 0));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) break;
        max -= size_t(n);
    }
    return 0;
}

class PosixFileSystem final : public FileSystem {
public:
    int Stat(const std::string& path, FileStat& out) override {
        out = FileStat{};
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return errno;
        bool link = S_ISLNK(st.st_mode);
        uid_t linkUid = st.st_uid;
        if (link && ::stat(path.c_str(), &st) != 0) return errno;
        FillStat(st, out);
        out.isLink = link;
        out.linkUid = link ? linkUid : 0;
        return 0;
    }

    // O_NONBLOCK: opening a fifo without a writer returns at once; the
    // regular-file check then refuses it before any read.
    int ReadFile(const std::string& path, std::string& out, size_t limit, FileStat* st) override {
        out.clear();
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return errno;
        Handle h;
        if (int err = KeepIfRegular(fd, h, st); err != 0) return err;
        int err = ReadInto(fd, limit, out);
        if (err == 0 && out.size() == limit) {
            char more;
            ssize_t n;
            while ((n = ::read(fd, &more, 1)) < 0 && errno == EINTR) {}
            if (n > 0) err = EFBIG;
        }
        ::close(fd);
        if (err != 0 && err != EFBIG) out.clear();
        return err;
    }

    int ListDir(const std::string& path, std::vector<DirEntry>& out) override {
        out.clear();
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        return ListOpened(fd, out);
    }

    int ReadFolder(Handle dir, std::vector<DirEntry>& out) override {
        out.clear();
        // A descriptor of its own: the listing moves its position.
        int fd = ::openat(Fd(dir), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        return ListOpened(fd, out);
    }

    // Lists the folder open as `fd`, and closes it.
    static int ListOpened(int fd, std::vector<DirEntry>& out) {
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            int err = errno;
            ::close(fd);
            return err;
        }
        int dfd = ::dirfd(dir);
        int err = 0;
        for (;;) {
            errno = 0;
            struct dirent* e = ::readdir(dir);
            if (!e) {
                err = errno;
                break;
            }
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            DirEntry entry;
            entry.name = e->d_name;
            unsigned char type = e->d_type;
            if (type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                    type = S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : DT_DIR;
            }
            if (type == DT_REG) {
                entry.isRegular = true;
            } else if (type == DT_LNK) {
                entry.isLink = true;
                struct stat st {};
                entry.isRegular = ::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
            }
            out.push_back(std::move(entry));
        }
        ::closedir(dir);
        if (err != 0) out.clear();
        return err;
    }

    int RealPath(const std::string& path, std::string& out) override {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return errno;
        out = resolved;
        std::free(resolved);
        return 0;
    }

    int OpenFolder(const std::string& path, Handle& dir) override {
        dir = Handle();
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        dir = Handle(fd);
        return 0;
    }

    int StatAt(Handle dir, const std::string& name, FileStat& out) override {
        out = FileStat{};
        struct stat st {};
        if (::fstatat(Fd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
        FillStat(st, out);
        if (S_ISLNK(st.st_mode)) {
            out.isLink = true;
            out.linkUid = st.st_uid;
        }
        return 0;
    }

    int CreateAt(Handle dir, const std::string& name, FileMode mode, Handle& file) override {
        file = Handle();
        int fd = OpenBeneath(Fd(dir), name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) return errno;
        file = Handle(fd);
        return 0;
    }

    int OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& file, FileStat* st) override {
        file = Handle();
        int flags = (forWriting ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        int fd = OpenBeneath(Fd(dir), name, flags);
        if (fd < 0) return errno;
        // O_NONBLOCK stays: it changes nothing for a regular file.
        return KeepIfRegular(fd, file, st);
    }

    int RenameAt(Handle dir, const std::string& from, const std::string& to) override {
        if (!IsOneName(from) || !IsOneName(to)) return EINVAL;
        return Result(::renameat(Fd(dir), from.c_str(), Fd(dir), to.c_str()));
    }
    int UnlinkAt(Handle dir, const std::string& name) override {
        if (!IsOneName(name)) return EINVAL;
        return Result(::unlinkat(Fd(dir), name.c_str(), 0));
    }

    int OpenFolderAt(Handle dir, const std::string& name, Handle& out, FileStat* st) override {
        out = Handle();
        int fd = name == ".." ? ::openat(Fd(dir), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                              : OpenBeneath(Fd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        if (st) {
            struct stat s {};
            if (::fstat(fd, &s) != 0) {
                int err = errno;
                ::close(fd);
                return err;
            }
            *st = FileStat{};
            FillStat(s, *st);
        }
        out = Handle(fd);
        return 0;
    }

    // The link is opened itself (O_PATH | O_NOFOLLOW): its owner and its
    // text then come from the same link, whatever happens to the name.
    int ReadLinkAt(Handle dir, const std::string& name, std::string& target, FileStat& link) override {
        target.clear();
        link = FileStat{};
        int fd = OpenBeneath(Fd(dir), name, O_PATH | O_CLOEXEC);
        if (fd < 0) return errno;
        struct stat s {};
        int err = ::fstat(fd, &s) == 0 ? 0 : errno;
        if (err == 0 && !S_ISLNK(s.st_mode)) err = EINVAL;
        if (err == 0) {
            FillStat(s, link);
            link.isLink = true;
            link.linkUid = s.st_uid;
            std::string buf(size_t(s.st_size) + 1 > 256 ? size_t(s.st_size) + 1 : 256, '\0');
            for (;;) {
                ssize_t n = ::readlinkat(fd, "", buf.data(), buf.size());
                if (n < 0) {
                    err = errno;
                    break;
                }
                if (size_t(n) < buf.size()) {
                    target.assign(buf.data(), size_t(n));
                    break;
                }
                if (buf.size() > 65536) {
                    err = ENAMETOOLONG;
                    break;
                }
                buf.resize(buf.size() * 2);
            }
        }
        ::close(fd);
        return err;
    }

    // FUSE numbers the nodes itself unless the file system asks for its own
    // numbers, which cannot be told from here: no FUSE file system counts
    // as keeping them.
    bool KeepsNodeNumbers(Handle folder) override {
        constexpr long kFuseMagic = 0x65735546;
        struct statfs s {};
        return ::fstatfs(Fd(folder), &s) != 0 || long(s.f_type) != kFuseMagic;
    }

    // The local file systems stamp every change with the kernel's coarse
    // real-time clock (or a finer reading never below it).
    std::optional<int64_t> ChangeClock(Handle folder) override {
        if (!OnLocalDisk(Fd(folder))) return std::nullopt;
        struct timespec now {};
        if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) return std::nullopt;
        return int64_t(now.tv_sec) * 1000000000 + int64_t(now.tv_nsec);
    }

    // On a local disk, without a default ACL on the folder, the umask alone
    // narrows the mode of a new file.
    std::optional<FileMode> NewFileModeMask(Handle folder) override {
        if (!OnLocalDisk(Fd(folder))) return std::nullopt;
        if (::fgetxattr(Fd(folder), "system.posix_acl_default", nullptr, 0) >= 0 ||
            (errno != ENODATA && errno != ENOTSUP))
            return std::nullopt;
        // The process's umask as the kernel tells it: asking umask() would
        // change it for a moment for every thread.
        std::string status;
        if (ReadFile("/proc/self/status", status, size_t(1) << 16, nullptr) != 0) return std::nullopt;
        const size_t at = status.find("\nUmask:\t");
        if (at == std::string::npos) return std::nullopt;
        return FileMode(std::strtoul(status.c_str() + at + 8, nullptr, 8)) & 0777;
    }

    int StatOf(Handle file, FileStat& out) override {
        out = FileStat{};
        struct stat st {};
        if (::fstat(Fd(file), &st) != 0) return errno;
        FillStat(st, out);
        return 0;
    }
    int Read(Handle file, size_t max, std::string& out) override { return ReadInto(Fd(file), max, out); }
    int Write(Handle file, std::string_view data) override {
        while (!data.empty()) {
            ssize_t n = ::write(Fd(file), data.data(), data.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            data.remove_prefix(size_t(n));
        }
        return 0;
    }
    int Seek(Handle file, int64_t offset) override {
        return ::lseek(Fd(file), off_t(offset), SEEK_SET) < 0 ? errno : 0;
    }
    int Truncate(Handle file, int64_t size) override { return Result(::ftruncate(Fd(file), off_t(size))); }
    int Reserve(Handle file, int64_t size) override {
        if (size <= 0) return 0;
        int r;
        while ((r = ::fallocate(Fd(file), FALLOC_FL_KEEP_SIZE, 0, off_t(size))) != 0 && errno == EINTR) {}
        if (r == 0) return 0;
        return errno == ENOSYS ? EOPNOTSUPP : errno;
    }
    int Sync(Handle h) override { return Result(::fsync(Fd(h))); }
    // close() is not retried: on Linux the descriptor is gone even after EINTR.
    int Close(Handle h) override { return Result(::close(Fd(h))); }
    int SetMode(Handle file, FileMode mode) override { return Result(::fchmod(Fd(file), mode_t(mode))); }
    int SetOwner(Handle file, AccountId uid, GroupId gid) override {
        return Result(::fchown(Fd(file), uid_t(uid), gid_t(gid)));
    }
    // The values the calls return are the kernel's own errno values.
    long NativeError(int err) override { return err > 0 && err < kForeignLink ? err : 0; }
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

std::string SystemErrorText(long native) {
    if (native <= 0 || native >= kForeignLink) return {};
    const char* text = std::strerror(int(native));
    return text ? std::string(text) : std::string();
}

AccountId EffectiveUser() { return tlRightsTaken ? tlRightsUid : tlRightsScopes > 0 ? tlScopeEuid : ::geteuid(); }
bool RunningAsRoot() { return EffectiveUser() == 0; }
bool TrustedOwner(AccountId uid) { return uid == 0 || uid == ::geteuid(); }
bool OthersMayChange(const FileStat& folder) {
    return (folder.mode & (S_IWGRP | S_IWOTH)) != 0 && (folder.mode & S_ISVTX) == 0;
}

namespace {

// The raw system calls: per thread. glibc's setgroups would make every
// thread of the process take the groups (it signals them all).
int ThreadSetGroups(const std::vector<gid_t>& groups) {
    return ::syscall(SYS_setgroups, groups.size(), groups.empty() ? nullptr : groups.data()) == 0 ? 0 : errno;
}

int ThreadGroups(std::vector<gid_t>& out) {
    long n = ::syscall(SYS_getgroups, 0, nullptr);
    if (n < 0) return errno;
    out.resize(size_t(n));
    n = ::syscall(SYS_getgroups, out.size(), out.data());
    if (n < 0) return errno;
    out.resize(size_t(n));
    return 0;
}

// An account's primary group and all its groups. An account the system
// does not know gets the group "nogroup" (65534) alone: no group rights.
void GroupsOf(uid_t uid, gid_t& primary, std::vector<gid_t>& groups) {
    primary = 65534;
    groups.clear();
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || !found) {
        groups.push_back(primary);
        return;
    }
    primary = pw.pw_gid;
    int n = 64;
    for (int attempt = 0; attempt < 8; ++attempt) {
        groups.resize(size_t(n));
        int want = n;
        if (::getgrouplist(pw.pw_name, primary, groups.data(), &want) >= 0) {
            groups.resize(size_t(want));
            return;
        }
        n = want > n ? want : n * 2;
    }
    groups.assign(1, primary);
}

}  // namespace

OwnerRights::OwnerRights(AccountId owner) {
    const uid_t euid = tlRightsScopes > 0 ? tlScopeEuid : ::geteuid();
    if (tlRightsScopes++ == 0) tlScopeEuid = euid;
    if (euid != 0 || owner == 0 || tlRightsTaken) return;
    gid_t primary;
    std::vector<gid_t> groups;
    GroupsOf(owner, primary, groups);
    if ((error_ = ThreadGroups(oldGroups_)) != 0) return;
    oldGid_ = gid_t(::setfsgid(gid_t(-1)));
    oldUid_ = uid_t(::setfsuid(uid_t(-1)));
    if ((error_ = ThreadSetGroups(groups)) != 0) return;
    ::setfsgid(primary);
    ::setfsuid(owner);
    // setfsuid and setfsgid tell no error: the current values do.
    if (uid_t(::setfsuid(uid_t(-1))) != owner || gid_t(::setfsgid(gid_t(-1))) != primary) {
        ::setfsuid(oldUid_);
        ::setfsgid(oldGid_);
        ThreadSetGroups(oldGroups_);
        error_ = EPERM;
        return;
    }
    active_ = true;
    tlRightsTaken = true;
    tlRightsUid = owner;
}

OwnerRights::~OwnerRights() {
    --tlRightsScopes;
    if (!active_) return;
    ::setfsuid(oldUid_);
    ::setfsgid(oldGid_);
    ThreadSetGroups(oldGroups_);
    tlRightsTaken = false;
}
GroupId NewFileGroup(const FileStat& folder) {
    if (folder.mode & S_ISGID) return folder.gid;
    return GroupId(::setfsgid(gid_t(-1)));  // asks without changing it
}

bool AccountInGroup(AccountId uid, GroupId gid) {
    if (uid == ::geteuid() && !tlRightsTaken) {
        // This process's own account, with the groups it runs with.
        if (::getegid() == gid) return true;
        std::vector<gid_t> groups;
        if (ThreadGroups(groups) != 0) return false;
        for (gid_t g : groups)
            if (g == gid) return true;
        return false;
    }
    // Another account: as the account database lists its groups.
    gid_t primary;
    std::vector<gid_t> groups;
    GroupsOf(uid, primary, groups);
    if (primary == gid) return true;
    for (gid_t g : groups)
        if (g == gid) return true;
    return false;
}

namespace {
// The process id, asked once (a save names every temporary file after it)
// and asked again in a child after fork.
long gProcessId = 0;
void ForgetProcessId() { __atomic_store_n(&gProcessId, 0, __ATOMIC_RELAXED); }
}  // namespace

long CurrentProcessId() {
    long pid = __atomic_load_n(&gProcessId, __ATOMIC_RELAXED);
    if (pid != 0) return pid;
    static const int registered = ::pthread_atfork(nullptr, nullptr, ForgetProcessId);
    (void)registered;
    pid = long(::getpid());
    __atomic_store_n(&gProcessId, pid, __ATOMIC_RELAXED);
    return pid;
}
bool ProcessIsRunning(long pid) {
    if (pid <= 0) return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

std::string ProgramFolder() {
    std::string buf(4096, '\0');
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return ".";
        if (size_t(n) < buf.size()) {
            buf.resize(size_t(n));
            break;
        }
        buf.resize(buf.size() * 2);
    }
    size_t slash = buf.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return buf.substr(0, slash);
}

}  // namespace solne
