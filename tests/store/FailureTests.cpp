// The failures the store reports: the Windows error codes behind the file
// services' values, the words for those values, and the one form that load,
// save and the settings file share.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <set>
#include <string>

#include "Define/FileSystem.h"
#include "Define/win32/WinErrors.h"
#include "common/FaultyFileSystem.h"
#include "common/TempBoard.h"
#include "store/Failure.h"
#include "store/Load.h"
#include "store/Settings.h"

using namespace solne;
using solne::test::TempDir;

namespace {

TEST(Failure, ErrorTextsAreShortAndJapanese) {
    EXPECT_EQ(ErrorText(ENOENT), "ファイルまたはフォルダが見つかりません");
    EXPECT_EQ(ErrorText(EACCES), "アクセスが拒否されました");
    EXPECT_EQ(ErrorText(EPERM), "アクセスが拒否されました");
    EXPECT_EQ(ErrorText(ENOSPC), "ディスクの空き容量が不足しています");
    EXPECT_EQ(ErrorText(ECHILD), std::strerror(ECHILD));
}

// Every Windows code the file services name, as the Windows documentation
// describes it, against the value the store sees: a missing file or folder
// (whatever Windows calls it) is ENOENT, a file held by another program is
// kSharingViolation, and so on. The code itself is kept beside the value.
TEST(Failure, WindowsCodesMapToPortableValuesAndAreKept) {
    struct Row {
        unsigned long code;  // GetLastError
        int portable;
    } rows[] = {
        {2, ENOENT},       // ERROR_FILE_NOT_FOUND
        {3, ENOENT},       // ERROR_PATH_NOT_FOUND
        {15, ENOENT},      // ERROR_INVALID_DRIVE
        {53, ENOENT},      // ERROR_BAD_NETPATH
        {67, ENOENT},      // ERROR_BAD_NET_NAME
        {5, EACCES},       // ERROR_ACCESS_DENIED
        {16, EACCES},      // ERROR_CURRENT_DIRECTORY
        {1314, EACCES},    // ERROR_PRIVILEGE_NOT_HELD
        {65, kNetworkAccessDenied},  // ERROR_NETWORK_ACCESS_DENIED
        {32, kSharingViolation},     // ERROR_SHARING_VIOLATION
        {33, kSharingViolation},     // ERROR_LOCK_VIOLATION
        {1224, kUserMappedFile},     // ERROR_USER_MAPPED_FILE
        {170, EBUSY},      // ERROR_BUSY
        {112, ENOSPC},     // ERROR_DISK_FULL
        {39, ENOSPC},      // ERROR_HANDLE_DISK_FULL
        {80, EEXIST},      // ERROR_FILE_EXISTS
        {183, EEXIST},     // ERROR_ALREADY_EXISTS
        {19, EROFS},       // ERROR_WRITE_PROTECT
        {206, ENAMETOOLONG},  // ERROR_FILENAME_EXCED_RANGE
        {111, ENAMETOOLONG},  // ERROR_BUFFER_OVERFLOW
        {267, ENOTDIR},    // ERROR_DIRECTORY
        {17, EXDEV},       // ERROR_NOT_SAME_DEVICE
        {4, EMFILE},       // ERROR_TOO_MANY_OPEN_FILES
        {8, ENOMEM},       // ERROR_NOT_ENOUGH_MEMORY
        {14, ENOMEM},      // ERROR_OUTOFMEMORY
        {123, EINVAL},     // ERROR_INVALID_NAME
        {87, EINVAL},      // ERROR_INVALID_PARAMETER
        {161, EINVAL},     // ERROR_BAD_PATHNAME
        {1113, EINVAL},    // ERROR_NO_UNICODE_TRANSLATION
        {145, ENOTEMPTY},  // ERROR_DIR_NOT_EMPTY
        // Codes without a name of their own keep the code in the value.
        {1392, kNativeErrorBase + 1392},  // ERROR_FILE_CORRUPT
        {1117, kNativeErrorBase + 1117},  // ERROR_IO_DEVICE
    };
    std::set<unsigned long> seen;
    for (const Row& row : rows) {
        EXPECT_TRUE(seen.insert(row.code).second) << "twice: " << row.code;
        EXPECT_EQ(win32::PortableErrorKept(row.code), row.portable) << row.code;
        EXPECT_EQ(win32::NativeErrorBehind(row.portable), row.code) << row.code;
    }
    // Every code of the table is a row above: a code added to the table
    // without a row here fails.
    for (const auto& m : win32::kErrorTable) {
        if (m.code != 0) {
            EXPECT_TRUE(seen.contains(m.code)) << "no row for " << m.code;
        }
    }

    // Success is no failure, and keeps nothing.
    EXPECT_EQ(win32::PortableErrorKept(0), 0);
    EXPECT_EQ(win32::NativeErrorBehind(0), 0u);
    // A code too large to carry reads as an input/output error.
    EXPECT_EQ(win32::PortableError(0xFFFFFFF0ul), EIO);

    // Only the value of the last failure gives its code back.
    win32::PortableErrorKept(5);
    win32::PortableErrorKept(2);
    EXPECT_EQ(win32::NativeErrorBehind(ENOENT), 2u);
    EXPECT_EQ(win32::NativeErrorBehind(EACCES), 0u);
}

// A named reason reads the same on both platforms (ENOSPC on Linux, a full
// disk on Windows), and any other Windows code keeps the system's own text.
TEST(Failure, WindowsCodesReadAsTheNamedReasons) {
    namespace code = win32::code;
    const std::string held = "別のプログラムがファイルを開いているため、使用できません";
    struct Row {
        unsigned long code;
        std::string text;
    } rows[] = {
        {code::kSharingViolation, held},
        {code::kLockViolation, held},
        {code::kNetworkAccessDenied, "ネットワーク上のファイルへのアクセスが拒否されました"},
        {code::kUserMappedFile, "別のプログラムがファイルをメモリに割り当てて使用しているため、変更できません"},
        {code::kDiskFull, "ディスクの空き容量が不足しています"},
        {code::kHandleDiskFull, "ディスクの空き容量が不足しています"},
        {code::kFilenameExcedRange, "ファイル名またはパスが長すぎます"},
        {code::kAccessDenied, "アクセスが拒否されました"},
        {code::kPathNotFound, "ファイルまたはフォルダが見つかりません"},
    };
    for (const Row& row : rows) EXPECT_EQ(ErrorText(win32::PortableError(row.code)), row.text) << row.code;

    const std::string text = ErrorText(win32::PortableError(1392));
#ifdef _WIN32
    EXPECT_TRUE(text.ends_with("Windows のエラー 1392）") || text == "Windows のエラー 1392") << text;
    EXPECT_GT(text.size(), std::string("（Windows のエラー 1392）").size()) << "the system's text: " << text;
    EXPECT_EQ(text.find('\n'), std::string::npos) << text;
#else
    EXPECT_EQ(text, "エラー 1392");
#endif
}

// The real file services keep their platform's code: the errno value on
// Linux, the Windows code behind ENOENT on Windows; nothing for a value of
// another failure.
TEST(Failure, TheFileServicesKeepThePlatformsCode) {
    TempDir dir;
    FileSystem& fs = RealFileSystem();
    std::string bytes;
    const int err = fs.ReadFile(dir / "missing.txt", bytes);
    ASSERT_EQ(err, ENOENT);
#ifdef _WIN32
    const long native = fs.NativeError(err);
    EXPECT_TRUE(native == 2 || native == 3) << native;  // file or path not found
    EXPECT_EQ(fs.NativeError(EROFS), 0);                 // not the last failure
#else
    EXPECT_EQ(fs.NativeError(err), ENOENT);
#endif
    EXPECT_EQ(fs.NativeError(kForeignLink), 0);  // the store's own finding
    EXPECT_EQ(fs.NativeError(0), 0);

    // The load's failure carries it to the edge.
    LoadedBoard board;
    const std::optional<Failure> failure = LoadBoard(fs, BoardPaths::For(dir / "no-board"), board);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, ENOENT);
    EXPECT_NE(failure->native, 0);

