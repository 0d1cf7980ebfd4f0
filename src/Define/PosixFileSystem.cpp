// The POSIX implementation of the file services, and the program's own folder.
#include "Define/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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
}

class PosixFileSystem final : public FileSystem {
public:
    int Stat(const std::string& path, FileStat& out) override {
        out = FileStat{};
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return errno;
        bool link = S_ISLNK(st.st_mode);
        if (link && ::stat(path.c_str(), &st) != 0) return errno;
        FillStat(st, out);
        out.isLink = link;
        return 0;
    }

    // Reads through a stack buffer: no stat call, and only the bytes read are copied.
    int ReadFile(const std::string& path, std::string& out) override {
        out.clear();
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno;
        int err = 0;
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0) {
                if (errno == EINTR) continue;
                err = errno;
                break;
            }
            if (n == 0) break;
            out.append(buf, size_t(n));
        }
        ::close(fd);
        if (err != 0) out.clear();
        return err;
    }

    int OpenWrite(const std::string& path, bool exclusive, mode_t mode, int& fd) override {
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
        fd = ::open(path.c_str(), flags, mode);
        return fd < 0 ? errno : 0;
    }

    int Write(int fd, std::string_view data) override {
        while (!data.empty()) {
            ssize_t n = ::write(fd, data.data(), data.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            data.remove_prefix(size_t(n));
        }
        return 0;
    }

    int Sync(int fd) override { return ::fsync(fd) == 0 ? 0 : errno; }
    // close() is not retried: on Linux the descriptor is gone even after EINTR.
    int Close(int fd) override { return ::close(fd) == 0 ? 0 : errno; }
    int Rename(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
    int Chmod(const std::string& path, mode_t mode) override {
        return ::chmod(path.c_str(), mode) == 0 ? 0 : errno;
    }
    int Chown(const std::string& path, uid_t uid, gid_t gid) override {
        return ::chown(path.c_str(), uid, gid) == 0 ? 0 : errno;
    }
    int Unlink(const std::string& path) override {
        return ::unlink(path.c_str()) == 0 ? 0 : errno;
    }

    int ListDir(const std::string& path, std::vector<DirEntry>& out) override {
        out.clear();
        DIR* dir = ::opendir(path.c_str());
        if (!dir) return errno;
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
            if (e->d_type == DT_REG) {
                entry.isRegular = true;
            } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
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
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
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
