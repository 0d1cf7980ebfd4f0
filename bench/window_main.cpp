// The window benchmarks: a QApplication on the offscreen platform, every
// measurement, then the start-up against the load measured in the same run.
#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "common/Headless.h"
#include "window_bench.h"

namespace {

// Prints as usual and keeps each result's real time per iteration.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    explicit RecordingReporter(std::map<std::string, double>& times) : times_(times) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            times_[run.run_name.function_name] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::map<std::string, double>& times_;
};

void PrintSummary(const std::map<std::string, double>& times) {
    std::printf("\nWindow, %d users, %d groups (real time, same run)\n", solne::bench::kWindowUsers,
                solne::bench::kWindowGroups);
    struct Limit {
        const char* name;
        double ms;
    };
    const Limit limits[] = {{"RefreshUserList", 100}, {"RefreshGroupList", 100},
                            {"DeleteSelectedUsers", 200}, {"AssignGroupToAllUsers", 200},
                            {"RenameGroupOfAllUsers", 200}, {"AddUserAtEnd", 200}};
    for (const Limit& l : limits) {
        auto it = times.find(l.name);
        if (it == times.end()) continue;
        double ms = it->second * 1e3;
        std::printf("%-28s %9.2f ms   <= %.0f ms  %s\n", l.name, ms, l.ms, ms <= l.ms ? "met" : "MISSED");
    }
    auto start = times.find("StartUpToFirstPaint");
    auto load = times.find("LoadAlone");
    if (start != times.end() && load != times.end()) {
        double ratio = start->second / load->second;
        std::printf("%-28s %9.2fx      <= 1.5x    %s\n", "start-up / load", ratio, ratio <= 1.5 ? "met" : "MISSED");
    }
}

}  // namespace

int main(int argc, char** argv) {
    solne::test::UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::map<std::string, double> times;
    RecordingReporter reporter(times);
    int rc = 0;
    try {
        benchmark::RunSpecifiedBenchmarks(&reporter);
        PrintSummary(times);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_window: %s\n", e.what());
        rc = 1;
    }
    solne::bench::RemoveWindowBoard();
    benchmark::Shutdown();
    return rc;
}
