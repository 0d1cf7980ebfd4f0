// Replacing a file's content so that a crash or a full disk never leaves it
// half-written, without taking it away from its owner, and without ever
// letting a path swapped for a link redirect a change: every change goes
// through a handle opened without following links.
#include "store/SafeWrite.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>

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

// The bytes of a file are copied in pieces of this size.
constexpr size_t kCopyChunk = size_t(1) << 20;

// What the bytes after a source's head were when they were copied: their
// length and a hash taken piece by piece (both passes read the same pieces).
struct Digest {
    uint64_t hash = 14695981039346656037ull;
    int64_t length = 0;
    void Add(std::string_view piece) {
        hash = (hash ^ uint64_t(std::hash<std::string_view>{}(piece))) * 1099511628211ull;
        length += int64_t(piece.size());
    }
    bool operator==(const Digest&) const = default;
};

// Closes a handle that was written; a failed close is a failed write.
int CloseWritten(FileSystem& fs, Handle file, int err, std::string& failedStep) {
    int closeErr = fs.Close(file);
    if (err == 0 && closeErr != 0) return Fail(failedStep, step::kWrite, closeErr);
    return err;
}

// Streams the source's bytes from `offset` to its end into `to` (when
// valid), adding them to `digest` (when given).
int StreamFrom(FileSystem& fs, SourceFile& from, int64_t offset, Handle to, Digest* digest,
               std::string& failedStep) {
    if (int err = fs.Seek(*from.file, from.base + offset); err != 0) return Fail(failedStep, step::kRead, err);
    std::string piece;
    for (;;) {
        piece.clear();
        if (int err = fs.Read(*from.file, kCopyChunk, piece); err != 0) return Fail(failedStep, step::kRead, err);
        if (piece.empty()) return 0;
        if (to.valid()) {
            if (int err = fs.Write(to, piece); err != 0) return Fail(failedStep, step::kWrite, err);
        }
        if (digest) digest->Add(piece);
        if (piece.size() < kCopyChunk) return 0;
    }
}

// Writes the source's bytes from `keepFrom` to its end: what its head holds
// from memory, the rest from disk. `digest` receives the bytes after the head.
int WriteFrom(FileSystem& fs, Handle to, SourceFile& from, size_t keepFrom, Digest* digest,
              std::string& failedStep) {
    if (keepFrom < from.head.size()) {
        if (int err = fs.Write(to, std::string_view(from.head).substr(keepFrom)); err != 0)
            return Fail(failedStep, step::kWrite, err);
    }
    if (from.atEnd) return 0;
    return StreamFrom(fs, from, int64_t(std::max(keepFrom, from.head.size())), to, digest, failedStep);
}

// Writes the whole new content to an open file from its current position;
// a content held whole in memory in one write.
int WriteContent(FileSystem& fs, Handle to, const NewContent& c, Digest* digest, std::string& failedStep) {
    if (c.source && c.source->atEnd && c.keepFrom <= c.source->head.size()) {
        std::string all;
        all.reserve(c.head.size() + c.source->head.size() - c.keepFrom);
        all.append(c.head).append(std::string_view(c.source->head).substr(c.keepFrom));
        if (int err = fs.Write(to, all); err != 0) return Fail(failedStep, step::kWrite, err);
        return 0;
    }
    if (int err = fs.Write(to, c.head); err != 0) return Fail(failedStep, step::kWrite, err);
    return c.source ? WriteFrom(fs, to, *c.source, c.keepFrom, digest, failedStep) : 0;
}

