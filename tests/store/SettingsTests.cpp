// "setup.ini": reading and writing it the way the Windows profile functions
// do, and locating the board folder with the prompt loop.
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

// Runs LocateInstallation with a scripted chooser (each entry is a folder,
// or nullopt for cancel), then remembers a chosen folder as the editor does
// once the board has loaded.
struct Locate {
    explicit Locate(std::vector<std::optional<std::string>> p = {}) : picks(std::move(p)) {}
    std::vector<std::optional<std::string>> picks;
    std::vector<std::string> messages;
    size_t chooserCalls = 0;
    std::string writeError;

    LocateOutcome Run(const std::string& ini, FileSystem& fs = RealFileSystem()) {
        LocateOutcome r = LocateInstallation(
            fs, ini, [&](const std::string& m) { messages.push_back(m); },
            [&]() -> std::optional<std::string> {
                if (chooserCalls >= picks.size()) throw std::runtime_error("chooser asked too often");
                return picks[chooserCalls++];
            });
        if (r.prompted && !r.cancelled) {
            if (auto failure = RememberInstalledPath(fs, ini, r.paths.InstalledPath)) writeError = failure->ToString();
        }
        return r;
    }
};

void MakeBoard(const std::string& folder) { WriteBoard(folder, BoardFiles{{"u1,p,0"}, {"1,g"}, {}}); }

}  // namespace

// ----------------------------------------------------------------- reading

TEST(ProfileRead, RulesOfTheWindowsProfileFunctions) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    WriteBytes(ini,
               "InstalledPath=/before/any/section\r\n"
               "[Other]\r\n"
               "InstalledPath=/other\r\n"
               "[ script ]  trailing text\n"
               ";InstalledPath=/comment\r"
               "  installedpath \t=\t  /srv/board ;not a comment  \r\n"
               "InstalledPath=/second/key\r\n"
               "Quoted=\"  two spaces  \"\r\n"
               "Single=' x '\r\n"
               "Mixed=\"x'\r\n"
               "Hash=#1\r\n"
               "Empty=\r\n"
               "[Script]\r\n"
               "Late=/second/section\r\n");
    EXPECT_EQ(Read(ini), "/srv/board ;not a comment");
    EXPECT_EQ(Read(ini, "SCRIPT", "quoted"), "  two spaces  ");
    EXPECT_EQ(Read(ini, "Script", "Single"), " x ");
    EXPECT_EQ(Read(ini, "Script", "Mixed"), "\"x'");
    EXPECT_EQ(Read(ini, "Script", "Hash"), "#1");
    EXPECT_EQ(Read(ini, "Script", "Empty"), "");
    EXPECT_EQ(Read(ini, "Script", "Late"), "");  // only the first matching section counts
    EXPECT_EQ(Read(ini, "Other", "InstalledPath"), "/other");
    EXPECT_EQ(Read(ini, "Missing"), "");
    EXPECT_EQ(Read(ini, "Script", "Missing"), "");
    EXPECT_EQ(Read(dir / "nothing.ini"), "");
}

TEST(ProfileRead, CodePage932FileFromWindowsAndLongPaths) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    WriteBytes(ini, Sjis("; 設定\r\n[Script]\r\nInstalledPath=C:\\行き先掲示板\\表ソ\r\n"));
    EXPECT_EQ(Read(ini), "C:\\行き先掲示板\\表ソ");

    std::string longPath = "/srv";
    while (longPath.size() < 1000) longPath += "/ボード";
    WriteBytes(ini, "[Script]\r\nInstalledPath=" + longPath + "\r\n");
    EXPECT_EQ(Read(ini), longPath);  // no cut at 255 characters
}

// ----------------------------------------------------------------- writing

TEST(ProfileWrite, MissingFileIsCreatedWithSectionAndKey) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    ASSERT_EQ(Write(ini, "/srv/ボード/é"), 0);
    EXPECT_EQ(ReadBytes(ini), "[Script]\r\nInstalledPath=/srv/ボード/é\r\n");  // UTF-8
    EXPECT_EQ(Read(ini), "/srv/ボード/é");
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"setup.ini"});  // no temporary file left
}

TEST(ProfileWrite, OnlyTheKeyLineChangesAndKeepsItsSpelling) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    std::string before = "; comment\n\n[Other]\r\nx=1\r\n[SCRIPT]\r\n  installedPATH = /old \r\nNext=2\n[Last]\ry=3";
    WriteBytes(ini, before);
    ASSERT_EQ(Write(ini, "/new"), 0);
    EXPECT_EQ(ReadBytes(ini),
              "; comment\n\n[Other]\r\nx=1\r\n[SCRIPT]\r\ninstalledPATH=/new\r\nNext=2\n[Last]\ry=3");
}

