// Where the editor keeps "setup.ini" on Windows.
#pragma once

#include <string>

namespace solne::win32 {

// "setup.ini" beside the program when its folder can be written. A program
// installed where the user cannot write (under "Program Files") keeps it in
// "%APPDATA%\solne\setup.ini" instead, creating that folder; a "setup.ini"
// an administrator left beside the program is copied there the first time,
// so its board folder is still found. Paths are UTF-8.
std::string SettingsFilePath();

// The same for a given program folder and application-data folder (UTF-8),
// `programFolderWritable` saying whether the program's folder can be written.
std::string SettingsFilePath(const std::string& programFolder, const std::string& appDataFolder,
                             bool programFolderWritable);

// True when a new file can be created in `folder` (UTF-8).
bool FolderWritable(const std::string& folder);

}  // namespace solne::win32