// Whether `name` is still the source and holds the bytes read from it
// (`copied`: those after its head): 0, kChangedMeanwhile, or an error.
int Verify(FileSystem& fs, Handle dir, const std::string& name, SourceFile& src, const Digest& copied,
           std::string& failedStep) {
    failedStep = step::kRename;
    if (!src.file.get().valid() && src.settled) {
        // Settled: a change since the read would show in the times.
        FileStat now;
        int err = fs.StatAt(dir, name, now);
        if (err == ENOENT) return kChangedMeanwhile;
        if (err != 0) return Fail(failedStep, step::kInfo, err);
        const bool same = !now.isLink && now.isRegular && now.id() == src.st.id() && now.size == src.st.size &&
                          now.mtimeNs == src.st.mtimeNs && now.ctimeNs == src.st.ctimeNs;
        return same ? 0 : kChangedMeanwhile;
    }
    if (!src.file.get().valid()) {
        // A source held whole in memory, read before: the look opens the
        // name itself (never through a link), and its descriptor tells
        // identity and size.
        SourceFile now(fs);
        int err = OpenSource(fs, dir, name, now);
        if (err == ENOENT || err == ELOOP || err == kNotRegularFile || err == EISDIR) return kChangedMeanwhile;
        if (err != 0) return Fail(failedStep, step::kRead, err);
        if (now.st.dev != src.st.dev || now.st.ino != src.st.ino || now.st.size != int64_t(src.head.size()))
            return kChangedMeanwhile;
        if ((err = ReadHead(fs, now, src.head.size())) != 0) return Fail(failedStep, step::kRead, err);
        return now.head == src.head ? 0 : kChangedMeanwhile;
    }
    FileStat now;
    int err = fs.StatAt(dir, name, now);
    if (err == ENOENT) return kChangedMeanwhile;
    if (err != 0) return Fail(failedStep, step::kInfo, err);
    if (now.isLink || now.dev != src.st.dev || now.ino != src.st.ino) return kChangedMeanwhile;
    if (now.size != int64_t(src.head.size()) + (src.atEnd ? 0 : copied.length)) return kChangedMeanwhile;
    std::string again;
    if ((err = fs.Seek(*src.file, src.base)) != 0 || (err = fs.Read(*src.file, src.head.size(), again)) != 0)
        return Fail(failedStep, step::kRead, err);
    if (again != src.head) return kChangedMeanwhile;
    if (src.atEnd) return 0;
    Digest rest;
    if ((err = StreamFrom(fs, src, int64_t(src.head.size()), Handle(), &rest, failedStep)) != 0) return err;
    return rest == copied ? 0 : kChangedMeanwhile;
}

