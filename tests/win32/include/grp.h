// <grp.h> for the tests of the Windows build: no groups and no other
// accounts there. The tests that play other accounts are left out (see
// tests/win32/test_main.cpp); these stand-ins only fail.
#pragma once

#include <cerrno>

inline int setgroups(int, const unsigned*) { errno = ENOSYS; return -1; }
inline int setgid(unsigned) { errno = ENOSYS; return -1; }
inline int setuid(unsigned) { errno = ENOSYS; return -1; }
