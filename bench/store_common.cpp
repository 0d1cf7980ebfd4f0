#include "store_common.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
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
    // At the largest board, where the targets are, enough repetitions for a
    // median and a spread.
    const int repetitions = !writing ? (users > 10000 ? 5 : 3) : users <= 10000 ? 2 : 3;
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

void RawReadReplaceData(const std::string& folder, const std::vector<std::string>& files,
                        const std::vector<std::string>& dataContents) {
    benchmark::DoNotOptimize(RawReadAll(files));
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) Fail("open", folder);
    const char* names[] = {"user.txt", "group.txt"};
    char buf[16384];
    for (int i = 0; i < 2; ++i) {
        int fd = openat(dir, names[i], O_RDONLY | O_CLOEXEC);
        if (fd < 0) Fail("open", names[i]);
        while (read(fd, buf, sizeof buf) > 0) {
        }
        close(fd);
        const std::string temp = std::string(".") + names[i] + ".new";
        fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) Fail("open", temp);
        const std::string& c = dataContents[size_t(i)];
        if (write(fd, c.data(), c.size()) != static_cast<ssize_t>(c.size())) Fail("write", temp);
        if (fsync(fd) != 0) Fail("fsync", temp);
        close(fd);
        if (renameat(dir, temp.c_str(), dir, names[i]) != 0) Fail("rename", temp);
        if (fsync(dir) != 0) Fail("fsync", folder);
    }
    close(dir);
}

int RunProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int err = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        errno = err;
        Fail("spawn", argv[0]);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

int RawReadMain(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "--raw-read") != 0) return -1;
    try {
        const size_t bytes = RawReadAll(DataFilesOf(argv[2]));
        return bytes > 0 ? 0 : 1;
    } catch (const std::exception&) {
        return 1;
    }
}

std::string BesideMe(const std::string& name) {
    return (fs::read_symlink("/proc/self/exe").parent_path() / name).string();
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