// Puts new content into an open file from its start: room for `size` bytes
// reserved first, `head` and the bytes of `tail` (if any) from `keepFrom`
// written, the file cut to `size`, flushed.
int Overwrite(FileSystem& fs, Handle file, std::string_view head, SourceFile* tail, size_t keepFrom, int64_t size,
              std::string& failedStep) {
    int err = fs.Reserve(file, size);
    // A file system without reservation: the journal still guards the rewrite.
    if (err != 0 && err != EOPNOTSUPP) return Fail(failedStep, step::kWrite, err);
    if ((err = fs.Seek(file, 0)) != 0) return Fail(failedStep, step::kWrite, err);
    if ((err = fs.Write(file, head)) != 0) return Fail(failedStep, step::kWrite, err);
    if (tail && (err = WriteFrom(fs, file, *tail, keepFrom, nullptr, failedStep)) != 0) return err;
    if ((err = fs.Truncate(file, size)) != 0) return Fail(failedStep, step::kWrite, err);
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

// Rewrites an existing file in place: it keeps its owner, group, mode and
// links. The old content goes to the journal first; the rest of the new
// content then comes from the journal, since the file itself is being
// overwritten. After a failure the old content is written back and the
// journal removed, and when even that fails the journal stays, so the file
// still reads as its old content.
int RewriteInPlace(FileSystem& fs, Handle dir, const std::string& name, const FileStat& examined,
                   const NewContent& c, std::string& failedStep) {
    SourceFile file(fs);  // open for reading and writing
    if (int err = OpenChecked(fs, dir, name, examined, file.file.get(), failedStep); err != 0)
        return err == kReplacedMeanwhile && c.verify ? kChangedMeanwhile : err;
    file.st = examined;
    SourceFile* old = c.source;
    if (old) {
        // The file must be the one the new content was built from.
        if (old->st.dev != examined.dev || old->st.ino != examined.ino)
            return Fail(failedStep, step::kOpen, kChangedMeanwhile);
    } else {
        if (int err = ReadHead(fs, file, c.head.size() + 1); err != 0) return Fail(failedStep, step::kRead, err);
        if (file.atEnd && file.head == c.head) return CloseWritten(fs, file.file.Release(), 0, failedStep);
        old = &file;
    }
    Digest copied;
    FileStat made;
    if (int err = WriteJournal(fs, dir, name, examined, *old, [&](std::string_view piece) { copied.Add(piece); },
                               made, failedStep);
        err != 0)
        return err;
    SourceFile journal(fs);
    int err = c.verify ? Verify(fs, dir, name, *old, copied, failedStep) : 0;
    if (err == 0 && c.source && (err = OpenTrustedJournal(fs, dir, name, &examined, &made, journal)) != 0)
        failedStep = step::kRead;
    if (err != 0) {  // the file is untouched
        fs.UnlinkAt(dir, JournalName(name));
        return err;
    }

    err = c.source ? Overwrite(fs, *file.file, c.head, &journal, c.keepFrom,
                               int64_t(c.head.size()) + journal.st.size - int64_t(c.keepFrom), failedStep)
                   : Overwrite(fs, *file.file, c.head, nullptr, 0, int64_t(c.head.size()), failedStep);
    if (err != 0) {
        std::string ignored;
        bool restored = (journal.file.get().valid() || OpenTrustedJournal(fs, dir, name, &examined, &made, journal) == 0) &&
                        Overwrite(fs, *file.file, "", &journal, 0, journal.st.size, ignored) == 0;
        journal.file.reset();
        if (restored && fs.UnlinkAt(dir, JournalName(name)) == 0) return err;
        return Fail(failedStep, step::kNotRestored, err);
    }
    journal.file.reset();  // Windows removes no name that is still open
    if ((err = CloseWritten(fs, file.file.Release(), 0, failedStep)) != 0) return err;
    if ((err = fs.UnlinkAt(dir, JournalName(name))) != 0) return Fail(failedStep, step::kDelete, err);
    if ((err = fs.Sync(dir)) != 0) return Fail(failedStep, step::kSync, err);
    return 0;
}

// Replaces `name` by a new file renamed over it.
int ReplaceByRename(FileSystem& fs, Handle dir, const std::string& name, bool exists, const FileStat& st,
                    const NewContent& c, bool sync, bool& useInPlace, std::string& failedStep) {
    std::string temp;
    Handle file;
    // A file that will hold its group at once gets its permissions at once;
    // else it stays private until its owner and group are set.
    const bool groupAtOnce = kFilesHaveOwners && exists && c.folder.newFileGroup && *c.folder.newFileGroup == st.gid;
    const FileMode createMode = !exists ? 0666 : groupAtOnce ? (st.mode & 0777) : 0600;
    if (int err = CreateTemporaryFile(fs, dir, name, createMode, temp, file); err != 0)
        return Fail(failedStep, step::kCreate, err);
    FileStat made;
    Digest copied;
    // The new file's owner, group and mode, and its identity for the look
    // before the rename: from its descriptor, unless the rules tell the
    // first and no look is needed.
    const std::optional<FolderRules::NewFileFacts>& rules = c.folder.newFile;
    int err = 0;
    if (rules && c.folder.namesOnlyOwners) {
        made.uid = rules->uid;
        made.gid = rules->gid;
        made.mode = createMode & ~rules->umask;
    } else if ((err = fs.StatOf(file, made)) != 0) {
        failedStep = step::kInfo;
    }
    if (err == 0) err = WriteContent(fs, file, c, &copied, failedStep);
    if (err == 0 && exists) {
        // Only what differs is changed.
        const bool owned = made.uid == st.uid && made.gid == st.gid;
        if (!owned && RunningAsRoot()) {
            if ((err = fs.SetOwner(file, st.uid, st.gid)) != 0) failedStep = step::kOwner;
        } else if (!owned && made.gid != st.gid && fs.SetOwner(file, made.uid, st.gid) != 0) {
            useInPlace = true;  // this account cannot give the file its group
        }
        // The umask may have narrowed the mode, and chown clears set-id bits.
        const bool modeRight = owned && (made.mode & 07777) == (st.mode & 07777);
        if (err == 0 && !useInPlace && !modeRight && (err = fs.SetMode(file, st.mode & 07777)) != 0)
            failedStep = step::kAttributes;
    }
    if (err == 0 && !useInPlace && sync && (err = fs.Sync(file)) != 0) failedStep = step::kSync;
    err = CloseWritten(fs, file, err, failedStep);
    // The name must still hold the file made: one swapped for a link by
    // someone else is not renamed over the board file.
    if (err == 0 && !useInPlace && !c.folder.namesOnlyOwners) {
        FileStat now;
        if ((err = fs.StatAt(dir, temp, now)) == 0 && (now.isLink || now.dev != made.dev || now.ino != made.ino))
            err = kReplacedMeanwhile;
        if (err != 0) failedStep = step::kRename;
    }
    // The last look at the file being replaced, as late as it can be.
    if (err == 0 && !useInPlace && c.verify) err = Verify(fs, dir, name, *c.source, copied, failedStep);
    if (err == 0 && !useInPlace) {
        if (c.source) c.source->file.reset();  // Windows renames over no open file
        if ((err = fs.RenameAt(dir, temp, name)) != 0) failedStep = step::kRename;
    }
    if (err != 0 || useInPlace) {
        fs.UnlinkAt(dir, temp);
        return err;
    }
    if (sync && (err = fs.Sync(dir)) != 0) return Fail(failedStep, step::kSync, err);
    return 0;
}

// Whether a failed replace was the rename over the file, refused because
// the file is open somewhere: an SMB share does that (EBUSY when this
// client holds it open, EEXIST when another machine does); a local file
// system never does.
bool RenameRefusedOverOpenFile(int err, const std::string& failedStep) {
    return (err == EBUSY || err == EEXIST) && failedStep == step::kRename;
}

// Opens the source again after ReplaceByRename closed it: it must still be
// the same file with the same size (kChangedMeanwhile otherwise).
int ReopenSource(FileSystem& fs, Handle dir, const std::string& name, SourceFile& src, std::string& failedStep) {
    const FileStat before = src.st;
    src.file.reset();
    if (int err = OpenSource(fs, dir, name, src); err != 0) return Fail(failedStep, step::kOpen, err);
    if (src.st.dev != before.dev || src.st.ino != before.ino || src.st.size != before.size)
        return Fail(failedStep, step::kRename, kChangedMeanwhile);
    return 0;
}

}  // namespace

