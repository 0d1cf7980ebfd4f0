// Start-up: locating the board, loading it, and what the window shows first.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "FormTest.h"
#include "store/Settings.h"

namespace solne::test {
namespace {

class StartupTest : public FormTest {};

// The columns of the layout, added once at start-up with the widths worked
// out from the lists' widths.
TEST_F(StartupTest, AddsTheColumnsOfTheLayout) {
    ASSERT_EQ(Start(FiveUsers()), StartResult::Ready);
    using Columns = std::vector<std::pair<std::string, int>>;
    auto columns = [](const FakeListView& list) {
        Columns out;
        for (const auto& c : list.columns) out.push_back({c.header, c.widthTwips});
        return out;
    };
    EXPECT_EQ(columns(w->userList), (Columns{{"ユーザー名", 1385}, {"ユーザーID", 1385}, {"グループ名", 1385}}));
    EXPECT_EQ(columns(w->groupList), (Columns{{"グループ名", 2915}}));
}

TEST_F(StartupTest, ShowsEveryRecordWithNothingSelectedAndEmptyBoxes) {
    BoardFiles b;
    b.userLines = {"u01,p1,1", "u02,p2,2", "u03,p3,9"};
    b.groupLines = {"1,総務部", "2,営業部"};
    b.perUser = {{"u01", {"username=田中", "status=0", "plan="}},
                 {"u03", {"username=高橋", "status=0", "plan="}}};  // u02 has no file
    ASSERT_EQ(Start(b), StartResult::Ready);

    EXPECT_TRUE(w->window.visible);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.chooserCalls, 0);
    EXPECT_EQ(Column(w->lsvUserList, 0), (std::vector<std::string>{"田中", "", "高橋"}));
    EXPECT_EQ(Column(w->lsvUserList, 1), (std::vector<std::string>{"u01", "u02", "u03"}));
    EXPECT_EQ(Column(w->lsvUserList, 2), (std::vector<std::string>{"総務部", "営業部", ""}));
    EXPECT_EQ(Column(w->lsvGroupList, 0), (std::vector<std::string>{"総務部", "営業部"}));
    EXPECT_TRUE(w->lsvUserList->SelectedRows().empty());
    EXPECT_TRUE(w->lsvGroupList->SelectedRows().empty());
    EXPECT_FALSE(w->lsvUserList->CurrentRow());
    EXPECT_TRUE(UserBoxesEmpty());
    EXPECT_TRUE(w->txtGroupName->Text().empty());
    EXPECT_FALSE(w->DataChanged);
    EXPECT_EQ(w->InstalledPath, Board());
    EXPECT_EQ(w->UserFilePath, Board() + "/user.txt");
    EXPECT_EQ(w->GroupFilePath, Board() + "/group.txt");
}

TEST_F(StartupTest, EmptyDataFilesGiveNoRowsAndOneBlankSlotEach) {
    BoardFiles b;  // both files empty
    ASSERT_EQ(Start(b), StartResult::Ready);
    EXPECT_EQ(w->lsvUserList->RowCount(), 0);
    EXPECT_EQ(w->lsvGroupList->RowCount(), 0);
    ASSERT_EQ(w->Users.size(), 1u);
    ASSERT_EQ(w->Groups.size(), 1u);
    EXPECT_TRUE(IsBlank(w->Users[0]));
    EXPECT_TRUE(IsBlank(w->Groups[0]));
}

// ---- locating the board

class FolderPromptTest : public FormTest {
protected:
    void ExpectPrompts(int count) {
        ASSERT_EQ(int(dialogs.boxes.size()), count);
        for (const ShownBox& box : dialogs.boxes) {
            EXPECT_EQ(box.text,
                      "ユーザー情報ファイルが見つかりませんでした。\r\n\r\n"
                      "[OK]ボタンを押すことでフォルダの指定画面が表示されます。\r\n"
                      "行き先掲示板システムがインストールされているフォルダを指定してください。");
            EXPECT_EQ(box.icon, MsgIcon::Warning);
            EXPECT_EQ(box.buttons, MsgButtons::Ok);
            EXPECT_EQ(box.caption, "ソルネ");
        }
        EXPECT_EQ(dialogs.chooserCalls, count);
    }
};

TEST_F(FolderPromptTest, NoSettingsFileAsksOnceAndStoresTheFolder) {
    WriteBoard(Board(), FiveUsers());
    dialogs.folders = {Board()};
    ASSERT_EQ(Open(), StartResult::Ready);
    ExpectPrompts(1);
    EXPECT_EQ(ReadBytes(Ini()), "[Script]\r\nInstalledPath=" + Board() + "\r\n");
    EXPECT_EQ(w->InstalledPath, Board());
    EXPECT_EQ(w->lsvUserList->RowCount(), 5);
}

TEST_F(FolderPromptTest, OneDataFileMissingAsksAsIfNothingWereSet) {
    WriteBoard(Board(), FiveUsers());
    WriteBytes(dir / "half/user.txt", Sjis("x,y,0\r\n"));
    std::filesystem::create_directories(dir / "half/group.txt");  // a folder does not count
    WriteIni(dir / "half");
    dialogs.folders = {Board()};
    ASSERT_EQ(Open(), StartResult::Ready);
    ExpectPrompts(1);
    EXPECT_EQ(ReadBytes(Ini()), "[Script]\r\nInstalledPath=" + Board() + "\r\n");
}

TEST_F(FolderPromptTest, WrongFolderThenRightOneAsksAgainAndStoresTheRightOne) {
    WriteBoard(Board(), FiveUsers());
    WriteBytes(dir / "other/memo.txt", "x");
    dialogs.folders = {dir / "other", std::string(), Board()};  // an empty answer asks again too
    ASSERT_EQ(Open(), StartResult::Ready);
    ExpectPrompts(3);
    EXPECT_EQ(ReadBytes(Ini()), "[Script]\r\nInstalledPath=" + Board() + "\r\n");
}

TEST_F(FolderPromptTest, CancelEndsWithoutLoadingOrWriting) {
    WriteBoard(Board(), FiveUsers());
    dialogs.folders = {std::nullopt};
    ASSERT_EQ(Open(), StartResult::Cancelled);
    ExpectPrompts(1);
    EXPECT_FALSE(w->window.visible);
    EXPECT_FALSE(PathExists(Ini()));
    EXPECT_TRUE(w->Users.empty());
    EXPECT_EQ(w->lsvUserList->RowCount(), 0);
}

TEST_F(FolderPromptTest, SettingsFileThatCannotBeWrittenIsReportedAndStartUpGoesOn) {
    WriteBoard(Board(), FiveUsers());
    const std::string ini = dir / "no-such-folder/setup.ini";
    dialogs.folders = {Board()};
    ASSERT_EQ(Open(ini), StartResult::Ready);
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    const ShownBox& warning = dialogs.boxes[1];
    EXPECT_EQ(warning.icon, MsgIcon::Warning);
    EXPECT_EQ(warning.caption, "ソルネ");
    EXPECT_NE(warning.text.find(ini), std::string::npos) << warning.text;
    EXPECT_EQ(warning.text.rfind("設定ファイルに書き込めませんでした。\r\n", 0), 0u) << warning.text;
    EXPECT_EQ(w->lsvUserList->RowCount(), 5);
}

TEST_F(FolderPromptTest, ChosenFolderIsRememberedOnlyOnceItsBoardHasLoaded) {
    BoardFiles broken = FiveUsers();
    broken.userLines[2] = "u03,p3,abc";  // an old backup the loader refuses
    WriteBoard(dir / "backup", broken);
    const std::string ini = "[Script]\r\nInstalledPath=" + dir / "gone" + "\r\n";
    WriteBytes(Ini(), ini);
    dialogs.folders = {dir / "backup"};
    ASSERT_EQ(Open(), StartResult::LoadFailed);
    ASSERT_EQ(dialogs.boxes.size(), 2u);  // the prompt, then the load error
    EXPECT_EQ(ReadBytes(Ini()), ini);

    // So the next start offers the chooser again instead of the same error.
    WriteBoard(Board(), FiveUsers());
    dialogs.boxes.clear();
    dialogs.chooserCalls = 0;
    dialogs.folders = {Board()};
    ASSERT_EQ(Open(), StartResult::Ready);
    ExpectPrompts(1);
    EXPECT_EQ(ReadBytes(Ini()), "[Script]\r\nInstalledPath=" + Board() + "\r\n");
}

TEST_F(FolderPromptTest, SystemDefaultIsReadAndTheChoiceGoesToTheAccountsOwnFile) {
    WriteBoard(Board(), FiveUsers());
    SettingsPlace place(dir / "home/solne/setup.ini");
    place.readFrom = dir / "etc/solne/setup.ini";
    place.createFolder = true;
    WriteBytes(place.readFrom, "[Script]\r\nInstalledPath=../../board\r\n");  // relative to etc/solne
    w = std::make_unique<FakeForm>(dialogs, place);
    ASSERT_EQ(w->Form_Load(), StartResult::Ready);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(w->lsvUserList->RowCount(), 5);
    EXPECT_FALSE(PathExists(place.file));

    const std::string system = "[Script]\r\nInstalledPath=/nowhere\r\n";
    WriteBytes(place.readFrom, system);
    dialogs.folders = {Board()};
    w = std::make_unique<FakeForm>(dialogs, place);
    ASSERT_EQ(w->Form_Load(), StartResult::Ready);
    ExpectPrompts(1);
    EXPECT_EQ(ReadBytes(place.file), "[Script]\r\nInstalledPath=" + Board() + "\r\n");
    EXPECT_EQ(ReadBytes(place.readFrom), system);
}

// ---- a board that cannot be read

TEST_F(StartupTest, LoadErrorNamesFileLineAndProblemAndWritesNothing) {
    BoardFiles b = FiveUsers();
    b.userLines[2] = "u03,p3,abc";
    WriteBoard(Board(), b);
    WriteIni(Board());
    const std::vector<std::string> before = ListNames(Board() + "/user");
    const std::string userTxt = ReadBytes(Board() + "/user.txt");
    const std::string ini = ReadBytes(Ini());

    ASSERT_EQ(Open(), StartResult::LoadFailed);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    const ShownBox& box = dialogs.boxes[0];
    EXPECT_EQ(box.icon, MsgIcon::Warning);
    EXPECT_EQ(box.caption, "ソルネ");
    const std::string head = "データファイルを読み込めませんでした。\r\n" + Board() + "/user.txt\r\n3行目\r\n";
    EXPECT_EQ(box.text.substr(0, head.size()), head) << box.text;
    EXPECT_GT(box.text.size(), head.size());  // the problem follows

    EXPECT_EQ(ReadBytes(Board() + "/user.txt"), userTxt);
    EXPECT_EQ(ListNames(Board() + "/user"), before);
    EXPECT_EQ(ReadBytes(Ini()), ini);
    EXPECT_FALSE(w->window.visible);
}

// A fifo named "user.txt" is there, not missing: the load names it with its
// problem (as solne-check does) and no folder chooser opens. Journals the
// load did not trust are named beside a load error, and after a good load.
TEST_F(StartupTest, FifoDataFileIsALoadErrorNamingItAndIgnoredJournalsAreNamed) {
    WriteBoard(Board(), FiveUsers());
    WriteIni(Board());
    const std::string fifo = Board() + "/user.txt";
    ASSERT_EQ(std::remove(fifo.c_str()), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string journal = Board() + "/user/.u01.txt.solne-journal";
    ASSERT_EQ(::symlink("/etc/passwd", journal.c_str()), 0);
    ASSERT_EQ(Open(), StartResult::LoadFailed);
    EXPECT_EQ(dialogs.chooserCalls, 0);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "データファイルを読み込めませんでした。\r\n" + fifo +
                                         "\r\n通常のファイルではありません（FIFO、デバイス、フォルダなど）");

    ASSERT_EQ(std::remove(fifo.c_str()), 0);
    WriteBoard(Board(), FiveUsers());
    dialogs.boxes.clear();
    ASSERT_EQ(Open(), StartResult::Ready);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find(journal + ": ジャーナルとして使いませんでした（シンボリックリンクです）"),
              std::string::npos)
        << dialogs.boxes[0].text;
    // The save does not use it either, and its message says so.
    w->cmdSave_Click();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text.rfind("データの保存が完了しました。\r\n\r\n", 0), 0u) << dialogs.boxes[1].text;
    EXPECT_NE(dialogs.boxes[1].text.find(journal + ": "), std::string::npos) << dialogs.boxes[1].text;
    EXPECT_TRUE(std::filesystem::is_symlink(journal));
}

}  // namespace
}  // namespace solne::test
