// Journals of a rewrite in place on a shared board: one is used only when
// it comes from an account that may write its file and names that file;
// anything else under a journal's name (another account's file, a link, a
// fifo, a folder, a huge or sparse file) is named, never read as content,
// never written into a file, and stops neither a load nor a save.
// POSIX only: owners, modes, links, fifos and second accounts are what
// these tests are about (on Windows the trust check is kind, links and
// header alone).
#ifndef _WIN32
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/RunAs.h"
#include "common/TempBoard.h"
#include "store/BoardCheck.h"
#include "store/Journal.h"
#include "store/Load.h"
#include "store/SafeWrite.h"
#include "store/Save.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

namespace solne {
namespace {

using test::ReadBytes;
using test::RunAs;
using test::SjisLines;
using test::WriteBytes;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// A journal for `file` as the editor writes one: the header naming the
// file, then `content`.
std::string JournalFor(const std::string& file, std::string_view content) {
    const struct stat st = StatOf(file);
    JournalChecksum sum;
    sum.Add(content);
    return FormatJournalHeader({uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(content.size()), sum.value}) +
           std::string(content);
}

std::string Names(const std::vector<JournalFinding>& found) {
    std::string out;
    for (auto& f : found) out += f.ToString() + "\n";
    return out;
}

class JournalTest : public ::testing::Test {
protected:
    // A fresh board: whatever the folder held goes first.
    void Make() {
        for (auto& e : std::filesystem::directory_iterator(dir.path())) std::filesystem::remove_all(e.path());
        test::WriteBoard(dir.path(), test::BoardFiles{{"u01,pw,1", "u02,pw,1"},
                                                      {"1,営業"},
                                                      {{"u01", {"username=山田", "status=1", "plan=会議"}},
                                                       {"u02", {"username=佐藤", "status=0", "plan="}}}});
        paths = BoardPaths::For(dir.path());
    }
    LoadedBoard Load() {
        LoadedBoard b;
        auto err = LoadBoard(RealFileSystem(), paths, b);
        EXPECT_FALSE(err.has_value()) << err->ToString();
        return b;
    }
    std::string UserFile(const std::string& name) { return paths.UserFolder() + "/" + name; }

