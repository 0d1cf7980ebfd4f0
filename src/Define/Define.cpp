#include "Define/Define.h"

#include <cstddef>

namespace solne {

namespace {

template <typename Table>
int AppendSlot(Table& table) {
    if (table.empty()) {
        table.emplace_back();
        return 0;
    }
    if (IsBlank(table.back())) return int(table.size()) - 1;
    if (int(table.size()) >= kMaxSlots) return -1;
    table.emplace_back();
    return int(table.size()) - 1;
}

template <typename Table>
void RemoveSlot(Table& table, int index) {
    if (index < 0 || size_t(index) >= table.size()) return;
    table.erase(table.begin() + index);
    if (table.empty()) table.emplace_back();
}

// One pass: every kept slot moves up once, over all removed slots before it.
template <typename Table>
void RemoveSlots(Table& table, const std::vector<int>& indexes) {
    if (table.empty() || indexes.empty()) return;
    size_t next = 0;  // position in `indexes`
    size_t kept = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        while (next < indexes.size() && indexes[next] < 0) ++next;
        if (next < indexes.size() && size_t(indexes[next]) == i) {
            ++next;
            continue;
        }
        if (kept != i) table[kept] = std::move(table[i]);
        ++kept;
    }
    table.resize(kept);
    if (table.empty()) table.emplace_back();
}

}  // namespace

int AppendUser(UserTable& users) { return AppendSlot(users); }
int AppendGroup(GroupTable& groups) { return AppendSlot(groups); }

void RemoveUserAt(UserTable& users, int16_t index) { RemoveSlot(users, index); }
void RemoveGroupAt(GroupTable& groups, int16_t index) { RemoveSlot(groups, index); }

void RemoveUsersAt(UserTable& users, const std::vector<int>& indexes) { RemoveSlots(users, indexes); }
void RemoveGroupsAt(GroupTable& groups, const std::vector<int>& indexes) { RemoveSlots(groups, indexes); }

}  // namespace solne
