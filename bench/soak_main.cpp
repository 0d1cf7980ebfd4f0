// The soak run (`make soak`): a board of 32,767 users, then rounds of random
// commands through the real window, each round ending with a save, a check
// that the files load back to the tables saved, and a fresh window started
// on the saved board. The window is compared with the reference model after
// every command. Memory is sampled after every round: the resident size must
// not keep growing once the run has settled.
//
//   solne_soak [--rounds N] [--steps N] [--users N] [--groups N] [--seed N] [--minutes N]
//
// Exit status 0 when every comparison held and memory did not grow.
#include <QApplication>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/Headless.h"
#include "common/TempBoard.h"
#include "qt/QtHands.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    long rounds = 200;
    long steps = 20;  // random steps per round, before the save
    int users = 32767;
    int groups = 1000;
    uint64_t seed = 1;
    double minutes = 0;  // time budget; 0 = none
};

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--rounds") o.rounds = std::atol(value);
        else if (key == "--steps") o.steps = std::atol(value);
        else if (key == "--users") o.users = std::atoi(value);
        else if (key == "--groups") o.groups = std::atoi(value);
        else if (key == "--seed") o.seed = std::strtoull(value, nullptr, 10);
        else if (key == "--minutes") o.minutes = std::atof(value);
        else {
            std::fprintf(stderr, "unknown option %s\n", key.c_str());
            std::exit(2);
        }
    }
    return o;
}

// A value of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return -1;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

constexpr size_t kSettled = 9;  // memory is judged from round 10 on

// Prints the first and last value from round 10 on and the trend (least
// squares); returns the growth along the trend over those rounds.
double ReportGrowth(const char* what, const std::vector<long>& kb) {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = kSettled; i < kb.size(); ++i) {
        const double x = double(i), y = double(kb[i]);
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    const long growth = kb.back() - kb[kSettled];
    std::printf("%s after round 10: %ld kB, after round %zu: %ld kB, growth %+ld kB (%+.1f%%), trend %+.1f kB per round\n",
                what, kb[kSettled], kb.size(), kb.back(), growth, 100.0 * double(growth) / double(kb[kSettled]), slope);
    return slope * (n - 1);
}

}  // namespace

int main(int argc, char** argv) {
    solne::test::UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const Options o = Parse(argc, argv);

    solne::test::TempDir scratch;
    const std::string& root = scratch.path();
    std::printf("soak: %d users, %d groups, %ld rounds of %ld steps, seed %llu, in %s\n", o.users, o.groups,
                o.rounds, o.steps, static_cast<unsigned long long>(o.seed), root.c_str());
    std::fflush(stdout);

    int status = 0;
    {
        solne::test::GenerateBoard(root + "/board", o.users, o.groups);
        solne::model::ModelDriver driver(root, o.seed, std::make_unique<solne::test::QtHands>());
        using solne::model::Command;
        driver.weights[int(Command::Save)] = 0;  // each round ends with its own save
        driver.weights[int(Command::Close)] = 0;
        // Deletions of long ranges would soon empty the board: fewer deletions,
        // ranges of up to 200 rows, so the board stays near its full size.
        driver.weights[int(Command::UserDelete)] = 4;
        driver.maxRange = 200;

        const Clock::time_point start = Clock::now();
        std::string diff = driver.StartOnFolder();
        std::printf("start-up: %.1f s, VmRSS %ld kB\n", Seconds(start), StatusKb("VmRSS"));

        std::vector<long> rss, heap;  // kB, after each round
        long round = 0;
        const Clock::time_point roundsStart = Clock::now();
        while (diff.empty() && round < o.rounds) {
            if (o.minutes > 0 && Seconds(roundsStart) > o.minutes * 60) break;
            ++round;
            for (long k = 0; k < o.steps && diff.empty(); ++k) diff = driver.Step();
            if (diff.empty()) diff = driver.Run(Command::Save);  // also loads the files back
            if (diff.empty()) diff = driver.Reopen();            // a fresh window on the saved board
            rss.push_back(StatusKb("VmRSS"));
            heap.push_back(long(mallinfo2().uordblks / 1024));
            if (round == 1 || round % 10 == 0)
                std::printf("round %ld: %.1f s, %zu user slots, %zu group slots, VmRSS %ld kB, heap in use %ld kB\n",
                            round, Seconds(roundsStart), driver.Window().Users.size(),
                            driver.Window().Groups.size(), rss.back(), heap.back());
            std::fflush(stdout);
        }
        const double elapsed = Seconds(roundsStart);

        if (!diff.empty()) {
            std::printf("FAILED in round %ld (seed %llu): %s\nlast actions:\n%s", round,
                        static_cast<unsigned long long>(o.seed), diff.c_str(), driver.Log().c_str());
            status = 1;
        }
        std::printf("\n%s", driver.Summary().c_str());
        std::printf("\nrounds: %ld in %.1f s (%.2f s per round)\n", round, elapsed,
                    round ? elapsed / double(round) : 0.0);
        std::printf("peak resident size (VmHWM): %ld kB\n", StatusKb("VmHWM"));
        if (rss.size() >= 20) {
            ReportGrowth("VmRSS", rss);
            // The resident size swings with the allocator; the heap in use is
            // what a leak makes climb, even by a few kB per round.
            const double heapGrowth = heap[kSettled] > 0 ? ReportGrowth("heap in use", heap) : 0;
            if (heap[kSettled] == 0) std::printf("heap in use: not known under this allocator\n");
            if (heapGrowth > double(heap[kSettled]) / 20) {
                std::printf("FAILED: the heap in use grew by more than 5%% along its trend after round 10\n");
                status = 1;
            }
        } else {
            std::printf("too few rounds to judge memory growth\n");
        }
        std::fflush(stdout);
    }
    std::printf(status == 0 ? "soak passed\n" : "soak FAILED\n");
    return status;
}