    test::TempDir dir;
    BoardPaths paths;
};

// What the header vouches for: the file (device and inode), the length and
// the checksum of the content. A journal that matches is read and rolled
// back; one that does not is named, left alone, and the file is the file.
TEST_F(JournalTest, UsedOnlyWhenItsHeaderNamesTheFileAndItsContent) {
    const std::string old = SjisLines({"username=旧", "status=5", "plan=出張"});
    const std::string torn = SjisLines({"username=新しい", "sta"});
    Make();
    const std::string journal = UserFile(".u01.txt.solne-journal");
    // By the reason it is not used ("": used).
    const std::vector<std::pair<std::string, std::function<std::string()>>> cases = {
        {"", [&] { return JournalFor(UserFile("u01.txt"), old); }},
        {"別のファイルのものです", [&] { return JournalFor(UserFile("u02.txt"), old); }},
        {"内容が見出しのチェックサムと合いません",
         [&] {
             std::string j = JournalFor(UserFile("u01.txt"), old);
             j[j.size() - 3] ^= 1;
             return j;
         }},
        {"長さが見出しと合いません", [&] { return JournalFor(UserFile("u01.txt"), old) + "x"; }},
        {"見出しが壊れています", [&] { return "solne-journal 1 garbage\n" + old; }},
        {"見出しがなく、モードも 0600 ではありません", [&] { return old; }},
    };
    for (auto& [reason, make] : cases) {
        SCOPED_TRACE(reason.empty() ? "valid" : reason);
        Make();
        WriteBytes(UserFile("u01.txt"), torn);
        WriteBytes(journal, make());
        ::chmod(journal.c_str(), reason.empty() ? 0600 : 0644);
        LoadedBoard b = Load();
        EXPECT_EQ(b.Users[0].UserName, reason.empty() ? "旧" : "新しい") << Names(b.ignoredJournals);
        if (reason.empty()) {
            EXPECT_TRUE(b.ignoredJournals.empty()) << Names(b.ignoredJournals);
        } else {
            ASSERT_EQ(b.ignoredJournals.size(), 1u);
            EXPECT_EQ(b.ignoredJournals[0].path, journal);
            EXPECT_EQ(b.ignoredJournals[0].reason, reason);
        }
        const std::string planted = ReadBytes(journal);
        b.Users[0].UserName = "山田";
        SaveReport r = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups);
        EXPECT_TRUE(r.ok());
        EXPECT_EQ(r.ignoredJournals.size(), reason.empty() ? 0u : 1u);
        if (reason.empty()) {
            EXPECT_EQ(ReadBytes(UserFile("u01.txt")), SjisLines({"username=山田", "status=5", "plan=出張"}));
            EXPECT_FALSE(test::PathExists(journal));
        } else {
            // The file's own lines; the journal untouched and not rolled in.
            EXPECT_EQ(ReadBytes(UserFile("u01.txt")), SjisLines({"username=山田", "sta", "plan="}));
            EXPECT_EQ(ReadBytes(journal), planted);
        }
    }
}

// Anything under a journal's name of "user.txt", "group.txt" and a
// per-user file: the board loads as its files are, a save writes them as
// usual, writes nothing more than they need, and leaves the planted thing.
TEST_F(JournalTest, OddFilesUnderAJournalsNameBlockNothing) {
    test::TempDir outside;
    const std::string secret = outside / "secret";
    WriteBytes(secret, "root only\r\n");
    ::chmod(secret.c_str(), 0600);
    const bool root = ::geteuid() == 0;
    struct Odd {
        const char* what;
        std::function<void(const std::string&)> make;
    };
    const std::vector<Odd> odds = {
        {"link to a secret", [&](const std::string& p) { ASSERT_EQ(::symlink(secret.c_str(), p.c_str()), 0); }},
        {"self-looping link", [](const std::string& p) { ASSERT_EQ(::symlink(p.c_str(), p.c_str()), 0); }},
        {"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }},
        {"folder", [](const std::string& p) { WriteBytes(p + "/inside", "x"); }},
        {"hard link to a secret", [&](const std::string& p) { ASSERT_EQ(::link(secret.c_str(), p.c_str()), 0); }},
        {"over 64 MiB, sparse",
         [](const std::string& p) {
             WriteBytes(p, "");
             ::chmod(p.c_str(), 0600);
             ASSERT_EQ(::truncate(p.c_str(), off_t(1) << 30), 0);
         }},
        {"not code page 932, another account's",
         [&](const std::string& p) {
             WriteBytes(p, "\x80\x81\xff\r\n");
             ::chmod(p.c_str(), 0600);
             if (root) {
                 ASSERT_EQ(::chown(p.c_str(), 4242, 4242), 0);
             } else {
                 ::chmod(p.c_str(), 0666);
             }
         }},
    };
    for (const Odd& odd : odds) {
        SCOPED_TRACE(odd.what);
        Make();
        const std::vector<std::string> journals = {dir / ".user.txt.solne-journal", dir / ".group.txt.solne-journal",
                                                   UserFile(".u01.txt.solne-journal")};
        for (auto& j : journals) odd.make(j);
        // u02.txt has a second name: rewritten in place, its journal goes
        // where the planted thing is, when the planted thing can be replaced.
        ASSERT_EQ(::link(UserFile("u02.txt").c_str(), (dir / "second-name.txt").c_str()), 0);
        odd.make(UserFile(".u02.txt.solne-journal"));
        LoadedBoard b = Load();
        ASSERT_EQ(b.Users.size(), 2u);
        EXPECT_EQ(b.Users[0].UserName, "山田");
        EXPECT_EQ(b.Users[1].UserName, "佐藤");
        EXPECT_EQ(b.Groups[0].GroupName, "営業");
        EXPECT_EQ(b.ignoredJournals.size(), 4u) << Names(b.ignoredJournals);

        b.Users[0].UserName = "山田花子";
        b.Users[1].UserName = "佐藤二郎";
        UserInfo added;
        added.UserId = "u03";
        added.PassWord = "pw";
        added.GroupNo = 1;
        b.Users.push_back(added);
        const auto began = std::chrono::steady_clock::now();
        SaveReport r = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups);
        const auto took = std::chrono::steady_clock::now() - began;
        if (std::string(odd.what) == "folder") {
            // The one thing the rewrite in place cannot replace: that file
            // fails, named, the message names the folder, the rest is saved.
            ASSERT_EQ(r.failures.size(), 1u);
            EXPECT_EQ(r.failures[0].file, UserFile("u02.txt"));
        } else {
            EXPECT_TRUE(r.ok()) << (r.failures.empty() ? "" : r.failures[0].ToString());
        }
        EXPECT_EQ(r.ignoredJournals.size(), 4u) << Names(r.ignoredJournals);
        EXPECT_LT(took, std::chrono::seconds(2)) << "nothing read or written but the board";
        EXPECT_EQ(ReadBytes(paths.UserFilePath), SjisLines({"u01,pw,1", "u02,pw,1", "u03,pw,1"}));
        EXPECT_EQ(ReadBytes(UserFile("u01.txt")), SjisLines({"username=山田花子", "status=1", "plan=会議"}));
        EXPECT_LT(StatOf(UserFile("u01.txt")).st_blocks, 64) << "no room taken for a planted size";
        EXPECT_EQ(ReadBytes(dir / "second-name.txt"),
                  SjisLines({std::string("username=") + (std::string(odd.what) == "folder" ? "佐藤" : "佐藤二郎"),
                             "status=0", "plan="}));
        for (auto& j : journals) EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(j))) << j;
        EXPECT_EQ(ReadBytes(secret), "root only\r\n");
    }
}

