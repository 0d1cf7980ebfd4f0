// Reading the board folder: the field reader, number fields, the per-user
// file lookup, loading both tables, and every kind of load error.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <random>

#include <unistd.h>

#include "common/FaultyFileSystem.h"
#include "common/TempBoard.h"
#include "store/Load.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

using namespace solne;
using solne::test::BoardFiles;
using solne::test::Sjis;
using solne::test::SjisLines;
using solne::test::TempDir;
using solne::test::WriteBoard;
using solne::test::WriteBytes;

namespace {

std::vector<std::vector<std::string>> Fields(std::string_view text, std::vector<int>* numbers = nullptr) {
    FieldLines lines;
    auto err = ReadFieldLines(text, lines);
    EXPECT_FALSE(err) << err->ToString();
    std::vector<std::vector<std::string>> out;
    for (const FieldLine l : lines) {
        out.emplace_back(l.fields.begin(), l.fields.end());
        if (numbers) numbers->push_back(l.number);
    }
    return out;
}

using Rows = std::vector<std::vector<std::string>>;

LoadedBoard Load(const std::string& folder) {
    LoadedBoard board;
    auto err = LoadBoard(RealFileSystem(), BoardPaths::For(folder), board);
    EXPECT_FALSE(err) << err->ToString();
    return board;
}

// Loads a board that must fail; returns the error.
Failure LoadFails(const std::string& folder, FileSystem& fs = RealFileSystem()) {
    LoadedBoard board;
    board.Users.resize(3);  // whatever was there before
    auto err = LoadBoard(fs, BoardPaths::For(folder), board);
    EXPECT_TRUE(err.has_value());
    EXPECT_TRUE(board.Users.empty());
    EXPECT_TRUE(board.Groups.empty());
    return err.value_or(Failure{});
}

}  // namespace

// ------------------------------------------------------------ field reader

TEST(FieldReader, BlanksQuotesAndTrailingSpaces) {
    EXPECT_EQ(Fields("  \t a , b  ,c\r\n"), (Rows{{"a", "b", "c"}}));
    EXPECT_EQ(Fields("a b\t,\tb"), (Rows{{"a b\t", "b"}}));  // only trailing spaces go
    EXPECT_EQ(Fields("1,\"営業,第一 \"\r\n"), (Rows{{"1", "営業,第一 "}}));
    EXPECT_EQ(Fields("1, \"A\" junk ,x"), (Rows{{"1", "A", "x"}}));  // after the closing quote: ignored
    EXPECT_EQ(Fields("1,\"A\"tail"), (Rows{{"1", "A"}}));
    EXPECT_EQ(Fields("a,,"), (Rows{{"a", "", ""}}));
    EXPECT_EQ(Fields("   "), (Rows{{""}}));  // a line of blanks is not an empty line
}

TEST(FieldReader, EveryLineEndEndsTheRecordAndEmptyLinesAreSkipped) {
    std::vector<int> numbers;
    EXPECT_EQ(Fields("a,b\r\nc\nd,e\rf\r\n\r\n\n\rg", &numbers),
              (Rows{{"a", "b"}, {"c"}, {"d", "e"}, {"f"}, {"g"}}));
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 8}));
    EXPECT_TRUE(Fields("\r\n\r\n").empty());
    EXPECT_TRUE(Fields("").empty());
}

TEST(FieldReader, UnterminatedQuoteIsAnErrorOnItsLine) {
    FieldLines lines;
    auto err = ReadFieldLines("1,a\r\n2,\"open\r\n3,\"b\"", lines);
    ASSERT_TRUE(err);
    EXPECT_EQ(err->line, 2);
    EXPECT_FALSE(err->Reason().empty());
    EXPECT_TRUE(lines.empty());
}

