// The lists' model (src/qt/QtListView.*) under QAbstractItemModelTester:
// alone through columns added and rows replaced, and inside the window
// while the handlers fill, refill and empty both lists.
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ModelTesterWatch.h"
#include "common/TempBoard.h"
#include "fake/FakeDialogs.h"
#include "qt/QtListView.h"
#include "qt/QtMainWindow.h"

namespace solne::test {
namespace {

std::vector<ListRow> Rows(int count) {
    std::vector<ListRow> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back(ListRow{{"名前" + std::to_string(i), "u" + std::to_string(i), "課"}, i});
    return rows;
}

TEST(QtListModelTest, ColumnsAndRowsKeepTheModelConsistent) {
    ModelTesterWatch watch;
    QtListView list(/*multiSelect=*/true);
    watch.Watch(list.model());
    list.AddColumn("ユーザー名", 1385);
    list.SetRows(Rows(3));  // rows before every column is there
    list.AddColumn("ユーザーID", 1385);
    list.AddColumn("グループ名", 1385);
    list.SetRows(Rows(40));
    list.SetSelectedRows({1, 39});
    list.SetRows(Rows(2));  // fewer rows than the selection named
    list.SetRows({});
    list.SetRows(Rows(1));

    EXPECT_EQ(ModelTesterWatch::Report(), "");
    ASSERT_EQ(list.model()->rowCount(), 1);
    ASSERT_EQ(list.model()->columnCount(), 3);
    EXPECT_EQ(list.model()->index(0, 1).data().toString(), QString("u0"));
    EXPECT_EQ(list.model()->headerData(2, Qt::Horizontal).toString(), QString("グループ名"));
    EXPECT_FALSE(list.model()->hasChildren(list.model()->index(0, 0)));
}

// A list of one column (the groups) holds rows of three texts: only the
// first is shown.
TEST(QtListModelTest, OneColumnShowsOnlyTheFirstText) {
    ModelTesterWatch watch;
    QtListView list(/*multiSelect=*/false);
    watch.Watch(list.model());
    list.AddColumn("グループ名", 2915);
    list.SetRows(Rows(5));
    EXPECT_EQ(ModelTesterWatch::Report(), "");
    EXPECT_EQ(list.model()->columnCount(), 1);
    EXPECT_FALSE(list.model()->index(0, 1).isValid());
    EXPECT_EQ(list.model()->index(4, 0).data().toString(), QString("名前4"));
}

// Both lists watched while the window starts and its handlers change them.
TEST(QtListModelTest, WindowCommandsKeepBothModelsConsistent) {
    ModelTesterWatch watch;
    TempDir dir;
    WriteBoard(dir / "board", FiveUsers());
    WriteBytes(dir / "setup.ini", "[Script]\r\nInstalledPath=" + (dir / "board") + "\r\n");
    FakeDialogs dialogs;
    QtMainWindow w(dialogs, dir / "setup.ini");
    const QList<QtListView*> lists = w.findChildren<QtListView*>();
    ASSERT_EQ(lists.size(), 2);
    for (QtListView* list : lists) watch.Watch(list->model());

    ASSERT_EQ(w.Form().Start(), StartResult::Ready);
    frmMain& f = w.Form();
    auto* users = dynamic_cast<QtListView*>(f.lsvUserList);
    auto* groups = dynamic_cast<QtListView*>(f.lsvGroupList);
    ASSERT_TRUE(users && groups);
    // A new group, two users put into it, the first group deleted (its users
    // lose their group), then both lists drawn again.
    f.txtGroupName->SetText("開発部");
    f.cmdGroupAdd_Click();
    ASSERT_EQ(groups->RowCount(), 3);
    users->SetSelectedRows({0, 1});
    groups->SetSelectedRows({2});
    f.cmdGroupSet_Click();
    groups->SetSelectedRows({0});
    f.lsvGroupList_ItemClick();
    dialogs.answers.push_back(MsgAnswer::Yes);
    f.cmdGroupDelete_Click();
    f.RefreshUserList();
    f.RefreshGroupList();

    EXPECT_EQ(ModelTesterWatch::Report(), "");
    EXPECT_EQ(groups->RowCount(), 2);
    EXPECT_EQ(users->RowCount(), 5);
    EXPECT_EQ(users->model()->index(0, 2).data().toString(), QString("開発部"));
    EXPECT_FALSE(dialogs.unanswered);
    EXPECT_TRUE(dialogs.answers.empty());
    f.DataChanged = false;  // no question on the way out
}

}  // namespace
}  // namespace solne::test
