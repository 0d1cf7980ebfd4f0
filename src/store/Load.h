// Loading the board folder into the user and group tables.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Define/Define.h"
#include "Define/FileSystem.h"
#include "store/Failure.h"
#include "store/FieldReader.h"
#include "store/Journal.h"
#include "store/Settings.h"
#include "store/Snapshot.h"

namespace solne {

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

struct LoadedBoard {
    UserTable Users;
    GroupTable Groups;
    // One per slot; the one blank slot of a file without records has line 0.
    std::vector<UserSource> userSources;
    std::vector<GroupSource> groupSources;
    FileSnapshot userFile;
    FileSnapshot groupFile;
    // Journals found beside the files and not trusted (Journal.h): not
    // read. Kept also when the load fails, for its message.
    std::vector<JournalFinding> ignoredJournals;
};

// What the board is loaded for. A board loaded to be saved again (the
// editor, solne-admin) keeps in the snapshot of "user.txt" the name line of
// every per-user file, which the save's look for changes made outside
// compares; a board loaded only to be read (solne-check) goes without it
// and must never be saved.
enum class LoadFor { Saving, Reading };

// Loads users (with display names, status and plan lines and group names)
// and groups. Never half-loads: on any error the tables are left empty and
// the error names the file, the line and the problem (and `out` holds only
// the ignored journals).
// `progress`, when given, hears (files done, files in all) once the data
// files are read and after each user's per-user file; the files in all are
// the two data files and one per line of "user.txt".
std::optional<Failure> LoadBoard(FileSystem& fs, const BoardPaths& paths, LoadedBoard& out,
                                   const std::function<void(size_t done, size_t total)>& progress = {},
                                   LoadFor purpose = LoadFor::Saving);

}  // namespace solne
