// The Qt message boxes: what they show and what Esc and the close box answer.
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "qt/QtDialogs.h"

namespace solne::test {
namespace {

// Runs `act` on the message box as soon as it is open.
void WhenBoxOpens(std::function<void(QMessageBox*)> act) {
    QTimer::singleShot(0, [act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return WhenBoxOpens(act);
        act(box);
    });
}

TEST(QtDialogsTest, YesNoCancelShowsItsTextAndEscCountsAsCancel) {
    QtDialogs dialogs;
    QString text, title;
    QMessageBox::Icon icon{};
    QAbstractButton* defaultButton = nullptr;
    QAbstractButton* yes = nullptr;
    WhenBoxOpens([&](QMessageBox* box) {
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        defaultButton = box->defaultButton();
        yes = box->button(QMessageBox::Yes);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    MsgAnswer answer = dialogs.MsgBox("一行目\r\n\r\n三行目", MsgIcon::Warning, MsgButtons::YesNoCancel,
                                      MsgAnswer::Yes, "ソルネ");
    EXPECT_EQ(answer, MsgAnswer::Cancel);
    EXPECT_EQ(text, QStringLiteral("一行目\n\n三行目"));
    EXPECT_EQ(title, QStringLiteral("ソルネ"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(defaultButton, yes);
}

TEST(QtDialogsTest, ClosingTheBoxCountsAsCancel) {
    QtDialogs dialogs;
    WhenBoxOpens([](QMessageBox* box) { box->close(); });
    EXPECT_EQ(dialogs.MsgBox("x", MsgIcon::Warning, MsgButtons::YesNoCancel, MsgAnswer::Yes, "ソルネ"),
              MsgAnswer::Cancel);
}

TEST(QtDialogsTest, ButtonsAnswerAsPressed) {
    QtDialogs dialogs;
    WhenBoxOpens([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_EQ(dialogs.MsgBox("x", MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::Yes, "ソルネ"), MsgAnswer::No);
    WhenBoxOpens([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });  // the default
    EXPECT_EQ(dialogs.MsgBox("x", MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::Yes, "ソルネ"), MsgAnswer::Yes);
    WhenBoxOpens([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(dialogs.MsgBox("x", MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::Yes, "ソルネ"), MsgAnswer::No);
}

// Every line of a long question is in a scrollable area of the box; the
// buttons stay on the screen and the default still answers Enter.
TEST(QtDialogsTest, AVeryLongPromptShowsEveryLineAndKeepsItsButtonsOnScreen) {
    QtDialogs dialogs;
    std::string prompt = "以下のユーザーを削除しますか？\r\n\r\n";
    for (int i = 0; i < 500; ++i) prompt += "名前(u" + std::to_string(i) + ")\r\n";
    QString shown;
    bool scrolls = false, buttonsOnScreen = false;
    WhenBoxOpens([&](QMessageBox* box) {
        if (auto* area = box->findChild<QPlainTextEdit*>()) {
            shown = area->toPlainText();
            scrolls = area->isVisible() && area->verticalScrollBar()->maximum() > 0;
        }
        const QRect screen = box->screen()->availableGeometry();
        const QRect yes(box->button(QMessageBox::Yes)->mapToGlobal(QPoint(0, 0)),
                        box->button(QMessageBox::Yes)->size());
        buttonsOnScreen = box->frameGeometry().height() <= screen.height() && box->button(QMessageBox::Yes)->isVisible() &&
                          yes.bottom() <= screen.bottom();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(dialogs.MsgBox(prompt, MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::Yes, "ソルネ"), MsgAnswer::Yes);
    EXPECT_TRUE(scrolls);
    EXPECT_TRUE(buttonsOnScreen);
    QString expected = QString::fromStdString(prompt);
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(shown, expected);
}

// A short box shows its text as a plain message, without the area.
TEST(QtDialogsTest, AShortPromptHasNoScrollArea) {
    QtDialogs dialogs;
    bool area = true;
    WhenBoxOpens([&](QMessageBox* box) {
        area = box->findChild<QPlainTextEdit*>() != nullptr;
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.MsgBox("一行", MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok, "ソルネ");
    EXPECT_FALSE(area);
}

}  // namespace
}  // namespace solne::test
