// Shared by the store benchmarks: generated boards and the raw baselines
// they are measured against.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace solne::bench {

constexpr int kGroups = 1000;
constexpr int kBoardSizes[] = {1000, 10000, 32767};

// How one measurement runs: a few iterations, repeated so the summary can
// take the median. Writing every file is bound by the disk, so writing
// measurements run fewer iterations. Keeps the whole run to a few minutes.
enum class Kind { Reading, Writing };
void Configure(benchmark::internal::Benchmark* b, int users, Kind kind);

// Writes every dirty page to disk, so that a writing measurement starts
// from a quiet disk as a real save does (called outside timing).
void SettleDisk();

// The board folder of `users` users and 1,000 groups, generated on first
// use (outside any timing) in a new folder under $SOLNE_BENCH_DIR, else
// under /dev/shm, else under the system's temporary folder. A file system in
// memory measures the cost of the code itself: on a disk the time of
// writing many small files is set by the disk's flushes and varies several
// times over from run to run. Set SOLNE_BENCH_DIR to a folder on a disk to
// see that cost.
const std::string& BoardOf(int users);

// Every data file of a board: "user.txt", "group.txt" and each file of "user/".
std::vector<std::string> DataFilesOf(const std::string& folder);

// Opens, reads and closes every file once; returns the bytes read.
size_t RawReadAll(const std::vector<std::string>& files);

// Creates, writes and closes every file once with its content (the files
// must not exist yet). Rewriting files in place is no fair baseline on ext4:
// truncating a file that has blocks on disk forces them out on close.
void RawWriteAll(const std::vector<std::string>& files, const std::vector<std::string>& contents);

// What replacing every file safely costs at the least: read the file, write
// its new content to a new file beside it, rename that over the file.
void RawReplaceAll(const std::vector<std::string>& files, const std::vector<std::string>& contents);

// The floor of a save that writes only the two data files: read every file
// once, then replace "user.txt" and "group.txt" safely (read, write a new
// file beside it, flush it, rename it over the old one, flush the folder).
void RawReadReplaceData(const std::string& folder, const std::vector<std::string>& files,
                        const std::vector<std::string>& dataContents);

// Runs a program to its end with its output thrown away; its exit status.
int RunProcess(const std::vector<std::string>& argv);

// The raw read as a process of its own (bench_store --raw-read FOLDER), the
// baseline of a whole program that loads a board: returns the exit status
// when `argv` asks for it, else -1.
int RawReadMain(int argc, char** argv);

// A program built beside this benchmark (solne-check).
std::string BesideMe(const std::string& name);

// Reads every file whole (for setting up a baseline).
std::vector<std::string> ReadAll(const std::vector<std::string>& files);

// Registration, size by size, so the measurements of one board run together:
// the raw read and the load; the unchanged save, the raw write and the save
// with every display name changed.
void RegisterLoadBenchmarks(int users);
void RegisterSaveBenchmarks(int users);

// The folder that holds the generated boards.
const std::string& BenchRoot();

// Removes every generated board.
void RemoveBoards();

}  // namespace solne::bench
