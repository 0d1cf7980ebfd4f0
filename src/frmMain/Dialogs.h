// The one way the window talks to the user outside its own controls:
// message boxes and the folder chooser. The window holds a Dialogs and never
// creates a QMessageBox or QFileDialog itself, so tests can answer every box.
#pragma once

#include <optional>
#include <string>

class QWidget;

namespace solne {

// The application title: window caption and caption of every box that does
// not name its own.
extern const char* const kAppTitle;

enum class MsgIcon { Information, Warning };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows a modal message box and returns the button pressed. `text` is
    // UTF-8; CR LF in it starts a new line.
    virtual MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                             MsgAnswer defaultButton, const std::string& caption) = 0;

    // Asks for a folder; nullopt when the user cancels.
    virtual std::optional<std::string> ChooseFolder() = 0;
};

// The real boxes: QMessageBox and QFileDialog.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                     MsgAnswer defaultButton, const std::string& caption) override;
    std::optional<std::string> ChooseFolder() override;

private:
    QWidget* Owner() const;
    QWidget* parent_;
};

}  // namespace solne
