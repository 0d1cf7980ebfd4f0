// The settings file "setup.ini" (where it lives: store/SettingsPlace), and
// locating the board folder at start-up.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Define/FileSystem.h"

namespace solne {

// Reads a value the way Windows profile functions do: section and key names
// match case-insensitively, blanks around key, "=" and value are ignored, one
// outer pair of matching quotes is removed, ";" starts a comment line, the
// first matching section and key win, CR LF / LF / CR all end a line. A
// missing file, section or key gives "". A file that is not valid UTF-8 is
// read as code page 932. A UTF-8 byte-order mark at the start is skipped.
std::string ReadProfileString(FileSystem& fs, const std::string& file,
                              const std::string& section, const std::string& key);

// Writes a value the way Windows profile functions do: an existing key keeps
// its line, spelling and place; a new key goes after the last key of its
// section; a new section is appended; every other line stays byte for byte;
// CR LF line ends. The file is replaced atomically (temporary file, then
// rename). A value that would not read back unchanged (blanks at either end,
// or one outer pair of matching quotes) is written in double quotes. A file
// in code page 932 stays so when the value has a form there, else the whole
// file is rewritten in UTF-8. Returns 0 or an errno value (EINVAL for a line
// break in the value).
int WriteProfileString(FileSystem& fs, const std::string& file,
                       const std::string& section, const std::string& key,
                       const std::string& value);

// A value of the settings file as the program reads and writes it: through
// the platform's profile functions where it has them (Windows), else through
// ReadProfileString / WriteProfileString. A value that would not read back
// unchanged is written in double quotes either way.
std::string ReadSetting(FileSystem& fs, const std::string& file, const std::string& section,
                        const std::string& key);
int WriteSetting(FileSystem& fs, const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value);

// The board folder and the two data files in it.
struct BoardPaths {
    std::string InstalledPath;
    std::string UserFilePath;   // InstalledPath + "/user.txt"
    std::string GroupFilePath;  // InstalledPath + "/group.txt"
    std::string UserFolder() const;  // InstalledPath + "/user"
    static BoardPaths For(const std::string& installedPath);
};

// The message shown while the data files cannot be found.
extern const char* const kFolderPromptMessage;

struct LocateOutcome {
    bool cancelled = false;  // the user cancelled the folder chooser
    BoardPaths paths;
    bool prompted = false;   // the message and chooser were shown
};

// Locates the board folder: reads "InstalledPath" of section "Script" (a
// relative value is taken relative to the folder of the settings file); while
// "user.txt" or "group.txt" is missing there (nothing of that name, a
// folder, or a link to nothing; a fifo or device is there, and the load
// names its problem), shows the message and asks for
// a folder (chooseFolder returns nullopt on cancel, which ends the search).
// Writes nothing: a chosen folder is remembered (RememberInstalledPath) only
// once its board has loaded.
LocateOutcome LocateInstallation(FileSystem& fs, const std::string& setupIniPath,
                                 const std::function<void(const std::string&)>& showMessage,
                                 const std::function<std::optional<std::string>()>& chooseFolder);

}  // namespace solne
