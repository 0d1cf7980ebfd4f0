// solne-admin: importing 5,000 new users (in 20 new groups) into an empty
// board, against a load plus a save of the board that results (a save that
// writes every file, into an empty board, as the import's save must). The
// import may cost at most twice that; the ratio is printed at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/Admin.h"
#include "common/TempBoard.h"
#include "store/Load.h"
#include "store/Save.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using solne::test::TempDir;

constexpr int kUsers = 5000;
double importSeconds = 0, baselineSeconds = 0;

void EmptyBoard(const std::string& folder) {
    fs::remove_all(folder);
    solne::test::WriteBoard(folder, {});
    fs::create_directories(folder + "/user");
}

void BM_ImportNewUsers(benchmark::State& state) {
    TempDir dir(solne::test::MemoryScratchParent());
    std::string csv = "ユーザーID,ユーザー(表示)名,パスワード,グループ名\r\n";
    for (int i = 0; i < kUsers; ++i)
        csv += "n" + std::to_string(100000 + i) + ",新人 太郎" + std::to_string(i) + ",pw" + std::to_string(i) +
               ",部署" + std::to_string(i % 20) + "\r\n";
    solne::test::WriteBytes(dir / "new.csv", csv);
    const std::string board = dir / "board", copy = dir / "copy";
    double imports = 0, baselines = 0;
    for (auto _ : state) {
        EmptyBoard(board);
        std::string out, err;
        auto t0 = Clock::now();
        int status = solne::cli::RunAdmin({"import", board, dir / "new.csv", "--create-groups"}, out, err);
        const double import = std::chrono::duration<double>(Clock::now() - t0).count();
        if (status != 0) return state.SkipWithError(("import failed: " + err).c_str());

        // The baseline: load the resulting board, save it whole into an empty one.
        EmptyBoard(copy);
        t0 = Clock::now();
        solne::LoadedBoard loaded;
        if (solne::LoadBoard(solne::RealFileSystem(), solne::BoardPaths::For(board), loaded))
            return state.SkipWithError("load failed");
        solne::SaveReport report =
            solne::SaveBoard(solne::RealFileSystem(), solne::BoardPaths::For(copy), loaded.Users, loaded.Groups);
        const double baseline = std::chrono::duration<double>(Clock::now() - t0).count();
        if (!report.ok()) return state.SkipWithError("save failed");
        state.SetIterationTime(import);
        imports += import;
        baselines += baseline;
    }
    state.counters["load_plus_save_ms"] = 1000 * baselines / double(state.iterations());
    state.counters["ratio"] = imports / baselines;
    importSeconds = imports;
    baselineSeconds = baselines;
}
BENCHMARK(BM_ImportNewUsers)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (baselineSeconds <= 0) return 1;
    const double ratio = importSeconds / baselineSeconds;
    std::printf("\nsolne-admin import of %d new users: %.2f times a load plus a save of the result (at most 2)\n",
                kUsers, ratio);
    return ratio <= 2 ? 0 : 1;
}
