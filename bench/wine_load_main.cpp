// The load time of a 32,767-user board against a raw read of the same files
// (listing user/ and reading every file whole), measured in the same run.
// Built for Windows and run under Wine by `make bench-windows`; a report of
// what loading costs there, not a target.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Define/FileSystem.h"
#include "common/TempBoard.h"
#include "store/Load.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Lists the per-user folder and reads the two data files and every file of
// the folder, through the same file services as the loader.
size_t RawRead(solne::FileSystem& fs, const std::string& board) {
    size_t bytes = 0;
    std::string content;
    for (const char* name : {"user.txt", "group.txt"}) {
        fs.ReadFile(board + "/" + name, content);
        bytes += content.size();
    }
    std::vector<solne::DirEntry> entries;
    fs.ListDir(board + "/user", entries);
    for (const auto& e : entries) {
        fs.ReadFile(board + "/user/" + e.name, content);
        bytes += content.size();
    }
    return bytes;
}

}  // namespace

int main() {
    namespace stdfs = std::filesystem;
    const int kUsers = 32767, kGroups = 60, kRounds = 5;
    const stdfs::path folder = stdfs::temp_directory_path() / ("solne-bench-" + std::to_string(
        Clock::now().time_since_epoch().count() % 1000000007));
    const std::string board = folder.generic_string();
    solne::test::GenerateBoard(board, kUsers, kGroups);
    solne::FileSystem& fs = solne::RealFileSystem();

    std::vector<double> raw, load;
    size_t bytes = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto t0 = Clock::now();
        bytes = RawRead(fs, board);
        auto t1 = Clock::now();
        solne::LoadedBoard loaded;
        auto error = solne::LoadBoard(fs, solne::BoardPaths::For(board), loaded);
        auto t2 = Clock::now();
        if (error || loaded.Users.size() != size_t(kUsers)) {
            std::fprintf(stderr, "load failed: %s\n", error ? error->ToString().c_str() : "wrong user count");
            return 1;
        }
        raw.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        load.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    std::error_code ec;
    stdfs::remove_all(folder, ec);

    const double r = Median(raw), l = Median(load);
    std::printf("board: %d users, %d groups, %zu files, %.1f MB\n", kUsers, kGroups, size_t(kUsers) + 2,
                double(bytes) / 1e6);
    std::printf("raw read (list + read every file), median of %d: %8.1f ms\n", kRounds, r);
    std::printf("LoadBoard, median of %d:                        %8.1f ms\n", kRounds, l);
    std::printf("load / raw read: %.2f\n", l / r);
    return 0;
}