TEST(ProfileWrite, NewKeyGoesAfterTheLastKeyOfItsSection) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    WriteBytes(ini, "[Script]\r\nA=1\r\n;note\r\n\r\n[Other]\r\nB=2\r\n");
    ASSERT_EQ(Write(ini, "/b"), 0);
    EXPECT_EQ(ReadBytes(ini), "[Script]\r\nA=1\r\nInstalledPath=/b\r\n;note\r\n\r\n[Other]\r\nB=2\r\n");

    WriteBytes(ini, "[Script]");  // header only, no line end
    ASSERT_EQ(Write(ini, "/c"), 0);
    EXPECT_EQ(ReadBytes(ini), "[Script]\r\nInstalledPath=/c\r\n");
}

TEST(ProfileWrite, NewSectionIsAppendedAtTheEnd) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    WriteBytes(ini, "[Other]\r\nB=2");
    ASSERT_EQ(Write(ini, "/a"), 0);
    EXPECT_EQ(ReadBytes(ini), "[Other]\r\nB=2\r\n[Script]\r\nInstalledPath=/a\r\n");

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
    struct stat st {};
    ::stat(ini.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // permission bits kept
}

// ------------------------------------------------------ locating the board

TEST(Locate, PromptMessageText) {
    EXPECT_STREQ(kFolderPromptMessage,
                 "ユーザー情報ファイルが見つかりませんでした。\r\n\r\n"
                 "[OK]ボタンを押すことでフォルダの指定画面が表示されます。\r\n"
                 "行き先掲示板システムがインストールされているフォルダを指定してください。");
}

TEST(Locate, StoredFolderWithBothFilesAsksNothingAndWritesNothing) {
    TempDir dir;
    MakeBoard(dir / "board");
    std::string ini = dir / "setup.ini";
    std::string content = "[Script]\r\nInstalledPath = \"" + dir / "board" + "\"\r\n";
    WriteBytes(ini, content);
    Locate l;
    LocateOutcome r = l.Run(ini);
    EXPECT_FALSE(r.cancelled);
    EXPECT_FALSE(r.prompted);
    EXPECT_TRUE(l.messages.empty());
    EXPECT_EQ(l.chooserCalls, 0u);
    EXPECT_EQ(r.paths.InstalledPath, dir / "board");
    EXPECT_EQ(r.paths.UserFilePath, dir / "board/user.txt");
    EXPECT_EQ(r.paths.GroupFilePath, dir / "board/group.txt");
    EXPECT_EQ(r.paths.UserFolder(), dir / "board/user");
    EXPECT_EQ(ReadBytes(ini), content);
}

TEST(Locate, MissingSettingsFileAsksOnceAndStoresTheFolder) {
    TempDir dir;
    MakeBoard(dir / "board");
    std::string ini = dir / "setup.ini";
    Locate l({dir / "board"});
    LocateOutcome r = l.Run(ini);
    EXPECT_FALSE(r.cancelled);
    EXPECT_TRUE(r.prompted);
    EXPECT_EQ(l.messages, std::vector<std::string>{kFolderPromptMessage});
    EXPECT_EQ(r.paths.InstalledPath, dir / "board");
    EXPECT_EQ(l.writeError, "");
    EXPECT_EQ(ReadBytes(ini), "[Script]\r\nInstalledPath=" + dir / "board" + "\r\n");
}

TEST(Locate, OneDataFileMissingPromptsAsIfNothingWereStored) {
    TempDir dir;
    MakeBoard(dir / "half");
    std::filesystem::remove(dir / "half/group.txt");
    std::filesystem::create_directory(dir / "half/group.txt");  // a folder does not count
    MakeBoard(dir / "board");
    std::string ini = dir / "setup.ini";
    WriteBytes(ini, "[Script]\r\nInstalledPath=" + dir / "half" + "\r\n");
    Locate l({dir / "board"});
    LocateOutcome r = l.Run(ini);
    EXPECT_EQ(l.messages.size(), 1u);
    EXPECT_EQ(r.paths.InstalledPath, dir / "board");
    EXPECT_EQ(Read(ini), dir / "board");
}

