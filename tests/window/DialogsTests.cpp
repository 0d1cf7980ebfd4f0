// The real message boxes: what they show and what Esc and the close box answer.
#include <QMessageBox>
#include <QTimer>

#include <functional>

#include "WindowTest.h"
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

TEST(QtDialogsTest, AVeryLongPromptKeepsItsButtonsOnScreen) {
    QtDialogs dialogs;
    std::string prompt = "以下のユーザーを削除しますか？\r\n\r\n";
    for (int i = 0; i < 500; ++i) prompt += "名前(u" + std::to_string(i) + ")\r\n";
    int shownLines = 0;
    QString detailed;
    WhenBoxOpens([&](QMessageBox* box) {
        shownLines = int(box->text().count(QLatin1Char('\n'))) + 1;
        detailed = box->detailedText();
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(dialogs.MsgBox(prompt, MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::Yes, "ソルネ"), MsgAnswer::Yes);
    EXPECT_LE(shownLines, 30);
    EXPECT_TRUE(detailed.contains(QStringLiteral("名前(u499)")));
}

}  // namespace
}  // namespace solne::test
