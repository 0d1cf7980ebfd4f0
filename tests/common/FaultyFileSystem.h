// A file system for tests that forwards to the real one and fails the
// operations a test names: the k-th operation of any kind, or every
// operation of a kind (optionally only on paths holding a given text). It
// counts and records every operation, so a test can first run a save to
// count its operations and then run it once per operation, failing that one.
#pragma once

#include <cerrno>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Define/FileSystem.h"

namespace solne::test {

// Kinds of operations. OpenWrite is any open for writing (a new file or a
// rewrite in place); OpenRead an open of a file by handle for reading;
// Rename, Unlink, Chmod and Chown are their handle-based forms.
enum class FsOp {
    Stat, ReadFile, ListDir, RealPath, OpenFolder, StatAt, OpenWrite, OpenRead, Rename, Unlink,
    StatOf, Read, Write, Seek, Truncate, Reserve, Sync, Close, Chmod, Chown, ReadLink
};

const char* FsOpName(FsOp op);

class FaultyFileSystem : public FileSystem {
public:
    struct Call {
        FsOp op;
        std::string path;  // for handle operations: the path the handle was opened with
        int result;        // 0 or the errno returned
    };

    FaultyFileSystem() : FaultyFileSystem(RealFileSystem()) {}
    explicit FaultyFileSystem(FileSystem& inner) : inner_(inner) {}

    // Fails the k-th operation (counted from 1, of any kind) with `err`.
    void FailNth(int k, int err = EIO);
    // Fails the k-th operation with the errno `errFor` gives for its kind.
    void FailNth(int k, std::function<int(FsOp)> errFor);
    // Fails every operation of kind `op` whose path holds `pathPart` ("" for
    // any path) with `err`; `times` limits how many (-1: no limit).
    void FailKind(FsOp op, int err = EIO, std::string pathPart = "", int times = -1);
    // Plays another account that owns the folder: right before the k-th
    // operation, the file it works on (the path of its handle or its name)
    // is replaced by a symbolic link to `linkTarget`, owned by `linkOwner`
    // (when running as root). SwappedPath() tells which path it was ("" when none).
    void SwapForLinkBeforeNth(int k, std::string linkTarget, AccountId linkOwner = 0);
    const std::string& SwappedPath() const { return swapped_; }
    // Forgets the faults, the count and the record.
    void Reset();

    int count() const { return int(calls_.size()); }
    const std::vector<Call>& calls() const { return calls_; }
    // How many operations of a kind were made (on paths holding `pathPart`).
    int CountOf(FsOp op, const std::string& pathPart = "") const;
    // The failed operations, one "Kind path" line each.
    std::string FailedCalls() const;

    int Stat(const std::string& path, FileStat& out) override;
    int ReadFile(const std::string& path, std::string& out, size_t limit = kMaxFileBytes,
                 FileStat* st = nullptr) override;
    int ListDir(const std::string& path, std::vector<DirEntry>& out) override;
    int RealPath(const std::string& path, std::string& out) override;
    int OpenFolder(const std::string& path, Handle& dir) override;
    int StatAt(Handle dir, const std::string& name, FileStat& out) override;
    int CreateAt(Handle dir, const std::string& name, FileMode mode, Handle& file) override;
    int OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& file,
               FileStat* st = nullptr) override;
    int RenameAt(Handle dir, const std::string& from, const std::string& to) override;
    int UnlinkAt(Handle dir, const std::string& name) override;
    int OpenFolderAt(Handle dir, const std::string& name, Handle& out, FileStat* st = nullptr) override;
    int ReadFolder(Handle dir, std::vector<DirEntry>& out) override;
    int ReadLinkAt(Handle dir, const std::string& name, std::string& target, FileStat& link) override;
    bool KeepsNodeNumbers(Handle folder) override { return inner_.KeepsNodeNumbers(folder); }
    std::optional<int64_t> ChangeClock(Handle folder) override { return inner_.ChangeClock(folder); }
    std::optional<FileMode> NewFileModeMask(Handle folder) override { return inner_.NewFileModeMask(folder); }
    int StatOf(Handle file, FileStat& out) override;
    int Read(Handle file, size_t max, std::string& out) override;
    int Write(Handle file, std::string_view data) override;
    int Seek(Handle file, int64_t offset) override;
    int Truncate(Handle file, int64_t size) override;
    int Reserve(Handle file, int64_t size) override;
    int Sync(Handle h) override;
    int Close(Handle h) override;
    int SetMode(Handle file, FileMode mode) override;
    int SetOwner(Handle file, AccountId uid, GroupId gid) override;
    // An injected failure has no code of the platform behind it.
    long NativeError(int err) override { return injected_ ? 0 : inner_.NativeError(err); }

private:
    struct KindFault {
        FsOp op;
        int err;
        std::string pathPart;
        int times;
    };
    // Records the call; returns the errno to fail it with, or 0 to go on.
    int Begin(FsOp op, const std::string& path);
    int End(int result);
    std::string PathOf(Handle h) const;
    std::string PathAt(Handle dir, const std::string& name) const;
    void Opened(Handle h, const std::string& path);

    FileSystem& inner_;
    int failNth_ = 0;
    int failNthErr_ = EIO;
    std::function<int(FsOp)> failNthErrFor_;
    std::vector<KindFault> kindFaults_;
    std::vector<Call> calls_;
    std::unordered_map<intptr_t, std::string> openPaths_;  // handle -> path
    int swapNth_ = 0;
    std::string swapTarget_;
    AccountId swapOwner_ = 0;
    std::string swapped_;
    bool injected_ = false;  // the last call failed because it was told to
};

}  // namespace solne::test
