// solne-check, run as the real program on board folders written byte for
// byte: exit codes, the dump and its escapes, every kind of finding, load
// errors with their file and line, and a board folder left untouched.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Define/FileSystem.h"
#include "common/FolderState.h"
#include "common/TempBoard.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

namespace fs = std::filesystem;
using solne::NativePath;
using solne::test::ReadBytes;
using solne::test::Sjis;
using solne::test::SjisLines;
using solne::test::TempDir;
using solne::test::WriteBytes;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<std::string> outLines() const {
        std::vector<std::string> lines;
        std::istringstream s(out);
        for (std::string l; std::getline(s, l);) lines.push_back(l);
        return lines;
    }
};

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

RunResult RunCheck(const std::vector<std::string>& args) {
    TempDir io;
#ifdef _WIN32
    // cmd.exe: double quotes, and the whole line quoted once more.
    auto quote = [](const std::string& s) { return "\"" + s + "\""; };
    std::string cmd = quote(SOLNE_CHECK_EXE);
    for (const auto& a : args) cmd += " " + quote(a);
    cmd = "\"" + cmd + " >" + quote(io / "out") + " 2>" + quote(io / "err") + "\"";
    const int status = ::_wsystem(fs::path(std::u8string(cmd.begin(), cmd.end())).c_str());
    RunResult r;
    r.exitCode = status;
    r.out = ReadBytes(io / "out");
    r.err = ReadBytes(io / "err");
    return r;
#else
    std::string cmd = ShellQuote(SOLNE_CHECK_EXE);
    for (const auto& a : args) cmd += " " + ShellQuote(a);
    cmd += " >" + ShellQuote(io / "out") + " 2>" + ShellQuote(io / "err");
    const int status = std::system(cmd.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadBytes(io / "out");
    r.err = ReadBytes(io / "err");
    return r;
#endif
}

// Every entry under a folder with its kind, permission bits, bytes and time
// of the last write, to prove that the checker changed nothing.
solne::test::FolderState Snapshot(const std::string& folder) {
    return solne::test::ReadFolderState(folder, /*withTimes=*/true);
}

bool HasLine(const RunResult& r, const std::string& prefix, const std::string& token) {
    for (const auto& l : r.outLines())
        if (l.rfind(prefix, 0) == 0 && l.find(token) != std::string::npos) return true;
    return false;
}

std::string CopySample(const TempDir& dir) {
    const std::string board = dir / "board";
    fs::copy(std::string(SOLNE_SOURCE_DIR) + "/examples/board", board, fs::copy_options::recursive);
    return board;
}

}  // namespace

// ------------------------------------------------------------ sample board

TEST(CheckSample, ReportsNothingAndDumpsTheSample) {
    TempDir dir;
    const std::string board = CopySample(dir);
    const auto before = Snapshot(board);

    const RunResult report = RunCheck({board});
    EXPECT_EQ(report.exitCode, 0) << report.out << report.err;
    EXPECT_EQ(report.out, "指摘 0 件\n");
    EXPECT_EQ(report.err, "");

    const RunResult dump = RunCheck({"dump", board});
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    const auto lines = dump.outLines();
    ASSERT_EQ(lines.size(), 12u) << dump.out;
    EXPECT_EQ(lines[0], "users 7");
    // Vendor character 髙, full-width tilde and a plan line with a slash.
    EXPECT_EQ(lines[3], "2\ttakahashi\ttaka9\t2\t営業部\t髙橋 健太\tstatus=3\tplan=大阪出張 ～6/12");
    // ソ has 0x5C as its trail byte: it is a character, not a backslash.
    EXPECT_EQ(lines[7], "6\tnakamura\tnaka88\t0\t\t中村 ソウ\tstatus=0\tplan=");
    EXPECT_EQ(lines[8], "groups 3");
    EXPECT_EQ(lines[11], "2\t3\t開発部");
    EXPECT_EQ(dump.out.find('\r'), std::string::npos);

    EXPECT_EQ(Snapshot(board), before);
}

// ------------------------------------------------------------------- dump

