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
#include "store/SafeWrite.h"
#include "store/Settings.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

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

    ScopedHandle folder(fs), file(fs);
    ASSERT_EQ(fs.OpenFolder(dir.path(), folder.get()), 0);
    ASSERT_EQ(fs.CreateAt(*folder, "a", 0644, file.get()), 0);
    std::string big(200000, 'x');
    big[123456] = '\0';
    EXPECT_EQ(fs.Write(*file, big), 0);
    EXPECT_EQ(fs.Close(file.Release()), 0);
    EXPECT_EQ(fs.CreateAt(*folder, "a", 0644, file.get()), EEXIST);
    ASSERT_EQ(fs.ReadFile(dir / "a", content), 0);
    EXPECT_EQ(content, big);
    EXPECT_EQ(fs.CreateAt(*folder, "no", 0644, file.get()), 0);  // a name inside the folder, never a path:
    EXPECT_EQ(fs.Close(file.Release()), 0);
    for (const char* path : {"no/such", "..", "../a", "/tmp/x"}) EXPECT_EQ(fs.CreateAt(*folder, path, 0644, file.get()), EINVAL) << path;
    EXPECT_EQ(fs.ReadFile(dir / "a", content, 1000), EFBIG);
    EXPECT_EQ(content, big.substr(0, 1000)) << "the first bytes up to the limit";
    EXPECT_EQ(fs.ReadFile(dir / "a", content, big.size()), 0);
}

// Nothing that changes a file goes through a link, and reading never waits
// on a fifo or reads a device.
TEST(FileSystem, HandleOperationsNeverFollowLinksNorBlock) {
    TempDir dir;
    FileSystem& fs = RealFileSystem();
    WriteBytes(dir / "outside", "secret");
    ::chmod((dir / "outside").c_str(), 0600);
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/dev/zero", (dir / "zero").c_str()), 0);

    ScopedHandle folder(fs), file(fs);
    ASSERT_EQ(fs.OpenFolder(dir.path(), folder.get()), 0);
    EXPECT_EQ(fs.CreateAt(*folder, "link", 0644, file.get()), EEXIST);
    EXPECT_EQ(fs.OpenAt(*folder, "link", true, file.get()), ELOOP);
    EXPECT_EQ(fs.OpenAt(*folder, "fifo", false, file.get()), kNotRegularFile);
    FileStat st;
    ASSERT_EQ(fs.StatAt(*folder, "link", st), 0);
    EXPECT_TRUE(st.isLink);
    EXPECT_EQ(fs.UnlinkAt(*folder, "link"), 0);
    EXPECT_EQ(test::ReadBytes(dir / "outside"), "secret") << "the link went, not its target";

    std::string content;
    EXPECT_EQ(fs.ReadFile(dir / "fifo", content), kNotRegularFile);
    EXPECT_EQ(fs.ReadFile(dir / "zero", content), kNotRegularFile);
    EXPECT_EQ(fs.ReadFile("/dev/null", content), kNotRegularFile);
}

