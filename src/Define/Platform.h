// The platform services the editor uses, as small layers of our own: file
// operations (behind an interface that tests replace to inject failures),
// code page 932 conversion, and the program's own folder.
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

// The folder that holds the running executable (from /proc/self/exe).
std::string ProgramFolder();

// ------------------------------------------------------- code page 932

// Converts code page 932 bytes to UTF-8. Returns false when the bytes are not
// valid code page 932; then *badOffset (if given) is the offset of the first
// byte that could not be converted.
bool Cp932ToUtf8(std::string_view cp932, std::string& utf8, size_t* badOffset = nullptr);

// Converts UTF-8 text to code page 932. Returns false when a character has no
// form in code page 932 (or the text is not valid UTF-8); then *badOffset is
// the byte offset of that character in the UTF-8 text. Never transliterates.
bool Utf8ToCp932(std::string_view utf8, std::string& cp932, size_t* badOffset = nullptr);

// Whether the bytes are valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Offset of the first ill-formed UTF-8 sequence, std::string_view::npos when
// the bytes are valid UTF-8.
size_t Utf8ErrorOffset(std::string_view bytes);

}  // namespace solne