TEST(CheckDump, EscapesValuesAndShowsBadBytesOfStatusLines) {
    TempDir dir;
    const std::string board = dir / "board";
    WriteBytes(board + "/user.txt", "u1,p\\w\tx,1\r\n,,0\r\nu2,,5\r\n");
    WriteBytes(board + "/group.txt", SjisLines({"1,\"営業,第一\"", "2,開発"}));
    // 0x80 and 0xFD are no code page 932 bytes, the final 0x81 is a lead
    // byte without its trail; 表 and 能 end in 0x5C.
    WriteBytes(board + "/user/u1.txt", Sjis("username=ソ表\r\nstatus=") + "\x80" + "a\\b\tc\r\n" +
                                           Sjis("plan=能") + "\xFD\x81\r\n");

    const RunResult r = RunCheck({"dump", board});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "users 3\n"
              "0\tu1\tp\\\\w\\tx\t1\t営業,第一\tソ表\tstatus=\\x80a\\\\b\\tc\tplan=能\\xFD\\x81\n"
              "1\t\t\t0\t\t\t\t\n"
              "2\tu2\t\t5\t\t\t\t\n"
              "groups 2\n"
              "0\t1\t営業,第一\n"
              "1\t2\t開発\n");
}

TEST(CheckDump, EmptyFilesGiveOneBlankSlotEachAndNoFinding) {
    TempDir dir;
    const std::string board = dir / "board";
    WriteBytes(board + "/user.txt", "");
    WriteBytes(board + "/group.txt", "");
    fs::create_directories(board + "/user");

    const RunResult dump = RunCheck({"dump", board});
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_EQ(dump.out, "users 1\n0\t\t\t0\t\t\t\t\ngroups 1\n0\t0\t\n");

    const RunResult report = RunCheck({board});
    EXPECT_EQ(report.exitCode, 0) << report.out;
    EXPECT_EQ(report.out, "指摘 0 件\n");
}

// ----------------------------------------------------------------- report

TEST(CheckReport, NamesEveryKindOfFindingWithFileAndLine) {
    TempDir dir;
    const std::string board = dir / "board";
    const std::string u = NativePath(board + "/user.txt");
    const std::string g = NativePath(board + "/group.txt");
    WriteBytes(u, SjisLines({
                      "u01,pw,1",      // 1
                      "u02,pw,9",      // 2 group 9 does not exist
                      "u01,pw2,1",     // 3 repeats line 1
                      ",,0",           // 4 blank slot
                      "u05,pw,2",      // 5 no per-user file
                      "u06,\"a,b\",1",  // 6 password needs quotes
                      "u07,pw,1",      // 7 file only as U07.txt
                      "u08,pw,1",      // 8 name line with two "="
                      "u09,p\"w\t,1",  // 9 needs quotes and holds a quote
                  }));
    WriteBytes(g, SjisLines({"1,営業", "2,開発", "1,総務", "3,", "4,\" 人事\""}));
    for (const char* id : {"u01", "u02", "u06", "u09"})
        WriteBytes(board + "/user/" + id + ".txt", SjisLines({"username=山田", "status=0", "plan="}));
    WriteBytes(NativePath(board + "/user/U07.txt"), SjisLines({"username=佐藤", "status=1", "plan="}));
    WriteBytes(board + "/user/u08.txt", SjisLines({"username=山田=課長", "status=0", "plan="}));
    WriteBytes(board + "/user/memo.txt", "memo\r\n");
    WriteBytes(board + "/user/.keep", "");
    WriteBytes(board + "/user/sub/u99.txt", "x");
    chmod(u.c_str(), 0444);
    chmod(g.c_str(), 0444);
    const auto before = Snapshot(board);

    const RunResult r = RunCheck({board});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r, u + ":3: ", "\"u01\"")) << r.out;
    EXPECT_TRUE(HasLine(r, u + ":2: ", " 9 ")) << r.out;
    EXPECT_TRUE(HasLine(r, g + ":3: ", " 1 ")) << r.out;
    EXPECT_TRUE(HasLine(r, u + ":4: ", "")) << r.out;
    EXPECT_TRUE(HasLine(r, g + ":4: ", "")) << r.out;
    EXPECT_TRUE(HasLine(r, u + ":5: ", NativePath(board + "/user/u05.txt"))) << r.out;
    EXPECT_TRUE(HasLine(r, u + ":7: ", NativePath(board + "/user/U07.txt"))) << r.out;
    EXPECT_TRUE(HasLine(r, NativePath(board + "/user/u08.txt:1: "), "\"=\"")) << r.out;
    EXPECT_TRUE(HasLine(r, u + ":6: ", "\"a,b\"")) << r.out;
    EXPECT_TRUE(HasLine(r, g + ":5: ", "\" 人事\"")) << r.out;
    EXPECT_TRUE(HasLine(r, NativePath(board + "/user/memo.txt: "), "")) << r.out;
    // The save's own refusal, which names the record and the field.
    EXPECT_TRUE(HasLine(r, "保存できない値", "u09")) << r.out;
    EXPECT_FALSE(HasLine(r, u + ":9: ", "")) << r.out;
    // Nothing else: dot files, subfolders and the users' own files stay.
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 13u) << r.out;
    EXPECT_EQ(lines.back(), "指摘 12 件");
    EXPECT_EQ(r.out.find(".keep"), std::string::npos);
    EXPECT_EQ(r.out.find("sub"), std::string::npos);
    // A finding without a file comes first, with null file and line in JSON.
    EXPECT_EQ(lines.front().rfind("保存できない値", 0), 0u) << r.out;
    const RunResult json = RunCheck({"--format=json", board});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(json.out.rfind("{\"findings\": [\n  {\"code\": \"unwritable-value\", \"file\": null, \"line\": null, "
                             "\"message\": \"保存できない値",
                             0),
              0u)
        << json.out;

    EXPECT_EQ(Snapshot(board), before);
}

