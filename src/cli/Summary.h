// What a command changed on the board: the tables before and after, as
// users and groups added, updated and deleted and the per-user files the
// save writes and prunes; as text for people or JSON for scripts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Define/Cp932.h"
#include "Define/Define.h"
#include "Define/FileSystem.h"
#include "store/Settings.h"

namespace solne::cli {

struct Summary {
    struct Renamed {
        std::string from, to;
    };
    std::vector<std::string> usersAdded, usersUpdated, usersDeleted;  // IDs
    std::vector<GroupInfo> groupsAdded, groupsDeleted;
    std::vector<Renamed> groupsRenamed;
    std::vector<std::string> filesWritten;  // "user/NAME" whose name line is new
    std::vector<std::string> filesPruned;   // "user/NAME" the save deletes

    bool Empty() const {
        return usersAdded.empty() && usersUpdated.empty() && usersDeleted.empty() && groupsAdded.empty() &&
               groupsDeleted.empty() && groupsRenamed.empty();
    }
};

// Compares the tables record by record: users by ID and groups by number,
// the k-th record of a key before with the k-th after (keys may repeat).
// Blank slots are no records. Linear in the size of the tables.
Summary Compare(const UserTable& usersBefore, const GroupTable& groupsBefore, const UserTable& usersAfter,
                const GroupTable& groupsAfter);

// Whether the commands left both tables as they were, slot for slot (blank
// slots included: the window's update may write one).
bool SameTables(const UserTable& usersBefore, const GroupTable& groupsBefore, const UserTable& usersAfter,
                const GroupTable& groupsAfter);

// How the run ended, for the last line of the summary.
enum class Outcome { Saved, DryRun, Unchanged };

std::string SummaryText(const Summary& summary, Outcome outcome);
std::string SummaryJson(const Summary& summary, Outcome outcome);

}  // namespace solne::cli