// A sticky folder of a group of administrators (root:board 1775) whose
// data files are root's and read-only: a member who cannot write them
// plants journals with a header as good as the editor's, holding one more
// user. Neither the load nor root's save without an edit takes them, and
// solne-check names them. A member who may write a group-writable file is
// trusted with its journal (needs a real account to know its groups).
TEST_F(JournalTest, PlantedByAnAccountThatCannotWriteTheFileIsIgnored) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to play a second account";
    const AccountId member = 4401;
    const GroupId board = 4400;
    Make();
    ASSERT_EQ(::chown(dir.path().c_str(), 0, board), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 01775), 0);
    ASSERT_EQ(::chown(paths.UserFolder().c_str(), 0, board), 0);
    ASSERT_EQ(::chmod(paths.UserFolder().c_str(), 01775), 0);
    for (const std::string& f : {paths.UserFilePath, paths.GroupFilePath, UserFile("u01.txt")}) {
        ASSERT_EQ(::chown(f.c_str(), 0, board), 0);
        ::chmod(f.c_str(), 0444);
    }
    const std::string userTxt = ReadBytes(paths.UserFilePath);
    const int planted = RunAs(member, board, [&] {
        auto plant = [](const std::string& file, const std::string& journal, const std::string& content) {
            WriteBytes(journal, JournalFor(file, content));
            return ::chmod(journal.c_str(), 0600) == 0;
        };
        bool ok = plant(paths.UserFilePath, dir / ".user.txt.solne-journal",
                        SjisLines({"u01,pw,1", "u02,pw,1", "evil,evilpw,1"})) &&
                  plant(paths.GroupFilePath, dir / ".group.txt.solne-journal", SjisLines({"1,乗っ取り"})) &&
                  plant(UserFile("u01.txt"), UserFile(".u01.txt.solne-journal"),
                        SjisLines({"username=偽", "status=9", "plan=rm -rf /"}));
        return ok ? 0 : 1;
    });
    ASSERT_EQ(planted, 0);

    LoadedBoard b = Load();
    ASSERT_EQ(b.Users.size(), 2u);
    EXPECT_EQ(b.Groups[0].GroupName, "営業");
    EXPECT_EQ(b.Users[0].UserName, "山田");
    ASSERT_EQ(b.ignoredJournals.size(), 3u);
    for (auto& j : b.ignoredJournals)
        EXPECT_EQ(j.reason, "このファイルに書き込めないアカウント（uid 4401）のものです") << j.path;
    int named = 0;
    for (auto& f : CheckBoard(RealFileSystem(), paths, b)) named += f.code == "ignored-journal";
    EXPECT_EQ(named, 3);

    SaveReport r = SaveBoard(RealFileSystem(), paths, b.Users, b.Groups);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(ReadBytes(paths.UserFilePath), userTxt);
    EXPECT_EQ(ReadBytes(paths.GroupFilePath), SjisLines({"1,営業"}));
    EXPECT_EQ(ReadBytes(UserFile("u01.txt")), SjisLines({"username=山田", "status=1", "plan=会議"}));

    // A member of the group of a group-writable file may write it: trusted.
    const char* name = "solne-jtest";
    if (std::system(("groupadd -g 4400 solne-jboard >/dev/null 2>&1; useradd -M -N -u 4401 -g 4400 -s /bin/false " +
                     std::string(name) + " >/dev/null 2>&1")
                        .c_str()) < 0 ||
        !::getpwnam(name)) {
        GTEST_SKIP() << "useradd could not make an account here: a member's trusted journal is not tried";
    }
    EXPECT_TRUE(AccountInGroup(member, board));
    ::chmod(UserFile("u01.txt").c_str(), 0664);
    b = Load();
    EXPECT_EQ(b.Users[0].UserName, "偽") << Names(b.ignoredJournals);
    std::system(("userdel " + std::string(name) + " >/dev/null 2>&1; groupdel solne-jboard >/dev/null 2>&1").c_str());
}