// --------------------------------------------------------- load errors

struct BrokenBoard {
    const char* what;
    const char* file;  // file whose content replaces the good one
    std::string bytes;
    const char* where;  // expected "file:line" on stderr, relative to the board
};

// Printed by name: the bytes of a broken file would reach ctest's listing.
void PrintTo(const BrokenBoard& c, std::ostream* os) { *os << c.what; }

// A test name from the case's description: letters and digits, "_" for the rest.
std::string BrokenBoardName(const ::testing::TestParamInfo<BrokenBoard>& info) {
    std::string name;
    for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

class CheckLoadError : public ::testing::TestWithParam<BrokenBoard> {};

TEST_P(CheckLoadError, ExitsTwoNamingFileAndLineAndWritesNothing) {
    const BrokenBoard& c = GetParam();
    TempDir dir;
    const std::string board = dir / "board";
    WriteBytes(board + "/user.txt", SjisLines({"u1,pw,1", "u2,pw,2", "u3,pw,0"}));
    WriteBytes(board + "/group.txt", SjisLines({"1,営業", "2,開発"}));
    for (const char* id : {"u1", "u2", "u3"})
        WriteBytes(board + "/user/" + id + ".txt", SjisLines({"username=山田", "status=0", "plan="}));
    WriteBytes(board + "/" + c.file, c.bytes);
    const auto before = Snapshot(board);

    for (bool dump : {false, true}) {
        const RunResult r = dump ? RunCheck({"dump", board}) : RunCheck({board});
        EXPECT_EQ(r.exitCode, 2) << c.what;
        EXPECT_EQ(r.out, "") << c.what;
        EXPECT_NE(r.err.find(NativePath(board + "/" + c.where)), std::string::npos) << c.what << ": " << r.err;
    }
    EXPECT_EQ(Snapshot(board), before);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, CheckLoadError,
    ::testing::Values(
        BrokenBoard{"two fields", "user.txt", SjisLines({"u1,pw,1", "u2,pw"}), "user.txt:2:"},
        BrokenBoard{"four fields", "user.txt", SjisLines({"u1,pw,1", "", "u2,pw,2,x"}), "user.txt:3:"},
        BrokenBoard{"number out of range", "group.txt", SjisLines({"1,営業", "2,開発", "32768,総務"}),
                    "group.txt:3:"},
        BrokenBoard{"not a number", "group.txt", SjisLines({"x1,営業"}), "group.txt:1:"},
        BrokenBoard{"unterminated quote", "group.txt", SjisLines({"1,営業", "2,\"開発"}), "group.txt:2:"},
        BrokenBoard{"bad bytes in user.txt", "user.txt", "u1,pw,1\r\nu\x81\x20,pw,1\r\n", "user.txt:2:"},
        BrokenBoard{"bad bytes in a name line", "user/u2.txt", "username=\x80\r\nstatus=0\r\nplan=\r\n",
                    "user/u2.txt:1:"},
        BrokenBoard{"ID with a slash", "user.txt", SjisLines({"u1,pw,1", "../u2,pw,1"}), "user.txt:2:"}),
    BrokenBoardName);

TEST(CheckLoadError, MissingFolderOrFileExitsTwo) {
    TempDir dir;
    const RunResult missing = RunCheck({dir / "nowhere"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err.rfind(dir / "nowhere/", 0), 0u) << missing.err;
    EXPECT_FALSE(solne::test::PathExists(dir / "nowhere"));

    WriteBytes(dir / "board/user.txt", SjisLines({"u1,pw,0"}));
    const RunResult noGroups = RunCheck({"dump", dir / "board"});
    EXPECT_EQ(noGroups.exitCode, 2);
    EXPECT_NE(noGroups.err.find(dir / "board/group.txt"), std::string::npos) << noGroups.err;
    EXPECT_FALSE(solne::test::PathExists(dir / "board/group.txt"));
}

// Odd files in the place of a data file or a per-user file: a fifo, a
// device, a file too large to be a board, a link another account planted.
// The checker neither waits nor fills memory, and names the file.
TEST(CheckLoadError, OddFilesAreNamedAtOnce) {
    TempDir dir;
    struct Odd {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* problem;
    };
    const std::vector<Odd> odds = {
        {"user.txt", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }, "通常のファイルではありません"},
        {"group.txt", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }, "通常のファイルではありません"},
        {"user.txt", [](const std::string& p) { ASSERT_EQ(::symlink("/dev/zero", p.c_str()), 0); },
         "通常のファイルではありません"},
        {"group.txt",
         [](const std::string& p) {
             WriteBytes(p, SjisLines({"1,営業"}));
             ASSERT_EQ(::truncate(p.c_str(), (off_t(64) << 20) + 1), 0);  // sparse: costs no disk
         },
         "ファイルが大きすぎます（上限 64 MiB）"},
        {"user/u2.txt",
         [&](const std::string& p) {
             if (::geteuid() != 0) return;
             ASSERT_EQ(::symlink("/proc/self/cmdline", p.c_str()), 0);
             ASSERT_EQ(::lchown(p.c_str(), 4242, 4242), 0);
         },
         "管理者(root)かこのアカウントが作ったものではないリンクです"},
    };
    for (const Odd& odd : odds) {
        SCOPED_TRACE(odd.name);
        const std::string board = dir / "board";
        fs::remove_all(board);
        WriteBytes(board + "/user.txt", SjisLines({"u1,pw,1", "u2,pw,1"}));
        WriteBytes(board + "/group.txt", SjisLines({"1,営業"}));
        WriteBytes(board + "/user/u1.txt", SjisLines({"username=山田", "status=0", "plan="}));
        WriteBytes(board + "/user/u2.txt", SjisLines({"username=佐藤", "status=0", "plan="}));
        fs::remove(board + "/" + odd.name);
        odd.make(board + "/" + odd.name);
        if (!fs::exists(fs::symlink_status(board + "/" + odd.name))) continue;  // not made here (needs root)
        const RunResult r = RunCheck({board});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.rfind(board + "/" + odd.name + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(odd.problem), std::string::npos) << r.err;
    }
}

