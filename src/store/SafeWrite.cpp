// Replacing a file's content so that a crash or a full disk never leaves it
// half-written, without taking it away from its owner, and without ever
// letting a path swapped for a link redirect a change: every change goes
// through a handle opened without following links.
#include "store/SafeWrite.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "store/LinkRule.h"
#include "store/SaveSteps.h"
#include "store/Snapshot.h"

namespace solne {

namespace {

constexpr std::string_view kTempTag = ".solne-";
constexpr std::string_view kTempEnd = ".tmp";

int Fail(std::string& failedStep, const char* step, int err) {
    failedStep = step;
    return err;
}

// Creates a new temporary file in the folder, named after `name` where the
// name fits. Its name begins with ".", so pruning never takes it for a
// user's file.
int CreateTemp(FileSystem& fs, Handle dir, const std::string& name, mode_t mode, std::string& temp,
               Handle& file) {
    static unsigned counter = 0;
    std::string prefix = name.size() <= 200 ? "." + name + std::string(kTempTag) : std::string(kTempTag);
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        temp = prefix + std::to_string(CurrentProcessId()) + "-" + std::to_string(++counter) + std::string(kTempEnd);
        err = fs.CreateAt(dir, temp, mode, file);
    }
    return err;
}

// Writes all of `content` to an open file from its current position, and
// flushes it when asked.
int WriteAll(FileSystem& fs, Handle file, std::string_view content, bool sync, std::string& failedStep) {
    if (int err = fs.Write(file, content); err != 0) return Fail(failedStep, step::kWrite, err);
    if (sync) {
        if (int err = fs.Sync(file); err != 0) return Fail(failedStep, step::kSync, err);
    }
    return 0;
}

// Closes a handle that was written; a failed close is a failed write.
int CloseWritten(FileSystem& fs, Handle file, int err, std::string& failedStep) {
    int closeErr = fs.Close(file);
    if (err == 0 && closeErr != 0) return Fail(failedStep, step::kWrite, closeErr);
    return err;
}

// Writes the journal: a temporary file holding `old`, flushed, then renamed
// to its journal name, so a journal that exists is always complete.
int WriteJournal(FileSystem& fs, Handle dir, const std::string& name, std::string_view old,
                 std::string& failedStep) {
    std::string temp;
    Handle file;
    if (int err = CreateTemp(fs, dir, name, 0600, temp, file); err != 0) return Fail(failedStep, step::kCreate, err);
    int err = CloseWritten(fs, file, WriteAll(fs, file, old, true, failedStep), failedStep);
    if (err == 0 && (err = fs.RenameAt(dir, temp, JournalName(name))) != 0) failedStep = step::kRename;
    if (err == 0 && (err = fs.Sync(dir)) != 0) failedStep = step::kSync;
    if (err != 0) fs.UnlinkAt(dir, temp);
    return err;
}

// Puts `content` into an open file from its start: room reserved first,
// written, cut to its length, flushed.
int Overwrite(FileSystem& fs, Handle file, std::string_view content, std::string& failedStep) {
    int err = fs.Reserve(file, int64_t(content.size()));
    // A file system without reservation: the journal still guards the rewrite.
    if (err != 0 && err != EOPNOTSUPP) return Fail(failedStep, step::kWrite, err);
    if ((err = fs.Seek(file, 0)) != 0) return Fail(failedStep, step::kWrite, err);
    if ((err = fs.Write(file, content)) != 0) return Fail(failedStep, step::kWrite, err);
    if ((err = fs.Truncate(file, int64_t(content.size()))) != 0) return Fail(failedStep, step::kWrite, err);
    if ((err = fs.Sync(file)) != 0) return Fail(failedStep, step::kSync, err);
    return 0;
}

// Opens `name` for rewriting and checks on the handle that it is still the
// file examined before (same device and inode).
int OpenChecked(FileSystem& fs, Handle dir, const std::string& name, const FileStat& examined, Handle& file,
                std::string& failedStep) {
    if (int err = fs.OpenAt(dir, name, true, file); err != 0) return Fail(failedStep, step::kOpen, err);
    FileStat now;
    int err = fs.StatOf(file, now);
    if (err == 0 && (now.dev != examined.dev || now.ino != examined.ino)) err = kReplacedMeanwhile;
    if (err != 0) {
        fs.Close(file);
        file = Handle();
        return Fail(failedStep, step::kOpen, err);
    }
    return 0;
}

// Reads an open file whole, up to the limit.
int ReadWhole(FileSystem& fs, Handle file, std::string& out) {
    out.clear();
    if (int err = fs.Read(file, kMaxFileBytes + 1, out); err != 0) return err;
    return out.size() > kMaxFileBytes ? EFBIG : 0;
}

// Finishes the roll-back of an interrupted rewrite: the journal's content
// goes back into the file, then the journal goes.
int RollBack(FileSystem& fs, Handle dir, const std::string& name, std::string& failedStep) {
    const std::string journal = JournalName(name);
    FileStat js;
    int err = fs.StatAt(dir, journal, js);
    if (err == ENOENT) return 0;
    if (err != 0) return Fail(failedStep, step::kInfo, err);
    std::string old;
    {
        ScopedHandle j(fs);
        if ((err = fs.OpenAt(dir, journal, false, j.get())) != 0 || (err = ReadWhole(fs, *j, old)) != 0)
            return Fail(failedStep, step::kRead, err);
    }
    FileStat st;
    if ((err = fs.StatAt(dir, name, st)) != 0) return Fail(failedStep, step::kInfo, err);
    ScopedHandle file(fs);
    if ((err = OpenChecked(fs, dir, name, st, file.get(), failedStep)) != 0) return err;
    if ((err = Overwrite(fs, *file, old, failedStep)) != 0) return err;
    if ((err = CloseWritten(fs, file.Release(), 0, failedStep)) != 0) return err;
    if ((err = fs.UnlinkAt(dir, journal)) != 0) return Fail(failedStep, step::kDelete, err);
    if ((err = fs.Sync(dir)) != 0) return Fail(failedStep, step::kSync, err);
    return 0;
}

// Rewrites an existing file in place: it keeps its owner, group, mode and
// links. The old content goes to the journal first; after a failure the
// old content is written back and the journal removed, and when even that
// fails the journal stays, so the file still reads as its old content.
int RewriteInPlace(FileSystem& fs, Handle dir, const std::string& name, const FileStat& examined,
                   std::string_view content, std::string& failedStep) {
    ScopedHandle file(fs);
    if (int err = OpenChecked(fs, dir, name, examined, file.get(), failedStep); err != 0) return err;
    std::string old;
    if (int err = ReadWhole(fs, *file, old); err != 0) return Fail(failedStep, step::kRead, err);
    if (old == content) return CloseWritten(fs, file.Release(), 0, failedStep);
    if (int err = WriteJournal(fs, dir, name, old, failedStep); err != 0) return err;

    int err = Overwrite(fs, *file, content, failedStep);
    if (err != 0) {
        std::string ignored;
        if (Overwrite(fs, *file, old, ignored) == 0 && fs.UnlinkAt(dir, JournalName(name)) == 0)
            return err;
        return Fail(failedStep, step::kNotRestored, err);
    }
    if ((err = CloseWritten(fs, file.Release(), 0, failedStep)) != 0) return err;
    if ((err = fs.UnlinkAt(dir, JournalName(name))) != 0) return Fail(failedStep, step::kDelete, err);
    if ((err = fs.Sync(dir)) != 0) return Fail(failedStep, step::kSync, err);
    return 0;
}

// Replaces `name` by a new file renamed over it.
int ReplaceByRename(FileSystem& fs, Handle dir, const std::string& name, bool exists, const FileStat& st,
                    std::string_view content, bool sync, bool& useInPlace, std::string& failedStep) {
    std::string temp;
    Handle file;
    if (int err = CreateTemp(fs, dir, name, exists ? 0600 : 0666, temp, file); err != 0)
        return Fail(failedStep, step::kCreate, err);
    FileStat made;
    int err = fs.StatOf(file, made);
    if (err != 0) failedStep = step::kInfo;
    if (err == 0) err = WriteAll(fs, file, content, false, failedStep);
    if (err == 0 && exists) {
        if (RunningAsRoot()) {
            if ((err = fs.SetOwner(file, st.uid, st.gid)) != 0) failedStep = step::kOwner;
        } else if (made.gid != st.gid && fs.SetOwner(file, made.uid, st.gid) != 0) {
            useInPlace = true;  // this account cannot give the file its group
        }
        // The umask may have narrowed the mode, and chown clears set-id bits.
        if (err == 0 && !useInPlace && (err = fs.SetMode(file, st.mode & 07777)) != 0)
            failedStep = step::kAttributes;
    }
    if (err == 0 && !useInPlace && sync && (err = fs.Sync(file)) != 0) failedStep = step::kSync;
    err = CloseWritten(fs, file, err, failedStep);
    // The name must still hold the file made: one swapped for a link by
    // someone else is not renamed over the board file.
    if (err == 0 && !useInPlace) {
        FileStat now;
        if ((err = fs.StatAt(dir, temp, now)) == 0 && (now.isLink || now.dev != made.dev || now.ino != made.ino))
            err = kReplacedMeanwhile;
        if (err != 0) failedStep = step::kRename;
    }
    if (err == 0 && !useInPlace && (err = fs.RenameAt(dir, temp, name)) != 0) failedStep = step::kRename;
    if (err != 0 || useInPlace) {
        fs.UnlinkAt(dir, temp);
        return err;
    }
    if (sync && (err = fs.Sync(dir)) != 0) return Fail(failedStep, step::kSync, err);
    return 0;
}

}  // namespace

