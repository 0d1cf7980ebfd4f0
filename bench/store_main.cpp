// The store benchmarks: every measurement of one board size together, then
// a table of the ratios against the raw baselines measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

#include "store_common.h"

namespace {

struct Time {
    double real = 0;  // seconds per iteration
    double cpu = 0;
};
using Times = std::map<std::string, std::map<int, Time>>;  // name -> users -> time

// Prints as usual and keeps the time per iteration of each measurement: the
// median of its repetitions, or its one run when it is not repeated.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    explicit RecordingReporter(Times& times) : times_(times) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || !(single || median)) continue;
            const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
            times_[run.run_name.function_name][std::stoi(run.run_name.args)] =
                Time{run.GetAdjustedRealTime() / unit, run.GetAdjustedCPUTime() / unit};
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    Times& times_;
};

struct Ratio {
    const char* label;
    const char* measured;
    const char* baseline;
    double target;
};

void PrintRow(const Times& times, const Ratio& r, bool real) {
    std::printf("%-38s %-4s", r.label, real ? "real" : "cpu");
    double last = -1;
    for (int users : solne::bench::kBoardSizes) {
        last = -1;
        auto m = times.find(r.measured);
        auto b = times.find(r.baseline);
        if (m != times.end() && b != times.end() && m->second.count(users) && b->second.count(users)) {
            const Time& tm = m->second.at(users);
            const Time& tb = b->second.at(users);
            last = real ? tm.real / tb.real : tm.cpu / tb.cpu;
        }
        if (last < 0)
            std::printf("%10s", "-");
        else
            std::printf("%9.2fx", last);
    }
    if (!real || r.target <= 0)
        std::printf("\n");
    else if (last < 0)
        std::printf("   <= %.1fx  not measured\n", r.target);
    else
        std::printf("   <= %.1fx  %s\n", r.target, last <= r.target ? "met" : "MISSED");
}

void PrintSummary(const Times& times) {
    const Ratio ratios[] = {
        {"load / raw read", "Load", "RawRead", 1.5},
        {"save, nothing changed / raw read", "SaveUnchanged", "RawRead", 1.5},
        {"save, all names changed / raw write", "SaveAllChanged", "RawWrite", 2.5},
        {"save, all names changed / raw replace", "SaveAllChanged", "RawReplace", 0},
    };
    std::printf("\nRatios to the raw baselines measured in the same run (boards in %s)\n",
                solne::bench::BenchRoot().c_str());
    std::printf("%-43s", "");
    for (int users : solne::bench::kBoardSizes) std::printf("%10d", users);
    std::printf("   target at %d\n", solne::bench::kBoardSizes[2]);
    for (const Ratio& r : ratios) {
        PrintRow(times, r, true);
        PrintRow(times, r, false);
    }
    std::printf("real: wall-clock time, the target's measure; cpu: the program's own work,\n"
                "without waiting for the disk. The raw write creates each file once in an\n"
                "empty folder. The raw replace is the least a safe save of every file does:\n"
                "read the file, write a new one beside it, rename it over the old one (no\n"
                "target; it shows how much of the save's time its own code adds). On ext4\n"
                "every rename over a file starts writing the new file to disk\n"
                "(auto_da_alloc), which dominates both on a real disk. SOLNE_BENCH_DIR\n"
                "chooses where the boards are made (default /dev/shm).\n");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (int users : solne::bench::kBoardSizes) {
        solne::bench::RegisterLoadBenchmarks(users);
        solne::bench::RegisterSaveBenchmarks(users);
    }
    Times times;
    RecordingReporter reporter(times);
    int rc = 0;
    try {
        benchmark::RunSpecifiedBenchmarks(&reporter);
        PrintSummary(times);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_store: %s\n", e.what());
        rc = 1;
    }
    solne::bench::RemoveBoards();
    benchmark::Shutdown();
    return rc;
}
