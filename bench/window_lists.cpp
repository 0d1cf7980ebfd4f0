// Rebuilding the lists, and start-up up to the first paint against the load
// alone.
#include <QAbstractItemView>

#include <benchmark/benchmark.h>

#include "store/Load.h"
#include "store/Settings.h"
#include "qt/QtHands.h"
#include "window_bench.h"

namespace solne::bench {
namespace {

// A rebuild and the repaint that shows it.
void RefreshUserList(benchmark::State& state) {
    YesDialogs dialogs;
    auto window = OpenWindow(dialogs);
    for (auto _ : state) {
        window->Form().RefreshUserList();
        solne::test::List(*window, "lsvUserList")->viewport()->repaint();
    }
    state.counters["rows"] = solne::test::List(*window, "lsvUserList")->RowCount();
}
BENCHMARK(RefreshUserList)->Unit(benchmark::kMillisecond)->UseRealTime();

void RefreshGroupList(benchmark::State& state) {
    YesDialogs dialogs;
    auto window = OpenWindow(dialogs);
    window->Form().Groups.clear();
    for (int i = 0; i < kMaxSlots; ++i)
        window->Form().Groups.push_back({int16_t(i + 1), "グループ" + std::to_string(i + 1)});
    for (auto _ : state) {
        window->Form().RefreshGroupList();
        solne::test::List(*window, "lsvGroupList")->viewport()->repaint();
    }
    state.counters["rows"] = solne::test::List(*window, "lsvGroupList")->RowCount();
}
BENCHMARK(RefreshGroupList)->Unit(benchmark::kMillisecond)->UseRealTime();

void LoadAlone(benchmark::State& state) {
    const BoardPaths paths = BoardPaths::For(WindowBoardFolder());
    for (auto _ : state) {
        LoadedBoard board;
        if (LoadBoard(RealFileSystem(), paths, board)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(board.Users.data());
    }
}
BENCHMARK(LoadAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Creating the window, Form_Load, showing it and its first paint.
void StartUpToFirstPaint(benchmark::State& state) {
    YesDialogs dialogs;
    WindowBoardIni();
    for (auto _ : state) {
        auto window = OpenWindow(dialogs);
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(StartUpToFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
}  // namespace solne::bench