namespace {

// The file `name` of the folder as the editor must see it, decided on
// descriptors: the file opened (never through a link), then its journal
// judged against what that descriptor tells. `fileStat` receives the file's.
int ReadCurrent(FileSystem& fs, Handle dir, const std::string& name, std::string& out, size_t limit,
                bool lookForJournal, FileStat* fileStat) {
    out.clear();
    SourceFile file(fs);
    int err = OpenSource(fs, dir, name, file);
    SourceFile journal(fs);
    // A journal without its file is looked at only to be named.
    int journalErr = lookForJournal ? OpenTrustedJournal(fs, dir, name, err == 0 ? &file.st : nullptr, nullptr, journal)
                                    : ENOENT;
    if (err != 0) return err;
    if (journalErr != 0 && journalErr != ENOENT) return journalErr;
    if (fileStat) *fileStat = file.st;
    SourceFile& src = journalErr == 0 ? journal : file;
    // The size the file had when opened tells when to stop: no read to find the end.
    const bool tooLarge = src.st.size > int64_t(limit);
    // Read into the caller's buffer (empty here): one reused from file to
    // file costs no allocation.
    if (src.head.empty()) src.head.swap(out);
    err = ReadHead(fs, src, tooLarge ? limit : size_t(src.st.size));
    out = std::move(src.head);
    if (err != 0) {
        out.clear();
        return err;
    }
    return tooLarge ? EFBIG : 0;
}

}  // namespace

int CreateTemporaryFile(FileSystem& fs, Handle dir, const std::string& name, FileMode mode, std::string& temp,
                        Handle& file) {
    static unsigned counter = 0;
    // Its name begins with ".", so pruning never takes it for a user's file.
    std::string prefix = name.size() <= 200 ? "." + name + std::string(kTempTag) : std::string(kTempTag);
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        temp = prefix + std::to_string(CurrentProcessId()) + "-" + std::to_string(++counter) + std::string(kTempEnd);
        err = fs.CreateAt(dir, temp, mode, file);
    }
    return err;
}

int ReadCurrentContentIn(FileSystem& fs, Handle dir, const std::string& name, std::string& out, size_t limit,
                         bool lookForJournal, FileStat* st) {
    return ReadCurrent(fs, dir, name, out, limit, lookForJournal, st);
}

int RemoveStaleTemporaryFiles(FileSystem& fs, Handle dir, const std::vector<DirEntry>* entries) {
    std::vector<DirEntry> listed;
    if (!entries) {
        if (fs.ReadFolder(dir, listed) != 0) return 0;
        entries = &listed;
    }
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
        // Ours only: a regular file that a save of this account made.
        FileStat st;
        if (fs.StatAt(dir, n, st) != 0 || st.isLink || !st.isRegular) continue;
        // In a folder of another account a save as root works with that
        // account's rights (EffectiveUser), so its files are the folder's owner's.
        const bool ours = !kFilesHaveOwners || st.uid == EffectiveUser() || TrustedOwner(st.uid);
        if (ours && fs.UnlinkAt(dir, n) == 0) ++removed;
    }
    return removed;
}

