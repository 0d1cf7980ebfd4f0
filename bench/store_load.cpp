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

}  // namespace

void RegisterLoadBenchmarks(int users) {
    Configure(benchmark::RegisterBenchmark("RawRead", RawRead), users, Kind::Reading);
    Configure(benchmark::RegisterBenchmark("Load", Load), users, Kind::Reading);
}

}  // namespace solne::bench
