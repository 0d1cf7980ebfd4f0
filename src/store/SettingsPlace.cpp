#include "store/SettingsPlace.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <pwd.h>
#endif

#include "store/Settings.h"

namespace solne {

namespace {

constexpr const char* kFileName = "setup.ini";
constexpr const char* kOwnFolder = "solne";

std::string EnvOr(const char* name, std::string fallback = {}) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::move(fallback);
}

bool InsideFolder(std::string_view path, std::string_view folder) {
    return path == folder || (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
                              path[folder.size()] == '/');
}

// Makes `folder` and its missing parents, each with mode 0700.
int MakeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT) return errno;
    const std::string parent = FolderOf(folder);
    if (parent != folder) {
        if (int err = MakeFolders(parent)) return err;
    }
#ifdef _WIN32
    if (::mkdir(folder.c_str()) != 0 && errno != EEXIST) return errno;
#else
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
#endif
    return 0;
}

}  // namespace

SettingsEnvironment SettingsEnvironment::Current() {
    SettingsEnvironment env;
    env.programFolder = ProgramFolder();
    env.home = EnvOr("HOME");
#ifndef _WIN32
    if (env.home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) env.home = pw->pw_dir;
    }
#endif
    env.xdgConfigHome = EnvOr("XDG_CONFIG_HOME");
    env.xdgConfigDirs = EnvOr("XDG_CONFIG_DIRS");
    return env;
}

bool MayWriteBeside(const std::string& folder) {
    for (std::string_view system : {"/usr", "/bin", "/sbin"})
        if (InsideFolder(folder, system)) return false;
    return ::access(folder.c_str(), W_OK) == 0;
}

std::string UserSettingsFile(const SettingsEnvironment& env) {
    std::string base = env.xdgConfigHome;
    if (!IsAbsolutePath(base)) {
        if (!IsAbsolutePath(env.home)) return {};
        base = JoinPath(env.home, ".config");
    }
    return JoinPath(JoinPath(base, kOwnFolder), kFileName);
}

std::vector<std::string> SystemSettingsFiles(const SettingsEnvironment& env) {
    const std::string dirs = env.xdgConfigDirs.empty() ? std::string("/etc/xdg") : env.xdgConfigDirs;
    std::vector<std::string> files;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) colon = dirs.size();
        const std::string dir = dirs.substr(start, colon - start);
        if (IsAbsolutePath(dir)) files.push_back(JoinPath(JoinPath(dir, kOwnFolder), kFileName));
        start = colon + 1;
    }
    return files;
}

SettingsPlace FindSettingsPlace(FileSystem& fs, const SettingsEnvironment& env,
                                const std::function<bool(const std::string&)>& mayWriteBeside) {
    const std::string beside = JoinPath(env.programFolder, kFileName);
    const std::string own = UserSettingsFile(env);
    if (own.empty() || FileExists(fs, beside) || mayWriteBeside(env.programFolder)) return SettingsPlace(beside);

    SettingsPlace place(own);
    place.createFolder = true;
    if (FileExists(fs, own)) return place;
    for (const std::string& system : SystemSettingsFiles(env)) {
        if (FileExists(fs, system)) {
            place.readFrom = system;
            break;
        }
    }
    return place;
}

std::optional<Failure> RememberInstalledPath(FileSystem& fs, const SettingsPlace& place, const std::string& folder) {
    if (folder.find_first_of("\r\n") != std::string::npos)
        return Problem(place.file, 0, "フォルダのパスに改行が含まれているため保存できません");
    if (place.createFolder) {
        if (int err = MakeFolders(FolderOf(place.file)); err != 0) {
            Failure f = Problem(FolderOf(place.file), 0, "");
            f.code = err;  // of the C library's calls: no code of the platform behind it
            return f;
        }
    }
    if (int err = WriteSetting(fs, place.file, "Script", "InstalledPath", folder); err != 0)
        return FileFailure(fs, place.file, "", err);
    return std::nullopt;
}

}  // namespace solne
