// solne-admin against real board folders: export and import, spreadsheet
// files, refusals and dry runs that write nothing, the outside-change
// refusal. Also under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "cli/Admin.h"
#include "common/TempBoard.h"
#include "store/Load.h"

namespace solne::test {
namespace {

namespace fs = std::filesystem;

// Every file of a board: bytes and modification time, by path in the folder.
struct FileState {
    std::string bytes;
    int64_t mtimeNs = 0;
    bool operator==(const FileState&) const = default;
};
using State = std::map<std::string, FileState>;

State ReadState(const std::string& folder) {
    State state;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        state[fs::relative(entry.path(), folder).generic_string()] = {
            ReadBytes(entry.path().string()), int64_t(entry.last_write_time().time_since_epoch().count())};
    }
    return state;
}

struct Result {
    int status;
    std::string out, err;
};

Result Admin(std::vector<std::string> args, const std::function<void()>& beforeSave = {}) {
    Result r;
    r.status = cli::RunAdmin(args, r.out, r.err, RealFileSystem(), beforeSave);
    return r;
}

// Four users in three groups, one without a group; a second user file of
// every kind of value the spreadsheet tests change.
BoardFiles SmallBoard() {
    BoardFiles b;
    b.userLines = {"u01,p1,1", "u02,p2,1", "u03,p3,2", "u04,p4,0"};
    b.groupLines = {"1,総務部", "2,営業部", "3,開発部"};
    b.perUser = {{"u01", {"username=田中", "status=1,会議中", "plan=15時戻り"}},
                 {"u02", {"username=鈴木", "status=0", "plan="}},
                 {"u03", {"username=髙橋", "status=0", "plan="}},
                 {"u04", {"username=伊藤", "status=0", "plan="}}};
    return b;
}

class AdminTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string Board() const { return dir / "board"; }
    std::string File(const std::string& name) const { return dir / name; }
};

// ------------------------------------------------------- export, import

TEST_F(AdminTest, ExportThenImportOfTheSameFileWritesNothing) {
    GenerateBoard(Board(), 300, 20);
    // Files written a while ago, so a rewrite would show in the time.
    for (const auto& entry : fs::recursive_directory_iterator(Board()))
        if (entry.is_regular_file())
            fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
    const State before = ReadState(Board());
    for (std::vector<std::string> options : {std::vector<std::string>{}, {"--encoding=cp932"}, {"--with-passwords"}}) {
        SCOPED_TRACE(options.empty() ? "utf-8" : options[0]);
        std::vector<std::string> args = {"export", Board()};
        args.insert(args.end(), options.begin(), options.end());
        Result exported = Admin(args);
        ASSERT_EQ(exported.status, 0) << exported.err;
        WriteBytes(File("roster.csv"), exported.out);
        for (auto extra : {"", "--delete-missing"}) {
            std::vector<std::string> import = {"import", Board(), File("roster.csv")};
            if (*extra) import.push_back(extra);
            Result imported = Admin(import);
            EXPECT_EQ(imported.status, 0) << imported.err;
            EXPECT_NE(imported.out.find("変更はありません"), std::string::npos) << imported.out;
            EXPECT_EQ(ReadState(Board()), before);
        }
    }
    // The JSON export lists every user and group.
    Result json = Admin({"export", Board(), "--format=json"});
    ASSERT_EQ(json.status, 0);
    LoadedBoard loaded;
    ASSERT_FALSE(LoadBoard(RealFileSystem(), BoardPaths::For(Board()), loaded));
    EXPECT_NE(json.out.find("\"id\": \"" + loaded.Users.back().UserId + "\""), std::string::npos);
    EXPECT_EQ(json.out.find("password"), std::string::npos);
}