// File names are the folder's to choose: in the plain report an escape
// sequence or a line break in one is written as \xNN, so no name reaches
// the terminal raw or forges a line; a journal planted beside a file is
// named (ignored-journal) and its content not read.
TEST(CheckReport, FileNamesCannotForgeLinesOrReachTheTerminal) {
    TempDir dir;
    const std::string board = dir / "board";
    WriteBytes(board + "/user.txt", SjisLines({"u01,pw,1"}));
    WriteBytes(board + "/group.txt", SjisLines({"1,営業"}));
    WriteBytes(board + "/user/u01.txt", SjisLines({"username=山田", "status=0", "plan="}));
    WriteBytes(board + "/user/a\x1b[2Jb.txt", "x");
    WriteBytes(board + "/user/c\nfake.txt: 偽の指摘\xc2\x9b.txt", "x");
    symlink("/etc/passwd", (board + "/user/.u01.txt.solne-journal").c_str());
    const RunResult r = RunCheck({board});
    EXPECT_EQ(r.exitCode, 1);
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_TRUE(HasLine(r, board + "/user/.u01.txt.solne-journal: ", "シンボリックリンクです")) << r.out;
    EXPECT_TRUE(HasLine(r, board + "/user/a\\x1B[2Jb.txt: ", "")) << r.out;
    EXPECT_TRUE(HasLine(r, board + "/user/c\\x0Afake.txt: 偽の指摘\\xC2\\x9B.txt: ", "")) << r.out;
    EXPECT_EQ(lines.back(), "指摘 3 件");
}

