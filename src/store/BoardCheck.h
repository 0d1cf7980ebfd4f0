// The read-only companion "solne-check": a dump of the loaded tables and a
// report of what in a board folder deserves an administrator's attention.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Define/FileSystem.h"
#include "store/Load.h"
#include "store/Settings.h"

namespace solne {

// A value of the dump: "\" "\t" "\r" "\n" written as \\ \t \r \n.
std::string EscapeDumpText(std::string_view utf8);

// Code page 932 bytes of a status or plan line for the dump: valid
// characters as UTF-8 (escaped like any value), every other byte as \xNN.
std::string EscapeDumpBytes(std::string_view cp932);

// The dump of both tables: "users N", one tab-separated line per slot
// (index, UserId, PassWord, GroupNo, GroupName, UserName, StatusLine,
// PlanLine), then "groups M" and one line per slot (index, GroupNo,
// GroupName). LF line ends.
std::string DumpBoard(const LoadedBoard& board);
// The same, handed to `put` a piece at a time.
void DumpBoard(const LoadedBoard& board, const std::function<void(std::string_view)>& put);

// A line of the plain report as a terminal may show it: control
// characters (C0, DEL, C1) and bytes that are not UTF-8 written as \xNN, so
// that no file name can send an escape sequence or begin a line of its own.
std::string EscapeReportLine(std::string_view text);

// One finding of the report.
struct CheckFinding {
    std::string file;     // path of the file concerned, "" when none
    int line = 0;         // 1-based line, 0 when none
    std::string message;
    std::string code;     // the kind of finding, stable for scripts ("duplicate-user-id")
    std::string ToString() const;  // "file:line: message"
};

// Everything the report names (code in brackets): duplicate user IDs
// (duplicate-user-id), unknown group numbers (unknown-group-number),
// duplicate group numbers (duplicate-group-number), blank slots
// (blank-record), users without a per-user file (missing-user-file),
// per-user files found only by letter case (user-file-case-only), name lines
// with more than one "=" (name-line-equals), values the save writes in double
// quotes (quoted-value), values the save refuses (unwritable-value), files
// the next save's pruning deletes (pruned-file), journals the load did not
// trust and did not read (ignored-journal). Sorted by file, line, code
// and message, so the report does not depend on the order in which the file
// system lists a folder. Reads only.
std::vector<CheckFinding> CheckBoard(FileSystem& fs, const BoardPaths& paths,
                                     const LoadedBoard& board);

// The last line of the report.
std::string FindingCountLine(size_t count);

}  // namespace solne
