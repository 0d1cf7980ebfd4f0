// Saving a board against the raw cost of reading (nothing changed) or
// writing (every display name changed) its files once.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "store/Load.h"
#include "store/Save.h"
#include "store/Settings.h"
#include "store_common.h"

namespace solne::bench {
namespace {

bool LoadOrSkip(benchmark::State& state, const BoardPaths& paths, LoadedBoard& board) {
    if (auto error = LoadBoard(RealFileSystem(), paths, board)) {
        state.SkipWithError(error->ToString().c_str());
        return false;
    }
    return true;
}

// Saves as the editor does: with the snapshots of the load, and the look
// for files changed outside before the first write (its question answered
// Yes; the editor asks only when the list is not empty).
SaveReport EditorSave(const BoardPaths& paths, LoadedBoard& board) {
    FileSystem& fs = RealFileSystem();
    return SaveBoard(fs, paths, board.Users, board.Groups, &board.userFile, &board.groupFile,
                     [](const std::vector<std::string>& changed) {
                         benchmark::DoNotOptimize(changed.size());
                         return true;
                     });
}

bool SaveOrSkip(benchmark::State& state, const BoardPaths& paths, LoadedBoard& board) {
    const SaveReport report = EditorSave(paths, board);
    if (report.ok()) return true;
    state.SkipWithError(report.failures.empty() ? "save refused a value" : report.failures[0].ToString().c_str());
    return false;
}

void SaveUnchanged(benchmark::State& state) {
    const BoardPaths paths = BoardPaths::For(BoardOf(static_cast<int>(state.range(0))));
    LoadedBoard board;
    if (!LoadOrSkip(state, paths, board)) return;
    SettleDisk();
    for (auto _ : state)
        if (!SaveOrSkip(state, paths, board)) break;
}

// Reads every file once, then replaces the two data files safely: the
// floor of a save with nothing to write in the per-user folder.
void RawReadReplaceDataBench(benchmark::State& state) {
    const std::string& board = BoardOf(static_cast<int>(state.range(0)));
    const auto files = DataFilesOf(board);
    const auto data = ReadAll({files[0], files[1]});
    SettleDisk();
    for (auto _ : state) RawReadReplaceData(board, files, data);
}

// Writes every file of the board once, into an empty folder beside it, so
// the board itself keeps the state the saves expect.
void RawWrite(benchmark::State& state) {
    namespace fs = std::filesystem;
    const std::string& board = BoardOf(static_cast<int>(state.range(0)));
    const auto sources = DataFilesOf(board);
    const auto contents = ReadAll(sources);
    const std::string target = board + "-raw";
    std::vector<std::string> files;
    for (const auto& source : sources) files.push_back(target + source.substr(board.size()));
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(target);
        fs::create_directories(target + "/user");
        SettleDisk();
        state.ResumeTiming();
        RawWriteAll(files, contents);
    }
    state.counters["files"] = static_cast<double>(files.size());
    fs::remove_all(target);
}

// Replaces every file of a copy of the board the safe way, with nothing
// else: the floor of a save that changes every file.
void RawReplace(benchmark::State& state) {
    namespace fs = std::filesystem;
    const std::string& board = BoardOf(static_cast<int>(state.range(0)));
    const std::string copy = board + "-replace";
    fs::remove_all(copy);
    fs::copy(board, copy, fs::copy_options::recursive);
    const auto files = DataFilesOf(copy);
    const auto contents = ReadAll(files);
    for (auto _ : state) {
        state.PauseTiming();
        SettleDisk();
        state.ResumeTiming();
        RawReplaceAll(files, contents);
    }
    fs::remove_all(copy);
}

// Every display name differs from what is on disk at each save: the names
// switch between two forms from one iteration to the next.
void SaveAllChanged(benchmark::State& state) {
    const BoardPaths paths = BoardPaths::For(BoardOf(static_cast<int>(state.range(0))));
    LoadedBoard board;
    if (!LoadOrSkip(state, paths, board)) return;
    std::vector<std::string> plain, marked;
    for (const auto& u : board.Users) {
        plain.push_back(u.UserName);
        marked.push_back(u.UserName + "（代理）");
    }
    bool useMarked = true;
    for (auto _ : state) {
        state.PauseTiming();
        const auto& names = useMarked ? marked : plain;
        for (size_t i = 0; i < board.Users.size(); ++i) board.Users[i].UserName = names[i];
        useMarked = !useMarked;
        SettleDisk();
        state.ResumeTiming();
        if (!SaveOrSkip(state, paths, board)) break;
    }
}

}  // namespace

void RegisterSaveBenchmarks(int users) {
    Configure(benchmark::RegisterBenchmark("RawReadReplaceData", RawReadReplaceDataBench), users, Kind::Reading);
    Configure(benchmark::RegisterBenchmark("SaveUnchanged", SaveUnchanged), users, Kind::Reading);
    Configure(benchmark::RegisterBenchmark("RawWrite", RawWrite), users, Kind::Writing);
    Configure(benchmark::RegisterBenchmark("RawReplace", RawReplace), users, Kind::Writing);
    Configure(benchmark::RegisterBenchmark("SaveAllChanged", SaveAllChanged), users, Kind::Writing);
}

}  // namespace solne::bench
