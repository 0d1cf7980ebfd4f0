// The board's own account flipping "user/", or a per-user file, between
// what it is and a link out of the board while root saves (`make soak`):
// how many saves ran, how many noticed a swap, how many flips the account
// made, and after how many saves something outside the board had changed
// (bytes, mode, owner, link count or names of root's files there).
//
//   solne_beneath_race [--saves N] [--users N]
//
// Needs root (it plays the board's account); exits 1 when anything outside
// changed, 2 when it cannot run.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/BoardRace.h"

int main(int argc, char** argv) {
    int saves = 500, users = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--saves") == 0) saves = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--users") == 0) users = std::atoi(argv[i + 1]);
    }
    if (::geteuid() != 0) {
        std::puts("solne_beneath_race: needs root to play the board's account; skipped");
        return 2;
    }
    const solne::test::Account acct = solne::test::BoardAccount();
    std::printf("board's account: uid %u%s; %d saves of %d users per target\n", acct.uid,
                acct.real ? "" : " (no entry: useradd was not possible)", saves, users);
    int changed = 0;
    for (auto target : {solne::test::RaceTarget::UserFolder, solne::test::RaceTarget::PerUserFile}) {
        const auto r = solne::test::RaceSaves(target, saves, users);
        std::printf("%-14s %6d saves, %6d noticed a swap, %9ld flips, outside changed after %d saves%s%s\n",
                    target == solne::test::RaceTarget::UserFolder ? "user/" : "per-user file", r.saves,
                    r.failedSaves, r.flips, r.outsideChanged, r.firstChange.empty() ? "" : ": ",
                    r.firstChange.c_str());
        changed += r.outsideChanged;
    }
    return changed == 0 ? 0 : 1;
}
