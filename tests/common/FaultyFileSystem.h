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

enum class FsOp { Stat, ReadFile, OpenWrite, Write, Sync, Close, Rename, Chmod, Chown, Unlink, ListDir, RealPath };

const char* FsOpName(FsOp op);

class FaultyFileSystem : public FileSystem {
public:
    struct Call {
        FsOp op;
        std::string path;  // for Write, Sync and Close: the path the file was opened with
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
    // Forgets the faults, the count and the record.
    void Reset();

    int count() const { return int(calls_.size()); }
    const std::vector<Call>& calls() const { return calls_; }
    // How many operations of a kind were made (on paths holding `pathPart`).
    int CountOf(FsOp op, const std::string& pathPart = "") const;
    // The failed operations, one "Kind path" line each.
    std::string FailedCalls() const;

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
    struct KindFault {
        FsOp op;
        int err;
        std::string pathPart;
        int times;
    };
    // Records the call; returns the errno to fail it with, or 0 to go on.
    int Begin(FsOp op, const std::string& path);
    int End(int result);

    FileSystem& inner_;
    int failNth_ = 0;
    int failNthErr_ = EIO;
    std::function<int(FsOp)> failNthErrFor_;
    std::vector<KindFault> kindFaults_;
    std::vector<Call> calls_;
    std::unordered_map<int, std::string> openPaths_;  // fd -> path
};

}  // namespace solne::test
