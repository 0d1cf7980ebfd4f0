// The window under test: a temporary board and settings file, the real
// frmMain with scripted boxes, and helpers that click and type the way a
// user does.
#pragma once

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeDialogs.h"
#include "common/TempBoard.h"
#include "frmMain/frmMain.h"

namespace solne::test {

class WindowTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<frmMain> w;

    std::string Board() const { return dir / "board"; }
    std::string Ini() const { return dir / "setup.ini"; }

    void WriteIni(const std::string& folder) {
        WriteBytes(Ini(), "[Script]\r\nInstalledPath=" + folder + "\r\n");
    }

    // Five users in two groups, one without a group.
    static BoardFiles FiveUsers() {
        BoardFiles b;
        b.userLines = {"u01,p1,1", "u02,p2,1", "u03,p3,2", "u04,p4,2", "u05,p5,0"};
        b.groupLines = {"1,総務部", "2,営業部"};
        b.perUser = {{"u01", {"username=田中", "status=1", "plan=会議"}},
                     {"u02", {"username=鈴木", "status=0", "plan="}},
                     {"u03", {"username=高橋", "status=0", "plan="}},
                     {"u04", {"username=渡辺", "status=2", "plan=出張"}},
                     {"u05", {"username=伊藤", "status=0", "plan="}}};
        return b;
    }

    // Writes the board and a settings file naming it, then starts the window.
    StartResult Start(const BoardFiles& board) {
        WriteBoard(Board(), board);
        WriteIni(Board());
        return Open();
    }

    // Starts the window on whatever is on disk; shows it when ready.
    StartResult Open(const std::string& iniPath = "", FileSystem& fs = RealFileSystem()) {
        w = std::make_unique<frmMain>(dialogs, iniPath.empty() ? Ini() : iniPath, fs);
        StartResult result = w->Form_Load();
        if (result == StartResult::Ready) {
            w->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        }
        return result;
    }

    void TearDown() override {
        EXPECT_FALSE(dialogs.unanswered) << "a question was shown with no answer prepared";
        EXPECT_TRUE(dialogs.answers.empty()) << "prepared answers were not used";
        if (w) {
            w->DataChanged = false;  // no question on the way out
            w->close();
        }
    }

    // ---- the user's actions

    static void Click(ListView* list, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QModelIndex index = list->model()->index(row, 0);
        ASSERT_TRUE(index.isValid()) << "no row " << row;
        list->scrollTo(index);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, list->visualRect(index).center());
    }

    // Types text (any script) into a box, replacing what it holds.
    static void Type(QLineEdit* box, const QString& text) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        if (text.isEmpty()) return;
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(box, &event);
    }
    static void Type(QLineEdit* box, const char* utf8) { Type(box, QString::fromUtf8(utf8)); }

    static void Press(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // ---- what the window shows

    static std::vector<std::string> Column(const ListView* list, int k) {
        std::vector<std::string> texts;
        for (int row = 0; row < list->RowCount(); ++row) texts.push_back(list->SubItem(row, k).toStdString());
        return texts;
    }
    static std::string Text(const QLineEdit* box) { return box->text().toStdString(); }

    std::vector<std::string> UserIds() const {
        std::vector<std::string> ids;
        for (const UserInfo& user : w->Users) ids.push_back(user.UserId);
        return ids;
    }
    std::vector<std::string> GroupNames() const {
        std::vector<std::string> names;
        for (const GroupInfo& group : w->Groups) names.push_back(group.GroupName);
        return names;
    }

    bool UserBoxesEmpty() const {
        return w->txtUserId->text().isEmpty() && w->txtPassWords->text().isEmpty() &&
               w->txtUserName->text().isEmpty();
    }

    // The last box shown, checked to be a warning with OK.
    void ExpectWarning(const std::string& text, const std::string& caption = kAppTitle) {
        ASSERT_FALSE(dialogs.boxes.empty());
        const ShownBox& box = dialogs.boxes.back();
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.icon, MsgIcon::Warning);
        EXPECT_EQ(box.buttons, MsgButtons::Ok);
    }
};

}  // namespace solne::test
