// The Qt toolkit's window: the controls of the layout table as Qt widgets,
// frmMain built on them, and every control event sent to its handler.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "frmMain/frmMain.h"
#include "qt/QtListView.h"

namespace solne {

// A single-line text box.
class QtTextBox : public QLineEdit, public TextBox {
public:
    using QLineEdit::QLineEdit;
    std::string Text() const override { return text().toStdString(); }
    void SetText(const std::string& text) override { setText(QString::fromStdString(text)); }
};

// A push button that Enter presses as well as Space, as on Windows.
class PushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class QtMainWindow : public QWidget, public Window {
    Q_OBJECT
public:
    QtMainWindow(Dialogs& dialogs, SettingsPlace settings, FileSystem& fs = RealFileSystem(),
                 QWidget* parent = nullptr);
    ~QtMainWindow() override;

    // The window's logic, state and handlers.
    frmMain& Form() { return *form_; }

    // ---- Window
    void Show() override { show(); }
    void Close() override { close(); }

    // The widget of the layout's control of that name (its objectName);
    // nullptr for a name the layout does not have.
    QWidget* Control(std::string_view name) const;

protected:
    // Every way of closing the window passes Form_Unload.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void ConnectHandlers();
    template <typename T>
    T& Get(std::string_view name) const;

    std::map<std::string_view, QWidget*> controls_;  // by the layout's names

    std::unique_ptr<frmMain> form_;
};

}  // namespace solne
