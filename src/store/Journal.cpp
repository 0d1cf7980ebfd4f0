// The journal of a rewrite in place: writing it, and trusting it only when
// it comes from an account that may write the file it belongs to.
#include "store/Journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "store/Failure.h"
#include "store/SafeWrite.h"
#include "store/SaveSteps.h"
#include "store/Snapshot.h"

namespace solne {

namespace {

constexpr std::string_view kMagic = "solne-journal 1 ";
// The content is read and copied in pieces of this size.
constexpr size_t kChunk = size_t(1) << 20;

thread_local JournalFindings* collecting = nullptr;
thread_local std::string namedFolder;

int Fail(std::string& failedStep, const char* step, int err) {
    failedStep = step;
    return err;
}

bool ParseDecimal(std::string_view digits, uint64_t& out) {
    out = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + uint64_t(c - '0');
    }
    return true;
}

bool ParseHex(std::string_view digits, uint64_t& out) {
    out = 0;
    for (char c : digits) {
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (v < 0) return false;
        out = out * 16 + uint64_t(v);
    }
    return true;
}

// Why the journal `j` (its descriptor's view) is not to be trusted for the
// file `file`; "" when nothing in its kind, links, owner or mode speaks
// against it.
std::string Distrust(const FileStat& j, const FileStat& file) {
    if (!j.isRegular) return "通常のファイルではありません";
    if (j.nlink != 1) return "ほかの名前（ハードリンク）があります";
    if (!kFilesHaveOwners) return "";
    if (j.mode & 022) return "所有者のほかにも書き込めます";
    const bool mayWrite = j.uid == 0 || j.uid == file.uid || (file.mode & 002) ||
                          ((file.mode & 020) && AccountInGroup(j.uid, file.gid));
    if (!mayWrite) return "このファイルに書き込めないアカウント（uid " + std::to_string(j.uid) + "）のものです";
    return "";
}

// Reads the journal's content from the current position to its end and
// tells whether it matches `want`.
int ChecksumMatches(FileSystem& fs, Handle file, uint64_t want, bool& matches) {
    JournalChecksum sum;
    std::string piece;
    for (;;) {
        piece.clear();
        if (int err = fs.Read(file, kChunk, piece); err != 0) return err;
        sum.Add(piece);
        if (piece.size() < kChunk) break;
    }
    matches = sum.value == want;
    return 0;
}

}  // namespace

std::string JournalName(const std::string& name) {
    if (name.size() <= 200) return "." + name + ".solne-journal";
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(HashBytes(name)));
    return ".solne-" + std::string(hex) + ".journal";
}

void JournalChecksum::Add(std::string_view bytes) {
    uint64_t h = value;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    value = h;
}

std::string FormatJournalHeader(const JournalHeader& h) {
    char line[kJournalHeaderBytes + 1];
    std::snprintf(line, sizeof line, "%s%020llu %020llu %020lld %016llx\n", std::string(kMagic).c_str(),
                  static_cast<unsigned long long>(h.dev), static_cast<unsigned long long>(h.ino),
                  static_cast<long long>(h.size), static_cast<unsigned long long>(h.checksum));
    return std::string(line, kJournalHeaderBytes);
}

bool LooksLikeJournalHeader(std::string_view bytes) { return bytes.starts_with(kMagic); }

bool ParseJournalHeader(std::string_view bytes, JournalHeader& out) {
    if (bytes.size() < kJournalHeaderBytes || !LooksLikeJournalHeader(bytes)) return false;
    std::string_view f = bytes.substr(kMagic.size(), kJournalHeaderBytes - kMagic.size());
    // DEV INO SIZE CHECKSUM: 20, 20, 20 and 16 characters, blanks between, a line end after.
    if (f[20] != ' ' || f[41] != ' ' || f[62] != ' ' || f[79] != '\n') return false;
    uint64_t size = 0;
    if (!ParseDecimal(f.substr(0, 20), out.dev) || !ParseDecimal(f.substr(21, 20), out.ino) ||
        !ParseDecimal(f.substr(42, 20), size) || !ParseHex(f.substr(63, 16), out.checksum))
        return false;
    if (size > uint64_t(INT64_MAX)) return false;
    out.size = int64_t(size);
    return true;
}

