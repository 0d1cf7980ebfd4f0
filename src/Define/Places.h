// The platform's folders for the program and its settings, and the two
// changes the settings place makes outside the board (a folder, a copied
// file), behind an interface that tests replace to name their own folders
// and to inject failures. The rules of where "setup.ini" lives are the
// store's (store/SettingsPlace); this layer only answers the platform's part.
#pragma once

#include <string>
#include <vector>

namespace solne {

class Places {
public:
    virtual ~Places() = default;

    // The folder that holds the running program (ProgramFolder()).
    virtual std::string ProgramFolder() = 0;
    // Whether `folder` is the program's own and this account can make a
    // file in it. POSIX: not one of the system's program folders (/usr,
    // /bin, /sbin, which belong to the package manager even when root could
    // write them) and writable (access W_OK). Windows: a file can be created
    // there (tried with a temporary file that leaves nothing behind), so a
    // folder under "Program Files" is not.
    virtual bool IsOwnWritableFolder(const std::string& folder) = 0;
    // The folder of this account's settings, in which the program keeps a
    // folder of its own: $XDG_CONFIG_HOME when it is an absolute path, else
    // the home folder's ".config" ($HOME, else the account's home folder);
    // on Windows %APPDATA% (the roaming application data). "" when there is
    // none.
    virtual std::string AccountSettingsFolder() = 0;
    // The system-wide settings folders, most preferred first: each absolute
    // folder of $XDG_CONFIG_DIRS (default /etc/xdg); none on Windows.
    virtual std::vector<std::string> SystemSettingsFolders() = 0;
    // Whether a settings file left beside a program that may not keep its
    // settings there is copied into the account's folder on the first start
    // (Windows: an administrator's preset in "Program Files"), rather than
    // used where it is (POSIX).
    virtual bool CopiesPresetToAccount() = 0;

    // Makes `folder` and its missing parents (mode 0700 on POSIX). Returns 0,
    // also when the folder is there already, ENOTDIR when something else has
    // its name, or an errno value.
    virtual int MakeFolder(const std::string& folder) = 0;
    // Copies the file `from` to the new file `to`; never replaces: EEXIST
    // when `to` is there. The copy can be written (a read-only attribute of
    // `from` is not carried over). Returns 0 or an errno value.
    virtual int CopyNewFile(const std::string& from, const std::string& to) = 0;
};

// This platform's folders and functions.
Places& PlatformPlaces();

}  // namespace solne
