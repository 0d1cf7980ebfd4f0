// The message boxes and the folder chooser of the Qt toolkit: QMessageBox
// and QFileDialog.
#pragma once

#include "frmMain/Dialogs.h"

class QWidget;

namespace solne {

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