int WriteJournal(FileSystem& fs, Handle dir, const std::string& name, const FileStat& file, SourceFile& old,
                 const std::function<void(std::string_view)>& restSeen, FileStat& made, std::string& failedStep) {
    std::string temp;
    ScopedHandle out(fs);
    if (int err = CreateTemporaryFile(fs, dir, name, 0600, temp, out.get()); err != 0)
        return Fail(failedStep, step::kCreate, err);
    JournalHeader header{uint64_t(file.dev), uint64_t(file.ino), 0, 0};
    JournalChecksum sum;
    auto write = [&] {
        if (int err = fs.StatOf(*out, made); err != 0) return Fail(failedStep, step::kInfo, err);
        // The header's place first; its values are known once the content is through.
        if (int err = fs.Write(*out, FormatJournalHeader(header)); err != 0) return Fail(failedStep, step::kWrite, err);
        if (int err = fs.Write(*out, old.head); err != 0) return Fail(failedStep, step::kWrite, err);
        sum.Add(old.head);
        header.size = int64_t(old.head.size());
        if (!old.atEnd) {
            if (int err = fs.Seek(*old.file, old.base + int64_t(old.head.size())); err != 0)
                return Fail(failedStep, step::kRead, err);
            std::string piece;
            for (;;) {
                piece.clear();
                if (int err = fs.Read(*old.file, kChunk, piece); err != 0) return Fail(failedStep, step::kRead, err);
                if (int err = fs.Write(*out, piece); err != 0) return Fail(failedStep, step::kWrite, err);
                sum.Add(piece);
                header.size += int64_t(piece.size());
                if (restSeen) restSeen(piece);
                if (piece.size() < kChunk) break;
            }
        }
        header.checksum = sum.value;
        if (int err = fs.Seek(*out, 0); err != 0) return Fail(failedStep, step::kWrite, err);
        if (int err = fs.Write(*out, FormatJournalHeader(header)); err != 0) return Fail(failedStep, step::kWrite, err);
        if (int err = fs.Sync(*out); err != 0) return Fail(failedStep, step::kSync, err);
        if (int err = fs.Close(out.Release()); err != 0) return Fail(failedStep, step::kWrite, err);
        // Renamed only now: a journal that exists is always complete.
        if (int err = fs.RenameAt(dir, temp, JournalName(name)); err != 0) return Fail(failedStep, step::kRename, err);
        if (int err = fs.Sync(dir); err != 0) return Fail(failedStep, step::kSync, err);
        return 0;
    };
    int err = write();
    if (err != 0) {
        out.reset();
        fs.UnlinkAt(dir, temp);
    }
    return err;
}

int OpenTrustedJournal(FileSystem& fs, Handle dir, const std::string& name, const FileStat* file,
                       const FileStat* made, SourceFile& journal) {
    const std::string journalName = JournalName(name);
    journal.file.reset();
    journal.head.clear();
    journal.atEnd = false;
    journal.base = 0;
    int err = fs.OpenAt(dir, journalName, false, journal.file.get(), &journal.st);
    if (made) {
        // The journal just written: it must still be that file.
        if (err == 0 && (journal.st.dev != made->dev || journal.st.ino != made->ino)) err = kReplacedMeanwhile;
    }
    if (err == ENOENT || (made && err != 0)) return err;
    auto ignore = [&](std::string reason) {
        journal.file.reset();
        NoteIgnoredJournal(journalName, std::move(reason));
        return ENOENT;
    };
    // Opened without following a link and without blocking: a link is
    // ELOOP, a fifo, device or folder is refused before any read.
    if (err == ELOOP) return ignore("シンボリックリンクです");
    if (err == kNotRegularFile || err == EISDIR) return ignore("通常のファイルではありません");
    if (err != 0) return ignore("開けません（" + ErrorText(err) + "）");
    if (!file) return ignore("対応するファイルがありません");
    if (std::string why = Distrust(journal.st, *file); !why.empty()) return ignore(why);

    std::string head;
    if ((err = fs.Read(*journal.file, kJournalHeaderBytes, head)) != 0) return err;
    JournalHeader h;
    if (ParseJournalHeader(head, h)) {
        if (h.dev != uint64_t(file->dev) || h.ino != uint64_t(file->ino)) return ignore("別のファイルのものです");
        if (journal.st.size - int64_t(kJournalHeaderBytes) != h.size) return ignore("長さが見出しと合いません");
        journal.base = int64_t(kJournalHeaderBytes);
        if (!made) {
            bool matches = false;
            if ((err = ChecksumMatches(fs, *journal.file, h.checksum, matches)) != 0) return err;
            if (!matches) return ignore("内容が見出しのチェックサムと合いません");
        }
    } else if (LooksLikeJournalHeader(head)) {
        return ignore("見出しが壊れています");
    } else {
        // A journal of an earlier version: as that version made it, or not
        // at all. Nothing tells its length, so it is held to the limit of
        // the files the programs read whole.
        if (journal.st.size > int64_t(kMaxFileBytes)) return ignore("見出しがなく、大きすぎます（上限 64 MiB）");
        if (kFilesHaveOwners && journal.st.mode != 0600) return ignore("見出しがなく、モードも 0600 ではありません");
    }
    journal.st.size -= journal.base;
    if ((err = fs.Seek(*journal.file, journal.base)) != 0) return err;
    return 0;
}

std::string JournalFinding::ToString() const { return path + ": ジャーナルとして使いませんでした（" + reason + "）"; }

JournalFindings::JournalFindings() : outer_(collecting) { collecting = this; }
JournalFindings::~JournalFindings() { collecting = outer_; }

std::vector<JournalFinding> JournalFindings::Take() { return std::move(found_); }

void NameJournalFolder(const std::string& folder) { namedFolder = folder; }

void NoteIgnoredJournal(const std::string& name, std::string reason) {
    if (!collecting) return;
    std::string path = namedFolder.empty() ? name : JoinPath(namedFolder, name);
    // A journal looked at again (the check before a save, then the save) is named once.
    if (!collecting->paths_.insert(path).second) return;
    collecting->found_.push_back(JournalFinding{std::move(path), std::move(reason)});
}

std::string JournalFindingsText(const std::vector<JournalFinding>& findings) {
    constexpr size_t kListed = 10;
    if (findings.empty()) return "";
    std::string text =
        "次のファイルは信頼できるジャーナル（書き換えの途中で残った元の内容の控え）ではないため、使いませんでした。";
    for (size_t i = 0; i < findings.size() && i < kListed; ++i) text += "\r\n" + findings[i].ToString();
    if (findings.size() > kListed) text += "\r\nほか " + std::to_string(findings.size() - kListed) + " 件";
    return text;
}

}  // namespace solne
