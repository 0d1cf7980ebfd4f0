// The Qt toolkit's window: the layout table made into widgets, the keys, the
// lists' rows and selection, and every control event reaching its handler.
// What the handlers do is tested on the fake toolkit (tests/form).
#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "QtHands.h"
#include "common/SlowFileSystem.h"
#include "common/TempBoard.h"
#include "fake/FakeDialogs.h"
#include "frmMain/Layout.h"
#include "qt/QtMainWindow.h"

namespace solne::test {
namespace {

class QtWindowTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<QtMainWindow> w;

    void SetUp() override {
        WriteBoard(dir / "board", FiveUsers());
        WriteBytes(dir / "setup.ini", "[Script]\r\nInstalledPath=" + (dir / "board") + "\r\n");
        w = std::make_unique<QtMainWindow>(dialogs, dir / "setup.ini");
        ASSERT_EQ(w->Form().Start(), StartResult::Ready);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }

    void TearDown() override {
        EXPECT_FALSE(dialogs.unanswered) << "a question was shown with no answer prepared";
        EXPECT_TRUE(dialogs.answers.empty()) << "prepared answers were not used";
        w->Form().DataChanged = false;  // no question on the way out
    }

    frmMain& F() { return w->Form(); }
    QLineEdit* Box(std::string_view name) const { return test::Box(*w, name); }
    QtListView* List(std::string_view name) const { return test::List(*w, name); }
    QPushButton* Button(std::string_view name) const { return test::Button(*w, name); }
    static std::string Text(const QLineEdit* box) { return box->text().toStdString(); }
    bool UserBoxesEmpty() const {
        return Box("txtUserId")->text().isEmpty() && Box("txtPassWords")->text().isEmpty() &&
               Box("txtUserName")->text().isEmpty();
    }
    std::string LastBox() const { return dialogs.boxes.empty() ? "" : dialogs.boxes.back().text; }
};

QRect Pixels(const layout::Rect& r) {
    return {layout::Pixels(r.left), layout::Pixels(r.top), layout::Pixels(r.width), layout::Pixels(r.height)};
}

// ---- layout and keys

TEST_F(QtWindowTest, ControlsStandWhereTheLayoutTablePutsThem) {
    EXPECT_EQ(w->windowTitle().toStdString(), "ソルネ");
    EXPECT_EQ(w->size(), QSize(618, 359));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());  // keeps its size
    for (const layout::Control& c : layout::kControls) {
        SCOPED_TRACE(c.name);
        auto* widget = w->findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), Pixels(c.place));
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(c.kind, layout::Kind::Label);
            EXPECT_EQ(label->text().toStdString(), c.caption);
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(c.kind, layout::Kind::Button);
            EXPECT_EQ(button->text().toStdString(), c.caption);
        } else if (auto* box = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(c.kind, layout::Kind::TextBox);
            EXPECT_TRUE(box->text().isEmpty());
        } else {
            EXPECT_EQ(c.kind, layout::Kind::ListView);
        }
    }
    EXPECT_EQ(Button("cmdGroupCancel")->geometry(), QRect(320, 216, 73, 57));
}

TEST_F(QtWindowTest, TabMovesThroughTheControlsInTableOrder) {
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    auto order = layout::TabOrder();
    ASSERT_EQ(order.size(), 16u);
    Box("txtUserId")->setFocus();
    for (size_t i = 1; i <= order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const char* expected = order[i % order.size()]->name;
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), expected) << "step " << i;
    }
}

TEST_F(QtWindowTest, TextBoxesAndListsAreNamedByTheirLabels) {
    const std::pair<QWidget*, const char*> named[] = {
        {Box("txtUserId"), "ユーザーID"},     {Box("txtPassWords"), "パスワード"},  {Box("txtUserName"), "ユーザー(表示)名"},
        {List("lsvUserList"), "ユーザー一覧"}, {Box("txtGroupName"), "グループ名"}, {List("lsvGroupList"), "グループ一覧"}};
    for (const auto& [widget, name] : named) EXPECT_EQ(widget->accessibleName().toStdString(), name);
}

