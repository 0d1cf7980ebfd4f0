// What a Windows error code (GetLastError) means to the store and to its
// reports: one table. A code of the table becomes its portable errno value,
// or one of the named reasons of Define/FileSystem.h (another program holds
// the file, a network share refuses access, a mapped file); any other code
// is carried as kNativeErrorBase + code, which reports give in the system's
// own words. The file services keep the code itself beside the value they
// return (FileSystem::NativeError). The codes are written as numbers, so the table is
// checked on every platform; WinText.cpp checks them against <windows.h>.
#pragma once

#include <cerrno>

#include "Define/FileSystem.h"

namespace solne::win32 {

namespace code {
inline constexpr unsigned long kSuccess = 0;
inline constexpr unsigned long kFileNotFound = 2;
inline constexpr unsigned long kPathNotFound = 3;
inline constexpr unsigned long kTooManyOpenFiles = 4;
inline constexpr unsigned long kAccessDenied = 5;
inline constexpr unsigned long kNotEnoughMemory = 8;
inline constexpr unsigned long kOutOfMemory = 14;
inline constexpr unsigned long kInvalidDrive = 15;
inline constexpr unsigned long kCurrentDirectory = 16;
inline constexpr unsigned long kNotSameDevice = 17;
inline constexpr unsigned long kWriteProtect = 19;
inline constexpr unsigned long kSharingViolation = 32;
inline constexpr unsigned long kLockViolation = 33;
inline constexpr unsigned long kHandleDiskFull = 39;
inline constexpr unsigned long kBadNetPath = 53;
inline constexpr unsigned long kNetworkAccessDenied = 65;
inline constexpr unsigned long kBadNetName = 67;
inline constexpr unsigned long kFileExists = 80;
inline constexpr unsigned long kInvalidParameter = 87;
inline constexpr unsigned long kBufferOverflow = 111;
inline constexpr unsigned long kDiskFull = 112;
inline constexpr unsigned long kInvalidName = 123;
inline constexpr unsigned long kDirNotEmpty = 145;
inline constexpr unsigned long kBadPathname = 161;
inline constexpr unsigned long kBusy = 170;
inline constexpr unsigned long kAlreadyExists = 183;
inline constexpr unsigned long kFilenameExcedRange = 206;
inline constexpr unsigned long kDirectory = 267;
inline constexpr unsigned long kPrivilegeNotHeld = 1314;
inline constexpr unsigned long kUserMappedFile = 1224;
inline constexpr unsigned long kNoUnicodeTranslation = 1113;
}  // namespace code

struct ErrorMapping {
    unsigned long code;
    int portable;
};

inline constexpr ErrorMapping kErrorTable[] = {
    {code::kSuccess, 0},
    {code::kFileNotFound, ENOENT},
    {code::kPathNotFound, ENOENT},
    {code::kInvalidDrive, ENOENT},
    {code::kBadNetPath, ENOENT},
    {code::kBadNetName, ENOENT},
    {code::kAccessDenied, EACCES},
    {code::kCurrentDirectory, EACCES},
    {code::kPrivilegeNotHeld, EACCES},
    {code::kNetworkAccessDenied, kNetworkAccessDenied},
    {code::kSharingViolation, kSharingViolation},
    {code::kLockViolation, kSharingViolation},
    {code::kUserMappedFile, kUserMappedFile},
    {code::kBusy, EBUSY},
    {code::kDiskFull, ENOSPC},
    {code::kHandleDiskFull, ENOSPC},
    {code::kFileExists, EEXIST},
    {code::kAlreadyExists, EEXIST},
    {code::kWriteProtect, EROFS},
    {code::kFilenameExcedRange, ENAMETOOLONG},
    {code::kBufferOverflow, ENAMETOOLONG},
    {code::kDirectory, ENOTDIR},
    {code::kNotSameDevice, EXDEV},
    {code::kTooManyOpenFiles, EMFILE},
    {code::kNotEnoughMemory, ENOMEM},
    {code::kOutOfMemory, ENOMEM},
    {code::kInvalidName, EINVAL},
    {code::kInvalidParameter, EINVAL},
    {code::kBadPathname, EINVAL},
    {code::kNoUnicodeTranslation, EINVAL},
    {code::kDirNotEmpty, ENOTEMPTY},
};

// The value the file services return for a Windows error code.
constexpr int PortableError(unsigned long winError) {
    for (const ErrorMapping& m : kErrorTable)
        if (m.code == winError) return m.portable;
    // A code too large to carry this way (no system error code is) counts as
    // an input/output error.
    return winError < static_cast<unsigned long>(0x7FFFFFFF - kNativeErrorBase)
               ? kNativeErrorBase + static_cast<int>(winError)
               : EIO;
}

// The last Windows code this thread turned into a value, with that value:
// the file services keep the code beside the value they return, for
// FileSystem::NativeError. The store works on one thread and asks right
// after a failure.
struct KeptError {
    unsigned long native = 0;
    int portable = 0;
};
inline thread_local KeptError tlKeptError;

// Keeps `winError` as the code behind `portable`, the value a file service
// is about to return for it.
inline void NoteNativeError(unsigned long winError, int portable) { tlKeptError = {winError, portable}; }

// The code behind `portable` when that is the value of the thread's last
// failure; 0 otherwise.
inline unsigned long NativeErrorBehind(int portable) {
    return portable != 0 && portable == tlKeptError.portable ? tlKeptError.native : 0;
}

// PortableError, with the code kept (what the file services call).
inline int PortableErrorKept(unsigned long winError) {
    const int portable = PortableError(winError);
    NoteNativeError(winError, portable);
    return portable;
}

}  // namespace solne::win32
