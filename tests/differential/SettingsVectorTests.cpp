// "setup.ini" read and written on the same inputs through our reader and
// writer on Linux and through GetPrivateProfileStringW /
// WritePrivateProfileStringW under Wine, against data/settings.txt (made
// once from the Linux side). Known departures are named per platform.
#include <gtest/gtest.h>

#include <cstdio>

#include "Define/FileSystem.h"
#include "Vectors.h"
#include "common/TempBoard.h"
#include "store/Settings.h"

using namespace solne;
using namespace solne::test;

namespace {

std::string ReadValue(const std::string& file, const std::string& section, const std::string& key) {
    return ReadSetting(RealFileSystem(), file, section, key);
}

int WriteValue(const std::string& file, const std::string& section, const std::string& key, const std::string& value) {
    return WriteSetting(RealFileSystem(), file, section, key, value);
}

constexpr const char* kMissing = nullptr;

// A file with most of the reading rules in it.
const char* const kRules =
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
    "Inner=\"a\"b\"\r\n"
    "Hash=#1\r\n"
    "#Hash=2\r\n"
    "Empty=\r\n"
    "Blank=\t \r\n"
    "NoEquals\r\n"
    "my key = spaced key\r\n"
    "[Script]\r\n"
    "Late=/second/section\r\n";

struct ReadCase {
    const char* name;
    const char* file;  // nullptr: no file
    const char* section;
    const char* key;
};

const ReadCase kReads[] = {
    {"key case, blanks, no end-of-line comment", kRules, "Script", "InstalledPath"},
    {"section case", kRules, "SCRIPT", "quoted"},
    {"single quotes", kRules, "Script", "Single"},
    {"mismatched quotes", kRules, "Script", "Mixed"},
    {"quote inside", kRules, "Script", "Inner"},
    {"hash is no comment", kRules, "Script", "Hash"},
    {"key beginning with hash", kRules, "Script", "#Hash"},
    {"empty value", kRules, "Script", "Empty"},
    {"blank value", kRules, "Script", "Blank"},
    {"line without equals", kRules, "Script", "NoEquals"},
    {"key with a space", kRules, "Script", "my key"},
    {"comment key", kRules, "Script", ";InstalledPath"},
    {"second section of that name", kRules, "Script", "Late"},
    {"other section", kRules, "other", "INSTALLEDPATH"},
    {"missing section", kRules, "Nothing", "InstalledPath"},
    {"missing key", kRules, "Script", "Nothing"},
    {"missing file", kMissing, "Script", "InstalledPath"},
    {"LF line ends", "[Script]\nInstalledPath=/lf\nNext=1\n", "Script", "InstalledPath"},
    {"CR line ends", "[Script]\rInstalledPath=/cr\rNext=1\r", "Script", "InstalledPath"},
    {"CR line ends, next key", "[Script]\rInstalledPath=/cr\rNext=1\r", "Script", "Next"},
    {"no line end at the end", "[Script]\r\nInstalledPath=/no/end", "Script", "InstalledPath"},
    {"UTF-8 byte-order mark", "\xEF\xBB\xBF[Script]\r\nInstalledPath=/bom\r\n", "Script", "InstalledPath"},
    {"code page 932 value", "[Script]\r\nInstalledPath=C:\\\x8D\x73\x82\xAB\x90\xE6\r\n", "Script", "InstalledPath"},
    {"value with a 5C trail byte", "[Script]\r\nInstalledPath=C:\\\x83\x5C\x95\x5C\r\n", "Script", "InstalledPath"},
    {"empty quotes", "[Script]\r\nInstalledPath=\"\"\r\n", "Script", "InstalledPath"},
    {"duplicate key", "[Script]\r\nInstalledPath=/first\r\nInstalledPath=/second\r\n", "Script", "InstalledPath"},
    {"duplicate section, key in the second", "[S]\r\nk=1\r\n[S]\r\nj=2\r\n", "S", "j"},
    {"blank before the section header", "  \t[Script]\r\nInstalledPath=/indented\r\n", "Script", "InstalledPath"},
    {"section name with blanks inside", "[My Script]\r\nk=v\r\n", "my script", "k"},
    {"header without closing bracket", "[Script\r\nInstalledPath=/open\r\n", "Script", "InstalledPath"},
};

struct WriteCase {
    const char* name;
    const char* before;  // nullptr: no file
    const char* section;
    const char* key;
    const char* value;
};

const char* const kCommented =
    "; written by hand\r\n"
    "[View]\r\n"
    "Font=MS Gothic\r\n"
    "\r\n"
    "[script]\r\n"
    "installedpath=/old\r\n"
    "Mode=1\r\n"
    "; trailing comment\r\n"
    "\r\n"
    "[Last]\r\n"
    "x=1\r\n";

const WriteCase kWrites[] = {
    {"creates a missing file", kMissing, "Script", "InstalledPath", "/srv/board"},
    {"changes a key, keeps its spelling and every other line", kCommented, "Script", "InstalledPath", "/new"},
    {"new key after the last key of its section", kCommented, "SCRIPT", "Added", "yes"},
    {"new section at the end", kCommented, "New", "k", "v"},
    {"new section after a last line without line end", "[A]\r\nk=v", "B", "k", "v"},
    {"new key in a file of LF line ends", "[Script]\nMode=1\n", "Script", "InstalledPath", "/lf"},
    {"changed key in a file of CR line ends", "[Script]\rInstalledPath=/old\rMode=1\r", "Script", "InstalledPath", "/cr"},
    {"value with blanks at its ends", "[Script]\r\n", "Script", "InstalledPath", "  /spaced  "},
    {"value in quotes", "[Script]\r\n", "Script", "InstalledPath", "\"/quoted\""},
    {"empty value", "[Script]\r\nInstalledPath=/old\r\n", "Script", "InstalledPath", ""},
    {"Japanese value", kMissing, "Script", "InstalledPath", "C:\\行き先掲示板"},
    {"Japanese value into a code page 932 file", "[Script]\r\nInstalledPath=C:\\\x8D\x73\x82\xAB\r\n", "Script",
     "InstalledPath", "D:\\ソ表"},
    {"first of two sections of that name", "[S]\r\nk=1\r\n[S]\r\nk=2\r\n", "S", "k", "3"},
    {"first of two keys of that name", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "3"},
    {"file that is only a comment", "; nothing yet\r\n", "Script", "InstalledPath", "/x"},
};

#ifdef _WIN32
// Where the Windows profile functions (checked under Wine 8) depart from our
// reader and writer. On Windows the program follows the profile functions:
// the settings file is theirs, and none of these changes the one value the
// program keeps there.
const std::set<std::string> kWindowsSettingsDifferences = {
    // Wine answers a question for a key that is a comment line (";key").
    "+read: comment key\t/comment",
    "-read: comment key\t",
    // Wine takes "[Script" without its "]" for no section header; our reader
    // takes the name up to the line end.
    "+read: header without closing bracket\t",
    "-read: header without closing bracket\t/open",
    // Wine rewrites the whole file when it writes a value: blank lines go,
    // every line end becomes CR LF, and a new key goes after the comment
    // lines that close its section. Windows, and our writer, change only the
    // line of the value and keep every other byte.
    "+write: changed key in a file of CR line ends\t0\t[Script]\\r\\nInstalledPath=/cr\\r\\nMode=1\\r\\n",
    "+write: changes a key, keeps its spelling and every other line\t0\t; written by hand\\r\\n[View]\\r\\nFont=MS Gothic\\r\\n[script]\\r\\ninstalledpath=/new\\r\\nMode=1\\r\\n; trailing comment\\r\\n[Last]\\r\\nx=1\\r\\n",
    "+write: new key after the last key of its section\t0\t; written by hand\\r\\n[View]\\r\\nFont=MS Gothic\\r\\n[script]\\r\\ninstalledpath=/old\\r\\nMode=1\\r\\n; trailing comment\\r\\nAdded=yes\\r\\n[Last]\\r\\nx=1\\r\\n",
    "+write: new key in a file of LF line ends\t0\t[Script]\\r\\nMode=1\\r\\nInstalledPath=/lf\\r\\n",
    "+write: new section at the end\t0\t; written by hand\\r\\n[View]\\r\\nFont=MS Gothic\\r\\n[script]\\r\\ninstalledpath=/old\\r\\nMode=1\\r\\n; trailing comment\\r\\n[Last]\\r\\nx=1\\r\\n[New]\\r\\nk=v\\r\\n",
    "-write: changed key in a file of CR line ends\t0\t[Script]\\rInstalledPath=/cr\\r\\nMode=1\\r",
    "-write: changes a key, keeps its spelling and every other line\t0\t; written by hand\\r\\n[View]\\r\\nFont=MS Gothic\\r\\n\\r\\n[script]\\r\\ninstalledpath=/new\\r\\nMode=1\\r\\n; trailing comment\\r\\n\\r\\n[Last]\\r\\nx=1\\r\\n",
    "-write: new key after the last key of its section\t0\t; written by hand\\r\\n[View]\\r\\nFont=MS Gothic\\r\\n\\r\\n[script]\\r\\ninstalledpath=/old\\r\\nMode=1\\r\\nAdded=yes\\r\\n; trailing comment\\r\\n\\r\\n[Last]\\r\\nx=1\\r\\n",
    "-write: new key in a file of LF line ends\t0\t[Script]\\nMode=1\\nInstalledPath=/lf\\r\\n",
    "-write: new section at the end\t0\t; written by hand\\r\\n[View]\\r\\nFont=MS Gothic\\r\\n\\r\\n[script]\\r\\ninstalledpath=/old\\r\\nMode=1\\r\\n; trailing comment\\r\\n\\r\\n[Last]\\r\\nx=1\\r\\n[New]\\r\\nk=v\\r\\n",
};
#endif

}  // namespace

