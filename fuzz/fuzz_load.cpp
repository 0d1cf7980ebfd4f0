// Fuzz target: the field reader and the loaders. The input is the bytes of
// "user.txt", "group.txt" and one per-user file "user/a.txt", separated by
// kSep. Whatever the bytes, loading either fails with a located error or
// gives tables that keep the table rules.
#include <cstdlib>
#include <filesystem>
#include <map>

#include "FuzzInput.h"
#include "Define/Cp932.h"
#include "store/Load.h"
#include "store/UserFolder.h"

using namespace solne;

namespace {
constexpr std::string_view kSep("\xff\x00\xff\x00", 4);

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_load: %s\n", what);
        std::abort();
    }
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    std::string_view userTxt = in.Until(kSep);
    std::string_view groupTxt = in.Until(kSep);
    std::string_view perUser = in.Rest();

    // The reader alone: line numbers rise, no field holds a line break.
    for (std::string_view bytes : {userTxt, groupTxt, perUser}) {
        FieldLines lines;
        const bool readWhole = !ReadFieldLines(bytes, lines).has_value();
        if (readWhole) {
            int last = 0;
            for (const FieldLine l : lines) {
                Require(l.number > last, "line numbers must rise");
                last = l.number;
                for (auto& f : l.fields) Require(!HasLineBreak(f), "a field holds a line break");
            }
        }
    }

    const std::string& folder = fuzz::ScratchFolder();
    fuzz::PutFile(folder + "/user.txt", userTxt);
    fuzz::PutFile(folder + "/group.txt", groupTxt);
    std::filesystem::create_directory(folder + "/user");
    fuzz::PutFile(folder + "/user/a.txt", perUser);

    LoadedBoard board;
    auto error = LoadBoard(RealFileSystem(), BoardPaths::For(folder), board);
    if (error) {
        Require(board.Users.empty() && board.Groups.empty(), "a failed load left records behind");
        Require(!error->file.empty() && !error->Reason().empty(), "a load error without file or problem");
        return 0;
    }
    Require(!board.Users.empty() && int(board.Users.size()) <= kMaxSlots, "user table size");
    Require(!board.Groups.empty() && int(board.Groups.size()) <= kMaxSlots, "group table size");
    Require(board.userSources.size() == board.Users.size(), "one source per user slot");

    std::map<int16_t, std::string> lastName;  // the last group line with a number wins
    for (auto& g : board.Groups) {
        Require(IsValidUtf8(g.GroupName) && !HasLineBreak(g.GroupName), "group name text");
        lastName[g.GroupNo] = g.GroupName;
    }
    for (auto& u : board.Users) {
        Require(IdIsSafePath(u.UserId), "an unsafe ID was loaded");
        for (auto* t : {&u.UserId, &u.UserName, &u.PassWord})
            Require(IsValidUtf8(*t) && !HasLineBreak(*t), "user text");
        Require(!HasLineBreak(u.StatusLine) && !HasLineBreak(u.PlanLine), "status or plan holds a line break");
        Require(u.UserName.find('=') == std::string::npos, "display name holds '='");
        auto it = lastName.find(u.GroupNo);
        bool fromFile = board.userSources.size() > 1 || board.userSources[0].line != 0;
        if (fromFile) Require(u.GroupName == (it == lastName.end() ? std::string() : it->second), "group name lookup");
    }
    return 0;
}
