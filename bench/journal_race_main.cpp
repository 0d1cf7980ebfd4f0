// Journals flipped by the board's own account while the editor loads and
// saves (`make soak`): a second process, as the account that owns the board
// folder (4242 when run as root), swaps the journals of "user.txt",
// "group.txt" and some per-user files between a file of its own and a link
// to a root-only file outside the board, as fast as it can. The editor's
// store loads the board (as solne-check does) and saves it, again and again.
// The root-only bytes must never show in a load and never land in a file.
//
//   solne_journal_race [--loads N] [--save-every N] [--users N] [--hot N]
//
// Prints the loads, saves, ignored journals and how often the secret showed.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/TempBoard.h"
#include "store/Load.h"
#include "store/Save.h"
#include "store/Settings.h"

namespace {

struct Options {
    int loads = 2000;
    int saveEvery = 25;
    int users = 2000;
    int hot = 8;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        int value = std::atoi(argv[i + 1]);
        if (value <= 0) return false;
        if (!std::strcmp(argv[i], "--loads")) o.loads = value;
        else if (!std::strcmp(argv[i], "--save-every")) o.saveEvery = value;
        else if (!std::strcmp(argv[i], "--users")) o.users = value;
        else if (!std::strcmp(argv[i], "--hot")) o.hot = value;
        else return false;
    }
    return argc % 2 == 1;
}

// The flipping account: each journal in turn becomes a link to the secret,
// then a file of its own, both renamed into place.
[[noreturn]] void Flip(const std::vector<std::string>& journals, const std::vector<std::string>& own,
                       const std::vector<std::string>& secrets) {
    for (;;) {
        for (size_t k = 0; k < journals.size(); ++k) {
            const std::string temp = journals[k] + ".flip";
            ::unlink(temp.c_str());
            const std::string& secret = secrets[std::min(k, secrets.size() - 1)];
            if (::symlink(secret.c_str(), temp.c_str()) == 0) ::rename(temp.c_str(), journals[k].c_str());
            int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) {
                (void)!::write(fd, own[k].data(), own[k].size());
                ::close(fd);
                ::rename(temp.c_str(), journals[k].c_str());
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using namespace solne;
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: solne_journal_race [--loads N] [--save-every N] [--users N] [--hot N]\n");
        return 2;
    }
    const bool root = ::geteuid() == 0;
    const uid_t owner = 4242;
    test::TempDir dir(test::MemoryScratchParent());
    test::TempDir outside;
    const std::string board = dir / "board";
    // Root-only files that would load as the files they are swapped in for.
    const std::vector<std::string> secrets = {outside / "users", outside / "groups", outside / "lines"};
    test::WriteBytes(secrets[0], test::SjisLines({"SECRET,SECRET,1"}));
    test::WriteBytes(secrets[1], test::SjisLines({"1,SECRET"}));
    test::WriteBytes(secrets[2], test::SjisLines({"username=SECRET", "status=SECRET", "plan=SECRET"}));
    for (auto& s : secrets) ::chmod(s.c_str(), 0600);
    test::GenerateBoard(board, o.users, 20);
    const BoardPaths paths = BoardPaths::For(board);
    LoadedBoard loaded;
    if (auto e = LoadBoard(RealFileSystem(), paths, loaded)) {
        std::fprintf(stderr, "load: %s\n", e->ToString().c_str());
        return 1;
    }
    std::vector<std::string> journals = {board + "/.user.txt.solne-journal", board + "/.group.txt.solne-journal"};
    std::vector<std::string> own = {test::ReadBytes(paths.UserFilePath), test::ReadBytes(paths.GroupFilePath)};
    for (int k = 0; k < o.hot; ++k) {
        const size_t slot = size_t(k) * loaded.Users.size() / size_t(o.hot);
        const std::string& name = loaded.userSources[slot].perUserFile;
        journals.push_back(board + "/user/." + name + ".solne-journal");
        own.push_back(test::ReadBytes(board + "/user/" + name));
    }
    if (root) {
        for (auto& e : fs::recursive_directory_iterator(board)) (void)!::chown(e.path().c_str(), owner, owner);
        (void)!::chown(board.c_str(), owner, owner);
        ::chmod(dir.path().c_str(), 0755);
    }
    std::printf("journals flipped between a file and a link to a root-only file: %zu journals, %d users, %s\n",
                journals.size(), o.users, root ? "flipped by account 4242, loaded and saved as root" : "one account");

    const pid_t flipper = ::fork();
    if (flipper < 0) return 1;
    if (flipper == 0) {
        if (root && (::setgid(owner) != 0 || ::setuid(owner) != 0)) ::_exit(99);
        Flip(journals, own, secrets);
    }
    const auto began = std::chrono::steady_clock::now();
    long loads = 0, failedLoads = 0, saves = 0, failedSaves = 0, ignored = 0, shown = 0;
    ReadOnlyFileSystem readOnly(RealFileSystem());
    for (int i = 0; i < o.loads; ++i) {
        LoadedBoard b;
        if (LoadBoard(readOnly, paths, b)) {
            ++failedLoads;
            continue;
        }
        ++loads;
        ignored += long(b.ignoredJournals.size());
        for (auto& u : b.Users) {
            const std::string all = u.UserId + u.PassWord + u.UserName + u.StatusLine + u.PlanLine;
            shown += all.find("SECRET") != std::string::npos;
        }
        for (auto& g : b.Groups) shown += g.GroupName.find("SECRET") != std::string::npos;
        if (i % o.saveEvery == 0) {
            b.Users[0].UserName = "改" + std::to_string(i);
            SaveReport r = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups);
            ++saves;
            failedSaves += !r.ok();
            ignored += long(r.ignoredJournals.size());
        }
    }
    ::kill(flipper, SIGKILL);
    ::waitpid(flipper, nullptr, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    long written = 0;
    for (auto& e : fs::recursive_directory_iterator(board))
        if (e.is_regular_file() && !e.is_symlink())
            written += test::ReadBytes(e.path().string()).find("SECRET") != std::string::npos;
    bool intact = true;
    for (auto& s : secrets) {
        struct stat st {};
        intact &= ::lstat(s.c_str(), &st) == 0 && st.st_nlink == 1 && st.st_uid == ::geteuid() &&
                  (st.st_mode & 07777) == 0600;
    }
    std::printf("%ld loads (%ld refused), %ld saves (%ld with a failure), %ld journals ignored, %.1f s\n", loads,
                failedLoads, saves, failedSaves, ignored, seconds);
    std::printf("secret shown in %ld loads, written into %ld board files; the secret files %s\n", shown, written,
                intact ? "untouched" : "CHANGED");
    return shown == 0 && written == 0 && intact ? 0 : 1;
}