int OpenSource(FileSystem& fs, Handle dir, const std::string& name, SourceFile& out) {
    return fs.OpenAt(dir, name, false, out.file.get(), &out.st);
}

int ReadHead(FileSystem& fs, SourceFile& src, size_t size) {
    if (src.atEnd || src.head.size() >= size) return 0;
    if (int err = fs.Read(*src.file, size - src.head.size(), src.head); err != 0) return err;
    src.atEnd = src.head.size() < size;
    return 0;
}

int RollBack(FileSystem& fs, Handle dir, const std::string& name, std::string& failedStep) {
    FileStat there;
    int err = fs.StatAt(dir, JournalName(name), there);
    if (err == ENOENT) return 0;  // the usual case: one look
    if (err != 0) return Fail(failedStep, step::kInfo, err);
    // The journal is judged against the file as its own descriptor tells:
    // opened for writing where this account may, else for reading only,
    // so that a journal is named even where it could not be rolled back.
    SourceFile file(fs);
    err = fs.OpenAt(dir, name, true, file.file.get(), &file.st);
    const int writeErr = err;
    if (err == EACCES || err == EPERM || err == EROFS) err = OpenSource(fs, dir, name, file);
    SourceFile journal(fs);
    int journalErr = OpenTrustedJournal(fs, dir, name, err == 0 ? &file.st : nullptr, nullptr, journal);
    if (journalErr == ENOENT) return 0;  // none to use
    if (journalErr != 0) return Fail(failedStep, step::kRead, journalErr);
    if (writeErr != 0) return Fail(failedStep, step::kOpen, writeErr);
    ScopedHandle& written = file.file;
    if ((err = Overwrite(fs, *written, "", &journal, 0, journal.st.size, failedStep)) != 0) return err;
    journal.file.reset();
    if ((err = CloseWritten(fs, written.Release(), 0, failedStep)) != 0) return err;
    if ((err = fs.UnlinkAt(dir, JournalName(name))) != 0) return Fail(failedStep, step::kDelete, err);
    if ((err = fs.Sync(dir)) != 0) return Fail(failedStep, step::kSync, err);
    return 0;
}

int OpenTargetFolder(FileSystem& fs, const std::string& root, const std::string& path, ScopedHandle& dir,
                     std::string& name, bool& followedLink, std::string& failedStep) {
    std::string target;
    int err = FollowLink(fs, root, path, target);
    if (err == ENOENT) {
        target = path;  // a new file (or a link to nothing, which the new file replaces)
    } else if (err != 0) {
        return Fail(failedStep, err == kForeignLink ? step::kLink : step::kInfo, err);
    }
    if ((err = fs.OpenFolder(FolderOf(target), dir.get())) != 0) return Fail(failedStep, step::kCreate, err);
    NameJournalFolder(FolderOf(target));
    name = NameOf(target);
    followedLink = target != path;
    return 0;
}

int ReplaceFile(FileSystem& fs, const std::string& root, const std::string& path, std::string_view content,
                bool sync, std::string& failedStep) {
    ScopedHandle dir(fs);
    std::string name;
    bool followedLink = false;
    if (int err = OpenTargetFolder(fs, root, path, dir, name, followedLink, failedStep); err != 0) return err;
    return ReplaceFileIn(fs, *dir, name, true, followedLink, NewContent(content), sync, failedStep);
}

int ReplaceFileIn(FileSystem& fs, Handle dir, const std::string& name, bool lookForJournal, bool followedLink,
                  const NewContent& content, bool sync, std::string& failedStep) {
    int err = lookForJournal ? RollBack(fs, dir, name, failedStep) : 0;
    if (err != 0) return err;

    // A source that is checked again right before the replace tells what
    // the file is like; else a look at the name.
    FileStat st;
    if (content.verify) st = content.source->st;
    else err = fs.StatAt(dir, name, st);
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
    // A file that cannot be renamed over while it is open elsewhere is
    // rewritten in place, under its journal, as a file of several links is.
    if (exists && !linkToNothing && RenameRefusedOverOpenFile(err, failedStep)) {
        if (content.source && (err = ReopenSource(fs, dir, name, *content.source, failedStep)) != 0) return err;
        return RewriteInPlace(fs, dir, name, st, content, failedStep);
    }
    return err;
}

}  // namespace solne
