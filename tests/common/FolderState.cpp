#include "common/FolderState.h"

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "common/TempBoard.h"

namespace solne::test {

namespace fs = std::filesystem;

FolderState ReadFolderState(const std::string& root, bool withTimes) {
    FolderState out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        EntryState s;
        const std::string path = e.path().string();
#ifdef _WIN32
        const fs::file_status st = fs::symlink_status(e.path());
        s.kind = fs::is_symlink(st) ? 'l' : fs::is_directory(st) ? 'd' : fs::is_regular_file(st) ? 'f' : '?';
        s.mode = static_cast<unsigned>(st.permissions()) & 07777;
        if (withTimes && s.kind != 'l') s.written = fs::last_write_time(e.path()).time_since_epoch().count();
#else
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            out[fs::relative(e.path(), root).string()] = s;  // vanished while reading: kind '?'
            continue;
        }
        s.kind = S_ISLNK(st.st_mode) ? 'l' : S_ISDIR(st.st_mode) ? 'd' : S_ISREG(st.st_mode) ? 'f' : '?';
        s.mode = st.st_mode & 07777;
        s.owner = static_cast<long>(st.st_uid);
        s.group = static_cast<long>(st.st_gid);
        if (withTimes) s.written = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
#endif
        if (s.kind == 'f') s.bytes = ReadBytes(path);
        if (s.kind == 'l') s.bytes = fs::read_symlink(e.path()).string();
        out[fs::relative(e.path(), root).string()] = std::move(s);
    }
    return out;
}

void PrintTo(const EntryState& e, std::ostream* out) {
    *out << e.kind << " mode " << std::oct << e.mode << std::dec << " owner " << e.owner << ":" << e.group;
    if (e.written) *out << " written " << e.written;
    *out << " " << (e.kind == 'l' ? "-> " : "") << e.bytes.size() << " bytes \"" << e.bytes.substr(0, 80) << "\"";
}

}  // namespace solne::test
