// What the editor does before its window: the few command-line options and
// the application's identity (desktop entry name, window icon).
#pragma once

#include <optional>
#include <string>

namespace solne {

struct SettingsPlace;
class Places;

// "solne --help" and "solne --version": prints and returns the exit status.
// Any other command line opens the editor (nullopt).
std::optional<int> HandleEditorArguments(int argc, char** argv);

// The text of "solne --help" for this account.
std::string EditorHelpText(Places& places, const SettingsPlace& place);

// Sets the desktop file name (the compositor finds the icon through it) and
// the window icon of every window of the application.
void SetApplicationIdentity();

}  // namespace solne