// Each button runs its own handler, by mouse, by Enter and by Space. With
// nothing typed or selected each handler shows its own first message.
TEST_F(QtWindowTest, EveryButtonReachesItsHandlerByMouseEnterAndSpace) {
    const std::pair<QPushButton*, const char*> buttons[] = {
        {Button("cmdUserAdd"), "ユーザーIDを入力してください。"},
        {Button("cmdUserUp"), "更新可能な項目は「ユーザー(表示)名」、「パスワード」のみです。"},
        {Button("cmdUserDelete"), "削除するユーザーを「ユーザー一覧」から選択してください。"},
        {Button("cmdGroupAdd"), "グループ名を入力してください。"},
        {Button("cmdGroupUp"), "更新したいグループを選択してください。"},
        {Button("cmdGroupDelete"), "削除するグループを「グループ一覧」から選択してください。"},
        {Button("cmdGroupSet"), "設定したいグループを「グループ一覧」から選択してください。"},
        {Button("cmdGroupCancel"), "グループ解除したいユーザーを「ユーザー一覧」から選択してください。"},
        {Button("cmdSave"), "データの保存が完了しました。"}};
    for (const auto& [button, message] : buttons) {
        SCOPED_TRACE(button->objectName().toStdString());
        const size_t before = dialogs.boxes.size();
        PressButton(button);
        QTest::keyClick(button, Qt::Key_Return);
        QTest::keyClick(button, Qt::Key_Enter);
        QTest::keyClick(button, Qt::Key_Space);
        ASSERT_EQ(dialogs.boxes.size(), before + 4);
        for (size_t i = before; i < before + 4; ++i) EXPECT_EQ(dialogs.boxes[i].text, message);
    }
    QTest::keyClick(Button("cmdClose"), Qt::Key_Return);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(QtWindowTest, ClosingTheWindowAnyWayPassesTheUnsavedChangesQuestion) {
    F().DataChanged = true;
    dialogs.answers = {MsgAnswer::Cancel};
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(LastBox(), "データが変更されています。保存しますか？");
    dialogs.answers = {MsgAnswer::No};
    PressButton(Button("cmdClose"));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(dialogs.boxes.size(), 2u);
}

// ---- the lists

TEST_F(QtWindowTest, ListsAreReportViewsWithTheLayoutColumnsAndShowTheRows) {
    QtListView* users = List("lsvUserList");
    QtListView* groups = List("lsvGroupList");
    ASSERT_EQ(users->model()->columnCount(), 3);
    ASSERT_EQ(groups->model()->columnCount(), 1);
    const char* headers[] = {"ユーザー名", "ユーザーID", "グループ名"};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(users->model()->headerData(c, Qt::Horizontal).toString().toStdString(), headers[c]);
        EXPECT_EQ(users->columnWidth(c), 92);  // 1385 twips
    }
    EXPECT_EQ(groups->model()->headerData(0, Qt::Horizontal).toString().toStdString(), "グループ名");
    EXPECT_EQ(groups->columnWidth(0), 194);  // 2915 twips
    EXPECT_FALSE(users->isHeaderHidden());
    EXPECT_EQ(users->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(groups->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(users->editTriggers(), QAbstractItemView::NoEditTriggers);

    auto shown = [](QtListView* list, int row, int column) {
        return list->model()->data(list->model()->index(row, column), Qt::DisplayRole).toString().toStdString();
    };
    EXPECT_EQ(shown(users, 0, 0), "田中");
    EXPECT_EQ(shown(users, 4, 1), "u05");
    EXPECT_EQ(shown(users, 3, 2), "営業部");
    EXPECT_EQ(shown(groups, 1, 0), "営業部");
    F().Users[0].UserName = "佐藤";
    F().RefreshUserList();
    EXPECT_EQ(shown(users, 0, 0), "佐藤");

    // A click on a header neither sorts nor selects.
    QHeaderView* header = users->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(shown(users, 0, 1), "u01");
    EXPECT_TRUE(users->SelectedRows().empty());
}

TEST_F(QtWindowTest, OneSelectedUserFillsTheBoxesSeveralEmptyThem) {
    ClickRow(List("lsvUserList"), 1);
    EXPECT_EQ(Text(Box("txtUserId")), "u02");
    EXPECT_EQ(Text(Box("txtUserName")), "鈴木");
    EXPECT_EQ(Text(Box("txtPassWords")), "p2");

    ClickRow(List("lsvUserList"), 3, Qt::ControlModifier);
    EXPECT_EQ(List("lsvUserList")->SelectedRows(), (std::vector<int>{1, 3}));
    EXPECT_TRUE(UserBoxesEmpty());

    // Back to one selected row: the boxes show it, although the focus stays
    // on the row just deselected.
    ClickRow(List("lsvUserList"), 3, Qt::ControlModifier);
    EXPECT_EQ(List("lsvUserList")->SelectedRows(), (std::vector<int>{1}));
    EXPECT_EQ(List("lsvUserList")->CurrentRow(), 1);
    EXPECT_EQ(Text(Box("txtUserId")), "u02");

    // Shift extends from the last clicked row and keeps rows picked before.
    ClickRow(List("lsvUserList"), 4, Qt::ShiftModifier);
    EXPECT_EQ(List("lsvUserList")->SelectedRows(), (std::vector<int>{1, 3, 4}));
    EXPECT_TRUE(UserBoxesEmpty());

    ClickRow(List("lsvUserList"), 0);
    ClickRow(List("lsvUserList"), 2, Qt::ShiftModifier);
    EXPECT_EQ(List("lsvUserList")->SelectedRows(), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(UserBoxesEmpty());
}

TEST_F(QtWindowTest, ClickingTheSelectedRowAgainRestoresEditedBoxes) {
    ClickRow(List("lsvUserList"), 0);
    TypeInto(Box("txtUserName"), QStringLiteral("誤入力"));
    ClickRow(List("lsvUserList"), 0);
    EXPECT_EQ(Text(Box("txtUserName")), "田中");
}

TEST_F(QtWindowTest, KeyboardSelectionRunsTheClickHandlers) {
    ClickRow(List("lsvUserList"), 0);
    QTest::keyClick(List("lsvUserList"), Qt::Key_Down);
    EXPECT_EQ(Text(Box("txtUserId")), "u02");
    QTest::keyClick(List("lsvUserList"), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_TRUE(UserBoxesEmpty());

    ClickRow(List("lsvGroupList"), 0);
    EXPECT_EQ(Text(Box("txtGroupName")), "総務部");
    QTest::keyClick(List("lsvGroupList"), Qt::Key_Down);
    EXPECT_EQ(Text(Box("txtGroupName")), "営業部");
}

// Keys typed into a focused list, and text an input method composes, pick
// the next row whose first column starts with them and run the item-click
// handler as an arrow key does.
TEST_F(QtWindowTest, TypingInAListSelectsTheNextMatchingRowAndRunsTheHandler) {
    F().Users[1].UserName = "Suzuki";
    F().Users[2].UserName = "sato";
    F().Users[4].UserName = "Saito";
    F().RefreshUserList();  // 田中, Suzuki, sato, 渡辺, Saito
    auto commit = [](QWidget* list, const QString& text) {
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(list, &event);
    };
    auto pause = [] { QTest::qWait(QApplication::keyboardInputInterval() + 100); };

    // Rows clicked in the ID column: the search still reads the names.
    QtListView* users = List("lsvUserList");
    QTest::mouseClick(users->viewport(), Qt::LeftButton, {}, users->visualRect(users->model()->index(0, 1)).center());
    QTest::mouseClick(users->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      users->visualRect(users->model()->index(1, 1)).center());
    ASSERT_EQ(users->SelectedRows(), (std::vector<int>{0, 1}));
    ASSERT_TRUE(UserBoxesEmpty());
    QTest::keyClicks(List("lsvUserList"), "SA");
    EXPECT_EQ(List("lsvUserList")->SelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(Text(Box("txtUserId")), "u03");
    EXPECT_EQ(Text(Box("txtUserName")), "sato");
    pause();
    QTest::keyClicks(List("lsvUserList"), "s");  // after the current row, not the row itself
    EXPECT_EQ(Text(Box("txtUserId")), "u05");
    pause();
    commit(List("lsvUserList"), "渡");
    EXPECT_EQ(List("lsvUserList")->CurrentRow(), 3);
    EXPECT_EQ(Text(Box("txtUserName")), "渡辺");
    pause();
    QTest::keyClicks(List("lsvUserList"), "x");  // no row: nothing moves
    EXPECT_EQ(List("lsvUserList")->SelectedRows(), (std::vector<int>{3}));

    commit(List("lsvGroupList"), "営業");
    EXPECT_EQ(List("lsvGroupList")->CurrentRow(), 1);
    EXPECT_EQ(Text(Box("txtGroupName")), "営業部");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(QtWindowTest, GroupCtrlClickClearingTheSelectionLeavesNoCurrentRow) {
    ClickRow(List("lsvGroupList"), 1);
    EXPECT_EQ(Text(Box("txtGroupName")), "営業部");
    ClickRow(List("lsvGroupList"), 1, Qt::ControlModifier);
    EXPECT_TRUE(List("lsvGroupList")->SelectedRows().empty());
    EXPECT_FALSE(List("lsvGroupList")->CurrentRow());
    EXPECT_EQ(Text(Box("txtGroupName")), "営業部");
}

TEST_F(QtWindowTest, SelectionChangedByCodeRunsNoHandler) {
    List("lsvUserList")->SetSelected(2, true);
    List("lsvGroupList")->SetSelectedRows({0});
    EXPECT_EQ(List("lsvUserList")->SelectedRows(), (std::vector<int>{2}));
    EXPECT_TRUE(UserBoxesEmpty());
    EXPECT_TRUE(Box("txtGroupName")->text().isEmpty());
    F().RefreshUserList();  // a refresh leaves nothing selected
    EXPECT_TRUE(List("lsvUserList")->SelectedRows().empty());
}

// ---- long work

// A save on a slow share: the wait cursor from the start, the progress window
// once it has lasted, and no click, key or request to close taken while it
// runs. A quick load shows no progress window.
TEST_F(QtWindowTest, SlowSaveShowsItsProgressAndTakesNoInputMeanwhile) {
    using namespace std::chrono_literals;
    GenerateBoard(dir / "board", 30, 3);
    SlowFileSystem fs(0us);
    QtMainWindow window(dialogs, dir / "setup.ini", fs);
    bool waitCursor = true, progressShown = false;
    std::string progressText;
    fs.onCall = [&] {
        if (!window.Form().Working()) return;
        const QCursor* cursor = QApplication::overrideCursor();
        waitCursor = waitCursor && cursor && cursor->shape() == Qt::WaitCursor;
        QWidget* progress = window.ProgressWindow();
        if (!progress || !progress->isVisible()) return;
        progressShown = true;
        progressText = progress->findChild<QLabel*>()->text().toStdString();
        PressButton(test::Button(window, "cmdClose"));
        QTest::keyClick(test::Button(window, "cmdSave"), Qt::Key_Space);
        EXPECT_FALSE(window.close());
        EXPECT_FALSE(progress->close());
    };
    ASSERT_EQ(window.Form().Start(), StartResult::Ready);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(progressShown);

    fs.perCall = 25ms;
    window.Form().DataChanged = true;  // a close taken meanwhile would ask
    PressButton(test::Button(window, "cmdSave"));
    EXPECT_TRUE(progressShown);
    EXPECT_TRUE(waitCursor);
    EXPECT_EQ(progressText.rfind("ファイルを保存しています… ", 0), 0u) << progressText;
    EXPECT_EQ(window.ProgressWindow(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"データの保存が完了しました。"});
    EXPECT_FALSE(window.Form().DataChanged);
}

// The real window against the reference model for a few hundred random
// steps: Qt's clicks, Ctrl- and Shift-clicks and keys select what the model
// selects and run the handlers it runs.
TEST(QtModelTest, RandomStepsThroughTheRealWindowAgreeWithTheModel) {
    TempDir dir;
    model::ModelDriver driver(dir.path(), 99, std::make_unique<QtHands>());
    std::string diff = driver.Start(model::RichBoard());
    for (int i = 0; diff.empty() && i < 400; ++i) diff = driver.Step();
    EXPECT_EQ(diff, "") << "at step " << driver.steps << ", last actions:\n" << driver.Log();
}

}  // namespace
}  // namespace solne::test
