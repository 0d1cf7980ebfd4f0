// Where "setup.ini" is kept: beside the program, the account's own file, the
// system-wide default, and remembering a folder in each of them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "common/TempBoard.h"
#include "store/Settings.h"
#include "store/SettingsPlace.h"

using namespace solne;
using solne::test::PathExists;
using solne::test::ReadBytes;
using solne::test::TempDir;
using solne::test::WriteBytes;

namespace {

// A program folder, a home folder and two system folders under one
// temporary folder; whether the program's folder may hold the settings is
// decided by the test (root could write anywhere).
struct Places {
    TempDir dir;
    SettingsEnvironment env;
    bool besideWritable = false;

    Places() {
        std::filesystem::create_directories(dir / "bin");
        env.programFolder = dir / "bin";
        env.home = dir / "home";
        env.xdgConfigDirs = dir / "etc1" + ":" + dir / "etc2";
    }
    std::string Beside() const { return dir / "bin/setup.ini"; }
    std::string Own() const { return dir / "home/.config/solne/setup.ini"; }
    SettingsPlace Find() {
        return FindSettingsPlace(RealFileSystem(), env, [&](const std::string& folder) {
            EXPECT_EQ(folder, env.programFolder);
            return besideWritable;
        });
    }
};

void ExpectPlace(const SettingsPlace& p, const std::string& file, const std::string& readFrom) {
    EXPECT_EQ(p.file, file);
    EXPECT_EQ(p.readFrom, readFrom);
}

}  // namespace

TEST(SettingsPlace, BesideTheProgramWhenItIsThereOrCanBeWritten) {
    Places p;
    WriteBytes(p.Own(), "[Script]\r\nInstalledPath=/own\r\n");
    p.besideWritable = true;  // a copied program folder, a build folder
    ExpectPlace(p.Find(), p.Beside(), p.Beside());
    EXPECT_FALSE(p.Find().createFolder);

    p.besideWritable = false;  // an administrator's file beside an installed program
    WriteBytes(p.Beside(), "[Script]\r\nInstalledPath=/beside\r\n");
    ExpectPlace(p.Find(), p.Beside(), p.Beside());

    // Without a home folder there is no other place.
    std::filesystem::remove(p.Beside());
    p.env.home.clear();
    ExpectPlace(p.Find(), p.Beside(), p.Beside());
}

TEST(SettingsPlace, AccountsOwnFileThenTheFirstSystemDefault) {
    Places p;
    // Nothing anywhere: the account's own file, read (empty) and written.
    SettingsPlace place = p.Find();
    ExpectPlace(place, p.Own(), p.Own());
    EXPECT_TRUE(place.createFolder);

    // A system default is read while the account has none; the first folder
    // of XDG_CONFIG_DIRS that has one wins.
    WriteBytes(p.dir / "etc2/solne/setup.ini", "[Script]\r\nInstalledPath=/two\r\n");
    ExpectPlace(p.Find(), p.Own(), p.dir / "etc2/solne/setup.ini");
    WriteBytes(p.dir / "etc1/solne/setup.ini", "[Script]\r\nInstalledPath=/one\r\n");
    ExpectPlace(p.Find(), p.Own(), p.dir / "etc1/solne/setup.ini");

    // Once the account has its own file, the defaults are no longer read.
    WriteBytes(p.Own(), "");
    ExpectPlace(p.Find(), p.Own(), p.Own());

    // XDG_CONFIG_HOME, when absolute, replaces ~/.config.
    p.env.xdgConfigHome = p.dir / "xdg";
    ExpectPlace(p.Find(), p.dir / "xdg/solne/setup.ini", p.dir / "etc1/solne/setup.ini");
    p.env.xdgConfigHome = "relative/xdg";
    ExpectPlace(p.Find(), p.Own(), p.Own());
}

TEST(SettingsPlace, EnvironmentRules) {
    SettingsEnvironment env;
    env.home = "/home/u";
    EXPECT_EQ(UserSettingsFile(env), "/home/u/.config/solne/setup.ini");
    env.xdgConfigHome = "/x/cfg";
    EXPECT_EQ(UserSettingsFile(env), "/x/cfg/solne/setup.ini");
    env.xdgConfigHome = "";
    env.home = "";
    EXPECT_EQ(UserSettingsFile(env), "");

    EXPECT_EQ(SystemSettingsFiles(env), std::vector<std::string>{"/etc/xdg/solne/setup.ini"});
    env.xdgConfigDirs = "/a::rel:/b/";  // empty and relative entries are skipped
    EXPECT_EQ(SystemSettingsFiles(env),
              (std::vector<std::string>{"/a/solne/setup.ini", "/b/solne/setup.ini"}));

    // The system's program folders are never written, not even by root.
    for (const char* folder : {"/usr/bin", "/usr/local/bin", "/bin", "/sbin", "/usr"})
        EXPECT_FALSE(MayWriteBeside(folder)) << folder;
    TempDir dir;
    EXPECT_TRUE(MayWriteBeside(dir.path()));
    EXPECT_FALSE(MayWriteBeside(dir / "missing"));
}

TEST(SettingsPlace, RememberMakesThePrivateFolderAndLeavesTheSystemDefault) {
    Places p;
    const std::string system = p.dir / "etc1/solne/setup.ini";
    const std::string systemText = "; for everyone\r\n[Script]\r\nInstalledPath=/srv/old\r\n";
    WriteBytes(system, systemText);
    const SettingsPlace place = p.Find();
    ASSERT_EQ(place.readFrom, system);
    EXPECT_EQ(ReadProfileString(RealFileSystem(), place.readFrom, "Script", "InstalledPath"), "/srv/old");

    EXPECT_EQ(RememberInstalledPath(RealFileSystem(), place, "/srv/board"), std::nullopt);
    EXPECT_EQ(ReadBytes(p.Own()), "[Script]\r\nInstalledPath=/srv/board\r\n");
    EXPECT_EQ(ReadBytes(system), systemText);
    struct stat st {};
    ASSERT_EQ(stat((p.dir / "home/.config/solne").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    // The next start reads the account's own file.
    EXPECT_EQ(p.Find().readFrom, p.Own());

    // A file where the folder must be: the folder and the reason.
    Places q;
    WriteBytes(q.dir / "home/.config", "not a folder");
    const std::optional<Failure> error = RememberInstalledPath(RealFileSystem(), q.Find(), "/srv/board");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->ToString(), q.dir / "home/.config/solne: " + ErrorText(ENOTDIR));
    EXPECT_EQ(error->code, ENOTDIR);

    // A folder name with a line break cannot be stored; nothing is written.
    const std::optional<Failure> lineBreak = RememberInstalledPath(RealFileSystem(), p.Find(), "/srv/a\nb");
    ASSERT_TRUE(lineBreak);
    EXPECT_EQ(lineBreak->file, p.Own());
    EXPECT_EQ(ReadBytes(p.Own()), "[Script]\r\nInstalledPath=/srv/board\r\n");

    // Beside the program (or a test's own file) no folder is made.
    TempDir other;
    EXPECT_NE(RememberInstalledPath(RealFileSystem(), SettingsPlace(other / "none/setup.ini"), "/srv/b"), std::nullopt);
    EXPECT_FALSE(PathExists(other / "none"));
}
