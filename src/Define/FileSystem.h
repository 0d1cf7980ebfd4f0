// The file services the editor uses, behind an interface that tests replace
// to inject failures, and the program's own folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace solne {

// ---------------------------------------------------------------- files

struct FileStat {
    bool exists = false;     // something is there (after following links)
    bool isRegular = false;  // a regular file, or a link to one
    bool isDir = false;
    bool isLink = false;     // the path itself is a symbolic link
    mode_t mode = 0;         // permission bits (07777) of the target
    uid_t uid = 0;
    gid_t gid = 0;
    nlink_t nlink = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    int64_t size = 0;
    int64_t mtimeNs = 0;
};

struct DirEntry {
    std::string name;        // name inside the folder, as the file system holds it
    bool isRegular = false;  // a regular file or a link to one
};

// Every operation returns 0 on success or an errno value. Paths are in the
// file system's own encoding (UTF-8 here).
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual int Stat(const std::string& path, FileStat& out) = 0;  // follows links
    virtual int ReadFile(const std::string& path, std::string& out) = 0;
    // Opens for writing. `exclusive` creates a new file (O_CREAT|O_EXCL), else
    // an existing file is truncated (O_CREAT|O_TRUNC). `mode` applies on creation.
    virtual int OpenWrite(const std::string& path, bool exclusive, mode_t mode, int& fd) = 0;
    virtual int Write(int fd, std::string_view data) = 0;  // writes all of it
    virtual int Sync(int fd) = 0;                          // fsync
    virtual int Close(int fd) = 0;
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int Chmod(const std::string& path, mode_t mode) = 0;
    virtual int Chown(const std::string& path, uid_t uid, gid_t gid) = 0;
    virtual int Unlink(const std::string& path) = 0;
    // Every entry of the folder but "." and ".."; dot names included.
    virtual int ListDir(const std::string& path, std::vector<DirEntry>& out) = 0;
    // The final target of a path that may be a symbolic link (realpath).
    virtual int RealPath(const std::string& path, std::string& out) = 0;
};

// The real POSIX file system.
FileSystem& RealFileSystem();

// The text of an errno value, for reports ("Permission denied").
std::string ErrnoText(int err);

// Existence test: a regular file or a link to one; folders, sockets,
// devices and fifos do not count.
bool FileExists(FileSystem& fs, const std::string& path);

// Joins a folder and a name with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// The characters that separate folders in a path ("/"; on Windows "\\" too).
#ifdef _WIN32
inline constexpr const char* kPathSeparators = "\\/";
#else
inline constexpr const char* kPathSeparators = "/";
#endif

// Whether a path names its place from the root ("/x"; on Windows also
// "C:\\x", "C:/x" and "\\\\server\\share"), not from a current folder.
bool IsAbsolutePath(const std::string& path);

// The folder that holds the running executable (from /proc/self/exe).
std::string ProgramFolder();

// A file system that reads through to another one and refuses every
// operation that would change something (EROFS). The checker runs on it, so
// it cannot write to the board folder whatever the code it calls does.
class ReadOnlyFileSystem : public FileSystem {
public:
    explicit ReadOnlyFileSystem(FileSystem& inner) : inner_(inner) {}

    int Stat(const std::string& path, FileStat& out) override;
    int ReadFile(const std::string& path, std::string& out) override;
    int OpenWrite(const std::string& path, bool exclusive, mode_t mode, int& fd) override;
    int Write(int fd, std::string_view data) override;
    int Sync(int fd) override;
    int Close(int fd) override;
    int Rename(const std::string& from, const std::string& to) override;
    int Chmod(const std::string& path, mode_t mode) override;
    int Chown(const std::string& path, uid_t uid, gid_t gid) override;
    int Unlink(const std::string& path) override;
    int ListDir(const std::string& path, std::vector<DirEntry>& out) override;
    int RealPath(const std::string& path, std::string& out) override;

private:
    FileSystem& inner_;
};

}  // namespace solne
