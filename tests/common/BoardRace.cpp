// The board's account racing root's saves (see BoardRace.h).
#include "common/BoardRace.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/RunAs.h"
#include "common/TempBoard.h"
#include "store/Load.h"
#include "store/Save.h"
#include "store/UserFolder.h"

namespace solne::test {

namespace fs = std::filesystem;

Account BoardAccount() {
    static const Account account = [] {
        const char* name = "solne-board";
        if (!::getpwnam(name) && ::geteuid() == 0)
            (void)std::system("useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "
                              "solne-board >/dev/null 2>&1");
        if (const passwd* pw = ::getpwnam(name)) return Account{pw->pw_uid, pw->pw_gid, true};
        return Account{4243, 4243, false};
    }();
    return account;
}

int RunAs(const Account& who, int (*body)(void*), void* arg) {
    return RunAs(who.uid, who.gid, [&] { return body(arg); });
}

namespace {

// What a folder outside the board holds: every name with its bytes, mode,
// owner and link count.
std::map<std::string, std::string> Describe(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::directory_iterator(folder)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        out[e.path().filename().string()] = ReadBytes(e.path().string()) + "|" + std::to_string(st.st_mode) + "|" +
                                            std::to_string(st.st_uid) + "|" + std::to_string(st.st_nlink);
    }
    return out;
}

struct Racer {
    std::string board;
    std::string outside;    // a root-owned folder; for a file: the root-only file in it
    std::string fileName;   // the per-user file flipped
    RaceTarget target;
};

// The racer's loop, as the board's account; never returns.
[[noreturn]] void Race(const Racer& r) {
    const std::string user = r.board + "/user";
    const std::string held = r.board + "/user.held";
    const std::string file = user + "/" + r.fileName;
    const std::string secret = r.outside + "/secret.txt";
    long flips = 0, rounds = 0;
    for (;;) {
        if (r.target == RaceTarget::UserFolder) {
            if (::rename(user.c_str(), held.c_str()) == 0) {
                (void)::symlink(r.outside.c_str(), user.c_str());
                ++flips;
                ::unlink(user.c_str());
                (void)::rename(held.c_str(), user.c_str());
            }
        } else {
            // One system call per flip (an exchange of two names): the
            // file, ".race.b" (a link inside the folder, or the plain file)
            // and ".race.c" (the link out, or the inside one).
            const std::string b = user + "/.race.b", c = user + "/.race.c";
            if (rounds == 0) {
                (void)::symlink(".inside.txt", b.c_str());
                (void)::symlink(secret.c_str(), c.c_str());
            }
            (void)::renameat2(AT_FDCWD, b.c_str(), AT_FDCWD, file.c_str(), RENAME_EXCHANGE);  // in
            for (int i = 0; i < 16; ++i) {
                (void)::renameat2(AT_FDCWD, c.c_str(), AT_FDCWD, file.c_str(), RENAME_EXCHANGE);  // out
                (void)::renameat2(AT_FDCWD, c.c_str(), AT_FDCWD, file.c_str(), RENAME_EXCHANGE);  // in
            }
            (void)::renameat2(AT_FDCWD, b.c_str(), AT_FDCWD, file.c_str(), RENAME_EXCHANGE);  // plain
            flips += 34;
        }
        // The count for the report: the last value a stopped racer wrote.
        if ((++rounds & 255) == 0) WriteBytes(r.board + "/.flips", std::to_string(flips));
    }
}

}  // namespace

RaceResult RaceSaves(RaceTarget target, int saves, int users) {
    RaceResult result;
    const Account acct = BoardAccount();
    TempDir scratch(MemoryScratchParent());
    const std::string board = scratch / "board", outside = scratch / "outside";
    GenerateBoard(board, users, 10);
    fs::create_directory(outside);
    ::chmod(scratch.path().c_str(), 0755);
    ::chmod(outside.c_str(), 0755);
    // Root's files outside: one named like a stray of the per-user folder,
    // one named like a user's file, and a root-only secret.
    WriteBytes(board + "/user/stray.txt", "stray");
    WriteBytes(outside + "/stray.txt", "root's own");
    WriteBytes(outside + "/secret.txt", "root only\r\n");
    ::chmod((outside + "/secret.txt").c_str(), 0600);
    WriteBytes(board + "/user/.inside.txt", "username=inside\r\nstatus=0\r\nplan=\r\n");
    for (auto& e : fs::recursive_directory_iterator(board + "/user"))
        ::lchown(e.path().c_str(), acct.uid, acct.gid);
    ::chown((board + "/user").c_str(), acct.uid, acct.gid);
    ::chown(board.c_str(), 0, acct.gid);
    ::chmod(board.c_str(), 02775);

    const BoardPaths paths = BoardPaths::For(board);
    LoadedBoard loaded;
    if (auto e = LoadBoard(RealFileSystem(), paths, loaded)) {
        result.firstChange = "the board did not load: " + e->ToString();
        result.outsideChanged = 1;
        return result;
    }
    WriteBytes(outside + "/" + UserFileName(loaded.Users[0].UserId), "root's own");
    const auto before = Describe(outside);

    Racer racer{board, outside, UserFileName(loaded.Users[0].UserId), target};
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(1, &acct.gid) != 0 || ::setgid(acct.gid) != 0 || ::setuid(acct.uid) != 0) ::_exit(99);
        Race(racer);
    }
    for (int round = 0; round < saves && pid > 0; ++round) {
        for (auto& u : loaded.Users) u.UserName = "改" + std::to_string(round % 10);
        SaveReport report = SaveBoard(RealFileSystem(), paths, loaded.Users, loaded.Groups);
        ++result.saves;
        result.failedSaves += !report.ok();
        // The racer stops while the outside is compared and the board put
        // back: the per-user folder in its place, the stray back in it.
        ::kill(pid, SIGSTOP);
        ::waitpid(pid, nullptr, WUNTRACED);
        const auto now = Describe(outside);
        if (now != before) {
            if (++result.outsideChanged == 1) {
                for (auto& [name, what] : now)
                    if (!before.contains(name) || before.at(name) != what) result.firstChange += name + " changed; ";
                for (auto& [name, what] : before)
                    if (!now.contains(name)) result.firstChange += name + " removed; ";
            }
            // Put the outside back for the next round.
            for (auto& [name, what] : now)
                if (!before.contains(name)) fs::remove(outside + "/" + name);
            WriteBytes(outside + "/stray.txt", "root's own");
            WriteBytes(outside + "/" + racer.fileName, "root's own");
            WriteBytes(outside + "/secret.txt", "root only\r\n");
            ::chmod((outside + "/secret.txt").c_str(), 0600);
            ::chmod((outside + "/stray.txt").c_str(), 0644);
            ::chown((outside + "/stray.txt").c_str(), 0, 0);
        }
        struct stat st {};
        if (::lstat((board + "/user").c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink((board + "/user").c_str());
        if (::lstat((board + "/user.held").c_str(), &st) == 0)
            ::rename((board + "/user.held").c_str(), (board + "/user").c_str());
        WriteBytes(board + "/user/stray.txt", "stray");
        ::lchown((board + "/user/stray.txt").c_str(), acct.uid, acct.gid);
        ::kill(pid, SIGCONT);
    }
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    result.flips = std::atol(ReadBytes(board + "/.flips").c_str());
    return result;
}

}  // namespace solne::test
