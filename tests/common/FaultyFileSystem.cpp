#include "FaultyFileSystem.h"

#include <unistd.h>

namespace solne::test {

const char* FsOpName(FsOp op) {
    switch (op) {
    case FsOp::Stat: return "Stat";
    case FsOp::ReadFile: return "ReadFile";
    case FsOp::OpenWrite: return "OpenWrite";
    case FsOp::Write: return "Write";
    case FsOp::Sync: return "Sync";
    case FsOp::Close: return "Close";
    case FsOp::Rename: return "Rename";
    case FsOp::Chmod: return "Chmod";
    case FsOp::Chown: return "Chown";
    case FsOp::Unlink: return "Unlink";
    case FsOp::ListDir: return "ListDir";
    case FsOp::RealPath: return "RealPath";
    }
    return "?";
}

void FaultyFileSystem::FailNth(int k, int err) {
    failNth_ = k;
    failNthErr_ = err;
    failNthErrFor_ = nullptr;
}

void FaultyFileSystem::FailNth(int k, std::function<int(FsOp)> errFor) {
    failNth_ = k;
    failNthErrFor_ = std::move(errFor);
}

void FaultyFileSystem::FailKind(FsOp op, int err, std::string pathPart, int times) {
    kindFaults_.push_back(KindFault{op, err, std::move(pathPart), times});
}

void FaultyFileSystem::Reset() {
    failNth_ = 0;
    failNthErrFor_ = nullptr;
    kindFaults_.clear();
    calls_.clear();
}

int FaultyFileSystem::CountOf(FsOp op, const std::string& pathPart) const {
    int n = 0;
    for (auto& c : calls_) n += c.op == op && c.path.find(pathPart) != std::string::npos;
    return n;
}

std::string FaultyFileSystem::FailedCalls() const {
    std::string out;
    for (auto& c : calls_)
        if (c.result != 0) out += std::string(FsOpName(c.op)) + " " + c.path + "\n";
    return out;
}

int FaultyFileSystem::Begin(FsOp op, const std::string& path) {
    calls_.push_back(Call{op, path, 0});
    if (failNth_ > 0 && int(calls_.size()) == failNth_) return failNthErrFor_ ? failNthErrFor_(op) : failNthErr_;
    for (auto& f : kindFaults_) {
        if (f.op != op || f.times == 0 || path.find(f.pathPart) == std::string::npos) continue;
        if (f.times > 0) --f.times;
        return f.err;
    }
    return 0;
}

int FaultyFileSystem::End(int result) {
    calls_.back().result = result;
    return result;
}

int FaultyFileSystem::Stat(const std::string& path, FileStat& out) {
    if (int err = Begin(FsOp::Stat, path)) {
        out = FileStat{};
        return End(err);
    }
    return End(inner_.Stat(path, out));
}

int FaultyFileSystem::ReadFile(const std::string& path, std::string& out) {
    if (int err = Begin(FsOp::ReadFile, path)) {
        out.clear();
        return End(err);
    }
    return End(inner_.ReadFile(path, out));
}

int FaultyFileSystem::OpenWrite(const std::string& path, bool exclusive, mode_t mode, int& fd) {
    if (int err = Begin(FsOp::OpenWrite, path)) {
        fd = -1;
        return End(err);
    }
    int err = inner_.OpenWrite(path, exclusive, mode, fd);
    if (err == 0) openPaths_[fd] = path;
    return End(err);
}

int FaultyFileSystem::Write(int fd, std::string_view data) {
    if (int err = Begin(FsOp::Write, openPaths_[fd])) return End(err);
    return End(inner_.Write(fd, data));
}

int FaultyFileSystem::Sync(int fd) {
    if (int err = Begin(FsOp::Sync, openPaths_[fd])) return End(err);
    return End(inner_.Sync(fd));
}

int FaultyFileSystem::Close(int fd) {
    std::string path = openPaths_[fd];
    openPaths_.erase(fd);
    // A failed close still releases the descriptor, as close() does.
    int err = Begin(FsOp::Close, path);
    int real = inner_.Close(fd);
    return End(err ? err : real);
}

int FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
    if (int err = Begin(FsOp::Rename, from + " -> " + to)) return End(err);
    return End(inner_.Rename(from, to));
}

int FaultyFileSystem::Chmod(const std::string& path, mode_t mode) {
    if (int err = Begin(FsOp::Chmod, path)) return End(err);
    return End(inner_.Chmod(path, mode));
}

int FaultyFileSystem::Chown(const std::string& path, uid_t uid, gid_t gid) {
    if (int err = Begin(FsOp::Chown, path)) return End(err);
    return End(inner_.Chown(path, uid, gid));
}

int FaultyFileSystem::Unlink(const std::string& path) {
    if (int err = Begin(FsOp::Unlink, path)) return End(err);
    return End(inner_.Unlink(path));
}

int FaultyFileSystem::ListDir(const std::string& path, std::vector<DirEntry>& out) {
    if (int err = Begin(FsOp::ListDir, path)) {
        out.clear();
        return End(err);
    }
    return End(inner_.ListDir(path, out));
}

int FaultyFileSystem::RealPath(const std::string& path, std::string& out) {
    if (int err = Begin(FsOp::RealPath, path)) return End(err);
    return End(inner_.RealPath(path, out));
}

}  // namespace solne::test
