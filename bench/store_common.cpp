#include "store_common.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>

#include "common/TempBoard.h"

namespace solne::bench {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<test::TempDir>& Scratch() {
    static std::unique_ptr<test::TempDir> dir;
    return dir;
}

const std::string& Root() {
    if (!Scratch()) {
        const char* base = std::getenv("SOLNE_BENCH_DIR");
        const std::string parent = base && *base ? std::string(base) : test::MemoryScratchParent();
        Scratch() = std::make_unique<test::TempDir>(parent);
    }
    return Scratch()->path();
}

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

void Configure(benchmark::internal::Benchmark* b, int users, Kind kind) {
    const bool writing = kind == Kind::Writing;
    const int iterations = users <= 1000 ? (writing ? 3 : 10) : users <= 10000 ? (writing ? 1 : 3) : (writing ? 1 : 2);
    const int repetitions = !writing ? 3 : users <= 1000 ? 3 : users <= 10000 ? 2 : 1;
    b->Arg(users)
        ->Iterations(iterations)
        ->Repetitions(repetitions)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

void SettleDisk() { sync(); }

const std::string& BoardOf(int users) {
    static std::map<int, std::string> boards;
    auto it = boards.find(users);
    if (it == boards.end()) {
        const std::string folder = Root() + "/board-" + std::to_string(users);
        test::GenerateBoard(folder, users, kGroups);
        it = boards.emplace(users, folder).first;
    }
    return it->second;
}

std::vector<std::string> DataFilesOf(const std::string& folder) {
    std::vector<std::string> files = {folder + "/user.txt", folder + "/group.txt"};
    for (const auto& e : fs::directory_iterator(folder + "/user"))
        if (e.is_regular_file()) files.push_back(e.path().string());
    std::sort(files.begin() + 2, files.end());
    return files;
}

size_t RawReadAll(const std::vector<std::string>& files) {
    char buf[16384];
    size_t total = 0;
    for (const auto& path : files) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) Fail("open", path);
        for (;;) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n < 0) Fail("read", path);
            if (n == 0) break;
            total += static_cast<size_t>(n);
        }
        close(fd);
    }
    return total;
}

void RawWriteAll(const std::vector<std::string>& files, const std::vector<std::string>& contents) {
    for (size_t i = 0; i < files.size(); ++i) {
        const int fd = open(files[i].c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) Fail("open", files[i]);
        if (write(fd, contents[i].data(), contents[i].size()) != static_cast<ssize_t>(contents[i].size()))
            Fail("write", files[i]);
        close(fd);
    }
}

void RawReplaceAll(const std::vector<std::string>& files, const std::vector<std::string>& contents) {
    char buf[16384];
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i];
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) Fail("open", path);
        while (read(fd, buf, sizeof buf) > 0) {
        }
        close(fd);
        const std::string temp = path + ".new";
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) Fail("open", temp);
        if (write(fd, contents[i].data(), contents[i].size()) != static_cast<ssize_t>(contents[i].size()))
            Fail("write", temp);
        close(fd);
        if (rename(temp.c_str(), path.c_str()) != 0) Fail("rename", temp);
    }
}

std::vector<std::string> ReadAll(const std::vector<std::string>& files) {
    std::vector<std::string> contents;
    contents.reserve(files.size());
    for (const auto& path : files) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) Fail("open", path);
        std::string text;
        char buf[16384];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
        close(fd);
        contents.push_back(std::move(text));
    }
    return contents;
}

const std::string& BenchRoot() { return Root(); }

void RemoveBoards() { Scratch().reset(); }

}  // namespace solne::bench
