// Replacing a file's content so that a crash or a full disk never leaves it
// half-written, and without taking it away from its owner.
#include "store/SafeWrite.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "store/SaveSteps.h"

namespace solne {

namespace {

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a new temporary file beside `target`, named after it where the
// name fits. Its name begins with ".", so pruning never takes it for a
// user's file.
int CreateTemp(FileSystem& fs, const std::string& target, mode_t mode, std::string& temp, int& fd) {
    static unsigned counter = 0;
    std::string name = NameOf(target);
    std::string prefix = name.size() <= 200 ? "." + name + ".solne-" : ".solne-";
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        temp = JoinPath(FolderOf(target), prefix + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp");
        err = fs.OpenWrite(temp, true, mode, fd);
    }
    return err;
}

// Writes all of `content` to an open file, flushes it when asked, and
// closes it (also after a failure).
int WriteAndClose(FileSystem& fs, int fd, std::string_view content, bool sync, std::string& failedStep) {
    int err = fs.Write(fd, content);
    if (err != 0) failedStep = step::kWrite;
    if (err == 0 && sync && (err = fs.Sync(fd)) != 0) failedStep = step::kSync;
    int closeErr = fs.Close(fd);
    if (err == 0 && closeErr != 0) {
        err = closeErr;
        failedStep = step::kWrite;
    }
    return err;
}

// Opens an existing file, emptying it, and writes all of `content`.
int Overwrite(FileSystem& fs, const std::string& target, std::string_view content, bool sync,
              std::string& failedStep) {
    int fd = -1;
    if (int err = fs.OpenWrite(target, false, 0666, fd); err != 0) {
        failedStep = step::kOpen;
        return err;
    }
    return WriteAndClose(fs, fd, content, sync, failedStep);
}

// Rewrites an existing file in place: it keeps its owner, group, mode and
// links. The content is prepared in full before the file is opened. Opening
// empties the file, so when writing fails after that (a full disk) the old
// content is written back.
int RewriteInPlace(FileSystem& fs, const std::string& target, std::string_view content, bool sync,
                   std::string& failedStep) {
    std::string old;
    if (int err = fs.ReadFile(target, old); err != 0) {
        failedStep = step::kRead;
        return err;
    }
    int err = Overwrite(fs, target, content, sync, failedStep);
    if (err != 0 && failedStep != step::kOpen) {
        std::string ignored;
        if (Overwrite(fs, target, old, sync, ignored) != 0) failedStep = step::kNotRestored;
    }
    return err;
}

}  // namespace

int ReplaceFile(FileSystem& fs, const std::string& path, std::string_view content, bool sync,
                std::string& failedStep) {
    FileStat st;
    int err = fs.Stat(path, st);
    if (err != 0 && err != ENOENT) {
        failedStep = step::kInfo;
        return err;
    }
    const bool exists = err == 0;
    if (exists && !st.isRegular) {
        failedStep = step::kWrite;
        return st.isDir ? EISDIR : EINVAL;
    }
    std::string target = path;
    if (exists && st.isLink && (err = fs.RealPath(path, target)) != 0) {
        failedStep = step::kLink;
        return err;
    }
    const bool root = ::geteuid() == 0;
    // Renaming would hand the file to this account, or cut it from its
    // other links: rewrite it in place instead.
    if (exists && (st.nlink > 1 || (!root && st.uid != ::geteuid())))
        return RewriteInPlace(fs, target, content, sync, failedStep);

    std::string temp;
    int fd = -1;
    if ((err = CreateTemp(fs, target, exists ? (st.mode & 0777) : 0666, temp, fd)) != 0) {
        failedStep = step::kCreate;
        return err;
    }
    auto discard = [&](const char* step, int e) {
        if (step) failedStep = step;
        fs.Unlink(temp);
        return e;
    };
    if ((err = WriteAndClose(fs, fd, content, sync, failedStep)) != 0) return discard(nullptr, err);
    if (exists) {
        if (root) {
            if ((err = fs.Chown(temp, st.uid, st.gid)) != 0) return discard(step::kOwner, err);
        } else {
            FileStat made;
            if ((err = fs.Stat(temp, made)) != 0) return discard(step::kInfo, err);
            if (made.gid != st.gid && fs.Chown(temp, made.uid, st.gid) != 0) {
                discard(nullptr, 0);
                return RewriteInPlace(fs, target, content, sync, failedStep);
            }
        }
        // The umask may have narrowed the mode, and chown clears set-id bits.
        if ((err = fs.Chmod(temp, st.mode & 07777)) != 0) return discard(step::kAttributes, err);
    }
    if ((err = fs.Rename(temp, target)) != 0) return discard(step::kRename, err);
    return 0;
}

}  // namespace solne
