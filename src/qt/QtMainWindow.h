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
    // Long work: the wait cursor over every window of the program, and
    // while it runs no input or request to close reaches any of them
    // (dropped by a filter on the application, not kept for later).
    void BeginWork() override;
    void KeepAnswering() override;
    void ShowProgress(const std::string& text, size_t done, size_t total) override;
    void EndWork() override;
    // The progress window while it is shown; nullptr otherwise.
    QWidget* ProgressWindow() const { return progress_; }

    // The widget of the layout's control of that name (its objectName);
    // nullptr for a name the layout does not have.
    QWidget* Control(std::string_view name) const;

protected:
    // Every way of closing the window passes Form_Unload.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void ConnectHandlers();
    template <typename T>
    T& Get(std::string_view name) const;

    std::map<std::string_view, QWidget*> controls_;  // by the layout's names

    std::unique_ptr<frmMain> form_;
    bool working_ = false;
    QWidget* progress_ = nullptr;  // owned by this window
};

}  // namespace solne