// The board's account owns the board and flips journals between a file of
// its own and a link to a root-only file, as fast as it can, while root
// loads and saves: the root-only bytes never show and never land in a file.
TEST_F(JournalTest, JournalFlippedBetweenFileAndLinkNeverReadsOutside) {
    const bool root = ::geteuid() == 0;
    const AccountId owner = 4242;
    test::TempDir outside;
    // Root-only files that would load as the files they are swapped in for.
    const std::string secrets[] = {outside / "users", outside / "lines"};
    WriteBytes(secrets[0], SjisLines({"SECRET,SECRET,1"}));
    WriteBytes(secrets[1], SjisLines({"username=SECRET", "status=SECRET", "plan=SECRET"}));
    for (auto& s : secrets) ::chmod(s.c_str(), 0600);
    Make();
    if (root) {
        for (auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
            ASSERT_EQ(::chown(e.path().c_str(), owner, owner), 0);
        ASSERT_EQ(::chown(dir.path().c_str(), owner, owner), 0);
    }
    ::chmod(dir.path().c_str(), 0755);
    const std::vector<std::string> journals = {dir / ".user.txt.solne-journal", UserFile(".u01.txt.solne-journal")};
    const pid_t flipper = ::fork();
    ASSERT_GE(flipper, 0);
    if (flipper == 0) {
        if (root && (::setgid(owner) != 0 || ::setuid(owner) != 0)) ::_exit(99);
        // Its own content: what it could write into the files itself.
        const std::string own[] = {SjisLines({"u01,pw,1", "u02,pw,1"}), SjisLines({"username=自分", "status=0", "plan="})};
        for (;;) {
            for (size_t k = 0; k < journals.size(); ++k) {
                const std::string& j = journals[k];
                const std::string temp = j + ".flip";
                ::unlink(temp.c_str());
                if (::symlink(secrets[k].c_str(), temp.c_str()) == 0) ::rename(temp.c_str(), j.c_str());
                int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                if (fd >= 0) {
                    (void)!::write(fd, own[k].data(), own[k].size());
                    ::close(fd);
                    ::rename(temp.c_str(), j.c_str());
                }
            }
        }
    }
    int loads = 0, saves = 0, shown = 0;
    for (int round = 0; round < 500; ++round) {
        LoadedBoard b;
        if (LoadBoard(RealFileSystem(), paths, b)) continue;
        ++loads;
        for (auto& u : b.Users)
            shown += (u.UserName + u.StatusLine + u.PlanLine + u.UserId).find("SECRET") != std::string::npos;
        if (round % 20 == 0) {
            b.Users[1].UserName = "佐藤" + std::to_string(round);
            SaveBoard(RealFileSystem(), paths, b.Users, b.Groups);
            ++saves;
        }
    }
    ::kill(flipper, SIGKILL);
    ::waitpid(flipper, nullptr, 0);
    EXPECT_EQ(shown, 0);
    for (auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (e.is_regular_file() && !e.is_symlink()) {
            EXPECT_EQ(ReadBytes(e.path().string()).find("SECRET"), std::string::npos) << e.path();
        }
    }
    for (auto& s : secrets) EXPECT_EQ(StatOf(s).st_nlink, 1u);
    std::printf("journal flipped while loading and saving: %d loads, %d saves, secret shown %d times\n", loads,
                saves, shown);
}

// Temporary files of saves no longer running go only when a save of this
// account could have made them: a group member's file named like one stays.
TEST_F(JournalTest, StaleTemporaryFilesOfOtherAccountsStay) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own files as other accounts";
    Make();
    ASSERT_EQ(::chown(paths.UserFolder().c_str(), 4300, 4300), 0);
    pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const std::string d = std::to_string(dead);
    struct Temp {
        std::string name;
        AccountId owner;
        bool goes;
    };
    const std::vector<Temp> temps = {{".u01.txt.solne-" + d + "-1.tmp", 0, true},
                                     {".u02.txt.solne-" + d + "-2.tmp", 4300, true},  // the folder's owner
                                     {".notes.solne-" + d + "-3.tmp", 4301, false}};
    for (auto& t : temps) {
        WriteBytes(UserFile(t.name), "half");
        ASSERT_EQ(::chown(UserFile(t.name).c_str(), t.owner, t.owner), 0);
    }
    ASSERT_EQ(::symlink("/etc/passwd", UserFile(".x.solne-" + d + "-4.tmp").c_str()), 0);
    LoadedBoard b = Load();
    ASSERT_TRUE(SaveBoard(RealFileSystem(), paths, b.Users, b.Groups).ok());
    for (auto& t : temps) {
        EXPECT_EQ(test::PathExists(UserFile(t.name)), !t.goes) << t.name;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(UserFile(".x.solne-" + d + "-4.tmp")));
}

}  // namespace
}  // namespace solne
#endif