TEST_F(AdminTest, SpreadsheetFilesAreImported) {
    WriteBoard(Board(), SmallBoard());
    // Code page 932 with CR LF, Japanese headers in another order, quoted
    // fields, a blank row, a new user, a name change, a move to another
    // group and a release.
    WriteBytes(File("cp932.csv"),
               Sjis("グループ名,ユーザーID,パスワード,ユーザー(表示)名\r\n"
                    "営業部,u01,p1,\"田中 一郎\"\r\n"
                    ",,,\r\n"
                    "\"総務部\",u05,\"p\"\"5\",山本\r\n"
                    ",u03,p3,髙橋\r\n"));
    Result r = Admin({"import", Board(), File("cp932.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    LoadedBoard b;
    ASSERT_FALSE(LoadBoard(RealFileSystem(), BoardPaths::For(Board()), b));
    ASSERT_EQ(b.Users.size(), 5u);
    EXPECT_EQ(b.Users[0].UserName, "田中 一郎");
    EXPECT_EQ(b.Users[0].GroupNo, 2);
    EXPECT_EQ(b.Users[0].StatusLine, Sjis("status=1,会議中"));  // the board's lines are kept
    EXPECT_EQ(b.Users[2].GroupNo, 0);
    EXPECT_EQ(b.Users[4].UserId, "u05");
    EXPECT_EQ(b.Users[4].PassWord, "p\"5");
    EXPECT_EQ(b.Users[4].GroupName, "総務部");
    EXPECT_EQ(ReadBytes(Board() + "/user/u05.txt"), Sjis("username=山本\r\nstatus=0\r\nplan=\r\n"));

    // UTF-8 with a byte-order mark, English headers, a new group with
    // --create-groups (numbered by the add rule) and --delete-missing.
    WriteBytes(File("bom.csv"), "\xEF\xBB\xBF" "id,Group,name\r\nu01,企画部,田中\r\nu05,企画部,山本\r\n");
    r = Admin({"import", Board(), File("bom.csv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bom.csv:2:2: グループ「企画部」はありません。"), std::string::npos) << r.err;
    r = Admin({"import", Board(), File("bom.csv"), "--create-groups", "--delete-missing", "--format=json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"added\": [{\"name\": \"企画部\", \"group_no\": 4}]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"deleted\": [\"u02\", \"u03\", \"u04\"]"), std::string::npos) << r.out;
    ASSERT_FALSE(LoadBoard(RealFileSystem(), BoardPaths::For(Board()), b));
    ASSERT_EQ(b.Users.size(), 2u);
    EXPECT_EQ(b.Users[1].GroupName, "企画部");
    EXPECT_EQ(b.Users[1].PassWord, "p\"5");  // no password column: kept
    EXPECT_FALSE(PathExists(Board() + "/user/u02.txt"));
}

TEST_F(AdminTest, RefusedRowsAreReportedWithLineAndColumnAndNothingIsWritten) {
    WriteBoard(Board(), SmallBoard());
    const State before = ReadState(Board());
    struct Case {
        const char* csv;
        const char* expected;  // in the messages
    };
    const Case cases[] = {
        {"ID,name,password\r\nu09,\"山田,太郎\",x\r\n", ":2:2: ユーザー(表示)名に使用できない文字が含まれています。"},
        {"ID,name,password\r\nu09,山田,x\r\nu10,,y\r\n", ":3:2: ユーザー(表示)名を入力してください。"},
        {"ID,name\r\nu09,山田\r\n", ":2: パスワードを入力してください。（このファイルには「パスワード」の列がありません）"},
        {"ID,name,password\r\nu09,山田,x\r\nu09,山田,x\r\n", ":3:1: ユーザーID「u09」は 2 行目にもあります。"},
        {"name,password\r\n山田,x\r\n", ":1: 「ユーザーID」(id) の列がありません。"},
        {"ID,name,colour\r\nu09,山田,red\r\n", ":1:3: 不明な列の見出しです: colour"},
        {"ID,name\r\nu01,田中,extra\r\n", ":2: 列の数が見出しと違います"},
        {"ID,name\r\nu01,田\"中\r\n", ":2:2: ダブルクォートで囲まれていない値の中にダブルクォートがあります。"},
        {"ID,name\r\nu01,\"田中\r\n", ":2:2: ダブルクォートが閉じていません。"},
        {"ID,group_no,group\r\nu01,x,総務部\r\n", ":2:2: グループ番号は"},
        {"ID,name,password\r\nCON,山田,x\r\n", ":2:1: ユーザーIDに使用できない文字が含まれています。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.csv);
        WriteBytes(File("bad.csv"), c.csv);
        for (auto dry : {false, true}) {
            std::vector<std::string> args = {"import", Board(), File("bad.csv")};
            if (dry) args.push_back("--dry-run");
            Result r = Admin(args);
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.err.find(File("bad.csv") + c.expected), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
        }
    }
    // A board that holds an ID twice refuses a row naming it; a verb too.
    BoardFiles twice = SmallBoard();
    twice.userLines.push_back("u02,again,0");
    WriteBoard(Board(), twice);
    const State withTwice = ReadState(Board());
    WriteBytes(File("two.csv"), "ID,name\r\nu02,鈴木\r\n");
    Result r = Admin({"import", Board(), File("two.csv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(":2:1: ユーザーID「u02」のユーザーが 2 人います。"), std::string::npos) << r.err;
    r = Admin({"delete-user", Board(), "u02"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("決められない"), std::string::npos) << r.err;
    EXPECT_EQ(ReadState(Board()), withTwice);
    (void)before;
}

TEST_F(AdminTest, DryRunPrintsTheChangeAndWritesNothing) {
    WriteBoard(Board(), SmallBoard());
    WriteBytes(Board() + "/user/memo.txt", "memo");
    const State before = ReadState(Board());
    Result r = Admin({"delete-user", Board(), "u02", "--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "削除するユーザー: u02\n削除する個別ファイル: user/memo.txt\n削除する個別ファイル: user/u02.txt\n"
              "ユーザー 追加 0、更新 0、削除 1／グループ 追加 0、名前の変更 0、削除 0。--dry-run のため何も書き込んでいません。\n");
    r = Admin({"add-group", Board(), "企画部", "--dry-run", "--format=json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"result\": \"dry-run\""), std::string::npos);
    EXPECT_EQ(ReadState(Board()), before);
}

TEST_F(AdminTest, FilesChangedSinceLoadingAreARefusalUnlessForced) {
    WriteBoard(Board(), SmallBoard());
    const std::string changed = SjisLines({"1,総務部", "2,営業部", "3,開発部", "4,別の編集"});
    auto otherProgram = [&] { WriteBytes(Board() + "/group.txt", changed); };
    Result r = Admin({"add-user", Board(), "u09", "pw", "山田"}, otherProgram);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("group.txt\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_FALSE(PathExists(Board() + "/user/u09.txt"));
    EXPECT_EQ(ReadBytes(Board() + "/group.txt"), changed);

    r = Admin({"add-user", Board(), "u09", "pw", "山田", "--force"},
              [&] { WriteBytes(Board() + "/group.txt", SjisLines({"1,総務部"})); });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(PathExists(Board() + "/user/u09.txt"));
}

TEST_F(AdminTest, ArgumentsAndUnreadableBoards) {
    EXPECT_EQ(Admin({"add-user", Board(), "u1"}).status, 1);
    EXPECT_EQ(Admin({"export", Board(), "--dry-run"}).status, 1);
    EXPECT_EQ(Admin({"update-user", Board(), "u1"}).status, 1);
    Result r = Admin({"export", Board()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("データファイルを読み込めませんでした。"), std::string::npos) << r.err;
    r = Admin({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("終了コード"), std::string::npos);
}

}  // namespace
}  // namespace solne::test
