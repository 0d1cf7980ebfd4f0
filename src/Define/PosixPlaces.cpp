// The program's and the account's folders on POSIX: the XDG base directories.
#include "Define/Places.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Define/FileSystem.h"

namespace solne {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool InsideFolder(std::string_view path, std::string_view folder) {
    return path == folder || (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
                              path[folder.size()] == '/');
}

int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= size_t(n);
    }
    return 0;
}

// Copies the content of one open file into another.
int CopyContent(int from, int to) {
    char buf[1 << 14];
    for (;;) {
        ssize_t n = ::read(from, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ::fsync(to) == 0 ? 0 : errno;
        if (int err = WriteAll(to, buf, size_t(n))) return err;
    }
}

class PosixPlaces final : public Places {
public:
    std::string ProgramFolder() override { return solne::ProgramFolder(); }

    bool IsOwnWritableFolder(const std::string& folder) override {
        for (std::string_view system : {"/usr", "/bin", "/sbin"})
            if (InsideFolder(folder, system)) return false;
        return ::access(folder.c_str(), W_OK) == 0;
    }

    std::string AccountSettingsFolder() override {
        const std::string xdg = Env("XDG_CONFIG_HOME");
        if (IsAbsolutePath(xdg)) return xdg;
        std::string home = Env("HOME");
        if (home.empty()) {
            if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
        }
        return IsAbsolutePath(home) ? JoinPath(home, ".config") : std::string();
    }

    std::vector<std::string> SystemSettingsFolders() override {
        std::string dirs = Env("XDG_CONFIG_DIRS");
        if (dirs.empty()) dirs = "/etc/xdg";
        std::vector<std::string> folders;
        size_t start = 0;
        while (start <= dirs.size()) {
            size_t colon = dirs.find(':', start);
            if (colon == std::string::npos) colon = dirs.size();
            std::string dir = dirs.substr(start, colon - start);
            if (IsAbsolutePath(dir)) folders.push_back(std::move(dir));
            start = colon + 1;
        }
        return folders;
    }

    bool CopiesPresetToAccount() override { return false; }

    int MakeFolder(const std::string& folder) override {
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
        if (errno != ENOENT) return errno;
        const std::string parent = FolderOf(folder);
        if (parent != folder) {
            if (int err = MakeFolder(parent)) return err;
        }
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
        return 0;
    }

    int CopyNewFile(const std::string& from, const std::string& to) override {
        // Never blocks on a fifo, never writes through a link planted at `to`.
        const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (in < 0) return errno;
        struct stat st {};
        int err = ::fstat(in, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : S_ISREG(st.st_mode) ? 0 : kNotRegularFile;
        if (err != 0) {
            ::close(in);
            return err;
        }
        const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out < 0) {
            err = errno;
            ::close(in);
            return err;
        }
        err = CopyContent(in, out);
        if (::close(out) != 0 && err == 0) err = errno;
        ::close(in);
        if (err != 0) ::unlink(to.c_str());  // no half copy is left to be read as the settings
        return err;
    }
};

}  // namespace

Places& PlatformPlaces() {
    static PosixPlaces places;
    return places;
}

}  // namespace solne
