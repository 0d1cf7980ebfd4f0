// The window's layout and its start-up: locating the board, loading it,
// and what the window shows first.
#include <QHeaderView>
#include <QLabel>

#include "WindowTest.h"
#include "store/Settings.h"

namespace solne::test {
namespace {

class StartupTest : public WindowTest {};

QRect Twips(int left, int top, int width, int height) {
    auto px = [](int twips) { return qRound(twips / 15.0); };
    return {px(left), px(top), px(width), px(height)};
}

TEST_F(StartupTest, LayoutMatchesTheTableAtFifteenTwipsPerPixel) {
    ASSERT_EQ(Start(FiveUsers()), StartResult::Ready);
    EXPECT_EQ(w->windowTitle().toStdString(), "ソルネ");
    EXPECT_EQ(w->size(), QSize(618, 359));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());  // keeps its size

    struct Placed {
        QWidget* widget;
        const char* caption;  // nullptr: no caption
        QRect where;
    };
    const Placed table[] = {
        {w->lblUserId, "ユーザーID：", Twips(0, 240, 1575, 255)},
        {w->txtUserId, nullptr, Twips(1680, 232, 1935, 270)},
        {w->lblPassWords, "パスワード：", Twips(0, 615, 1575, 255)},
        {w->txtPassWords, nullptr, Twips(1680, 600, 1935, 270)},
        {w->lblUserName, "ユーザー(表示)名：", Twips(0, 975, 1575, 255)},
        {w->txtUserName, nullptr, Twips(1680, 960, 1935, 270)},
        {w->cmdUserAdd, "追加", Twips(3720, 210, 975, 315)},
        {w->cmdUserUp, "更新", Twips(3720, 615, 975, 375)},
        {w->cmdUserDelete, "削除", Twips(3720, 1080, 975, 375)},
        {w->lblUserList, "ユーザー一覧：", Twips(120, 1440, 1335, 255)},
        {w->lsvUserList, nullptr, Twips(120, 1800, 4455, 3015)},
        {w->lblGroupName, "グループ名：", Twips(4920, 240, 1095, 255)},
        {w->txtGroupName, nullptr, Twips(6120, 225, 1935, 270)},
        {w->cmdGroupAdd, "追加", Twips(8160, 210, 975, 315)},
        {w->cmdGroupUp, "更新", Twips(8160, 615, 975, 375)},
        {w->cmdGroupDelete, "削除", Twips(8160, 1080, 975, 375)},
        {w->lblGroupList, "グループ一覧：", Twips(6120, 1440, 1335, 255)},
        {w->lsvGroupList, nullptr, Twips(6120, 1800, 3015, 3015)},
        {w->cmdGroupSet, "←グループ     設定", Twips(4800, 2280, 1095, 855)},
        {w->cmdGroupCancel, "　グループ        解除", Twips(4800, 3240, 1095, 855)},
        {w->cmdSave, "保存", Twips(7080, 4920, 975, 375)},
        {w->cmdClose, "閉じる", Twips(8160, 4920, 975, 375)},
    };
    for (const Placed& p : table) {
        SCOPED_TRACE(p.widget->objectName().toStdString());
        EXPECT_EQ(p.widget->geometry(), p.where);
        if (auto* label = qobject_cast<QLabel*>(p.widget)) {
            EXPECT_EQ(label->text().toStdString(), p.caption);
        } else if (auto* button = qobject_cast<QPushButton*>(p.widget)) {
            EXPECT_EQ(button->text().toStdString(), p.caption);
        } else if (auto* box = qobject_cast<QLineEdit*>(p.widget)) {
            EXPECT_TRUE(box->text().isEmpty());
        }
    }
}

TEST_F(StartupTest, TabMovesThroughTheControlsInTableOrder) {
    ASSERT_EQ(Start(FiveUsers()), StartResult::Ready);
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    const std::vector<QWidget*> order = {
        w->txtUserId,   w->txtPassWords,  w->txtUserName,    w->cmdUserAdd,   w->cmdUserUp,
        w->cmdUserDelete, w->lsvUserList, w->txtGroupName,   w->cmdGroupAdd,  w->cmdGroupUp,
        w->cmdGroupDelete, w->lsvGroupList, w->cmdGroupSet,  w->cmdGroupCancel, w->cmdSave,
        w->cmdClose,    w->txtUserId};
    w->txtUserId->setFocus();
    for (size_t i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << "step " << i;
    }
}

TEST_F(StartupTest, ListsAreReportViewsWithComputedColumnWidths) {
    ASSERT_EQ(Start(FiveUsers()), StartResult::Ready);
    ListView* users = w->lsvUserList;
    ListView* groups = w->lsvGroupList;
    ASSERT_EQ(users->model()->columnCount(), 3);
    ASSERT_EQ(groups->model()->columnCount(), 1);
    const char* headers[] = {"ユーザー名", "ユーザーID", "グループ名"};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(users->model()->headerData(c, Qt::Horizontal).toString().toStdString(), headers[c]);
        EXPECT_EQ(users->columnWidth(c), qRound(1385 / 15.0));  // 4455 / 3 - 100 twips
    }
    EXPECT_EQ(groups->model()->headerData(0, Qt::Horizontal).toString().toStdString(), "グループ名");
    EXPECT_EQ(groups->columnWidth(0), qRound(2915 / 15.0));  // 3015 - 100 twips