// The calls on handles as the save uses them; on Windows "read-only" is the
// read-only attribute, which a rename over the file or a deletion lifts
// first and puts back when the operation fails.
TEST(FileSystem, HandleOperationsOnFilesAndReadOnlyNames) {
    TempDir dir;
    FileSystem& fs = RealFileSystem();
    std::filesystem::create_directory(dir / "sub");
    ScopedHandle folder(fs), file(fs);
    ASSERT_EQ(fs.OpenFolder(dir.path(), folder.get()), 0);
    EXPECT_EQ(fs.OpenAt(*folder, "sub", false, file.get()), EISDIR);
    EXPECT_EQ(fs.OpenAt(*folder, "missing", false, file.get()), ENOENT);

    ASSERT_EQ(fs.CreateAt(*folder, "a", 0644, file.get()), 0);
    ASSERT_EQ(fs.Write(*file, "hello world"), 0);
    ASSERT_EQ(fs.Truncate(*file, 5), 0);
    ASSERT_EQ(fs.Write(*file, "!"), 0) << "truncating kept the position";
    int err = fs.Reserve(*file, 1 << 20);
    EXPECT_TRUE(err == 0 || err == EOPNOTSUPP) << err;
    FileStat st;
    ASSERT_EQ(fs.StatOf(*file, st), 0);
    EXPECT_EQ(st.size, 12) << "a reservation changes no size";
    ASSERT_EQ(fs.SetMode(*file, 0444), 0);
    ASSERT_EQ(fs.Close(file.Release()), 0);
    EXPECT_EQ(test::ReadBytes(dir / "a"), std::string("hello") + std::string(6, '\0') + "!");
    ASSERT_EQ(fs.StatAt(*folder, "a", st), 0);
    EXPECT_EQ(st.mode & 0222, 0u);

    // A failed rename leaves the read-only file as it was; a good one replaces it.
    EXPECT_EQ(fs.RenameAt(*folder, "missing", "a"), ENOENT);
    ASSERT_EQ(fs.StatAt(*folder, "a", st), 0);
    EXPECT_EQ(st.mode & 0222, 0u) << "read-only again";
    ASSERT_EQ(fs.CreateAt(*folder, "b", 0644, file.get()), 0);
    ASSERT_EQ(fs.Write(*file, "new"), 0);
    ASSERT_EQ(fs.Close(file.Release()), 0);
    EXPECT_EQ(fs.RenameAt(*folder, "b", "a"), 0);
    EXPECT_EQ(test::ReadBytes(dir / "a"), "new");

    ASSERT_EQ(fs.CreateAt(*folder, "c", 0444, file.get()), 0);
    ASSERT_EQ(fs.Close(file.Release()), 0);
    EXPECT_EQ(fs.UnlinkAt(*folder, "c"), 0) << "a read-only file is deleted";
    EXPECT_EQ(fs.StatAt(*folder, "c", st), ENOENT);
    EXPECT_EQ(fs.UnlinkAt(*folder, "sub"), EISDIR);
    EXPECT_EQ(fs.Sync(*folder), 0);
}

// Temporary files of processes that no longer run go; this process's stay.
TEST(FileSystem, ProcessesAreFoundById) {
    EXPECT_TRUE(ProcessIsRunning(CurrentProcessId()));
    EXPECT_FALSE(ProcessIsRunning(0));
    EXPECT_FALSE(ProcessIsRunning(-4));
    const long gone = 0x7FFFFFFC;  // beyond any process id in use
    EXPECT_FALSE(ProcessIsRunning(gone));

    TempDir dir;
    FileSystem& fs = RealFileSystem();
    const std::string own = ".a.solne-" + std::to_string(CurrentProcessId()) + "-1.tmp";
    const std::string stale = ".a.solne-" + std::to_string(gone) + "-1.tmp";
    WriteBytes(dir / own, "saving");
    WriteBytes(dir / stale, "half");
    ::chmod((dir / stale).c_str(), 0444);
    ScopedHandle folder(fs);
    ASSERT_EQ(fs.OpenFolder(dir.path(), folder.get()), 0);
    EXPECT_EQ(RemoveStaleTemporaryFiles(fs, *folder), 1);
    EXPECT_TRUE(std::filesystem::exists(dir / own));
    EXPECT_FALSE(std::filesystem::exists(dir / stale));
}

TEST(FileSystem, JoinPathAndProgramFolder) {
#ifdef _WIN32
    // Paths in messages look as Windows shows them.
    EXPECT_EQ(JoinPath("Z:\\ボード", "user.txt"), "Z:\\ボード\\user.txt");
    EXPECT_EQ(JoinPath("Z:\\", "user.txt"), "Z:\\user.txt");
    EXPECT_EQ(JoinPath("Z:/board/", "user.txt"), "Z:/board/user.txt");
    EXPECT_EQ(NativePath("Z:/board/user\\u01.txt"), "Z:\\board\\user\\u01.txt");
    EXPECT_EQ(BoardPaths::For("Z:/board").UserFilePath, "Z:\\board\\user.txt");
    EXPECT_EQ(BoardPaths::For("Z:/board").UserFolder(), "Z:\\board\\user");
#else
    EXPECT_EQ(JoinPath("/srv/ボード", "user.txt"), "/srv/ボード/user.txt");
    EXPECT_EQ(JoinPath("/srv/board/", "user.txt"), "/srv/board/user.txt");
    EXPECT_EQ(JoinPath("", "user.txt"), "/user.txt");
    EXPECT_EQ(NativePath("/srv/a\\b"), "/srv/a\\b");
    EXPECT_EQ(BoardPaths::For("/srv/board").UserFilePath, "/srv/board/user.txt");
#endif

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
