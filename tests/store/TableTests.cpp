// The slot rules of the user and group tables: Append, removal of one slot,
// and removal of several slots in one pass.
#include <gtest/gtest.h>

#include <random>

#include "Define/Define.h"

using namespace solne;

namespace {

UserTable UsersNamed(std::initializer_list<const char*> ids) {
    UserTable t;
    for (const char* id : ids) {
        UserInfo u;
        u.UserId = id;
        u.PassWord = std::string("pw-") + id;
        u.GroupNo = int16_t(t.size() + 1);
        u.StatusLine = "status=1";
        t.push_back(u);
    }
    return t;
}

std::vector<std::string> Ids(const UserTable& t) {
    std::vector<std::string> ids;
    for (auto& u : t) ids.push_back(u.UserId);
    return ids;
}

}  // namespace

TEST(Append, EmptyTableGetsItsFirstSlot) {
    UserTable users;
    EXPECT_EQ(AppendUser(users), 0);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_TRUE(IsBlank(users[0]));
}

TEST(Append, GrowsOnlyWhenTheLastSlotIsInUse) {
    UserTable users = UsersNamed({"a", "", "b"});
    EXPECT_EQ(AppendUser(users), 3);  // a blank slot in the middle is not reused
    ASSERT_EQ(users.size(), 4u);
    EXPECT_EQ(users[3].GroupNo, 0);
    EXPECT_TRUE(users[3].PassWord.empty());

    // The new last slot is blank: it is handed out again, the table keeps its size.
    EXPECT_EQ(AppendUser(users), 3);
    EXPECT_EQ(users.size(), 4u);

    GroupTable groups{{1, "営業"}};
    EXPECT_EQ(AppendGroup(groups), 1);
    groups[1] = {2, "総務"};
    groups.push_back({0, ""});
    EXPECT_EQ(AppendGroup(groups), 2);
    EXPECT_EQ(groups.size(), 3u);
}

TEST(Append, FullTableRefusesAndStaysUnchanged) {
    GroupTable groups(kMaxSlots, GroupInfo{1, "g"});
    EXPECT_EQ(AppendGroup(groups), -1);
    EXPECT_EQ(groups.size(), size_t(kMaxSlots));

    // A blank last slot can still be filled: it needs no new slot.
    groups.back().GroupName.clear();
    EXPECT_EQ(AppendGroup(groups), kMaxSlots - 1);
    EXPECT_EQ(groups.size(), size_t(kMaxSlots));
}

TEST(RemoveAt, OnlySlotLeavesOneBlankSlotThatTheNextAddFills) {
    UserTable users = UsersNamed({"a"});
    RemoveUserAt(users, 0);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_TRUE(IsBlank(users[0]));
    EXPECT_TRUE(users[0].PassWord.empty());
    EXPECT_TRUE(users[0].StatusLine.empty());
    EXPECT_EQ(users[0].GroupNo, 0);
    EXPECT_EQ(AppendUser(users), 0);
    EXPECT_EQ(users.size(), 1u);
}

TEST(RemoveAt, LaterSlotsMoveUpWholeAndTheLastOnlyShrinks) {
    UserTable users = UsersNamed({"a", "b", "c"});
    RemoveUserAt(users, 0);
    EXPECT_EQ(Ids(users), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(users[0].PassWord, "pw-b");
    EXPECT_EQ(users[0].GroupNo, 2);

    users = UsersNamed({"a", "b", "c"});
    RemoveUserAt(users, 2);
    EXPECT_EQ(Ids(users), (std::vector<std::string>{"a", "b"}));

    GroupTable groups{{1, "x"}, {2, "y"}};
    RemoveGroupAt(groups, 0);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].GroupNo, 2);
    RemoveGroupAt(groups, 0);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_TRUE(IsBlank(groups[0]));
    EXPECT_EQ(groups[0].GroupNo, 0);
}

TEST(RemoveSeveral, SameResultAsOneByOneFromTheHighestDown) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        int size = 1 + int(rng() % 12);
        UserTable start;
        for (int i = 0; i < size; ++i) {
            UserInfo u;
            u.UserId = (rng() % 4 == 0) ? "" : "u" + std::to_string(i);
            u.GroupNo = int16_t(i);
            start.push_back(u);
        }
        std::vector<int> indexes;
        for (int i = 0; i < size; ++i)
            if (rng() % 2) indexes.push_back(i);

        UserTable expected = start;
        for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) RemoveUserAt(expected, int16_t(*it));
        UserTable batch = start;
        RemoveUsersAt(batch, indexes);

        ASSERT_EQ(batch.size(), expected.size()) << "round " << round;
        for (size_t i = 0; i < batch.size(); ++i) {
            EXPECT_EQ(batch[i].UserId, expected[i].UserId);
            EXPECT_EQ(batch[i].GroupNo, expected[i].GroupNo);
        }
    }
}

TEST(RemoveSeveral, AllSlotsLeaveOneBlankSlotAndLargeTablesWork) {
    GroupTable groups{{1, "a"}, {2, "b"}, {3, "c"}};
    RemoveGroupsAt(groups, {0, 1, 2});
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_TRUE(IsBlank(groups[0]));
    EXPECT_EQ(groups[0].GroupNo, 0);

    GroupTable big;
    std::vector<int> odd;
    for (int i = 0; i < kMaxSlots; ++i) {
        big.push_back({int16_t(i), "g" + std::to_string(i)});
        if (i % 2) odd.push_back(i);
    }
    RemoveGroupsAt(big, odd);
    ASSERT_EQ(big.size(), size_t(kMaxSlots / 2 + 1));
    EXPECT_EQ(big[1].GroupNo, 2);
    EXPECT_EQ(big.back().GroupNo, kMaxSlots - 1);

    UserTable users = UsersNamed({"a", "b"});
    RemoveUsersAt(users, {});
    EXPECT_EQ(Ids(users), (std::vector<std::string>{"a", "b"}));
}
