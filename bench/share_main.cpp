// The store on a board kept in a shared folder (a network share): its load
// and its two saves against the least the storage must do for each, timed
// round after round on the same share so that both see the same server.
//   bench_share FOLDER [--users N] [--rounds R] [--server SERVERFOLDER]
// FOLDER is an empty folder on the share (scripts/with-share gives one);
// the boards are made in it and removed at the end. SERVERFOLDER, when
// given, is the same folder as the server keeps it: the boards are written
// there, which is many times faster than through the client. Any failure the save
// reports is printed with the file and the reason, and fails the run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/TempBoard.h"
#include "store/Load.h"
#include "store/Save.h"
#include "store/Settings.h"
#include "store_common.h"

namespace solne::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Load(const BoardPaths& paths, LoadedBoard& board) {
    board = LoadedBoard{};
    if (auto error = LoadBoard(RealFileSystem(), paths, board)) throw std::runtime_error("load: " + error->ToString());
}

void Save(const BoardPaths& paths, LoadedBoard& board) {
    const SaveReport report = SaveBoard(RealFileSystem(), paths, board.Users, board.Groups);
    if (report.ok()) return;
    std::string text = report.refused ? "the save refused a value" : "the save failed:";
    for (const Failure& f : report.failures) text += "\n  " + f.ToString();
    throw std::runtime_error(text);
}

struct Measure {
    const char* name;
    std::vector<double> times;
};

struct Ratio {
    const char* label;
    size_t measured;
    size_t baseline;
    double target;
};

int Run(const std::string& root, const std::string& server, int users, int rounds) {
    namespace fs = std::filesystem;
    const std::string boardName = "/board-" + std::to_string(users);
    const std::string copyName = "/replace-" + std::to_string(users);
    const std::string board = root + boardName;
    const std::string copy = root + copyName;
    const std::string& makeIn = server.empty() ? root : server;
    std::printf("Making a board of %d users and its copy in %s ...\n", users, makeIn.c_str());
    std::fflush(stdout);
    test::GenerateBoard(makeIn + boardName, users, kGroups);
    test::GenerateBoard(makeIn + copyName, users, kGroups);

    const BoardPaths paths = BoardPaths::For(board);
    const auto files = DataFilesOf(board);
    const std::vector<std::string> dataFiles(files.begin(), files.begin() + 2);
    const auto dataContents = ReadAll(dataFiles);
    const auto copyFiles = DataFilesOf(copy);
    const auto copyContents = ReadAll(copyFiles);

    LoadedBoard loaded;
    Load(paths, loaded);
    std::vector<std::string> plain, marked;
    for (const auto& u : loaded.Users) {
        plain.push_back(u.UserName);
        marked.push_back(u.UserName + "（代理）");
    }
    bool useMarked = true;
    // A first save brings the files into the form the save writes (its
    // read-only mark on the data files), so that the rounds all start alike.
    Save(paths, loaded);

    enum { kRawRead, kLoad, kReadAndReplaceTwo, kSaveUnchanged, kRawReplace, kSaveAllChanged, kCount };
    std::vector<Measure> m = {{"raw read of every file", {}},
                              {"load", {}},
                              {"raw read + safe replace of the 2 data files", {}},
                              {"save, nothing to write in user/", {}},
                              {"raw safe replace of every file", {}},
                              {"save, every per-user file rewritten", {}}};
    for (int round = 0; round < rounds; ++round) {
        m[kRawRead].times.push_back(Seconds([&] { RawReadAll(files); }));
        m[kLoad].times.push_back(Seconds([&] { Load(paths, loaded); }));
        m[kReadAndReplaceTwo].times.push_back(Seconds([&] {
            RawReadAll(files);
            RawReplaceAll(dataFiles, dataContents);
        }));
        m[kSaveUnchanged].times.push_back(Seconds([&] { Save(paths, loaded); }));
        m[kRawReplace].times.push_back(Seconds([&] { RawReplaceAll(copyFiles, copyContents); }));
        const auto& names = useMarked ? marked : plain;
        for (size_t i = 0; i < loaded.Users.size(); ++i) loaded.Users[i].UserName = names[i];
        useMarked = !useMarked;
        m[kSaveAllChanged].times.push_back(Seconds([&] { Save(paths, loaded); }));
        std::printf("round %d:", round + 1);
        for (const Measure& x : m) std::printf(" %.2f", x.times.back());
        std::printf(" s\n");
        std::fflush(stdout);
    }

    std::printf("\n%d users, %zu files, %d rounds; seconds: median (min-max)\n", users, files.size(), rounds);
    for (const Measure& x : m) {
        const auto [lo, hi] = std::minmax_element(x.times.begin(), x.times.end());
        std::printf("  %-46s %7.2f  (%.2f-%.2f)\n", x.name, Median(x.times), *lo, *hi);
    }
    const Ratio ratios[] = {
        {"load / raw read", kLoad, kRawRead, 1.2},
        {"save, nothing to write / read + replace 2", kSaveUnchanged, kReadAndReplaceTwo, 1.3},
        {"save, all rewritten / raw replace of all", kSaveAllChanged, kRawReplace, 1.3},
    };
    std::printf("\nRatios (median of the rounds' ratios, min-max over the rounds)\n");
    for (const Ratio& r : ratios) {
        std::vector<double> each;
        for (int i = 0; i < rounds; ++i) each.push_back(m[r.measured].times[size_t(i)] / m[r.baseline].times[size_t(i)]);
        const auto [lo, hi] = std::minmax_element(each.begin(), each.end());
        const double med = Median(each);
        std::printf("  %-44s %5.2fx  (%.2f-%.2f)  target <= %.1fx %s\n", r.label, med, *lo, *hi, r.target,
                    med <= r.target ? "met" : "MISSED");
    }
    fs::remove_all(makeIn + boardName);
    fs::remove_all(makeIn + copyName);
    return 0;
}

}  // namespace
}  // namespace solne::bench

int main(int argc, char** argv) {
    std::string folder, server;
    int users = 2000;
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--users" && i + 1 < argc) users = std::atoi(argv[++i]);
        else if (arg == "--rounds" && i + 1 < argc) rounds = std::atoi(argv[++i]);
        else if (arg == "--server" && i + 1 < argc) server = argv[++i];
        else if (folder.empty() && !arg.starts_with("--")) folder = arg;
        else users = 0;  // not understood: the usage below
    }
    if (folder.empty() || users <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: bench_share FOLDER [--users N] [--rounds R] [--server SERVERFOLDER]\n");
        return 2;
    }
    try {
        return solne::bench::Run(folder, server, users, rounds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_share: %s\n", e.what());
        return 1;
    }
}
