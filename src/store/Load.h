// Reading the board folder: the field reader of the data files, the lookup
// of per-user files, and loading the user and group tables.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Define/Define.h"
#include "Define/Platform.h"
#include "store/Settings.h"

namespace solne {

struct LoadError {
    std::string file;     // path of the file
    int line = 0;         // 1-based line number, 0 when the whole file is meant
    std::string problem;  // what is wrong, in Japanese, for the message box
    std::string ToString() const;  // "file:line: problem"
};

// The field reader. Works line by line: a field never runs into the next
// line; CR LF, LF and a lone CR each end a line. Blanks (space, tab) in front
// of a field are skipped; an unquoted field ends at a comma or the line end
// and loses trailing spaces; a quoted field is the text up to its closing
// quote, and what follows it up to the next comma or line end is ignored.
// The reader converts nothing: the fields are in the input's own encoding.
// Commas, quotes, blanks and line ends never occur inside a multi-byte
// character of code page 932 or UTF-8, so either may be split. The loader
// decodes a whole data file first and splits the UTF-8 text.
struct FieldLine {
    int number = 0;                   // 1-based line number in the file
    std::vector<std::string> fields;  // raw bytes of each field
};

// One line of a file: its text and its line end (CR LF, LF or a lone CR;
// "" for a last line without one).
struct TextLine {
    std::string_view text;
    std::string_view end;
};
// Takes the next line off the front of `rest`.
TextLine TakeLine(std::string_view& rest);

// Splits a file into its non-empty lines and their fields. Returns an error
// (line and problem; the caller adds the file) for an unterminated quote.
std::optional<LoadError> ReadFieldLines(std::string_view bytes, std::vector<FieldLine>& out);

// Parses a number field: empty gives 0; otherwise a decimal integer (an
// optional sign and digits) within -32768..32767.
bool ParseNumberField(std::string_view field, int16_t& out);

// The per-user folder as listed once: finds a user's file by its exact name,
// else by the one file whose name matches case-insensitively.
class UserFolderIndex {
public:
    // Lists `folder`. A missing folder gives an empty index (returns 0).
    int Build(FileSystem& fs, const std::string& folder);

    struct Match {
        std::string name;         // the file's own name in the folder
        bool caseOnly = false;    // found by a case-insensitive match
    };
    // Exact name "<id>.txt" when such a regular file exists (a dot name
    // included), else the single case-insensitive match, else nullopt.
    std::optional<Match> Find(const std::string& fileName) const;

    const std::vector<DirEntry>& Entries() const { return entries_; }
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    std::vector<DirEntry> entries_;
    std::unordered_map<std::string, size_t> exact_;  // regular files only
    // Lower-case name to regular files; built on the first lookup that needs it.
    mutable std::unordered_map<std::string, std::vector<size_t>> folded_;
    mutable bool foldedBuilt_ = false;
};

// Lower-cases ASCII letters (the case folding used for per-user file names).
std::string FoldCase(std::string_view name);

// Per-user file name of a user ID: the ID followed by ".txt".
std::string UserFileName(const std::string& userId);

// Whether an ID may be used to build a path: no "/", "\" or NUL.
bool IdIsSafePath(std::string_view userId);

// Where each loaded user came from, for the check report.
struct UserSource {
    int line = 0;              // line of "user.txt"
    std::string perUserFile;   // name of the per-user file found, "" when none
    bool caseOnly = false;     // found only by a case-insensitive match
    int nameLineEquals = 0;    // number of "=" in the name line
};

struct GroupSource {
    int line = 0;  // line of "group.txt"
};

// What the loader remembers of a data file, to notice outside changes later.
struct FileSnapshot {
    bool exists = false;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    uint64_t hash = 0;
    bool operator==(const FileSnapshot&) const = default;
};
FileSnapshot SnapshotOf(bool exists, const FileStat& st, std::string_view content);
uint64_t HashBytes(std::string_view bytes);  // FNV-1a 64

struct LoadedBoard {
    UserTable Users;
    GroupTable Groups;
    // One per slot; the one blank slot of a file without records has line 0.
    std::vector<UserSource> userSources;
    std::vector<GroupSource> groupSources;
    FileSnapshot userFile;
    FileSnapshot groupFile;
};

// Loads users (with display names, status and plan lines and group names)
// and groups. Never half-loads: on any error the tables are left empty and
// the error names the file, the line and the problem.
std::optional<LoadError> LoadBoard(FileSystem& fs, const BoardPaths& paths, LoadedBoard& out);

}  // namespace solne