    EXPECT_FALSE(users->isHeaderHidden());
    EXPECT_EQ(users->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(groups->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(users->editTriggers(), QAbstractItemView::NoEditTriggers);

    // A click on a header neither sorts nor selects.
    QHeaderView* header = users->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(Column(users, 1), (std::vector<std::string>{"u01", "u02", "u03", "u04", "u05"}));
    EXPECT_TRUE(users->SelectedRows().empty());
}

TEST_F(StartupTest, ShowsEveryRecordWithNothingSelectedAndEmptyBoxes) {
    BoardFiles b;
    b.userLines = {"u01,p1,1", "u02,p2,2", "u03,p3,9"};
    b.groupLines = {"1,総務部", "2,営業部"};
    b.perUser = {{"u01", {"username=田中", "status=0", "plan="}},
                 {"u03", {"username=高橋", "status=0", "plan="}}};  // u02 has no file
    ASSERT_EQ(Start(b), StartResult::Ready);

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
    EXPECT_TRUE(w->txtGroupName->text().isEmpty());
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

class FolderPromptTest : public WindowTest {
protected:
    void ExpectPrompts(int count) {
        ASSERT_EQ(int(dialogs.boxes.size()), count);
        for (const ShownBox& box : dialogs.boxes) {
            EXPECT_EQ(box.text, kFolderPromptMessage);
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
    WriteBytes(dir / "half/user.txt", Sjis("x,y,0\r\n"));  // no group.txt
    WriteIni(dir / "half");
    dialogs.folders = {Board()};
    ASSERT_EQ(Open(), StartResult::Ready);
    ExpectPrompts(1);
    EXPECT_EQ(ReadBytes(Ini()), "[Script]\r\nInstalledPath=" + Board() + "\r\n");
}

TEST_F(FolderPromptTest, WrongFolderThenRightOneAsksTwiceAndStoresTheSecond) {
    WriteBoard(Board(), FiveUsers());
    WriteBytes(dir / "other/memo.txt", "x");
    dialogs.folders = {dir / "other", Board()};
    ASSERT_EQ(Open(), StartResult::Ready);
    ExpectPrompts(2);
    EXPECT_EQ(ReadBytes(Ini()), "[Script]\r\nInstalledPath=" + Board() + "\r\n");
}

TEST_F(FolderPromptTest, CancelEndsWithoutLoadingOrWriting) {
    WriteBoard(Board(), FiveUsers());
    dialogs.folders = {std::nullopt};
    ASSERT_EQ(Open(), StartResult::Cancelled);
    ExpectPrompts(1);
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
    w = std::make_unique<frmMain>(dialogs, place);
    ASSERT_EQ(w->Form_Load(), StartResult::Ready);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(w->lsvUserList->RowCount(), 5);
    EXPECT_FALSE(PathExists(place.file));

    const std::string system = "[Script]\r\nInstalledPath=/nowhere\r\n";
    WriteBytes(place.readFrom, system);
    dialogs.folders = {Board()};
    w = std::make_unique<frmMain>(dialogs, place);
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
    EXPECT_FALSE(w->isVisible());
}

}  // namespace
}  // namespace solne::test
