// POSIX calls the store's tests make, for the Windows build of the tests
// (included into every test source there by CMake). They let the test files
// compile unchanged; the tests that depend on what only POSIX has (owners,
// symbolic links, fifos, fork and kill, permission bits beyond read-only,
// the umask) are left out on Windows by the list in tests/win32/test_main.cpp,
// so these stand-ins only fail.
#pragma once

#if defined(_WIN32) && defined(__cplusplus)
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <direct.h>
#include <random>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#define S_ISLNK(m) 0
#define SIGKILL 9

inline int lstat(const char* path, struct stat* st) { return ::stat(path, st); }
// std::filesystem paths are wide on Windows.
inline int lstat(const wchar_t* path, struct stat* st) {
    struct _stat64 s {};
    if (::_wstat64(path, &s) != 0) return -1;
    *st = {};
    st->st_mode = s.st_mode;
    st->st_size = decltype(st->st_size)(s.st_size);
    st->st_mtime = decltype(st->st_mtime)(s.st_mtime);
    return 0;
}
inline char* mkdtemp(char* tmpl) {
    static std::mt19937 random{std::random_device{}()};
    size_t n = std::strlen(tmpl);
    if (n < 6) { errno = EINVAL; return nullptr; }
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = n - 6; i < n; ++i) tmpl[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
        if (::_mkdir(tmpl) == 0) return tmpl;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}
inline int symlink(const char*, const char*) { errno = ENOSYS; return -1; }
inline int link(const char*, const char*) { errno = ENOSYS; return -1; }
inline int mkfifo(const char*, int) { errno = ENOSYS; return -1; }
inline int chown(const char*, unsigned, unsigned) { return 0; }
inline int fork() { errno = ENOSYS; return -1; }
inline int kill(int, int) { errno = ENOSYS; return -1; }
inline int waitpid(int, int*, int) { errno = ENOSYS; return -1; }
inline int pipe(int*) { errno = ENOSYS; return -1; }
#endif
