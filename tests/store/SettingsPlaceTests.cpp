// Where "setup.ini" is kept, under the rules of both platforms (a preset
// beside the program used in place, as on POSIX, or copied into the
// account's folder, as on Windows): beside the program, the account's own
// file, the system-wide default, and remembering a folder in each. Then the
// platform's own folders and functions that the rules are built on.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "common/FaultyPlaces.h"
#include "common/TempBoard.h"
#include "store/Settings.h"
#include "store/SettingsPlace.h"

using namespace solne;
using solne::test::FaultyPlaces;
using solne::test::ListNames;
using solne::test::PathExists;
using solne::test::ReadBytes;
using solne::test::TempDir;
using solne::test::WriteBytes;

namespace {

// What a call said: "" when it did what it was asked, else its one line.
std::string Said(const std::optional<solne::Failure>& f) { return f ? f->ToString() : ""; }


// A program folder, an account's settings folder and two system folders
// under one temporary folder; whether the program's folder may hold the
// settings is decided by the test (root could write anywhere).
struct Scene {
    TempDir dir;
    FaultyPlaces places;

    explicit Scene(bool copiesPreset = false) {
        std::filesystem::create_directories(std::filesystem::u8path(dir / "bin"));
        places.programFolder = dir / "bin";
        places.accountFolder = dir / "config";
        places.systemFolders = {dir / "etc1", dir / "etc2"};
        places.copiesPreset = copiesPreset;
    }
    std::string Beside() const { return dir / "bin/setup.ini"; }
    std::string Own() const { return dir / "config/solne/setup.ini"; }
    std::string System(int n) const { return dir / ("etc" + std::to_string(n) + "/solne/setup.ini"); }
    SettingsPlace Find() { return FindSettingsPlace(RealFileSystem(), places); }
    // The calls that changed something: made a folder or copied a file.
    std::vector<std::string> Changes() const {
        std::vector<std::string> out;
        for (const std::string& c : places.calls)
            if (c.rfind("writable ", 0) != 0) out.push_back(c);
        return out;
    }
};

void ExpectPlace(const SettingsPlace& p, const std::string& file, const std::string& readFrom) {
    EXPECT_EQ(p.file, file);
    EXPECT_EQ(p.readFrom, readFrom);
}

std::string Stored(const std::string& file) {
    return ReadSetting(RealFileSystem(), file, "Script", "InstalledPath");
}

bool Writable(const std::string& file) {
    namespace fs = std::filesystem;
    return (fs::status(fs::u8path(file)).permissions() & fs::perms::owner_write) != fs::perms::none;
}

void MakeReadOnly(const std::string& file, bool readOnly) {
    namespace fs = std::filesystem;
    fs::permissions(fs::u8path(file), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

constexpr bool kBothRules[] = {false, true};
const char* RuleName(bool copiesPreset) { return copiesPreset ? "preset copied" : "preset in place"; }

}  // namespace

TEST(SettingsPlace, BesideTheProgramWhenItsFolderIsItsOwnAndWritable) {
    for (bool copies : kBothRules) {
        SCOPED_TRACE(RuleName(copies));
        Scene p(copies);
        WriteBytes(p.Own(), "[Script]\r\nInstalledPath=/own\r\n");
        WriteBytes(p.Beside(), "[Script]\r\nInstalledPath=/beside\r\n");
        p.places.programFolderOwnAndWritable = true;  // a copied program folder, a build folder
        const SettingsPlace place = p.Find();
        ExpectPlace(place, p.Beside(), p.Beside());
        EXPECT_FALSE(place.createFolder);
        EXPECT_EQ(p.places.calls, std::vector<std::string>{"writable " + p.places.programFolder});

        // Without a settings folder for the account there is no other place,
        // writable or not, and nothing is copied.
        p.places.programFolderOwnAndWritable = false;
        p.places.accountFolder.clear();
        ExpectPlace(p.Find(), p.Beside(), p.Beside());
        std::filesystem::remove(std::filesystem::u8path(p.Beside()));
        ExpectPlace(p.Find(), p.Beside(), p.Beside());
        EXPECT_TRUE(p.Changes().empty());
    }
}

TEST(SettingsPlace, APresetBesideAProgramThatMayNotWriteThereIsUsedInPlaceOrCopiedOnce) {
    const std::string preset = "[Script]\r\nInstalledPath=/srv/preset\r\n";
    {
        SCOPED_TRACE(RuleName(false));
        Scene p(false);
        WriteBytes(p.Beside(), preset);
        ExpectPlace(p.Find(), p.Beside(), p.Beside());
        EXPECT_TRUE(p.Changes().empty());
        EXPECT_FALSE(PathExists(p.dir / "config"));
    }
    SCOPED_TRACE(RuleName(true));
    Scene p(true);
    WriteBytes(p.Beside(), preset);
    MakeReadOnly(p.Beside(), true);  // as an installer leaves it
    SettingsPlace place = p.Find();
    ExpectPlace(place, p.Own(), p.Own());
    EXPECT_TRUE(place.createFolder);
    EXPECT_EQ(ReadBytes(p.Own()), preset);
    EXPECT_TRUE(Writable(p.Own())) << "the copy is the account's to change";
    EXPECT_EQ(ReadBytes(p.Beside()), preset);

    // The account's own file is never replaced by the preset again.
    EXPECT_EQ(Said(RememberInstalledPath(RealFileSystem(), place, "/srv/mine", p.places)), "");
    p.places.calls.clear();
    ExpectPlace(p.Find(), p.Own(), p.Own());
    EXPECT_TRUE(p.Changes().empty());
    EXPECT_EQ(Stored(p.Own()), "/srv/mine");

    // A preset that cannot be copied (no folder, or no copy) is still read,
    // where it is; the chosen folder still goes to the account's file.
    for (bool folderFails : {true, false}) {
        SCOPED_TRACE(folderFails ? "folder fails" : "copy fails");
        Scene q(true);
        WriteBytes(q.Beside(), preset);
        (folderFails ? q.places.makeFolderError : q.places.copyError) = EACCES;
        place = q.Find();
        ExpectPlace(place, q.Own(), q.Beside());
        EXPECT_TRUE(place.createFolder);
        EXPECT_EQ(Stored(place.readFrom), "/srv/preset");
        EXPECT_EQ(q.Changes().size(), folderFails ? 1u : 2u) << "no copy without the folder";
        EXPECT_FALSE(PathExists(q.Own()));
    }
    MakeReadOnly(p.Beside(), false);
}

TEST(SettingsPlace, AccountsOwnFileThenTheFirstSystemDefault) {
    for (bool copies : kBothRules) {
        SCOPED_TRACE(RuleName(copies));
        Scene p(copies);
        // Nothing anywhere: the account's own file, read (empty) and
        // written, made only when a folder is remembered.
        SettingsPlace place = p.Find();
        ExpectPlace(place, p.Own(), p.Own());
        EXPECT_TRUE(place.createFolder);
        EXPECT_TRUE(p.Changes().empty());

        // A system default is read while the account has none; the first
        // system folder that has one wins.
        WriteBytes(p.System(2), "[Script]\r\nInstalledPath=/two\r\n");
        ExpectPlace(p.Find(), p.Own(), p.System(2));
        WriteBytes(p.System(1), "[Script]\r\nInstalledPath=/one\r\n");
        ExpectPlace(p.Find(), p.Own(), p.System(1));
        // A folder where the file should be is no default.
        std::filesystem::remove(std::filesystem::u8path(p.System(1)));
        std::filesystem::create_directories(std::filesystem::u8path(p.System(1)));
        ExpectPlace(p.Find(), p.Own(), p.System(2));

        // Once the account has its own file, the defaults are no longer read.
        WriteBytes(p.Own(), "");
        ExpectPlace(p.Find(), p.Own(), p.Own());
        EXPECT_TRUE(p.Changes().empty());
    }
}

TEST(SettingsPlace, RememberMakesTheAccountsFolderAndLeavesTheSystemDefault) {
    for (bool copies : kBothRules) {
        SCOPED_TRACE(RuleName(copies));
        Scene p(copies);
        const std::string systemText = "; for everyone\r\n[Script]\r\nInstalledPath=/srv/old\r\n";
        WriteBytes(p.System(1), systemText);
        const SettingsPlace place = p.Find();
        ASSERT_EQ(place.readFrom, p.System(1));
        EXPECT_EQ(Stored(place.readFrom), "/srv/old");

        EXPECT_EQ(Said(RememberInstalledPath(RealFileSystem(), place, "/srv/board", p.places)), "");
        EXPECT_EQ(Stored(p.Own()), "/srv/board");
        EXPECT_EQ(ReadBytes(p.System(1)), systemText);
        EXPECT_EQ(p.Changes(), std::vector<std::string>{"make " + p.dir / "config/solne"});
#ifndef _WIN32
        struct stat st {};
        ASSERT_EQ(stat((p.dir / "config/solne").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
#endif
        // The next start reads the account's own file.
        EXPECT_EQ(p.Find().readFrom, p.Own());

        // A folder name with a line break cannot be stored; nothing is written.
        EXPECT_NE(Said(RememberInstalledPath(RealFileSystem(), place, "/srv/a\nb", p.places)).find(p.Own()),
                  std::string::npos);
        EXPECT_EQ(Stored(p.Own()), "/srv/board");

        // The folder cannot be made: the folder and the reason; nothing is written.
        Scene q(copies);
        q.places.makeFolderError = EACCES;
        EXPECT_EQ(Said(RememberInstalledPath(RealFileSystem(), q.Find(), "/srv/board", q.places)),
                  q.dir / "config/solne: " + ErrorText(EACCES));
        EXPECT_FALSE(PathExists(q.dir / "config"));

        // A file where the folder must be, found by the platform's own function.
        Scene r(copies);
        WriteBytes(r.dir / "config", "not a folder");
        EXPECT_EQ(Said(RememberInstalledPath(RealFileSystem(), r.Find(), "/srv/board", r.places)),
                  r.dir / "config/solne: " + ErrorText(ENOTDIR));
        EXPECT_EQ(ReadBytes(r.dir / "config"), "not a folder");

        // Beside the program (or a test's own file) no folder is made.
        TempDir other;
        EXPECT_NE(Said(RememberInstalledPath(RealFileSystem(), SettingsPlace(other / "none/setup.ini"), "/srv/b", p.places)),
                  "");
        EXPECT_FALSE(PathExists(other / "none"));
    }
}

// ------------------------------------------------ the platform's own part

TEST(Places, ProgramFolderAndItsWriteTest) {
    Places& places = PlatformPlaces();
    EXPECT_EQ(places.ProgramFolder(), ProgramFolder());
    TempDir dir;
    EXPECT_TRUE(places.IsOwnWritableFolder(dir.path()));
    EXPECT_TRUE(ListNames(dir.path()).empty()) << "the write test leaves nothing behind";
    EXPECT_FALSE(places.IsOwnWritableFolder(dir / "missing"));
#ifndef _WIN32
    // The system's program folders are never written, not even by root.
    for (const char* folder : {"/usr/bin", "/usr/local/bin", "/bin", "/sbin", "/usr"})
        EXPECT_FALSE(places.IsOwnWritableFolder(folder)) << folder;
    EXPECT_FALSE(places.CopiesPresetToAccount());
#else
    EXPECT_TRUE(places.CopiesPresetToAccount());
#endif
}

TEST(Places, MakeFolderMakesTheParentsAndStopsAtAFile) {
    Places& places = PlatformPlaces();
    TempDir dir;
    const std::string deep = dir / "a/b/c";
    EXPECT_EQ(places.MakeFolder(deep), 0);
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(deep)));
    EXPECT_EQ(places.MakeFolder(deep), 0) << "a folder already there";
#ifndef _WIN32
    for (const char* folder : {"a", "a/b", "a/b/c"}) {
        struct stat st {};
        ASSERT_EQ(stat((dir / folder).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u) << folder;
    }
#endif
    WriteBytes(dir / "file", "x");
    EXPECT_EQ(places.MakeFolder(dir / "file"), ENOTDIR);
    EXPECT_EQ(places.MakeFolder(dir / "file/sub"), ENOTDIR);
    EXPECT_EQ(ReadBytes(dir / "file"), "x");
}

TEST(Places, CopyNewFileNeverReplacesAndLeavesAWritableCopy) {
    Places& places = PlatformPlaces();
    TempDir dir;
    const std::string from = dir / "from.ini", to = dir / "to.ini";
    WriteBytes(from, "[Script]\r\nInstalledPath=C:\\board\r\n");
    MakeReadOnly(from, true);
    EXPECT_EQ(places.CopyNewFile(from, to), 0);
    EXPECT_EQ(ReadBytes(to), "[Script]\r\nInstalledPath=C:\\board\r\n");
    EXPECT_TRUE(Writable(to));

    WriteBytes(to, "mine");
    EXPECT_EQ(places.CopyNewFile(from, to), EEXIST);
    EXPECT_EQ(ReadBytes(to), "mine");

    EXPECT_EQ(places.CopyNewFile(dir / "missing.ini", dir / "other.ini"), ENOENT);
    EXPECT_FALSE(PathExists(dir / "other.ini"));
    EXPECT_NE(places.CopyNewFile(from, dir / "no-folder/to.ini"), 0);
    MakeReadOnly(from, false);
}

#ifndef _WIN32
namespace {
// Sets environment variables for one test and restores them after.
class EnvScope {
public:
    void Set(const char* name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~EnvScope() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};
}  // namespace

TEST(Places, PosixFoldersFollowTheXdgVariables) {
    Places& places = PlatformPlaces();
    EnvScope env;
    env.Set("HOME", "/home/u");
    env.Set("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(places.AccountSettingsFolder(), "/home/u/.config");
    EXPECT_EQ(AccountSettingsFile(places), "/home/u/.config/solne/setup.ini");
    env.Set("XDG_CONFIG_HOME", "/x/cfg");
    EXPECT_EQ(places.AccountSettingsFolder(), "/x/cfg");
    env.Set("XDG_CONFIG_HOME", "relative/cfg");  // not absolute: ignored
    EXPECT_EQ(places.AccountSettingsFolder(), "/home/u/.config");
    env.Set("HOME", "relative/home");
    EXPECT_EQ(places.AccountSettingsFolder(), "");
    EXPECT_EQ(AccountSettingsFile(places), "");

    env.Set("XDG_CONFIG_DIRS", nullptr);
    EXPECT_EQ(places.SystemSettingsFolders(), std::vector<std::string>{"/etc/xdg"});
    env.Set("XDG_CONFIG_DIRS", "");
    EXPECT_EQ(places.SystemSettingsFolders(), std::vector<std::string>{"/etc/xdg"});
    env.Set("XDG_CONFIG_DIRS", "/a::rel:/b/");  // empty and relative entries are skipped
    EXPECT_EQ(places.SystemSettingsFolders(), (std::vector<std::string>{"/a", "/b/"}));
    EXPECT_EQ(SystemSettingsFiles(places), (std::vector<std::string>{"/a/solne/setup.ini", "/b/solne/setup.ini"}));
}
#else
TEST(Places, WindowsAccountFolderIsTheApplicationData) {
    Places& places = PlatformPlaces();
    const std::string appData = places.AccountSettingsFolder();
    ASSERT_FALSE(appData.empty());
    EXPECT_TRUE(IsAbsolutePath(appData)) << appData;
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(appData))) << appData;
    EXPECT_EQ(AccountSettingsFile(places), JoinPath(JoinPath(appData, "solne"), "setup.ini"));
    EXPECT_TRUE(places.SystemSettingsFolders().empty());
}
#endif