std::string JournalName(const std::string& name) {
    if (name.size() <= 200) return "." + name + ".solne-journal";
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(HashBytes(name)));
    return ".solne-" + std::string(hex) + ".journal";
}

int ReadCurrentContent(FileSystem& fs, const std::string& target, std::string& out, size_t limit,
                       bool lookForJournal, FileStat* fileStat) {
    if (lookForJournal) {
        const std::string journal = JoinPath(FolderOf(target), JournalName(NameOf(target)));
        FileStat st;
        int err = fs.Stat(journal, st);
        if (err == 0 && st.isRegular && !st.isLink) {
            if (fileStat && (err = fs.Stat(target, *fileStat)) != 0) return err;
            return fs.ReadFile(journal, out, limit);
        }
        if (err != 0 && err != ENOENT) return err;
    }
    return fs.ReadFile(target, out, limit, fileStat);
}

int RemoveStaleTemporaryFiles(FileSystem& fs, const std::string& folder, const std::vector<DirEntry>* entries) {
    std::vector<DirEntry> listed;
    if (!entries) {
        if (fs.ListDir(folder, listed) != 0) return 0;
        entries = &listed;
    }
    ScopedHandle dir(fs);
    int removed = 0;
    for (const DirEntry& e : *entries) {
        const std::string& n = e.name;
        if (!n.starts_with('.') || !n.ends_with(kTempEnd)) continue;
        size_t tag = n.rfind(kTempTag);
        if (tag == std::string::npos) continue;
        // ".NAME.solne-PID-N.tmp": the process id after the tag.
        const char* p = n.c_str() + tag + kTempTag.size();
        char* end = nullptr;
        long pid = std::strtol(p, &end, 10);
        if (end == p || *end != '-' || pid <= 0) continue;
        if (pid == CurrentProcessId() || ProcessIsRunning(pid)) continue;
        if (!dir.get().valid() && fs.OpenFolder(folder, dir.get()) != 0) return removed;
        if (fs.UnlinkAt(*dir, n) == 0) ++removed;
    }
    return removed;
}

