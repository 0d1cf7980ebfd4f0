// The Qt toolkit's window: the controls of the layout table as Qt widgets,
// frmMain built on them, and every control event sent to its handler.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <memory>
#include <string>

#include "frmMain/frmMain.h"
#include "qt/QtListView.h"

class QLabel;

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
    QtMainWindow(Dialogs& dialogs, std::string setupIniPath, FileSystem& fs = RealFileSystem(),
                 QWidget* parent = nullptr);
    ~QtMainWindow() override;

    // The window's logic, state and handlers.
    frmMain& Form() { return *form_; }

    // ---- Window
    void Show() override { show(); }
    void Close() override { close(); }

    // ---- the controls, named as in the layout table
    QLabel* lblUserId;
    QtTextBox* txtUserId;
    QLabel* lblPassWords;
    QtTextBox* txtPassWords;
    QLabel* lblUserName;
    QtTextBox* txtUserName;
    PushButton* cmdUserAdd;
    PushButton* cmdUserUp;
    PushButton* cmdUserDelete;
    QLabel* lblUserList;
    QtListView* lsvUserList;
    QLabel* lblGroupName;
    QtTextBox* txtGroupName;
    PushButton* cmdGroupAdd;
    PushButton* cmdGroupUp;
    PushButton* cmdGroupDelete;
    QLabel* lblGroupList;
    QtListView* lsvGroupList;
    PushButton* cmdGroupSet;
    PushButton* cmdGroupCancel;
    PushButton* cmdSave;
    PushButton* cmdClose;

protected:
    // Every way of closing the window passes Form_Unload.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void ConnectHandlers();

    std::unique_ptr<frmMain> form_;
};

}  // namespace solne
