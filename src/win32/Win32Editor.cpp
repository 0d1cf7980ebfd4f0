#include "win32/Win32Editor.h"

#include <string_view>
#include <utility>

#include "frmMain/Layout.h"

namespace solne::win32 {

// Buttons and lists raise the handlers the layout names for them.
void Connect(Form& form, frmMain& main) {
    FormHandlers handlers;
    handlers.click = [&main](std::string_view name) { layout::Raise(main, name); };
    handlers.itemClick = [&main](std::string_view list) { layout::Raise(main, list); };
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
