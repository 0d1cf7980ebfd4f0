// Windows file sharing: files that another program holds open (hold_file.exe
// plays the virus scanner or the board's program) while the editor loads and
// saves. A hold shorter than the file services' bound is waited for; a
// longer one is a failure that names the file and the reason, loses
// nothing and leaves no temporary file.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Define/FileSystem.h"
#include "common/TempBoard.h"
#include "store/Load.h"
#include "store/Save.h"

#include <windows.h>

using namespace solne;
using test::ReadBytes;
using test::SjisLines;
using test::TempDir;

namespace {

std::wstring Wide(const std::string& utf8) {
    std::wstring w(utf8.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), int(w.size()));
    w.resize(size_t(n));
    return w;
}

// hold_file.exe holding `path` with `share` ("-", "r", "rw", "rwd"...) for
// `ms` milliseconds; ended at the latest when the object goes.
class Holder {
public:
    Holder(const std::string& path, const char* share, int ms) {
        static int counter = 0;
        const std::wstring event = L"solne-hold-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(++counter);
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
        std::wstring cmd = L"\"" + Wide(SOLNE_HOLD_FILE_EXE) + L"\" \"" + Wide(NativePath(path)) + L"\" " +
                           Wide(share) + L" " + std::to_wstring(ms) + L" " + event;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        started_ = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        if (started_) {
            process_ = pi.hProcess;
            CloseHandle(pi.hThread);
            HANDLE both[] = {ready, process_};
            WaitForMultipleObjects(2, both, FALSE, 20000);
            DWORD code = 0;
            holding_ = GetExitCodeProcess(process_, &code) && code == STILL_ACTIVE;
        }
        CloseHandle(ready);
    }
    ~Holder() {
        if (!process_) return;
        if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) TerminateProcess(process_, 9);
        WaitForSingleObject(process_, 5000);
        CloseHandle(process_);
    }
    bool holding() const { return holding_; }

private:
    bool started_ = false;
    bool holding_ = false;
    HANDLE process_ = nullptr;
};

struct Board {
    TempDir dir;
    BoardPaths paths = BoardPaths::For(dir.path());
    Board() {
        test::WriteBoard(dir.path(), {{"u01,p1,1", "u02,p2,1"},
                                      {"1,営業"},
                                      {{"u01", {"username=山田", "status=1", "plan=外出"}},
                                       {"u02", {"username=佐藤", "status=0", "plan="}}}});
        test::WriteBytes(dir / "user/memo.txt", "not a user's file");
    }
    std::string File(const std::string& name) const { return dir / name; }
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Temporary files and journals of the save that are still there.
std::vector<std::string> Leftovers(const Board& b) {
    std::vector<std::string> left;
    for (const std::string& folder : {b.dir.path(), b.dir / "user"})
        for (const std::string& name : test::ListNames(folder))
            if (name.find(".solne-") != std::string::npos) left.push_back(name);
    return left;
}

}  // namespace

TEST(FileSharing, HoldsShorterThanTheBoundAreWaitedFor) {
    Board b;
    LoadedBoard loaded;
    {
        // A file the save below leaves alone: the wait of the load counts
        // against the same file's bound within a few seconds.
        Holder reading(b.File("user/u02.txt"), "-", 700);  // no one may read it
        ASSERT_TRUE(reading.holding());
        auto err = LoadBoard(RealFileSystem(), b.paths, loaded);
        ASSERT_FALSE(err) << err->ToString();
    }
    loaded.Users[0].UserName = "山田 太郎";
    loaded.Groups[0].GroupName = "総務";

    // Each share mode keeps the save from one step for a moment.
    // (1.5 s each, below the bound of 2 s per file.)
    Holder userTxt(b.File("user.txt"), "r", 1500);      // replace
    Holder perUser(b.File("user/u01.txt"), "-", 1500);  // read
    Holder stray(b.File("user/memo.txt"), "rw", 1500);  // delete
    Holder groupTxt(b.File("group.txt"), "rwd", 1500);  // replace, even with every share mode
    ASSERT_TRUE(userTxt.holding() && perUser.holding() && stray.holding() && groupTxt.holding());
    const auto start = std::chrono::steady_clock::now();
    SaveReport r = SaveBoard(RealFileSystem(), b.paths, loaded.Users, loaded.Groups);
    const double took = Seconds(start);
    ASSERT_TRUE(r.ok()) << (r.failures.empty() ? "" : r.failures[0].ToString());
    EXPECT_GT(took, 1.0) << "the last hold was waited for";
    EXPECT_LT(took, 6.0);
    EXPECT_EQ(ReadBytes(b.File("user/u01.txt")), SjisLines({"username=山田 太郎", "status=1", "plan=外出"}));
    EXPECT_EQ(ReadBytes(b.File("group.txt")), SjisLines({"1,総務"}));
    EXPECT_FALSE(test::PathExists(b.File("user/memo.txt")));
    EXPECT_TRUE(Leftovers(b).empty());
}