    // A failure the fault injector makes up has none.
    test::FaultyFileSystem faulty;
    faulty.FailKind(test::FsOp::ReadFile, EIO);
    ASSERT_EQ(faulty.ReadFile(dir / "missing.txt", bytes), EIO);
    EXPECT_EQ(FileFailure(faulty, "x", "", EIO).native, 0);
}

// One form, three layouts: a save's step, a load's line, a whole file; the
// reason in words, the value's words, or both.
TEST(Failure, ReadsAsOneLineOrAsLinesOfAMessage) {
    Failure save = FileFailure(RealFileSystem(), "/b/user.txt", "書き込み", ENOSPC);
    EXPECT_EQ(save.ToString(), "/b/user.txt（書き込み）: ディスクの空き容量が不足しています");

    Failure refused = StepProblem("ユーザー 3（u3）", "UserName", "「😀」は保存できません");
    EXPECT_EQ(refused.ToString(), "ユーザー 3（u3）（UserName）: 「😀」は保存できません");
    EXPECT_EQ(refused.code, 0);

    Failure line = Problem("/b/group.txt", 7, "グループ番号が数値ではありません");
    EXPECT_EQ(line.ToString(), "/b/group.txt:7: グループ番号が数値ではありません");
    EXPECT_EQ(line.Lines(), "/b/group.txt\r\n7行目\r\nグループ番号が数値ではありません");

    Failure unreadable = Problem("/b/user.txt", 0, "ファイルを読み込めません");
    unreadable.code = EACCES;
    EXPECT_EQ(unreadable.Reason(), "ファイルを読み込めません(アクセスが拒否されました)");
    EXPECT_EQ(unreadable.ToString(), "/b/user.txt: ファイルを読み込めません(アクセスが拒否されました)");
    EXPECT_EQ(unreadable.Lines(), "/b/user.txt\r\nファイルを読み込めません(アクセスが拒否されました)");

    Failure link = Problem("/b/user", 0, "");
    link.code = kForeignLink;
    EXPECT_EQ(link.Reason(), ErrorText(kForeignLink));
    EXPECT_EQ(link.ToString(), "/b/user: " + ErrorText(kForeignLink));
}

}  // namespace
