#include "qt/QtDialogs.h"

#include <algorithm>

#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QScreen>
#include <QStringList>

namespace solne {

namespace {

// A box taller than this many lines would push its buttons off the screen
// (a delete prompt lists every selected user): the box then shows its text
// in a scrollable area of this height instead, and its buttons stay in view.
constexpr int kMaxShownLines = 25;

// Puts the whole text into a read-only scrollable area in place of the box's
// text label. The box's text() stays the whole text.
void ShowInScrollArea(QMessageBox& box, const QString& text) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!label || !grid) return;
    const int at = grid->indexOf(label);
    if (at < 0) return;
    int row = 0, column = 0, rows = 1, columns = 1;
    grid->getItemPosition(at, &row, &column, &rows, &columns);

    auto* area = new QPlainTextEdit(&box);
    area->setObjectName(QStringLiteral("solne_msgbox_text"));
    area->setReadOnly(true);
    area->setPlainText(text);
    area->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics(area->font());
    int height = metrics.lineSpacing() * kMaxShownLines + 2 * area->frameWidth() + 8;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        height = std::min(height, screen->availableGeometry().height() * 3 / 5);
    area->setFixedHeight(height);
    area->setMinimumWidth(metrics.horizontalAdvance(QLatin1Char('M')) * 40);
    label->hide();
    grid->addWidget(area, row, column, rows, columns);
}

QMessageBox::StandardButton ToQt(MsgAnswer answer) {
    switch (answer) {
    case MsgAnswer::Ok: return QMessageBox::Ok;
    case MsgAnswer::Yes: return QMessageBox::Yes;
    case MsgAnswer::No: return QMessageBox::No;
    case MsgAnswer::Cancel: return QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButtons ButtonsOf(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok: return QMessageBox::Ok;
    case MsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// Esc and the close box give the escape button: Cancel where there is one,
// No in a Yes/No box, OK in an OK box.
MsgAnswer FromQt(int result, MsgButtons buttons) {
    if (result == QMessageBox::Yes) return MsgAnswer::Yes;
    if (result == QMessageBox::No) return MsgAnswer::No;
    switch (buttons) {
    case MsgButtons::Ok: return MsgAnswer::Ok;
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::YesNoCancel: return MsgAnswer::Cancel;
    }
    return MsgAnswer::Cancel;
}

}  // namespace

QWidget* QtDialogs::Owner() const {
    return parent_ && parent_->isVisible() ? parent_ : nullptr;
}

MsgAnswer QtDialogs::MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                            MsgAnswer defaultButton, const std::string& caption) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    QMessageBox box(Owner());
    box.setWindowTitle(QString::fromStdString(caption));
    box.setIcon(icon == MsgIcon::Information ? QMessageBox::Information : QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.setText(shown);
    box.setStandardButtons(ButtonsOf(buttons));
    box.setDefaultButton(ToQt(defaultButton));
    if (buttons == MsgButtons::YesNoCancel) box.setEscapeButton(QMessageBox::Cancel);
    if (shown.count(QLatin1Char('\n')) + 1 > kMaxShownLines) ShowInScrollArea(box, shown);
    return FromQt(box.exec(), buttons);
}

std::optional<std::string> QtDialogs::ChooseFolder() {
    QString folder = QFileDialog::getExistingDirectory(Owner(), QString(), QString(),
                                                       QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdString();
}

}  // namespace solne