TEST(SettingsVectors, ReadAndWriteAsTheTableSays) {
    std::vector<std::string> lines;
    for (const ReadCase& c : kReads) {
        TempDir dir;
        const std::string ini = dir / "setup.ini";
        if (c.file) WriteBytes(ini, c.file);
        lines.push_back(std::string("read: ") + c.name + "\t" + Escape(ReadValue(ini, c.section, c.key), true));
    }
    for (const WriteCase& c : kWrites) {
        TempDir dir;
        const std::string ini = dir / "setup.ini";
        if (c.before) WriteBytes(ini, c.before);
        int err = WriteValue(ini, c.section, c.key, c.value);
        bool exists = false;
        std::string after = ReadBytes(ini, &exists);
        lines.push_back(std::string("write: ") + c.name + "\t" + std::to_string(err) + "\t" +
                        (exists ? Escape(after, true) : "(no file)"));
        // Read back through the same side.
        lines.push_back(std::string("write: ") + c.name + ", read back\t" + Escape(ReadValue(ini, c.section, c.key), true));
    }
    const char* header =
        "setup.ini read and written: \"read: case<TAB>value\" and \"write: case<TAB>result<TAB>file after\",\n"
        "then the value read back. \\r \\n \\t \\\\ \\xNN are escapes. Made from the Linux side.";
    if (WriteVectorsIfAsked("settings.txt", header, lines)) return;

    std::set<std::string> named;
#ifdef _WIN32
    named = kWindowsSettingsDifferences;
#endif
    std::set<std::string> diffs = LineDifferences(ExpectedLines("settings.txt"), lines);
    std::set<std::string> unnamed, unseen;
    for (auto& d : diffs)
        if (!named.contains(d)) unnamed.insert(d);
    for (auto& d : named)
        if (!diffs.contains(d)) unseen.insert(d);
    EXPECT_TRUE(unnamed.empty()) << unnamed.size() << " differences not named:\n" << ShowSome(unnamed, 80);
    EXPECT_TRUE(unseen.empty()) << "named differences that did not occur:\n" << ShowSome(unseen, 80);
}
