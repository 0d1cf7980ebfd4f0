// POSIX calls the store's tests make, for the Windows build of the tests
// (included by the test sources that make them; nothing on other platforms).
// They let the test files compile unchanged; the tests that depend on what only POSIX has (owners,
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
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <unistd.h>

// Declared here rather than through <windows.h>, whose macros would rename
// the store's ReplaceFile and WriteProfileString in the tests.
struct _SECURITY_ATTRIBUTES;
extern "C" {
__declspec(dllimport) int __stdcall CreateHardLinkW(const wchar_t*, const wchar_t*, _SECURITY_ATTRIBUTES*);
__declspec(dllimport) unsigned char __stdcall CreateSymbolicLinkW(const wchar_t*, const wchar_t*, unsigned long);
__declspec(dllimport) int __stdcall SetFileAttributesW(const wchar_t*, unsigned long);
__declspec(dllimport) int __stdcall DeleteFileW(const wchar_t*);
}

#ifndef EDQUOT
#define EDQUOT 122  // no disk quotas on Windows; the number Linux uses
#endif
#define S_ISLNK(m) 0
// No one is root in the POSIX sense: the tests that need root skip
// themselves (and are on the list in tests/win32/test_main.cpp).
inline unsigned geteuid() { return 1000; }
#define SIGKILL 9
#define SIGPIPE 13

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
inline std::wstring ShimWide(const char* utf8) {
    std::string s(utf8);
    std::wstring w = std::filesystem::path(std::u8string(s.begin(), s.end())).wstring();
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    return w;
}
inline int symlink(const char* target, const char* path) {
    std::wstring t = ShimWide(target), p = ShimWide(path);
    if (CreateSymbolicLinkW(p.c_str(), t.c_str(), 0x2 /* ALLOW_UNPRIVILEGED_CREATE */)) return 0;
    errno = EPERM;
    return -1;
}
inline int link(const char* from, const char* to) {
    if (CreateHardLinkW(ShimWide(to).c_str(), ShimWide(from).c_str(), nullptr)) return 0;
    errno = EPERM;
    return -1;
}
// Deleting a read-only file, as POSIX allows in a writable folder.
inline int solne_test_unlink(const char* path) {
    std::wstring w = ShimWide(path);
    SetFileAttributesW(w.c_str(), 0x80 /* FILE_ATTRIBUTE_NORMAL */);
    if (DeleteFileW(w.c_str())) return 0;
    errno = ENOENT;
    return -1;
}
#define unlink(path) solne_test_unlink(path)
inline int mkfifo(const char*, int) { errno = ENOSYS; return -1; }
inline int chown(const char*, unsigned, unsigned) { return 0; }
inline int lchown(const char*, unsigned, unsigned) { return 0; }
// The same calls on std::filesystem paths, which are wide on Windows.
inline int chown(const wchar_t*, unsigned, unsigned) { return 0; }
inline int lchown(const wchar_t*, unsigned, unsigned) { return 0; }
inline int chmod(const wchar_t* path, int mode) { return ::_wchmod(path, mode); }
inline int getppid() { errno = ENOSYS; return -1; }
inline int fork() { errno = ENOSYS; return -1; }
inline int kill(int, int) { errno = ENOSYS; return -1; }
inline int waitpid(int, int*, int) { errno = ENOSYS; return -1; }
inline int pipe(int*) { errno = ENOSYS; return -1; }
#endif