TEST(NumberField, DecimalIntegersWithinSixteenBits) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"", true, 0},         {"0", true, 0},          {"02", true, 2},
        {"-3", true, -3},      {"+7", true, 7},         {"32767", true, 32767},
        {"-32768", true, -32768}, {"0000000000012", true, 12},
        {"32768", false, 0},   {"-32769", false, 0},    {"99999999999999", false, 0},
        {"1.5", false, 0},     {"abc", false, 0},       {"-", false, 0},
        {"2x", false, 0},      {"1 2", false, 0},       {"１", false, 0},
    };
    for (auto& c : cases) {
        int16_t v = 555;
        EXPECT_EQ(ParseNumberField(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

// ----------------------------------------------------------------- loading

TEST(LoadBoard, UsersGetTheirPerUserFileAndGroupAndNothingCarriesOver) {
    TempDir dir;
    WriteBoard(dir.path(), BoardFiles{
        {"u01,pw1,2", "u02,pw2,7"},
        {"1,営業", "2,総務"},
        {{"u01", {"username=山田太郎", "status=1", "plan=会議"}}},
    });
    LoadedBoard b = Load(dir.path());
    ASSERT_EQ(b.Users.size(), 2u);
    const UserInfo& a = b.Users[0];
    EXPECT_EQ(a.UserId, "u01");
    EXPECT_EQ(a.PassWord, "pw1");
    EXPECT_EQ(a.GroupNo, 2);
    EXPECT_EQ(a.GroupName, "総務");
    EXPECT_EQ(a.UserName, "山田太郎");
    EXPECT_EQ(a.StatusLine, "status=1");
    EXPECT_EQ(a.PlanLine, Sjis("plan=会議"));  // kept as the file's bytes
    const UserInfo& c = b.Users[1];
    EXPECT_EQ(c.GroupNo, 7);
    EXPECT_EQ(c.GroupName, "");
    EXPECT_EQ(c.UserName, "");
    EXPECT_EQ(c.StatusLine, "");
    EXPECT_EQ(c.PlanLine, "");
    EXPECT_EQ(b.userSources[0].perUserFile, "u01.txt");
    EXPECT_EQ(b.userSources[1].perUserFile, "");
    EXPECT_EQ(b.userSources[1].line, 2);
    ASSERT_TRUE(b.userFile.nameLines);
    EXPECT_EQ(b.userFile.nameLines->size(), 1u) << "what a save compares";

    // Loaded only to be read: the same tables, without the name lines.
    LoadedBoard r;
    ASSERT_FALSE(LoadBoard(RealFileSystem(), BoardPaths::For(dir.path()), r, {}, LoadFor::Reading));
    ASSERT_EQ(r.Users.size(), 2u);
    EXPECT_EQ(r.Users[0].UserName, "山田太郎");
    EXPECT_EQ(r.Users[0].PlanLine, a.PlanLine);
    EXPECT_EQ(r.userSources[0].perUserFile, "u01.txt");
    EXPECT_EQ(r.userFile, b.userFile);
    EXPECT_FALSE(r.userFile.nameLines);
}

TEST(LoadBoard, GroupLinesAllGetSlotsAndTheLastMatchingNameWins) {
    TempDir dir;
    WriteBoard(dir.path(), BoardFiles{
        {"u1,p,2", "u2,p,-5", "u3,p,"},
        {"2,A", "   02,B", "1,\"営業,本社\"", "-5,負", "0,なし"},
        {},
    });
    LoadedBoard b = Load(dir.path());
    ASSERT_EQ(b.Groups.size(), 5u);
    EXPECT_EQ(b.Groups[0].GroupName, "A");
    EXPECT_EQ(b.Groups[1].GroupNo, 2);
    EXPECT_EQ(b.Groups[1].GroupName, "B");
    EXPECT_EQ(b.Groups[2].GroupName, "営業,本社");
    EXPECT_EQ(b.Groups[3].GroupNo, -5);
    EXPECT_EQ(b.Users[0].GroupName, "B");
    EXPECT_EQ(b.Users[1].GroupName, "負");
    EXPECT_EQ(b.Users[2].GroupNo, 0);  // an empty number field
    EXPECT_EQ(b.Users[2].GroupName, "なし");
    EXPECT_EQ(b.groupSources[1].line, 2);
}

TEST(LoadBoard, GroupIndexGivesTheSameNamesAsRescanningTheFile) {
    std::mt19937 rng(11);
    std::vector<std::string> groupLines, userLines;
    std::vector<std::pair<int, std::string>> groups;
    for (int i = 0; i < 300; ++i) {
        int no = int(rng() % 40) - 5;
        std::string name = "組" + std::to_string(i);
        groups.emplace_back(no, name);
        groupLines.push_back(std::to_string(no) + "," + name);
    }
    for (int i = 0; i < 200; ++i) userLines.push_back("u" + std::to_string(i) + ",p," + std::to_string(int(rng() % 50) - 5));
    TempDir dir;
    WriteBoard(dir.path(), BoardFiles{userLines, groupLines, {}});
    LoadedBoard b = Load(dir.path());
    ASSERT_EQ(b.Users.size(), 200u);
    for (auto& u : b.Users) {
        std::string expected;
        for (auto& [no, name] : groups)
            if (no == u.GroupNo) expected = name;
        EXPECT_EQ(u.GroupName, expected) << u.UserId;
    }
}

TEST(LoadBoard, NameLinesAndWholeStatusAndPlanLines) {
    TempDir dir;
    WriteBoard(dir.path(), BoardFiles{{"a,p,0", "b,p,0", "c,p,0", "d,p,0", "e,p,0", "f,p,0"}, {"1,g"}, {}});
    auto perUser = [&](const std::string& id, std::string bytes) { WriteBytes(dir / ("user/" + id + ".txt"), bytes); };
    perUser("a", Sjis("username=\r\nstatus=2,外出,15時\r\nplan=a,b\r\n"));
    perUser("b", Sjis("username=山田=課長\r\nstatus=0\r\nplan=\r\n"));
    perUser("c", Sjis("name= 鈴木 \nstatus=3"));  // LF lines, no plan line
    perUser("d", "no equals sign\r\n\r\n");
    perUser("e", "");
    perUser("f", Sjis("username=佐藤") + "\r" + std::string("status=\x80\xFD,\x83") + "\r\nplan=\xA0");

    LoadedBoard b = Load(dir.path());
    ASSERT_EQ(b.Users.size(), 6u);
    EXPECT_EQ(b.Users[0].UserName, "");
    EXPECT_EQ(b.Users[0].StatusLine, Sjis("status=2,外出,15時"));
    EXPECT_EQ(b.Users[0].PlanLine, "plan=a,b");
    EXPECT_EQ(b.Users[1].UserName, "山田");
    EXPECT_EQ(b.userSources[1].nameLineEquals, 2);
    EXPECT_EQ(b.Users[2].UserName, " 鈴木 ");
    EXPECT_EQ(b.Users[2].StatusLine, "status=3");
    EXPECT_EQ(b.Users[2].PlanLine, "");
    EXPECT_EQ(b.Users[3].UserName, "");
    EXPECT_EQ(b.userSources[3].nameLineEquals, 0);
    EXPECT_EQ(b.Users[4].StatusLine, "");
    // Bytes that are not code page 932 in the status and plan lines are kept.
    EXPECT_EQ(b.Users[5].UserName, "佐藤");
    EXPECT_EQ(b.Users[5].StatusLine, "status=\x80\xFD,\x83");
    EXPECT_EQ(b.Users[5].PlanLine, "plan=\xA0");
}

// A per-user file whose rewrite in place was cut short reads as the old
// content its journal keeps (here one of an earlier version, without a
// header, mode 0600 as that version made it); a journal that is a link is
// none of the editor's: passed over and named.
TEST(LoadBoard, InterruptedRewriteReadsAsItsJournal) {
    TempDir dir;
    WriteBoard(dir.path(), BoardFiles{{"a,p,0", "b,p,0"},
                                      {"1,g"},
                                      {{"a", {"username=新しい名前", "sta"}}, {"b", {"username=乙", "status=0", "plan="}}}});
    WriteBytes(dir / "user/.a.txt.solne-journal", SjisLines({"username=旧", "status=1", "plan=会議"}));
#ifndef _WIN32
    ::chmod((dir / "user/.a.txt.solne-journal").c_str(), 0600);
    WriteBytes(dir / "elsewhere.txt", SjisLines({"username=外", "status=9", "plan="}));
    ASSERT_EQ(::symlink("../elsewhere.txt", (dir / "user/.b.txt.solne-journal").c_str()), 0);
#endif
    LoadedBoard b = Load(dir.path());
    ASSERT_EQ(b.Users.size(), 2u);
    EXPECT_EQ(b.Users[0].UserName, "旧");
    EXPECT_EQ(b.Users[0].StatusLine, "status=1");
    EXPECT_EQ(b.Users[1].UserName, "乙");
#ifndef _WIN32
    ASSERT_EQ(b.ignoredJournals.size(), 1u);
    EXPECT_EQ(b.ignoredJournals[0].ToString(),
              (dir / "user/.b.txt.solne-journal") + ": ジャーナルとして使いませんでした（シンボリックリンクです）");
#endif
}

TEST(LoadBoard, PerUserFileByCaseOnlyMatchAndDotNames) {
    TempDir dir;
    WriteBoard(dir.path(), BoardFiles{{"u01,p,0", "x1,p,0", "dup,p,0", ".hidden,p,0", ",p,0", "ソ表,p,0"}, {}, {}});
    WriteBytes(dir / "user/U01.txt", SjisLines({"username=大文字", "status=0", "plan="}));
    WriteBytes(dir / "user/x1.txt", SjisLines({"username=本物", "status=0", "plan="}));
    WriteBytes(dir / "user/X1.txt", SjisLines({"username=偽物", "status=0", "plan="}));
    WriteBytes(dir / "user/DUP.txt", SjisLines({"username=一", "status=0", "plan="}));
    WriteBytes(dir / "user/Dup.TXT", SjisLines({"username=二", "status=0", "plan="}));
    WriteBytes(dir / "user/.hidden.txt", SjisLines({"username=隠し", "status=0", "plan="}));
    WriteBytes(dir / "user/.txt", SjisLines({"username=空", "status=0", "plan="}));
    WriteBytes(dir / "user/ソ表.txt", SjisLines({"username=ソ表さん", "status=0", "plan="}));

    LoadedBoard b = Load(dir.path());
    ASSERT_EQ(b.Users.size(), 6u);
    EXPECT_EQ(b.Users[0].UserName, "大文字");
    EXPECT_EQ(b.userSources[0].perUserFile, "U01.txt");
    EXPECT_TRUE(b.userSources[0].caseOnly);
    EXPECT_EQ(b.Users[1].UserName, "本物");  // the exact name wins
    EXPECT_FALSE(b.userSources[1].caseOnly);
    EXPECT_EQ(b.Users[2].UserName, "");      // two case-only matches: neither is taken
    EXPECT_EQ(b.userSources[2].perUserFile, "");
    EXPECT_EQ(b.Users[3].UserName, "隠し");
    EXPECT_EQ(b.Users[4].UserName, "空");    // an empty ID is a blank slot whose file is ".txt"
    EXPECT_TRUE(IsBlank(b.Users[4]));
    EXPECT_EQ(b.Users[5].UserName, "ソ表さん");  // 0x5C trail bytes are no path separator
}

TEST(LoadBoard, SlotsFollowTheLinesAndEmptyFilesGiveOneBlankSlot) {
    TempDir dir;
    WriteBytes(dir / "user.txt", Sjis("a,p,1\r\n\r\n,,0\r\na,q,1\r\n"));
    WriteBytes(dir / "group.txt", "");
    LoadedBoard b = Load(dir.path());  // no per-user folder at all
    ASSERT_EQ(b.Users.size(), 3u);
    EXPECT_TRUE(IsBlank(b.Users[1]));
    EXPECT_EQ(b.Users[2].PassWord, "q");  // duplicate IDs keep their own slots
    EXPECT_EQ(b.userSources[2].line, 4);
    ASSERT_EQ(b.Groups.size(), 1u);
    EXPECT_TRUE(IsBlank(b.Groups[0]));
    ASSERT_EQ(b.groupSources.size(), 1u);
    EXPECT_EQ(b.groupSources[0].line, 0);

    WriteBytes(dir / "user.txt", "\r\n\r\n");
    WriteBytes(dir / "group.txt", "1,x\r\n2,y\r\n");
    b = Load(dir.path());
    ASSERT_EQ(b.Users.size(), 1u);
    EXPECT_TRUE(IsBlank(b.Users[0]));
    EXPECT_EQ(b.Users[0].GroupNo, 0);
    EXPECT_EQ(b.Groups.size(), 2u);
}

TEST(LoadBoard, SnapshotsDescribeTheFilesRead) {
    TempDir dir;
    std::string users = SjisLines({"u1,p,1"});
    WriteBoard(dir.path(), BoardFiles{{"u1,p,1"}, {"1,営業"}, {}});
    LoadedBoard b = Load(dir.path());
    EXPECT_TRUE(b.userFile.exists);
    EXPECT_EQ(b.userFile.size, int64_t(users.size()));
    EXPECT_EQ(b.userFile.hash, HashBytes(users));
    EXPECT_NE(b.userFile.mtimeNs, 0);
    EXPECT_EQ(b.groupFile.hash, HashBytes(SjisLines({"1,営業"})));
    EXPECT_NE(HashBytes("a"), HashBytes("b"));
}

// -------------------------------------------------------------- load errors

TEST(LoadErrors, EachNamesTheFileAndTheLine) {
    struct Case {
        const char* what;
        std::string users;
        std::string groups;
        const char* file;
        int line;
    } cases[] = {
        {"user.txt not code page 932", "a,p,1\r\nb,\x80,1\r\n", "", "user.txt", 2},
        {"group.txt not code page 932", "a,p,1\r\n", "1,x\r\n\r\n2,\x83", "group.txt", 3},
        {"two fields in user.txt", "a,p,1\r\na,p\r\n", "", "user.txt", 2},
        {"four fields in user.txt", "a,p,1,x\r\n", "", "user.txt", 1},
        {"a quoted comma still counts one field", "a,\"p,q\",1,\r\n", "", "user.txt", 1},
        {"three fields in group.txt", "a,p,1\r\n", "1,x\r\n2,y,z\r\n", "group.txt", 2},
        {"one field in group.txt", "a,p,1\r\n", "1\r\n", "group.txt", 1},
        {"number out of range", "a,p,32768\r\n", "", "user.txt", 1},
        {"group number not an integer", "a,p,1\r\n", "x1,y\r\n", "group.txt", 1},
        {"unterminated quote", "a,p,1\n\"b,p,1\n", "", "user.txt", 2},
        {"slash in an ID", "a,p,1\r\n../etc/x,p,1\r\n", "", "user.txt", 2},
        {"backslash in an ID", "a\\b,p,1\r\n", "", "user.txt", 1},
        {"NUL in an ID", std::string("a\0b,p,1\r\n", 9), "", "user.txt", 1},
    };
    for (auto& c : cases) {
        TempDir dir;
        WriteBytes(dir / "user.txt", c.users);
        WriteBytes(dir / "group.txt", c.groups);
        Failure e = LoadFails(dir.path());
        EXPECT_EQ(e.file, dir / c.file) << c.what;
        EXPECT_EQ(e.line, c.line) << c.what;
        EXPECT_FALSE(e.Reason().empty()) << c.what;
        EXPECT_NE(e.ToString().find(dir / c.file + ":" + std::to_string(c.line) + ": "), std::string::npos)
            << c.what;
    }
}

TEST(LoadErrors, PerUserNameLineMustDecode) {
    TempDir dir;
    WriteBoard(dir.path(), BoardFiles{{"u1,p,0"}, {}, {}});
    WriteBytes(dir / "user/u1.txt", "username=\x81\x20\r\nstatus=0\r\nplan=\r\n");
    Failure e = LoadFails(dir.path());
    EXPECT_EQ(e.file, dir / "user/u1.txt");
    EXPECT_EQ(e.line, 1);
}

TEST(LoadErrors, FilesThatCannotBeReadAreReportedWithTheReason) {
    TempDir dir;
    WriteBoard(dir.path(), BoardFiles{{"u1,p,0"}, {"1,g"}, {{"u1", {"username=a", "status=0", "plan="}}}});

    test::FaultyFileSystem fs;
    fs.FailKind(test::FsOp::Read, EIO, "/user/u1.txt");
    Failure e = LoadFails(dir.path(), fs);
    EXPECT_EQ(e.file, dir / "user/u1.txt");
    EXPECT_EQ(e.line, 0);
    EXPECT_NE(e.Reason().find(ErrorText(EIO)), std::string::npos);

    test::FaultyFileSystem listing;
    listing.FailKind(test::FsOp::ListDir, EACCES, "/user");
    e = LoadFails(dir.path(), listing);
    EXPECT_EQ(e.file, dir / "user");
    EXPECT_NE(e.Reason().find(ErrorText(EACCES)), std::string::npos);

    std::filesystem::remove(dir / "group.txt");
    e = LoadFails(dir.path());
    EXPECT_EQ(e.file, dir / "group.txt");
    EXPECT_NE(e.Reason().find(ErrorText(ENOENT)), std::string::npos);
    EXPECT_EQ(e.ToString(), dir / "group.txt" + ": " + e.Reason());

    std::filesystem::create_directory(dir / "group.txt");
    e = LoadFails(dir.path());
    EXPECT_EQ(e.file, dir / "group.txt");
}

TEST(LoadErrors, MoreThan32767RecordsIsAnError) {
    TempDir dir;
    std::string groups;
    for (int i = 0; i < kMaxSlots; ++i) groups += std::to_string(i % 100) + ",g\r\n";
    WriteBytes(dir / "user.txt", "");
    WriteBytes(dir / "group.txt", groups);
    EXPECT_EQ(Load(dir.path()).Groups.size(), size_t(kMaxSlots));

    WriteBytes(dir / "group.txt", "\r\n" + groups + "7,last\r\n");
    Failure e = LoadFails(dir.path());
    EXPECT_EQ(e.file, dir / "group.txt");
    EXPECT_EQ(e.line, kMaxSlots + 2);
}
