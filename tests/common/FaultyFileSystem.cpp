#include "FaultyFileSystem.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

#include <unistd.h>

namespace solne::test {

const char* FsOpName(FsOp op) {
    switch (op) {
    case FsOp::Stat: return "Stat";
    case FsOp::ReadFile: return "ReadFile";
    case FsOp::ListDir: return "ListDir";
    case FsOp::RealPath: return "RealPath";
    case FsOp::OpenFolder: return "OpenFolder";
    case FsOp::StatAt: return "StatAt";
    case FsOp::OpenWrite: return "OpenWrite";
    case FsOp::OpenRead: return "OpenRead";
    case FsOp::Rename: return "Rename";
    case FsOp::Unlink: return "Unlink";
    case FsOp::StatOf: return "StatOf";
    case FsOp::Read: return "Read";
    case FsOp::Write: return "Write";
    case FsOp::Seek: return "Seek";
    case FsOp::Truncate: return "Truncate";
    case FsOp::Reserve: return "Reserve";
    case FsOp::Sync: return "Sync";
    case FsOp::Close: return "Close";
    case FsOp::Chmod: return "Chmod";
    case FsOp::Chown: return "Chown";
    case FsOp::ReadLink: return "ReadLink";
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
    // Paths are compared as the platform writes them ("/" or "\\").
    kindFaults_.push_back(KindFault{op, err, NativePath(std::move(pathPart)), times});
}

void FaultyFileSystem::SwapForLinkBeforeNth(int k, std::string linkTarget, AccountId linkOwner) {
    swapNth_ = k;
    swapOwner_ = linkOwner;
    swapTarget_ = std::move(linkTarget);
    swapped_.clear();
}

void FaultyFileSystem::Reset() {
    failNth_ = 0;
    failNthErrFor_ = nullptr;
    kindFaults_.clear();
    calls_.clear();
    swapNth_ = 0;
    swapped_.clear();
}

int FaultyFileSystem::CountOf(FsOp op, const std::string& pathPart) const {
    int n = 0;
    const std::string part = NativePath(pathPart);
    for (auto& c : calls_) n += c.op == op && c.path.find(part) != std::string::npos;
    return n;
}

std::string FaultyFileSystem::FailedCalls() const {
    std::string out;
    for (auto& c : calls_)
        if (c.result != 0) out += std::string(FsOpName(c.op)) + " " + c.path + "\n";
    return out;
}

int FaultyFileSystem::Begin(FsOp op, const std::string& path) {
    calls_.push_back(Call{op, NativePath(path), 0});
    injected_ = false;
    const int k = int(calls_.size());
    if (swapNth_ > 0 && k == swapNth_ && !path.empty() && op != FsOp::OpenFolder && op != FsOp::ListDir) {
        // Whatever the name held goes (a file the save made, or the board's
        // own file), and a link to the target takes its place.
        std::string p = path.substr(0, path.find(" -> "));
        ::unlink(p.c_str());
        if (::symlink(swapTarget_.c_str(), p.c_str()) == 0) {
            swapped_ = p;
            if (::geteuid() == 0 && ::lchown(p.c_str(), swapOwner_, swapOwner_) != 0) swapped_ += " (owner not set)";
        }
    }
    if (failNth_ > 0 && k == failNth_) {
        injected_ = true;
        return failNthErrFor_ ? failNthErrFor_(op) : failNthErr_;
    }
    for (auto& f : kindFaults_) {
        if (f.op != op || f.times == 0 || calls_.back().path.find(f.pathPart) == std::string::npos) continue;
        if (f.times > 0) --f.times;
        injected_ = true;
        return f.err;
    }
    return 0;
}

int FaultyFileSystem::End(int result) {
    calls_.back().result = result;
    return result;
}

std::string FaultyFileSystem::PathOf(Handle h) const {
    auto it = openPaths_.find(h.value());
    return it == openPaths_.end() ? std::string() : it->second;
}

std::string FaultyFileSystem::PathAt(Handle dir, const std::string& name) const {
    return JoinPath(PathOf(dir), name);
}

void FaultyFileSystem::Opened(Handle h, const std::string& path) {
    if (h.valid()) openPaths_[h.value()] = path;
}

int FaultyFileSystem::Stat(const std::string& path, FileStat& out) {
    if (int err = Begin(FsOp::Stat, path)) {
        out = FileStat{};
        return End(err);
    }
    return End(inner_.Stat(path, out));
}

int FaultyFileSystem::ReadFile(const std::string& path, std::string& out, size_t limit, FileStat* st) {
    if (int err = Begin(FsOp::ReadFile, path)) {
        out.clear();
        return End(err);
    }
    return End(inner_.ReadFile(path, out, limit, st));
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

int FaultyFileSystem::OpenFolder(const std::string& path, Handle& dir) {
    if (int err = Begin(FsOp::OpenFolder, path)) {
        dir = Handle();
        return End(err);
    }
    int err = inner_.OpenFolder(path, dir);
    if (err == 0) Opened(dir, path);
    return End(err);
}

// Opening a folder inside another counts as opening a folder, listing an
// open one as a listing, both under the folder's path.
int FaultyFileSystem::OpenFolderAt(Handle dir, const std::string& name, Handle& out, FileStat* st) {
    const std::string path = PathAt(dir, name);
    if (int err = Begin(FsOp::OpenFolder, path)) {
        out = Handle();
        return End(err);
    }
    int err = inner_.OpenFolderAt(dir, name, out, st);
    if (err == 0) Opened(out, path);
    return End(err);
}

int FaultyFileSystem::ReadFolder(Handle dir, std::vector<DirEntry>& out) {
    if (int err = Begin(FsOp::ListDir, PathOf(dir))) {
        out.clear();
        return End(err);
    }
    return End(inner_.ReadFolder(dir, out));
}

int FaultyFileSystem::ReadLinkAt(Handle dir, const std::string& name, std::string& target, FileStat& link) {
    if (int err = Begin(FsOp::ReadLink, PathAt(dir, name))) {
        target.clear();
        return End(err);
    }
    return End(inner_.ReadLinkAt(dir, name, target, link));
}

int FaultyFileSystem::StatAt(Handle dir, const std::string& name, FileStat& out) {
    if (int err = Begin(FsOp::StatAt, PathAt(dir, name))) {
        out = FileStat{};
        return End(err);
    }
    return End(inner_.StatAt(dir, name, out));
}

int FaultyFileSystem::CreateAt(Handle dir, const std::string& name, FileMode mode, Handle& file) {
    const std::string path = PathAt(dir, name);
    if (int err = Begin(FsOp::OpenWrite, path)) {
        file = Handle();
        return End(err);
    }
    int err = inner_.CreateAt(dir, name, mode, file);
    if (err == 0) Opened(file, path);
    return End(err);
}

int FaultyFileSystem::OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& file, FileStat* st) {
    const std::string path = PathAt(dir, name);
    if (int err = Begin(forWriting ? FsOp::OpenWrite : FsOp::OpenRead, path)) {
        file = Handle();
        return End(err);
    }
    int err = inner_.OpenAt(dir, name, forWriting, file, st);
    if (err == 0) Opened(file, path);
    return End(err);
}

int FaultyFileSystem::RenameAt(Handle dir, const std::string& from, const std::string& to) {
    if (int err = Begin(FsOp::Rename, PathAt(dir, from) + " -> " + PathAt(dir, to))) return End(err);
    return End(inner_.RenameAt(dir, from, to));
}

int FaultyFileSystem::UnlinkAt(Handle dir, const std::string& name) {
    if (int err = Begin(FsOp::Unlink, PathAt(dir, name))) return End(err);
    return End(inner_.UnlinkAt(dir, name));
}

int FaultyFileSystem::StatOf(Handle file, FileStat& out) {
    if (int err = Begin(FsOp::StatOf, PathOf(file))) {
        out = FileStat{};
        return End(err);
    }
    return End(inner_.StatOf(file, out));
}

int FaultyFileSystem::Read(Handle file, size_t max, std::string& out) {
    if (int err = Begin(FsOp::Read, PathOf(file))) return End(err);
    return End(inner_.Read(file, max, out));
}

int FaultyFileSystem::Write(Handle file, std::string_view data) {
    if (int err = Begin(FsOp::Write, PathOf(file))) return End(err);
    return End(inner_.Write(file, data));
}

int FaultyFileSystem::Seek(Handle file, int64_t offset) {
    if (int err = Begin(FsOp::Seek, PathOf(file))) return End(err);
    return End(inner_.Seek(file, offset));
}

int FaultyFileSystem::Truncate(Handle file, int64_t size) {
    if (int err = Begin(FsOp::Truncate, PathOf(file))) return End(err);
    return End(inner_.Truncate(file, size));
}

int FaultyFileSystem::Reserve(Handle file, int64_t size) {
    if (int err = Begin(FsOp::Reserve, PathOf(file))) return End(err);
    return End(inner_.Reserve(file, size));
}

int FaultyFileSystem::Sync(Handle h) {
    if (int err = Begin(FsOp::Sync, PathOf(h))) return End(err);
    return End(inner_.Sync(h));
}

int FaultyFileSystem::Close(Handle h) {
    std::string path = PathOf(h);
    openPaths_.erase(h.value());
    // A failed close still releases the handle, as close() does.
    int err = Begin(FsOp::Close, path);
    int real = inner_.Close(h);
    return End(err ? err : real);
}

int FaultyFileSystem::SetMode(Handle file, FileMode mode) {
    if (int err = Begin(FsOp::Chmod, PathOf(file))) return End(err);
    return End(inner_.SetMode(file, mode));
}

int FaultyFileSystem::SetOwner(Handle file, AccountId uid, GroupId gid) {
    if (int err = Begin(FsOp::Chown, PathOf(file))) return End(err);
    return End(inner_.SetOwner(file, uid, gid));
}

}  // namespace solne::test