TEST(FileSharing, LongerHoldsFailNamingTheFileAndLoseNothing) {
    Board b;
    LoadedBoard loaded;
    ASSERT_FALSE(LoadBoard(RealFileSystem(), b.paths, loaded));
    const std::string before[] = {ReadBytes(b.File("group.txt")), ReadBytes(b.File("user/u01.txt")),
                                  ReadBytes(b.File("user/u02.txt"))};
    loaded.Users[0].UserName = "山田 太郎";
    loaded.Users[1].UserName = "佐藤 花子";
    loaded.Users[1].PassWord = "new";
    loaded.Groups[0].GroupName = "総務";

    // Each share mode keeps the save from one step for good.
    auto perUser = std::make_unique<Holder>(b.File("user/u01.txt"), "-", 60000);  // read
    Holder shared(b.File("user/u02.txt"), "rwd", 60000);  // replace, even with every share mode
    Holder stray(b.File("user/memo.txt"), "r", 60000);    // delete
    Holder groupTxt(b.File("group.txt"), "rw", 60000);    // replace
    ASSERT_TRUE(perUser->holding() && shared.holding() && stray.holding() && groupTxt.holding());
    const auto start = std::chrono::steady_clock::now();
    SaveReport r = SaveBoard(RealFileSystem(), b.paths, loaded.Users, loaded.Groups);
    const double took = Seconds(start);

    // About two seconds for each of the four files, not more.
    EXPECT_GT(took, 4 * 1.9);
    EXPECT_LT(took, 4 * 2.0 + 6.0);
    const std::string reason = ErrorText(kSharingViolation);
    std::vector<std::string> named;
    for (const Failure& f : r.failures) {
        EXPECT_EQ(f.Reason(), reason) << f.ToString();
        named.push_back(f.file);
    }
    const std::string root = NativePath(b.dir.path());
    EXPECT_EQ(named, (std::vector<std::string>{root + "\\user\\u01.txt", root + "\\user\\u02.txt",
                                               root + "\\user\\memo.txt", root + "\\group.txt"}));

    // A load meets the same: the file, and the reason in plain words.
    LoadedBoard again;
    auto err = LoadBoard(RealFileSystem(), b.paths, again);
    ASSERT_TRUE(err);
    EXPECT_EQ(err->file, root + "\\user\\u01.txt");
    EXPECT_NE(err->Reason().find(reason), std::string::npos) << err->Reason();

    perUser.reset();  // no one could read it meanwhile, the test neither
    EXPECT_EQ(ReadBytes(b.File("group.txt")), before[0]);
    EXPECT_EQ(ReadBytes(b.File("user/u01.txt")), before[1]);
    EXPECT_EQ(ReadBytes(b.File("user/u02.txt")), before[2]);
    EXPECT_TRUE(test::PathExists(b.File("user/memo.txt")));
    // The file no one held is written.
    EXPECT_EQ(ReadBytes(b.File("user.txt")), SjisLines({"u01,p1,1", "u02,new,1"}));
    EXPECT_TRUE(Leftovers(b).empty());
}
