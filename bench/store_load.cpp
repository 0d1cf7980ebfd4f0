// Loading a board against the raw cost of reading its files once.
#include <benchmark/benchmark.h>

#include "store/Load.h"
#include "store/Settings.h"
#include "store_common.h"

namespace solne::bench {
namespace {

void RawRead(benchmark::State& state) {
    const auto files = DataFilesOf(BoardOf(static_cast<int>(state.range(0))));
    SettleDisk();
    for (auto _ : state) benchmark::DoNotOptimize(RawReadAll(files));
    state.counters["files"] = static_cast<double>(files.size());
}

void Load(benchmark::State& state) {
    const BoardPaths paths = BoardPaths::For(BoardOf(static_cast<int>(state.range(0))));
    SettleDisk();
    for (auto _ : state) {
        LoadedBoard board;
        if (auto error = LoadBoard(RealFileSystem(), paths, board)) {
            state.SkipWithError(error->ToString().c_str());
            break;
        }
        benchmark::DoNotOptimize(board.Users.data());
    }
}

// Runs `program COMMAND BOARD`, a program beside this one, once an iteration.
void TimeProcess(benchmark::State& state, const char* program, const char* command) {
    const std::string& board = BoardOf(static_cast<int>(state.range(0)));
    const std::string path = BesideMe(program);
    SettleDisk();
    for (auto _ : state)
        if (RunProcess({path, command, board}) != 0) {
            state.SkipWithError((std::string(program) + " " + command + " failed").c_str());
            break;
        }
}

// The least a program that loads a board must do, as a process of its own:
// list the per-user folder and read every file once.
void RawReadProcess(benchmark::State& state) { TimeProcess(state, "bench_store", "--raw-read"); }

// The whole of "solne-check dump": start, load, write both tables (to
// /dev/null), end.
void DumpProcess(benchmark::State& state) { TimeProcess(state, "solne-check", "dump"); }

}  // namespace

void RegisterLoadBenchmarks(int users) {
    Configure(benchmark::RegisterBenchmark("RawRead", RawRead), users, Kind::Reading);
    Configure(benchmark::RegisterBenchmark("Load", Load), users, Kind::Reading);
    Configure(benchmark::RegisterBenchmark("RawReadProcess", RawReadProcess), users, Kind::Reading);
    Configure(benchmark::RegisterBenchmark("DumpProcess", DumpProcess), users, Kind::Reading);
}

}  // namespace solne::bench
