// The store benchmarks: every measurement of one board size together, then
// a table of the ratios against the raw baselines measured in the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

#include "store_common.h"

namespace {

struct Time {
    double real = 0;  // seconds per iteration
    double cpu = 0;
    double realCv = -1;  // spread of the repetitions' real times (coefficient of variation)
    int repetitions = 1;
};
using Times = std::map<std::string, std::map<int, Time>>;  // name -> users -> time

// Prints as usual and keeps the time per iteration of each measurement: the
// median of its repetitions, or its one run when it is not repeated, and
// the spread of the repetitions.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    explicit RecordingReporter(Times& times) : times_(times) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool cv = run.run_type == Run::RT_Aggregate && run.aggregate_name == "cv";
            if (run.error_occurred || !(single || median || cv)) continue;
            Time& t = times_[run.run_name.function_name][std::stoi(run.run_name.args)];
            if (cv) {
                t.realCv = run.real_accumulated_time;  // a fraction, not a time
                continue;
            }
            const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
            t.real = run.GetAdjustedRealTime() / unit;
            t.cpu = run.GetAdjustedCPUTime() / unit;
            t.repetitions = int(run.repetitions);
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
    double target;  // at the largest board; 0: shown, no target
};

// The spread of a ratio from the spreads of its two medians' repetitions.
double RatioCv(const Time& a, const Time& b) {
    if (a.realCv < 0 || b.realCv < 0) return -1;
    return std::sqrt(a.realCv * a.realCv + b.realCv * b.realCv);
}

void PrintRow(const Times& times, const Ratio& r, bool real) {
    std::printf("%-46s %-4s", r.label, real ? "real" : "cpu");
    double last = -1, lastCv = -1;
    for (int users : solne::bench::kBoardSizes) {
        last = -1;
        auto m = times.find(r.measured);
        auto b = times.find(r.baseline);
        if (m != times.end() && b != times.end() && m->second.count(users) && b->second.count(users)) {
            const Time& tm = m->second.at(users);
            const Time& tb = b->second.at(users);
            last = real ? tm.real / tb.real : tm.cpu / tb.cpu;
            lastCv = RatioCv(tm, tb);
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
    else if (lastCv < 0)
        std::printf("   <= %.1fx  %s (one run: no spread)\n", r.target, last <= r.target ? "met" : "MISSED");
    else
        std::printf("   <= %.1fx  %s (spread +-%.0f%%)\n", r.target, last <= r.target ? "met" : "MISSED",
                    lastCv * 100);
}

void PrintSummary(const Times& times) {
    const Ratio ratios[] = {
        {"load: solne-check dump / raw read (processes)", "DumpProcess", "RawReadProcess", 1.2},
        {"load in the process / raw read", "Load", "RawRead", 0},
        {"save, nothing to write in user/ / raw read", "SaveUnchanged", "RawReadReplaceData", 1.3},
        {"  + safe replace of the two data files", "", "", 0},
        {"save, every per-user file / raw replace", "SaveAllChanged", "RawReplace", 1.3},
        {"save, every per-user file / raw write", "SaveAllChanged", "RawWrite", 0},
    };
    std::printf("\nRatios to the raw baselines measured in the same run (boards in %s)\n",
                solne::bench::BenchRoot().c_str());
    std::printf("%-51s", "");
    for (int users : solne::bench::kBoardSizes) std::printf("%10d", users);
    std::printf("   target at %d\n", solne::bench::kBoardSizes[2]);
    for (const Ratio& r : ratios) {
        if (!*r.measured) {
            std::printf("%s\n", r.label);
            continue;
        }
        PrintRow(times, r, true);
        PrintRow(times, r, false);
    }
    std::printf("Medians of the repetitions; the spread is the coefficient of variation of\n"
                "the repetitions of both measurements together (a machine shared with other\n"
                "work spreads more: see the load average). real: wall-clock time, the\n"
                "targets' measure; cpu: this process's own work (a process it starts is not\n"
                "counted), without waiting for the disk. The saves go as the editor's do:\n"
                "the snapshots of the load and the look for files changed outside before\n"
                "the first write. The raw read lists the per-user folder and reads every\n"
                "file once; the raw replace reads each file, writes a new one beside it and\n"
                "renames it over the old one; the raw write creates each file once in an\n"
                "empty folder. On ext4 every rename over a file starts writing the new file\n"
                "to disk (auto_da_alloc), which dominates both on a real disk.\n"
                "SOLNE_BENCH_DIR chooses where the boards are made (default /dev/shm).\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (int rc = solne::bench::RawReadMain(argc, argv); rc >= 0) return rc;
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
