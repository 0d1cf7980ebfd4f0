// "setup.ini": reading and writing it the way the Windows profile functions
// do, beyond the settings vectors (tests/differential/SettingsVectorTests.cpp,
// which hold the rules case by case): long values, values that must read back,
// code page 932 files, failures; and where a relative board folder lies.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

#include "common/FaultyFileSystem.h"
#include "common/TempBoard.h"
#include "store/Settings.h"
#include "store/SettingsPlace.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

using namespace solne;
using solne::test::BoardFiles;
using solne::test::ListNames;
using solne::test::PathExists;
using solne::test::ReadBytes;
using solne::test::Sjis;
using solne::test::TempDir;
using solne::test::WriteBoard;
using solne::test::WriteBytes;

namespace {

std::string Read(const std::string& file, const std::string& section = "Script",
                 const std::string& key = "InstalledPath") {
    return ReadProfileString(RealFileSystem(), file, section, key);
}

int Write(const std::string& file, const std::string& value, const std::string& key = "InstalledPath") {
    return WriteProfileString(RealFileSystem(), file, "Script", key, value);
}

void MakeBoard(const std::string& folder) { WriteBoard(folder, BoardFiles{{"u1,p,0"}, {"1,g"}, {}}); }

}  // namespace

// ----------------------------------------------------------------- reading

TEST(ProfileRead, LongValuesAreNotCut) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    std::string longPath = "/srv";
    while (longPath.size() < 1000) longPath += "/ボード";
    WriteBytes(ini, "[Script]\r\nInstalledPath=" + longPath + "\r\n");
    EXPECT_EQ(Read(ini), longPath);  // no cut at 255 characters
}

// ----------------------------------------------------------------- writing

// Files the settings vectors (tests/differential) do not cover: a section
// header without a line end, and an empty file.
TEST(ProfileWrite, HeaderWithoutLineEndAndEmptyFile) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    WriteBytes(ini, "[Script]");
    ASSERT_EQ(Write(ini, "/c"), 0);
    EXPECT_EQ(ReadBytes(ini), "[Script]\r\nInstalledPath=/c\r\n");

    WriteBytes(ini, "");
    ASSERT_EQ(Write(ini, "/a"), 0);
    EXPECT_EQ(ReadBytes(ini), "[Script]\r\nInstalledPath=/a\r\n");
}

TEST(ProfileWrite, ValuesReadBackUnchanged) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    for (std::string v : {" /lead", "/trail ", "\"/q\"", "'x'", "/a=b;c", ""}) {
        ASSERT_EQ(Write(ini, v), 0) << v;
        EXPECT_EQ(Read(ini), v);
    }
    std::string before = ReadBytes(ini);
    EXPECT_EQ(Write(ini, "/a\nb"), EINVAL);
    EXPECT_EQ(ReadBytes(ini), before);
}

TEST(ProfileWrite, CodePage932FileStaysReadable) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    std::string comment = Sjis("; 表示設定\r\n");
    WriteBytes(ini, comment + "[Script]\r\nInstalledPath=C:\\old\r\n");
    ASSERT_EQ(Write(ini, "/srv/行き先"), 0);
    // The value has a code page 932 form: the file stays code page 932, byte for byte.
    EXPECT_EQ(ReadBytes(ini), comment + "[Script]\r\nInstalledPath=" + Sjis("/srv/行き先") + "\r\n");
    EXPECT_EQ(Read(ini), "/srv/行き先");

    // A value without one: the whole file turns into UTF-8, text kept.
    ASSERT_EQ(Write(ini, "/srv/café"), 0);
    EXPECT_EQ(ReadBytes(ini), "; 表示設定\r\n[Script]\r\nInstalledPath=/srv/café\r\n");
    EXPECT_EQ(Read(ini), "/srv/café");
}

TEST(ProfileWrite, FailuresLeaveTheFileAndNoTemporaryFile) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    EXPECT_EQ(Write(dir / "missing/setup.ini", "/a"), ENOENT);
    EXPECT_FALSE(PathExists(dir / "missing"));

    WriteBytes(ini, "[Script]\r\nInstalledPath=/old\r\n");
    ::chmod(ini.c_str(), 0640);
    for (test::FsOp op : {test::FsOp::Write, test::FsOp::Sync, test::FsOp::Rename}) {
        test::FaultyFileSystem fs;
        fs.FailKind(op, ENOSPC);
        EXPECT_EQ(WriteProfileString(fs, ini, "Script", "InstalledPath", "/new"), ENOSPC) << test::FsOpName(op);
        EXPECT_EQ(ReadBytes(ini), "[Script]\r\nInstalledPath=/old\r\n") << test::FsOpName(op);
        EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"setup.ini"}) << test::FsOpName(op);
    }
    ASSERT_EQ(Write(ini, "/new"), 0);
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"setup.ini"});  // nor after a success
    struct stat st {};
    ::stat(ini.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // permission bits kept
}

// ------------------------------------------------------ locating the board
// What the window does with the outcome (the prompt, the chooser, remembering
// the folder) is tested with its start-up (tests/form/StartupTests.cpp).

// A relative value is relative to the settings file's folder, whatever the
// current folder is; locating writes nothing itself.
TEST(Locate, RelativeFoldersAreReadFromTheSettingsFilesFolder) {
    TempDir dir;
    MakeBoard(dir / "conf/board");
    const std::string ini = dir / "conf/setup.ini";
    auto never = []() -> std::optional<std::string> {
        ADD_FAILURE() << "chooser opened";
        return std::nullopt;
    };
    for (const char* value : {"board", "./board", "../conf/board"}) {
        const std::string content = std::string("[Script]\r\nInstalledPath=") + value + "\r\n";
        WriteBytes(ini, content);
        LocateOutcome r = LocateInstallation(RealFileSystem(), ini, [](const std::string&) {}, never);
        EXPECT_FALSE(r.prompted) << value;
        EXPECT_EQ(r.paths.UserFilePath, dir / ("conf/" + std::string(value) + "/user.txt"));
        EXPECT_EQ(ReadBytes(ini), content);
    }
}