TEST(Locate, WrongThenRightFolderShowsTheMessageTwiceAndStoresTheSecond) {
    TempDir dir;
    MakeBoard(dir / "board");
    std::filesystem::create_directories(dir / "empty");
    std::string ini = dir / "setup.ini";
    Locate l({dir / "empty", std::string(), dir / "board"});  // an empty answer asks again too
    LocateOutcome r = l.Run(ini);
    EXPECT_EQ(l.messages.size(), 3u);
    EXPECT_EQ(l.chooserCalls, 3u);
    EXPECT_EQ(r.paths.InstalledPath, dir / "board");
    EXPECT_EQ(Read(ini), dir / "board");
}

TEST(Locate, CancelEndsWithNothingWritten) {
    TempDir dir;
    MakeBoard(dir / "board");
    std::string ini = dir / "setup.ini";
    Locate first({std::nullopt});
    LocateOutcome r = first.Run(ini);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(first.messages.size(), 1u);
    EXPECT_FALSE(PathExists(ini));

    std::string content = "; keep\r\n[Script]\r\nInstalledPath=/nowhere\r\n";
    WriteBytes(ini, content);
    Locate second({dir / "empty", std::nullopt});
    r = second.Run(ini);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(second.messages.size(), 2u);
    EXPECT_EQ(ReadBytes(ini), content);
}

TEST(Locate, ExistingFileKeepsCommentsAndOtherSections) {
    TempDir dir;
    MakeBoard(dir / "board");
    std::string ini = dir / "setup.ini";
    WriteBytes(ini, "; written by hand\r\n[View]\r\nFont=MS Gothic\r\n\r\n[Script]\r\nInstalledPath=/gone\r\nMode=1\r\n");
    Locate l({dir / "board"});
    l.Run(ini);
    EXPECT_EQ(ReadBytes(ini), "; written by hand\r\n[View]\r\nFont=MS Gothic\r\n\r\n[Script]\r\nInstalledPath=" +
                                  dir / "board" + "\r\nMode=1\r\n");
}

TEST(Locate, SettingsFileFromWindowsIsReadAndReplaced) {
    TempDir dir;
    std::string ini = dir / "setup.ini";
    WriteBytes(ini, Sjis("[Script]\r\nInstalledPath=C:\\行き先掲示板\r\n"));
    MakeBoard(dir / "ボード");
    Locate l({dir / "ボード"});
    LocateOutcome r = l.Run(ini);
    EXPECT_EQ(l.messages.size(), 1u);
    EXPECT_EQ(l.writeError, "");
    EXPECT_EQ(Read(ini), dir / "ボード");
    EXPECT_EQ(r.paths.InstalledPath, dir / "ボード");
}

TEST(Locate, WriteFailureIsReportedWithFileAndReason) {
    TempDir dir;
    MakeBoard(dir / "board");
    std::string ini = dir / "setup.ini";
    test::FaultyFileSystem fs;
    fs.FailKind(test::FsOp::OpenWrite, EACCES);
    Locate l({dir / "board"});
    LocateOutcome r = l.Run(ini, fs);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.paths.InstalledPath, dir / "board");  // the editor goes on with the folder
    EXPECT_NE(l.writeError.find(ini), std::string::npos);
    EXPECT_NE(l.writeError.find(ErrorText(EACCES)), std::string::npos);
    EXPECT_FALSE(PathExists(ini));

    // Where root's rights do not help: the settings file's place is a folder.
    std::filesystem::create_directory(ini);
    Locate again({dir / "board"});
    again.Run(ini);
    EXPECT_NE(again.writeError.find(ErrorText(EISDIR)), std::string::npos);
}

TEST(Locate, WritesNothingItselfAndReadsRelativeFoldersFromTheSettingsFilesFolder) {
    TempDir dir;
    MakeBoard(dir / "conf/board");
    Locate chooser({dir / "conf/board"});
    LocateOutcome r = LocateInstallation(
        RealFileSystem(), dir / "conf/setup.ini", [](const std::string&) {}, [&] { return chooser.picks[0]; });
    EXPECT_TRUE(r.prompted);
    EXPECT_FALSE(PathExists(dir / "conf/setup.ini"));  // remembered only after the load

    // A relative value is relative to the settings file, whatever the
    // current folder is.
    for (const char* value : {"board", "./board", "../conf/board"}) {
        WriteBytes(dir / "conf/setup.ini", std::string("[Script]\r\nInstalledPath=") + value + "\r\n");
        Locate l;
        r = l.Run(dir / "conf/setup.ini");
        EXPECT_FALSE(r.prompted) << value;
        EXPECT_EQ(r.paths.UserFilePath, dir / ("conf/" + std::string(value) + "/user.txt"));
    }
}
