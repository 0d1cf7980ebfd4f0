// Status lines the board writes while the editor saves (`make soak`): a
// thread plays the board's own program, rewriting the status line of a few
// per-user files in place as fast as it can, while the editor's store saves
// the board again and again with every display name changed (so every
// per-user file is replaced). A status write is lost when the file no longer
// holds it the next time the writer looks (or at the end): a save read the
// file before the write and replaced it with the older lines.
//
//   solne_status_race [--runs N] [--saves N] [--users N] [--hot N] [--pause-us N]
//
// Prints the writes and the lost writes of every run and their totals.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/TempBoard.h"
#include "store/Load.h"
#include "store/Save.h"
#include "store/Settings.h"

namespace {

struct Options {
    int runs = 5;
    int saves = 11;
    int users = 2000;
    int hot = 8;  // per-user files the writer rewrites, spread over the board
    int pauseUs = 0;  // between two writes; 0: a tight loop
};

struct Counts {
    long writes = 0;
    long lost = 0;
};

// "status=NNNNNNNN": a fixed width keeps the file's size, as a board
// program rewriting one field would.
std::string StatusLine(long value) {
    char text[32];
    std::snprintf(text, sizeof text, "status=%08ld", value);
    return text;
}

bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buffer[4096];
    for (off_t at = 0;;) {
        ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buffer, size_t(n));
        at += n;
    }
}

// The second line of a per-user file.
std::string SecondLine(const std::string& bytes) {
    size_t start = bytes.find('\n');
    if (start == std::string::npos) return {};
    size_t end = bytes.find("\r\n", ++start);
    return bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// One write of the board's program: open the file, check that the status
// line it wrote last is still there, put a new one in its place.
bool WriteStatus(const std::string& path, long& last, long value, Counts& counts) {
    int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) return false;
    std::string bytes;
    bool ok = ReadAll(fd, bytes);
    if (ok) {
        std::string line = SecondLine(bytes);
        if (last >= 0 && line != StatusLine(last)) ++counts.lost;
        size_t at = bytes.find('\n');
        if (at == std::string::npos || line.size() != StatusLine(value).size()) {
            ok = false;
        } else {
            bytes.replace(at + 1, line.size(), StatusLine(value));
            ok = ::pwrite(fd, bytes.data(), bytes.size(), 0) == ssize_t(bytes.size());
        }
    }
    ::close(fd);
    if (ok) {
        last = value;
        ++counts.writes;
    }
    return ok;
}

bool Run(const Options& o, Counts& counts) {
    solne::test::TempDir dir;
    const std::string board = dir / "board";
    solne::test::GenerateBoard(board, o.users, 20);
    const solne::BoardPaths paths = solne::BoardPaths::For(board);
    solne::LoadedBoard loaded;
    if (auto error = solne::LoadBoard(solne::RealFileSystem(), paths, loaded)) {
        std::fprintf(stderr, "load: %s\n", error->ToString().c_str());
        return false;
    }
    // The writer's files: fixed-width status lines from the start.
    std::vector<std::string> hot;
    for (int k = 0; k < o.hot; ++k) {
        const size_t slot = size_t(k) * loaded.Users.size() / size_t(o.hot);
        const auto& user = loaded.Users[slot];
        const std::string path = board + "/user/" + loaded.userSources[slot].perUserFile;
        solne::test::WriteBytes(path, solne::test::Sjis("username=" + user.UserName + "\r\n" + StatusLine(0) +
                                                         "\r\nplan=\r\n"));
        hot.push_back(path);
    }

    std::atomic<bool> stop{false};
    std::atomic<bool> writerFailed{false};
    Counts writer;
    std::vector<long> last(hot.size(), 0);
    std::thread board_program([&] {
        for (long value = 1; !stop.load(std::memory_order_relaxed); ++value) {
            size_t k = size_t(value) % hot.size();
            if (!WriteStatus(hot[k], last[k], value, writer)) {
                writerFailed = true;
                return;
            }
            if (o.pauseUs > 0) ::usleep(useconds_t(o.pauseUs));
        }
    });

    bool saved = true;
    for (int s = 0; s < o.saves && saved; ++s) {
        for (auto& user : loaded.Users) user.UserName = "名前" + std::to_string(s) + user.UserId;
        solne::SaveReport report = solne::SaveBoard(solne::RealFileSystem(), paths, loaded.Users, loaded.Groups);
        if (!report.ok()) {
            std::fprintf(stderr, "save: %s\n",
                         report.failures.empty() ? "refused" : report.failures[0].ToString().c_str());
            saved = false;
        }
    }
    stop = true;
    board_program.join();
    if (writerFailed) {
        std::fprintf(stderr, "the board's writer could not rewrite a file\n");
        return false;
    }
    // A last write that a save undid is lost too.
    for (size_t k = 0; k < hot.size(); ++k)
        if (SecondLine(solne::test::ReadBytes(hot[k])) != StatusLine(last[k])) ++writer.lost;
    counts = writer;
    return saved;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        int value = std::atoi(argv[i + 1]);
        if (value < 0 || (value == 0 && std::strcmp(argv[i], "--pause-us"))) return false;
        if (!std::strcmp(argv[i], "--runs")) o.runs = value;
        else if (!std::strcmp(argv[i], "--saves")) o.saves = value;
        else if (!std::strcmp(argv[i], "--users")) o.users = value;
        else if (!std::strcmp(argv[i], "--hot")) o.hot = value;
        else if (!std::strcmp(argv[i], "--pause-us")) o.pauseUs = value;
        else return false;
    }
    return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: solne_status_race [--runs N] [--saves N] [--users N] [--hot N] [--pause-us N]\n");
        return 2;
    }
    std::printf("status writes during saves: %d runs, %d saves each, %d users, writer on %d files, pause %d us\n",
                o.runs, o.saves, o.users, o.hot, o.pauseUs);
    Counts total;
    for (int r = 0; r < o.runs; ++r) {
        Counts c;
        if (!Run(o, c)) return 1;
        std::printf("run %d: %ld status writes, %ld lost\n", r + 1, c.writes, c.lost);
        total.writes += c.writes;
        total.lost += c.lost;
    }
    std::printf("total: %d saves, %ld status writes, %ld lost\n", o.runs * o.saves, total.writes, total.lost);
    return 0;
}
