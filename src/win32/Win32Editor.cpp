#include "win32/Win32Editor.h"

#include <string_view>
#include <utility>

namespace solne::win32 {

void Connect(Form& form, frmMain& main) {
    struct Button {
        std::string_view name;
        void (frmMain::*handler)();
    };
    static constexpr Button kButtons[] = {
        {"cmdUserAdd", &frmMain::cmdUserAdd_Click},         {"cmdUserUp", &frmMain::cmdUserUp_Click},
        {"cmdUserDelete", &frmMain::cmdUserDelete_Click},   {"cmdGroupAdd", &frmMain::cmdGroupAdd_Click},
        {"cmdGroupUp", &frmMain::cmdGroupUp_Click},         {"cmdGroupDelete", &frmMain::cmdGroupDelete_Click},
        {"cmdGroupSet", &frmMain::cmdGroupSet_Click},       {"cmdGroupCancel", &frmMain::cmdGroupCancel_Click},
        {"cmdSave", &frmMain::cmdSave_Click},               {"cmdClose", &frmMain::cmdClose_Click},
    };
    FormHandlers handlers;
    handlers.click = [&main](std::string_view name) {
        for (const Button& b : kButtons)
            if (b.name == name) return (main.*b.handler)();
    };
    handlers.itemClick = [&main](std::string_view list) {
        if (list == "lsvUserList") main.lsvUserList_ItemClick();
        else if (list == "lsvGroupList") main.lsvGroupList_ItemClick();
    };
    handlers.unload = [&main](bool& cancel) { main.Form_Unload(cancel); };
    form.SetHandlers(std::move(handlers));
}

Editor::Editor(HINSTANCE instance, SettingsPlace settings, FileSystem& fs, MessageBoxFn messageBox)
    : form_(instance),
      dialogs_([this] { return form_.Handle(); }, std::move(messageBox)),
      main_(std::make_unique<frmMain>(form_.Controls(dialogs_), std::move(settings), fs)) {
    Connect(form_, *main_);
}

}  // namespace solne::win32
