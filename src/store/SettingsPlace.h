// Where "setup.ini" is kept, on every platform: beside the program when
// that folder is the program's own and writable; else in the account's
// settings folder, reading a system-wide default (POSIX) or copying a preset
// left beside the program (Windows) while the account has none. The platform
// answers for its folders and makes the folder and the copy (Define/Places).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Define/FileSystem.h"
#include "Define/Places.h"
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
    std::string readFrom;  // the file read at start: `file`, or a default the account has not replaced
    bool createFolder = false;  // the folder of `file` is made (mode 0700) when missing
};

// "setup.ini" beside the program.
std::string BesideProgramSettingsFile(Places& places);

// The account's own file, "solne/setup.ini" in the account's settings
// folder; "" when the account has none.
std::string AccountSettingsFile(Places& places);

// The system-wide defaults, in order of preference: "solne/setup.ini" in
// each system settings folder.
std::vector<std::string> SystemSettingsFiles(Places& places);

// Picks the settings file, in this order:
//  1. "setup.ini" beside the program, when the program's folder is its own
//     and writable, or the account has no settings folder;
//  2. where the platform uses a file beside the program as it is (POSIX),
//     that file when it exists;
//  3. the account's own file (AccountSettingsFile). While the account has
//     none: where the platform copies a preset (Windows), a file beside the
//     program is copied there (a preset that cannot be copied is read where
//     it is); without a preset the first system-wide default that exists is
//     read.
// A folder chosen later is remembered in the file picked.
SettingsPlace FindSettingsPlace(FileSystem& fs, Places& places = PlatformPlaces());

// Writes the board folder into the settings file, making the account's
// settings folder first when the place asks for it. Returns what failed
// (the file or folder and the reason), nothing when it was written.
std::optional<Failure> RememberInstalledPath(FileSystem& fs, const SettingsPlace& place, const std::string& folder,
                                             Places& places = PlatformPlaces());

}  // namespace solne
