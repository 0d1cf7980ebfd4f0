// Runs a piece of a test as another account, for tests that play the board's
// other users (POSIX; they skip unless run as root).
#pragma once

#include <functional>

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Define/FileSystem.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

namespace solne::test {

// Runs `body` in a child process as account `uid` of group `gid` (that group
// alone); returns its exit code, 99 when the child could not become that
// account, -1 when it did not exit.
inline int RunAs(AccountId uid, GroupId gid, const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace solne::test
