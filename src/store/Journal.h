// The journal of a rewrite in place: its name, its format, how it is
// written, and when it is trusted.
//
// A file rewritten in place (it keeps its owner, group and hard links) first
// has its old content kept beside it in ".NAME.solne-journal". A journal
// that exists is complete (written to a temporary file, flushed, renamed);
// it goes once the new content is flushed. A crash in between leaves it:
// the loader reads it as the file's content and the next save writes it
// back before anything else.
//
// Its format: one header line, then the old content byte for byte.
//
//   "solne-journal 1 DEV INO SIZE CHECKSUM\n"
//
// DEV and INO name the file it belongs to (device and inode), SIZE is the
// length of the old content (the file's size before the rewrite), all three
// as 20 decimal digits; CHECKSUM is the FNV-1a 64 hash of the old content,
// as 16 hexadecimal digits. The header has a fixed length (96 bytes), so it
// is written first and filled in once the content is through.
//
// The board folder is shared, and anyone who may create files beside the
// board's files may put one under a journal's name. A journal is therefore
// trusted only when it gives its owner nothing the owner could not do
// directly; everything is decided on the descriptor then read:
//   - a regular file (opened without following a link, without blocking)
//     with one link;
//   - owned by an account that may itself write the file it journals: the
//     file's owner, root, a member of the file's group while the file is
//     group-writable, anyone while it is writable by all;
//   - writable by nobody but its owner;
//   - its header names the file (device and inode as the file's own
//     descriptor tells them), its content is SIZE bytes and matches
//     CHECKSUM (read through once before the journal is used).
// Anything else is ignored, never read as content and never written into
// a file, and becomes a finding that names it (JournalFindings).
//
// A journal of an earlier version of the editor has no header: it was made
// by the account that ran the rewrite, mode 0600, complete before the
// rewrite began. Such a journal left by a crash is honoured when it passes
// every rule above that does not need the header, its mode is 0600 and it
// holds at most 64 MiB: its owner may write the file anyway, so it gives
// nobody more than they had. What it cannot tell (whether the file was
// replaced since) it shares with the journals of that version.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "Define/FileSystem.h"

namespace solne {

struct SourceFile;

// The journal of the file `name`, in the same folder.
std::string JournalName(const std::string& name);

// The checksum of a journal's content: FNV-1a 64, fed piece by piece.
struct JournalChecksum {
    uint64_t value = 14695981039346656037ull;
    void Add(std::string_view bytes);
};

struct JournalHeader {
    uint64_t dev = 0;
    uint64_t ino = 0;
    int64_t size = 0;
    uint64_t checksum = 0;
};

// The header line (kJournalHeaderBytes long, with its line end).
constexpr size_t kJournalHeaderBytes = 96;
std::string FormatJournalHeader(const JournalHeader& h);
// Whether `bytes` begins with a header; fills `out` when it does.
bool ParseJournalHeader(std::string_view bytes, JournalHeader& out);
// Whether `bytes` begin like a header at all (a journal of this version).
bool LooksLikeJournalHeader(std::string_view bytes);

// Writes the journal of `name` (the regular file `file`, as its own
// descriptor describes it) holding `old`'s content: a temporary file made
// exclusively, the header, the content, flushed, renamed to the journal's
// name, the folder flushed. `restSeen` is given every piece of `old` after
// its head, as read. `made` describes the journal file.
int WriteJournal(FileSystem& fs, Handle dir, const std::string& name, const FileStat& file, SourceFile& old,
                 const std::function<void(std::string_view)>& restSeen, FileStat& made, std::string& failedStep);

// Opens the journal of `name` for reading when it is there and trusted for
// the file `file` (its own descriptor's view; nullptr: the file is missing
// or no regular file, so no journal is honoured). `made`, when given: the
// journal just written, which must still be that file (its content is not
// read again). On 0 `journal` is positioned at the old content, its `base`
// past the header and `st.size` the content's length. ENOENT: no journal to
// use (none, or one ignored and noted as a finding). Another errno value:
// a trusted journal could not be read.
int OpenTrustedJournal(FileSystem& fs, Handle dir, const std::string& name, const FileStat* file,
                       const FileStat* made, SourceFile& journal);

// A journal that was found and not trusted.
struct JournalFinding {
    std::string path;    // the journal's path
    std::string reason;  // why it was not used
    std::string ToString() const;  // "path: ジャーナルとして使いませんでした（reason）"
};

// Collects, while it lives, the journals ignored on this thread (each path
// once). Collectors nest: the innermost one collects.
class JournalFindings {
public:
    JournalFindings();
    ~JournalFindings();
    JournalFindings(const JournalFindings&) = delete;
    JournalFindings& operator=(const JournalFindings&) = delete;
    std::vector<JournalFinding> Take();

private:
    friend void NoteIgnoredJournal(const std::string& name, std::string reason);
    std::vector<JournalFinding> found_;
    std::unordered_set<std::string> paths_;
    JournalFindings* outer_;
};

// The folder (its path, for the findings) whose journals this thread looks
// at next: set where the folder's handle is opened.
void NameJournalFolder(const std::string& folder);

// Records an ignored journal of the folder last named.
void NoteIgnoredJournal(const std::string& name, std::string reason);

// The message lines the editor shows for ignored journals ("" for none).
std::string JournalFindingsText(const std::vector<JournalFinding>& findings);

}  // namespace solne
