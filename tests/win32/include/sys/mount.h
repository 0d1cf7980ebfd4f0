// <sys/mount.h> for the tests of the Windows build: nothing is mounted
// there (the test that mounts a small tmpfs skips itself, as it does on
// POSIX without root).
#pragma once

#include <cerrno>

#define MNT_DETACH 2

inline int mount(const char*, const char*, const char*, unsigned long, const void*) { errno = ENOSYS; return -1; }
inline int umount2(const char*, int) { errno = ENOSYS; return -1; }
