#include "QtHands.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>

#include <stdexcept>
#include <string>

namespace solne::test {

void TypeInto(QLineEdit* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    if (text.isEmpty()) return;
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(box, &event);
}

void ClickRow(QtListView* list, int row, Qt::KeyboardModifiers mods) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, list->visualRect(index).center());
}

void PressButton(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

namespace {
template <typename T>
T* Named(const QtMainWindow& window, std::string_view name) {
    if (auto* control = dynamic_cast<T*>(window.Control(name))) return control;
    throw std::logic_error("the window has no control " + std::string(name) + " of that kind");
}
}  // namespace

QLineEdit* Box(const QtMainWindow& window, std::string_view name) { return Named<QLineEdit>(window, name); }
QtListView* List(const QtMainWindow& window, std::string_view name) { return Named<QtListView>(window, name); }
QPushButton* Button(const QtMainWindow& window, std::string_view name) { return Named<QPushButton>(window, name); }

frmMain& QtHands::Open(Dialogs& dialogs, const std::string& setupIniPath) {
    window_.reset();
    window_ = std::make_unique<QtMainWindow>(dialogs, setupIniPath);
    if (window_->Form().Start() == StartResult::Ready) (void)QTest::qWaitForWindowExposed(window_.get());
    return window_->Form();
}

void QtHands::Click(model::List list, int row, Mods mods) {
    const Qt::KeyboardModifiers qt = mods == Mods::Ctrl    ? Qt::ControlModifier
                                     : mods == Mods::Shift ? Qt::ShiftModifier
                                                           : Qt::NoModifier;
    ClickRow(ListOf(list), row, qt);
}

std::optional<int> QtHands::FocusedRow(model::List list) {
    const QModelIndex focused = ListOf(list)->currentIndex();
    if (!focused.isValid()) return std::nullopt;
    return focused.row();
}

void QtHands::Key(model::List list, bool down) {
    QTest::keyClick(ListOf(list), down ? Qt::Key_Down : Qt::Key_Up);
}

void QtHands::Type(model::Box box, const std::string& text) {
    const char* boxes[] = {"txtUserId", "txtPassWords", "txtUserName", "txtGroupName"};
    TypeInto(Box(*window_, boxes[int(box)]), QString::fromStdString(text));
}

void QtHands::Press(int button) { PressButton(Button(*window_, model::CommandName(model::Command(button)))); }

}  // namespace solne::test
