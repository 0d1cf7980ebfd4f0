// Where "setup.ini" is kept. Beside the program comes first, as on Windows;
// a program installed where its users cannot write keeps it in each
// account's configuration folder instead, with a system-wide default.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Define/FileSystem.h"
#include "store/Failure.h"

namespace solne {

// The settings file of this run.
struct SettingsPlace {
    SettingsPlace() = default;
    // One file, read and written: "setup.ini" beside the program, or a file
    // a test names.
    SettingsPlace(std::string path)  // NOLINT(google-explicit-constructor)
        : file(path), readFrom(std::move(path)) {}

    std::string file;      // the file a chosen folder is remembered in
    std::string readFrom;  // the file read at start: `file`, or the system-wide default
    bool createFolder = false;  // the folder of `file` is made (mode 0700) when missing
};

// What decides the place.
struct SettingsEnvironment {
    std::string programFolder;
    std::string home;           // $HOME, else the account's home folder
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME as set ("" when unset)
    std::string xdgConfigDirs;  // $XDG_CONFIG_DIRS as set ("" when unset)
    static SettingsEnvironment Current();
};

// Whether the settings may be kept in the program's own folder when none is
// there yet: the folder is writable for this account and is not one of the
// system's program folders (/usr, /bin, /sbin), which belong to the package
// manager even when root could write them.
bool MayWriteBeside(const std::string& folder);

// The account's own file: $XDG_CONFIG_HOME/solne/setup.ini when that is an
// absolute path, else ~/.config/solne/setup.ini; "" without a home folder.
std::string UserSettingsFile(const SettingsEnvironment& env);

// The system-wide defaults, in order of preference: solne/setup.ini in each
// absolute folder of $XDG_CONFIG_DIRS (default /etc/xdg).
std::vector<std::string> SystemSettingsFiles(const SettingsEnvironment& env);

// Picks the settings file, in this order:
//  1. "setup.ini" beside the program, when it exists or `mayWriteBeside`
//     says the program's folder can hold it;
//  2. the account's own file (UserSettingsFile), when it exists;
//  3. otherwise the first system-wide default that exists is read, and a
//     folder chosen later is remembered in the account's own file.
// Without a home folder the file beside the program is used.
SettingsPlace FindSettingsPlace(FileSystem& fs, const SettingsEnvironment& env,
                                const std::function<bool(const std::string&)>& mayWriteBeside = MayWriteBeside);

// Writes the board folder into the settings file, making the account's
// configuration folder first when the place asks for it. Returns what failed
// (the file or folder and the reason), nothing when it was written.
std::optional<Failure> RememberInstalledPath(FileSystem& fs, const SettingsPlace& place, const std::string& folder);

}  // namespace solne
