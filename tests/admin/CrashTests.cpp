// solne-admin killed at random moments of an import (Linux: fork and kill):
// every file of the board is old or new, and the same import again
// completes the board.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "cli/Admin.h"
#include "common/TempBoard.h"

namespace solne::test {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            out[fs::relative(entry.path(), folder).generic_string()] = ReadBytes(entry.path().string());
    return out;
}

struct Result {
    int status;
    std::string out, err;
};

Result Admin(std::vector<std::string> args) {
    Result r;
    r.status = cli::RunAdmin(args, r.out, r.err);
    return r;
}

// ------------------------------------------------------- killed mid-save

TEST(AdminCrashTest, ImportKilledDuringItsSaveLeavesEveryFileOldOrNew) {
    TempDir dir(MemoryScratchParent());
    const std::string pristine = dir / "pristine", reference = dir / "reference", board = dir / "board";
    auto File = [&](const std::string& name) { return dir / name; };
    GenerateBoard(pristine, 1500, 30);
    std::string csv = "ID,name,password,group\r\n";
    for (int i = 0; i < 1500; ++i) csv += "n" + std::to_string(i) + ",新人" + std::to_string(i) + ",pw,\r\n";
    WriteBytes(File("new.csv"), csv);
    const std::vector<std::string> importArgs = {"import", "", File("new.csv"), "--delete-missing"};
    auto importInto = [&](const std::string& folder) {
        std::vector<std::string> args = importArgs;
        args[1] = folder;
        return Admin(args);
    };
    fs::copy(pristine, reference, fs::copy_options::recursive);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(importInto(reference).status, 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    const auto oldState = Contents(pristine), newState = Contents(reference);

    std::mt19937 rng(std::random_device{}());
    int killed = 0;
    for (int run = 0; run < 8; ++run) {
        fs::remove_all(board);
        fs::copy(pristine, board, fs::copy_options::recursive);
        const auto delay = std::chrono::microseconds(std::uniform_int_distribution<int64_t>(0, took.count())(rng));
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " µs");
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) ::_exit(importInto(board).status);
        std::this_thread::sleep_for(delay);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        killed += WIFSIGNALED(status);

        for (const auto& [path, bytes] : Contents(board)) {
            auto was = oldState.find(path), will = newState.find(path);
            if (was == oldState.end() && will == newState.end()) {
                EXPECT_TRUE(NameOf(path).starts_with(".")) << path << " is no board file";
                continue;
            }
            EXPECT_TRUE((was != oldState.end() && was->second == bytes) ||
                        (will != newState.end() && will->second == bytes))
                << path << " is neither old nor new";
        }
        // The same import again completes the records: every file of the
        // new board holds its new bytes. When the killed save had written
        // every record already, the import finds nothing to change and
        // writes nothing; per-user files of deleted users that it had not
        // pruned yet stay until the next save.
        Result again = importInto(board);
        EXPECT_EQ(again.status, 0) << again.err;
        const auto now = Contents(board);
        for (const auto& [path, bytes] : newState) {
            auto it = now.find(path);
            EXPECT_TRUE(it != now.end() && it->second == bytes) << path << " is not the new file";
        }
        for (const auto& [path, bytes] : now) {
            if (!newState.contains(path) && !NameOf(path).starts_with(".")) {
                EXPECT_TRUE(path.starts_with("user/") && oldState.contains(path)) << path << " is no board file";
            }
        }
        ASSERT_FALSE(HasFailure());
    }
    std::printf("admin crash test: import %.1f ms, %d of 8 runs killed\n", took.count() / 1000.0, killed);
}

}  // namespace
}  // namespace solne::test
