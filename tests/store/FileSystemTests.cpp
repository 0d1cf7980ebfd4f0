// The file services: the existence test, the folder listing, path joining,
// error texts and the program's own folder.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

#include "Define/FileSystem.h"
#include "common/TempBoard.h"

using namespace solne;
using solne::test::TempDir;
using solne::test::WriteBytes;

TEST(FileSystem, ExistenceTestCountsRegularFilesAndLinksToThem) {
    TempDir dir;
    FileSystem& fs = RealFileSystem();
    WriteBytes(dir / "file.txt", "x");
    WriteBytes(dir / ".dot.txt", "x");
    std::filesystem::create_directory(dir / "folder.txt");
    ASSERT_EQ(::symlink((dir / "file.txt").c_str(), (dir / "link.txt").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "folder.txt").c_str(), (dir / "dirlink.txt").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "gone").c_str(), (dir / "dangling.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.txt").c_str(), 0644), 0);
    WriteBytes(dir / "ro.txt", "x");
    ::chmod((dir / "ro.txt").c_str(), 0444);

    EXPECT_TRUE(FileExists(fs, dir / "file.txt"));
    EXPECT_TRUE(FileExists(fs, dir / ".dot.txt"));
    EXPECT_TRUE(FileExists(fs, dir / "link.txt"));
    EXPECT_TRUE(FileExists(fs, dir / "ro.txt"));
    EXPECT_FALSE(FileExists(fs, dir / "folder.txt"));
    EXPECT_FALSE(FileExists(fs, dir / "dirlink.txt"));
    EXPECT_FALSE(FileExists(fs, dir / "dangling.txt"));
    EXPECT_FALSE(FileExists(fs, dir / "fifo.txt"));
    EXPECT_FALSE(FileExists(fs, dir / "missing.txt"));

    std::vector<DirEntry> entries;
    ASSERT_EQ(fs.ListDir(dir.path(), entries), 0);
    std::map<std::string, bool> regular;
    for (auto& e : entries) regular[e.name] = e.isRegular;
    EXPECT_EQ(regular.size(), 8u);  // "." and ".." left out, the dot name kept
    EXPECT_TRUE(regular.at(".dot.txt"));
    EXPECT_TRUE(regular.at("link.txt"));
    EXPECT_FALSE(regular.at("folder.txt"));
    EXPECT_FALSE(regular.at("dirlink.txt"));
    EXPECT_FALSE(regular.at("fifo.txt"));
    EXPECT_FALSE(regular.at("dangling.txt"));
    EXPECT_EQ(fs.ListDir(dir / "nothing", entries), ENOENT);
}

TEST(FileSystem, FileOperationsReportErrno) {
    TempDir dir;
    FileSystem& fs = RealFileSystem();
    std::string content;
    EXPECT_EQ(fs.ReadFile(dir / "missing", content), ENOENT);
    EXPECT_EQ(fs.ReadFile(dir.path(), content), EISDIR);

    int fd = -1;
    ASSERT_EQ(fs.OpenWrite(dir / "a", true, 0644, fd), 0);
    std::string big(200000, 'x');
    big[123456] = '\0';
    EXPECT_EQ(fs.Write(fd, big), 0);
    EXPECT_EQ(fs.Close(fd), 0);
    EXPECT_EQ(fs.OpenWrite(dir / "a", true, 0644, fd), EEXIST);
    ASSERT_EQ(fs.ReadFile(dir / "a", content), 0);
    EXPECT_EQ(content, big);
    EXPECT_EQ(fs.OpenWrite(dir / "no/such/folder", false, 0644, fd), ENOENT);
}

TEST(FileSystem, ErrorTextsAreShortAndJapanese) {
    EXPECT_EQ(ErrnoText(ENOENT), "ファイルまたはフォルダが見つかりません");
    EXPECT_EQ(ErrnoText(EACCES), "アクセスが拒否されました");
    EXPECT_EQ(ErrnoText(EPERM), "アクセスが拒否されました");
    EXPECT_EQ(ErrnoText(ENOSPC), "ディスクの空き容量が不足しています");
    EXPECT_EQ(ErrnoText(ECHILD), std::strerror(ECHILD));
}

TEST(FileSystem, JoinPathAndProgramFolder) {
    EXPECT_EQ(JoinPath("/srv/ボード", "user.txt"), "/srv/ボード/user.txt");
    EXPECT_EQ(JoinPath("/srv/board/", "user.txt"), "/srv/board/user.txt");
    EXPECT_EQ(JoinPath("", "user.txt"), "/user.txt");

    // The folder of the running test program, whatever the current folder is.
    std::string before = ProgramFolder();
    auto cwd = std::filesystem::current_path();
    std::filesystem::current_path("/");
    std::string after = ProgramFolder();
    std::filesystem::current_path(cwd);
    EXPECT_EQ(before, after);
#ifdef _WIN32
    EXPECT_TRUE(FileExists(RealFileSystem(), JoinPath(after, "store_tests.exe")));
#else
    EXPECT_TRUE(FileExists(RealFileSystem(), JoinPath(after, "store_tests")));
#endif
}