// --------------------------------------------------------------- arguments

TEST(CheckArguments, HelpAndWrongArguments) {
    const RunResult help = RunCheck({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("solne-check dump FOLDER"), std::string::npos);
    EXPECT_NE(help.out.find("solne-check FOLDER"), std::string::npos);
    EXPECT_NE(help.out.find("終了コード 0: 指摘なし、1: 指摘あり、2: フォルダを読み込めない"), std::string::npos);

    const std::vector<std::vector<std::string>> wrong = {
        {}, {"dump"}, {"--bogus"}, {"dump", "a", "b"}, {"a", "b"}, {"list", "a"}, {""},
        {"--format=xml", "a"}, {"--format=json"}, {"--format=json", "dump", "a"}, {"--format=json", "a", "b"}};
    for (const auto& args : wrong) {
        const RunResult r = RunCheck(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("usage: solne-check", 0), 0u) << r.err;
    }
}

// ------------------------------------------------------ order and JSON

namespace {

// A board with findings in three files and several files to prune, the
// latter created in reverse order so that the folder lists them unsorted.
std::string BoardWithFindings(const TempDir& dir) {
    const std::string board = dir / "board";
    WriteBytes(board + "/user.txt", SjisLines({"u1,pw,9", "u1,\"a,b\",1", "u3,pw,1"}));
    WriteBytes(board + "/group.txt", SjisLines({"1,営業", "1,開発"}));
    WriteBytes(board + "/user/u1.txt", SjisLines({"username=山田", "status=0", "plan="}));
    WriteBytes(board + "/user/u3.txt", SjisLines({"username=a=b=c", "status=0", "plan="}));
    for (const char* name : {"zz.txt", "mm.txt", "aa.txt", "x\"\\y.txt"}) WriteBytes(board + "/user/" + name, "");
    return board;
}

}  // namespace

TEST(CheckReport, FindingsAreSortedByFileLineAndKind) {
    TempDir dir;
    const std::string board = BoardWithFindings(dir);
    const RunResult r = RunCheck({board});
    ASSERT_EQ(r.exitCode, 1) << r.err;
    std::vector<std::string> lines = r.outLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "指摘 9 件");
    lines.pop_back();
    std::vector<std::string> sorted = lines;
    std::sort(sorted.begin(), sorted.end(), [&](const std::string& a, const std::string& b) {
        // "file:line: message" with the line as a number
        auto key = [](const std::string& l) {
            const size_t colon = l.find(": ");
            std::string where = l.substr(0, colon);
            const size_t c = where.rfind(':');
            int line = 0;
            if (c != std::string::npos && where.find_first_not_of("0123456789", c + 1) == std::string::npos) {
                line = std::stoi(where.substr(c + 1));
                where.resize(c);
            }
            return std::make_pair(where, line);
        };
        return key(a) < key(b);
    });
    EXPECT_EQ(lines, sorted) << r.out;
    const auto at = [&](const std::string& prefix) {
        return std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }) -
               lines.begin();
    };
    EXPECT_LT(at(board + "/user/aa.txt"), at(board + "/user/mm.txt"));
    EXPECT_LT(at(board + "/user/mm.txt"), at(board + "/user/zz.txt"));
    EXPECT_EQ(RunCheck({board}).out, r.out);
}

