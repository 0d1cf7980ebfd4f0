// Fuzz target: the writer's rule against the reader. Tables built from the
// input that the save accepts and writes in full load back with every ID,
// password and group number, every group row, and the display name of every
// user whose ID no other user shares.
#include <cstdlib>
#include <filesystem>
#include <map>

#include "FuzzInput.h"
#include "store/Load.h"
#include "store/UserFolder.h"
#include "store/Save.h"

using namespace solne;

namespace {
constexpr std::string_view kField("\x1f", 1);

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_roundtrip: %s\n", what);
        std::abort();
    }
}

int16_t Number(fuzz::FuzzInput& in) {
    uint16_t hi = in.Byte(), lo = in.Byte();
    return int16_t(uint16_t(hi << 8 | lo));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    UserTable users(in.Byte() % 6 + 1);
    for (auto& u : users) {
        u.UserId = in.Until(kField);
        u.PassWord = in.Until(kField);
        u.UserName = in.Until(kField);
        u.GroupNo = Number(in);
    }
    GroupTable groups(in.Byte() % 4 + 1);
    for (auto& g : groups) {
        g.GroupName = in.Until(kField);
        g.GroupNo = Number(in);
    }

    const std::string& folder = fuzz::ScratchFolder();
    fuzz::PutFile(folder + "/user.txt", "");
    fuzz::PutFile(folder + "/group.txt", "");
    std::filesystem::create_directory(folder + "/user");
    BoardPaths paths = BoardPaths::For(folder);

    bool writable = CheckWritable(users, groups).empty();
    UserTable saved = users;
    SaveReport report = SaveBoard(RealFileSystem(), paths, saved, groups);
    Require(writable == !report.refused, "the save and CheckWritable disagree");
    if (!report.ok()) return 0;

    LoadedBoard board;
    auto error = LoadBoard(RealFileSystem(), paths, board);
    Require(!error, "a board the save wrote does not load");
    Require(board.Users.size() == users.size(), "user count");
    Require(board.Groups.size() == groups.size(), "group count");

    std::map<std::string, int> idCount;  // the file system may fold case
    for (auto& u : users) ++idCount[FoldCase(u.UserId)];
    for (size_t i = 0; i < users.size(); ++i) {
        const UserInfo &want = users[i], &got = board.Users[i];
        Require(got.UserId == want.UserId, "UserId changed");
        Require(got.PassWord == want.PassWord, "PassWord changed");
        Require(got.GroupNo == want.GroupNo, "GroupNo changed");
        if (idCount[FoldCase(want.UserId)] == 1) Require(got.UserName == want.UserName, "UserName changed");
    }
    for (size_t i = 0; i < groups.size(); ++i) {
        Require(board.Groups[i].GroupNo == groups[i].GroupNo, "group number changed");
        Require(board.Groups[i].GroupName == groups[i].GroupName, "group name changed");
    }
    return 0;
}
