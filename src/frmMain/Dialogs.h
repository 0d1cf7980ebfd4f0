// The one way the window talks to the user outside its own controls:
// message boxes and the folder chooser. frmMain holds a Dialogs and never
// opens a box itself, so each toolkit brings its own boxes and tests can
// answer every box.
#pragma once

#include <optional>
#include <string>

namespace solne {

// The application title: window caption and caption of every box that does
// not name its own.
inline constexpr const char* kAppTitle = "ソルネ";

enum class MsgIcon { Information, Warning };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows a modal message box and returns the button pressed. `text` is
    // UTF-8; CR LF in it starts a new line. Esc and the close box give
    // Cancel where there is one, No in a Yes/No box, OK in an OK box.
    virtual MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                             MsgAnswer defaultButton, const std::string& caption) = 0;

    // Asks for a folder; nullopt when the user cancels.
    virtual std::optional<std::string> ChooseFolder() = 0;
};

}  // namespace solne