TEST(CheckReport, JsonGivesCodeFileLineAndMessage) {
    TempDir dir;
    const std::string board = BoardWithFindings(dir);
    const RunResult plain = RunCheck({"--format=plain", board});
    const RunResult json = RunCheck({"--format=json", board});
    ASSERT_EQ(json.exitCode, 1) << json.err;
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_EQ(plain.out, RunCheck({board}).out);
    const std::string u = board + "/user.txt";
    // One object a line, in the order of the plain report.
    for (const std::string& expected : {
             "{\"code\": \"duplicate-group-number\", \"file\": \"" + board + "/group.txt\", \"line\": 2, ",
             "{\"code\": \"unknown-group-number\", \"file\": \"" + u + "\", \"line\": 1, ",
             "{\"code\": \"duplicate-user-id\", \"file\": \"" + u + "\", \"line\": 2, ",
             "{\"code\": \"quoted-value\", \"file\": \"" + u + "\", \"line\": 2, ",
             "{\"code\": \"name-line-equals\", \"file\": \"" + board + "/user/u3.txt\", \"line\": 1, ",
             "{\"code\": \"pruned-file\", \"file\": \"" + board + "/user/x\\\"\\\\y.txt\", \"line\": null, ",
         })
        EXPECT_NE(json.out.find("\n  " + expected + "\"message\": \""), std::string::npos) << expected << "\n" << json.out;
    const std::string tail = "\n], \"count\": 9}\n";
    ASSERT_GT(json.out.size(), tail.size());
    EXPECT_EQ(json.out.substr(json.out.size() - tail.size()), tail) << json.out;
    EXPECT_EQ(json.out.rfind("{\"findings\": [\n", 0), 0u);

    // A name that is not UTF-8 still gives valid UTF-8.
    WriteBytes(board + "/user/\xff.txt", "");
    const RunResult bad = RunCheck({"--format=json", board});
    EXPECT_NE(bad.out.find("/user/\xEF\xBF\xBD.txt\""), std::string::npos) << bad.out;
    EXPECT_EQ(bad.out.find('\xff'), std::string::npos);

    TempDir clean;
    const RunResult none = RunCheck({"--format=json", CopySample(clean)});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "{\"findings\": [], \"count\": 0}\n");
}

// ------------------------------------------------------ failed output

namespace {

// Runs solne-check with its standard output on a pipe whose reader has
// already gone; SIGPIPE is left at its default, as in a shell pipeline.
RunResult RunIntoClosedPipe(const std::vector<std::string>& args) {
    TempDir io;
    int fds[2] = {-1, -1};
    EXPECT_EQ(pipe(fds), 0);
    close(fds[0]);
    const std::string errPath = io / "err";
    std::vector<std::string> argv = {SOLNE_CHECK_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGPIPE, SIG_DFL);
        dup2(fds[1], 1);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err, 2);
        execv(cargv[0], cargv.data());
        _exit(127);
    }
    close(fds[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadBytes(errPath);
    return r;
}

RunResult RunIntoFullDisk(const std::vector<std::string>& args) {
    TempDir io;
    std::string cmd = ShellQuote(SOLNE_CHECK_EXE);
    for (const auto& a : args) cmd += " " + ShellQuote(a);
    cmd += " >/dev/full 2>" + ShellQuote(io / "err");
    const int status = std::system(cmd.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadBytes(io / "err");
    return r;
}

}  // namespace

TEST(CheckOutput, AFailedWriteIsExitTwoWithAMessage) {
    TempDir dir;
    const std::string sample = CopySample(dir);
    const std::string findings = BoardWithFindings(dir);
    const std::vector<std::vector<std::string>> runs = {
        {sample}, {findings}, {"--format=json", findings}, {"dump", sample}, {"--help"}, {"--version"}};
    for (const auto& args : runs) {
        for (const RunResult& r : {RunIntoFullDisk(args), RunIntoClosedPipe(args)}) {
            EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
            EXPECT_EQ(r.err.rfind("solne-check: 標準出力に書き込めませんでした: ", 0), 0u) << r.err;
        }
    }
}
