#include "store/SettingsPlace.h"

#include <cerrno>

#include "store/Settings.h"

namespace solne {

namespace {

constexpr const char* kFileName = "setup.ini";
constexpr const char* kOwnFolder = "solne";

std::string SettingsFileIn(const std::string& folder) { return JoinPath(JoinPath(folder, kOwnFolder), kFileName); }

}  // namespace

std::string BesideProgramSettingsFile(Places& places) { return JoinPath(places.ProgramFolder(), kFileName); }

std::string AccountSettingsFile(Places& places) {
    const std::string folder = places.AccountSettingsFolder();
    return folder.empty() ? std::string() : SettingsFileIn(folder);
}

std::vector<std::string> SystemSettingsFiles(Places& places) {
    std::vector<std::string> files;
    for (const std::string& folder : places.SystemSettingsFolders()) files.push_back(SettingsFileIn(folder));
    return files;
}

SettingsPlace FindSettingsPlace(FileSystem& fs, Places& places) {
    const std::string programFolder = places.ProgramFolder();
    const std::string beside = JoinPath(programFolder, kFileName);
    const std::string own = AccountSettingsFile(places);
    if (own.empty() || places.IsOwnWritableFolder(programFolder)) return SettingsPlace(beside);
    const bool copiesPreset = places.CopiesPresetToAccount();
    if (!copiesPreset && FileExists(fs, beside)) return SettingsPlace(beside);

    SettingsPlace place(own);
    place.createFolder = true;
    if (FileExists(fs, own)) return place;
    if (copiesPreset && FileExists(fs, beside)) {
        // Failures are not reported here: a preset that cannot be copied is
        // read where it is, and the folder's or file's trouble is reported
        // when a chosen folder is remembered.
        int err = places.MakeFolder(FolderOf(own));
        if (err == 0) err = places.CopyNewFile(beside, own);
        if (err != 0 && err != EEXIST) place.readFrom = beside;
        return place;
    }
    for (const std::string& system : SystemSettingsFiles(places)) {
        if (FileExists(fs, system)) {
            place.readFrom = system;
            break;
        }
    }
    return place;
}

std::optional<Failure> RememberInstalledPath(FileSystem& fs, const SettingsPlace& place, const std::string& folder,
                                             Places& places) {
    if (folder.find_first_of("\r\n") != std::string::npos)
        return Problem(place.file, 0, "フォルダのパスに改行が含まれているため保存できません");
    if (place.createFolder) {
        if (int err = places.MakeFolder(FolderOf(place.file)); err != 0) {
            Failure f = Problem(FolderOf(place.file), 0, "");
            f.code = err;
            return f;
        }
    }
    if (int err = WriteSetting(fs, place.file, "Script", "InstalledPath", folder); err != 0)
        return FileFailure(fs, place.file, "", err);
    return std::nullopt;
}

}  // namespace solne
