// Records and tables of the board: users and groups, with the slot rules
// every other module relies on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace solne {

// One user. Texts are UTF-8 in memory, except StatusLine and PlanLine: the
// editor never shows or edits them, so they hold the per-user file's bytes
// (code page 932) exactly as read, without their line end.
struct UserInfo {
    std::string UserId;
    std::string UserName;
    std::string PassWord;
    int16_t GroupNo = 0;
    std::string GroupName;
    std::string StatusLine;
    std::string PlanLine;
};

// One group.
struct GroupInfo {
    int16_t GroupNo = 0;
    std::string GroupName;
};

using UserTable = std::vector<UserInfo>;
using GroupTable = std::vector<GroupInfo>;

// Slot indexes, row numbers and counters are 16-bit: a table holds at most
// 32,767 slots (indexes 0 to 32,766).
constexpr int kMaxSlots = 32767;
constexpr int kMaxGroupNo = 32767;
constexpr int kMinGroupNo = -32768;

// A blank slot is one whose key is empty: UserId for users, GroupName for groups.
inline bool IsBlank(const UserInfo& u) { return u.UserId.empty(); }
inline bool IsBlank(const GroupInfo& g) { return g.GroupName.empty(); }

// Append: when the last slot's key is set the table grows by one blank slot,
// when the last slot is blank it is reused (only the last slot is looked at).
// An empty table (before loading) grows to one slot. Returns the index of the
// slot to fill, or -1 when the table is full (32,767 slots, last one in use)
// and nothing was changed.
int AppendUser(UserTable& users);
int AppendGroup(GroupTable& groups);

// Removes slot `index`: every later slot moves up by one; removing the only
// slot leaves one blank slot.
void RemoveUserAt(UserTable& users, int16_t index);
void RemoveGroupAt(GroupTable& groups, int16_t index);

// Removes several slots in one linear pass, with the same result as calling
// RemoveUserAt / RemoveGroupAt for each of them from the highest index down.
// `indexes` must be ascending and without repeats.
void RemoveUsersAt(UserTable& users, const std::vector<int>& indexes);
void RemoveGroupsAt(GroupTable& groups, const std::vector<int>& indexes);

}  // namespace solne