int ReplaceFile(FileSystem& fs, const std::string& root, const std::string& path, std::string_view content,
                bool sync, std::string& failedStep) {
    std::string target;
    int err = FollowLink(fs, root, path, target);
    if (err == ENOENT) {
        target = path;  // a new file (or a link to nothing, which the new file replaces)
    } else if (err != 0) {
        return Fail(failedStep, err == kForeignLink ? step::kLink : step::kInfo, err);
    }
    ScopedHandle dir(fs);
    if ((err = fs.OpenFolder(FolderOf(target), dir.get())) != 0) return Fail(failedStep, step::kCreate, err);
    return ReplaceFileIn(fs, *dir, NameOf(target), true, target != path, content, sync, failedStep);
}

int ReplaceFileIn(FileSystem& fs, Handle dir, const std::string& name, bool lookForJournal, bool followedLink,
                  std::string_view content, bool sync, std::string& failedStep) {
    int err = lookForJournal ? RollBack(fs, dir, name, failedStep) : 0;
    if (err != 0) return err;

    FileStat st;
    err = fs.StatAt(dir, name, st);
    if (err != 0 && err != ENOENT) return Fail(failedStep, step::kInfo, err);
    const bool exists = err == 0;
    if (exists && st.isLink && followedLink) return Fail(failedStep, step::kLink, kReplacedMeanwhile);
    if (exists && !st.isRegular && !st.isLink)
        return Fail(failedStep, step::kWrite, st.isDir ? EISDIR : kNotRegularFile);
    const bool linkToNothing = exists && st.isLink;  // replaced by the new file
    // Renaming would hand the file to this account, or cut it from its
    // other links: rewrite it in place instead. A file of another account
    // that this account may not write (a read-only board file of another
    // member of the group) is replaced after all when the folder allows:
    // it keeps its group and mode, and this account becomes its owner.
    const bool othersFile = !RunningAsRoot() && st.uid != EffectiveUser();
    if (exists && !linkToNothing && (st.nlink > 1 || othersFile)) {
        err = RewriteInPlace(fs, dir, name, st, content, failedStep);
        if (!(err == EACCES && st.nlink == 1 && failedStep == step::kOpen)) return err;
        bool groupRefused = false;
        err = ReplaceByRename(fs, dir, name, true, st, content, sync, groupRefused, failedStep);
        return groupRefused ? Fail(failedStep, step::kOwner, EPERM) : err;
    }
    bool useInPlace = false;
    err = ReplaceByRename(fs, dir, name, exists && !linkToNothing, st, content, sync, useInPlace, failedStep);
    if (err == 0 && useInPlace) return RewriteInPlace(fs, dir, name, st, content, failedStep);
    return err;
}

}  // namespace solne
