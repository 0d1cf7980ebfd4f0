// POSIX type names that the platform interface and the store use, for the
// Windows build (mingw-w64 lacks them). Included into every source file of
// that build by CMake, before anything else.
//
// Windows has no owners or groups in this sense: the Windows file system
// reports owner and group 0 for every file and this account as 0
// (EffectiveUser), and never runs as root (RunningAsRoot), so the save never
// tries to hand a file to another account (its owner change is a no-op
// there).
#pragma once

#if defined(_WIN32) && defined(__cplusplus)
#include <cerrno>
#include <sys/types.h>

#ifndef EDQUOT
#define EDQUOT 122  // no disk quotas on Windows; the number Linux uses
#endif

typedef unsigned int uid_t;
typedef unsigned int gid_t;
typedef unsigned int nlink_t;
#endif
