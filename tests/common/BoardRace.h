// The board's own account racing root's saves, for the tests (a short run)
// and for `make soak` (a long one): a child process of that account flips
// the per-user folder, or a per-user file, between what it is and a
// symbolic link out of the board while root saves again and again; after
// every save the files outside the board are compared with what they were.
// POSIX only; needs root.
#pragma once

#include <string>

#include <sys/types.h>

namespace solne::test {

// The board's account for these runs: "solne-board", made with useradd
// where the machine allows, else an unused account number without an entry
// (`real` false).
struct Account {
    uid_t uid = 0;
    gid_t gid = 0;
    bool real = false;
};
Account BoardAccount();

// Runs `body` in a child process as `who` (its group alone); returns the
// child's exit code (-1 when it did not exit).
int RunAs(const Account& who, int (*body)(void*), void* arg);

enum class RaceTarget {
    UserFolder,   // "user" becomes a link to a root-owned folder outside
    PerUserFile,  // "user/u100000.txt" becomes a link into the board, then to a root-only file outside
};

struct RaceResult {
    int saves = 0;
    int failedSaves = 0;       // saves that reported a failure (a swap noticed)
    long flips = 0;            // swaps the racer made
    int outsideChanged = 0;    // saves after which something outside differed: must stay 0
    std::string firstChange;   // what differed first
};

// Loads a board of `users` users (root's board folder, group-writable for
// the account's group; "user/" and its files the account's own) once, then
// saves it `saves` times with the display names changed while the racer
// flips `target`.
RaceResult RaceSaves(RaceTarget target, int saves, int users);

}  // namespace solne::test
