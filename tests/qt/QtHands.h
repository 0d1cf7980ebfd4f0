// Hands of the Qt toolkit for the model driver: the real window, clicked,
// typed into and pressed through Qt's own events.
#pragma once

#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <string_view>

#include "model/ModelDriver.h"
#include "qt/QtMainWindow.h"

namespace solne::test {

// Types text (any script) into a box the way an input method does,
// replacing what it holds.
void TypeInto(QLineEdit* box, const QString& text);
// A mouse click on a row of a list.
void ClickRow(QtListView* list, int row, Qt::KeyboardModifiers mods = Qt::NoModifier);
void PressButton(QPushButton* button);

// The window's control of that name in the layout, as the widget a test
// drives; throws (a failed test) when the window has no such control.
QLineEdit* Box(const QtMainWindow& window, std::string_view name);
QtListView* List(const QtMainWindow& window, std::string_view name);
QPushButton* Button(const QtMainWindow& window, std::string_view name);

class QtHands : public model::Hands {
public:
    frmMain& Open(Dialogs& dialogs, const std::string& setupIniPath) override;
    bool Visible() override { return window_->isVisible(); }
    void Click(model::List list, int row, Mods mods) override;
    std::optional<int> FocusedRow(model::List list) override;
    void Key(model::List list, bool down) override;
    void Type(model::Box box, const std::string& text) override;
    void Press(int button) override;

    QtMainWindow& Window() { return *window_; }

private:
    QtListView* ListOf(model::List list) const {
        return List(*window_, list == model::List::Users ? "lsvUserList" : "lsvGroupList");
    }
    std::unique_ptr<QtMainWindow> window_;
};

}  // namespace solne::test
