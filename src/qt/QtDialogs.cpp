#include "qt/QtDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QStringList>

namespace solne {

namespace {

// A box taller than this many lines would push its buttons off the screen
// (a delete prompt lists every selected user): the box then shows the first
// lines and keeps the whole text under its details button.
constexpr int kMaxShownLines = 25;

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
    QStringList lines = shown.split(QLatin1Char('\n'));
    if (lines.size() > kMaxShownLines) {
        box.setDetailedText(shown);
        shown = lines.mid(0, kMaxShownLines).join(QLatin1Char('\n')) + QStringLiteral("\n…");
    }
    box.setText(shown);
    box.setStandardButtons(ButtonsOf(buttons));
    box.setDefaultButton(ToQt(defaultButton));
    if (buttons == MsgButtons::YesNoCancel) box.setEscapeButton(QMessageBox::Cancel);
    return FromQt(box.exec(), buttons);
}

std::optional<std::string> QtDialogs::ChooseFolder() {
    QString folder = QFileDialog::getExistingDirectory(Owner(), QString(), QString(),
                                                       QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdString();
}

}  // namespace solne
