// The parts of the file services that do not depend on the platform: the
// existence test, path joining and the read-only wrapper.
#include "Define/FileSystem.h"

#include <cctype>
#include <cerrno>

namespace solne {

bool FileExists(FileSystem& fs, const std::string& path) {
    FileStat st;
    return fs.Stat(path, st) == 0 && st.isRegular;
}

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && std::string_view(kPathSeparators).find(folder.back()) != std::string_view::npos)
        return folder + name;
    return folder + kSeparator + name;
}

std::string NativePath(std::string path) {
#ifdef _WIN32
    for (char& c : path)
        if (c == '/') c = kSeparator;
#endif
    return path;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of(kPathSeparators);
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of(kPathSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAbsolutePath(const std::string& path) {
#ifdef _WIN32
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/'))
        return true;
    return !path.empty() && (path[0] == '\\' || path[0] == '/');
#else
    return !path.empty() && path[0] == '/';
#endif
}


// ------------------------------------------------------ read-only access

int ReadOnlyFileSystem::CreateAt(Handle, const std::string&, FileMode, Handle& file) {
    file = Handle();
    return EROFS;
}

int ReadOnlyFileSystem::OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& file, FileStat* st) {
    file = Handle();
    return forWriting ? EROFS : inner_.OpenAt(dir, name, false, file, st);
}

}  // namespace solne
