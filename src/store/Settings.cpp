// "setup.ini": a small stand-in for the Windows profile functions, and the
// search for the board folder at start-up.
#include "store/Settings.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

#include "Define/Cp932.h"
#include "Define/Profile.h"
#include "store/FieldReader.h"
#include "store/LinkRule.h"
#include "store/SafeWrite.h"
#include "store/UserFolder.h"

namespace solne {

const char* const kFolderPromptMessage =
    "ユーザー情報ファイルが見つかりませんでした。\r\n"
    "\r\n"
    "[OK]ボタンを押すことでフォルダの指定画面が表示されます。\r\n"
    "行き先掲示板システムがインストールされているフォルダを指定してください。";

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    size_t b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(kBlanks);
    return s.substr(b, e - b + 1);
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && FoldCase(a) == FoldCase(b);
}

// One line of a profile file, as byte offsets into the file.
struct IniLine {
    size_t begin = 0;
    size_t end = 0;   // end of the text, before the line end
    size_t next = 0;  // start of the following line
};

std::vector<IniLine> SplitLines(std::string_view bytes) {
    std::vector<IniLine> lines;
    size_t i = bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
    std::string_view rest = bytes.substr(i);
    while (!rest.empty()) {
        TextLine t = TakeLine(rest);
        IniLine l;
        l.begin = i;
        l.end = i + t.text.size();
        l.next = i = l.end + t.end.size();
        lines.push_back(l);
    }
    return lines;
}

// The name of a section header line ("[name]..."), or nullopt.
std::optional<std::string_view> SectionName(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text[0] != '[') return std::nullopt;
    size_t close = text.find(']');
    return Trim(text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

// A key line: its key, and the raw value after "=" (empty without "=").
struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> KeyOf(std::string_view text) {
    std::string_view t = Trim(text);
    if (t.empty() || t[0] == ';' || t[0] == '[') return std::nullopt;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return KeyLine{t, {}};
    return KeyLine{Trim(t.substr(0, eq)), t.substr(eq + 1)};
}

// Where a key stands in a file: the first matching section and, inside it,
// the first matching key.
struct KeyPlace {
    bool sectionFound = false;
    size_t sectionLine = 0;    // the header line
    size_t lastKeyLine = 0;    // last key line of the section (the header when none)
    std::optional<size_t> keyLine;
};

KeyPlace FindKey(std::string_view bytes, const std::vector<IniLine>& lines,
                 std::string_view section, std::string_view key) {
    KeyPlace place;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view text = bytes.substr(lines[i].begin, lines[i].end - lines[i].begin);
        if (auto name = SectionName(text)) {
            if (place.sectionFound) break;  // the first matching section has ended
            if (SameNoCase(*name, section)) {
                place.sectionFound = true;
                place.sectionLine = place.lastKeyLine = i;
            }
            continue;
        }
        if (!place.sectionFound) continue;
        if (auto k = KeyOf(text)) {
            place.lastKeyLine = i;
            if (SameNoCase(k->key, key)) {
                place.keyLine = i;
                break;
            }
        }
    }
    return place;
}

// The value as Windows reads it: blanks trimmed, one outer pair of matching
// quotes removed.
std::string_view UnquoteValue(std::string_view raw) {
    std::string_view v = Trim(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

// A value that would not read back unchanged is written in double quotes.
std::string QuoteValue(const std::string& value) {
    bool blankEnd = !value.empty() && (kBlanks.find(value.front()) != std::string_view::npos ||
                                       kBlanks.find(value.back()) != std::string_view::npos);
    bool quotedLook = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
    return blankEnd || quotedLook ? "\"" + value + "\"" : value;
}

enum class Encoding { Utf8, Cp932, Unknown };

Encoding EncodingOf(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return Encoding::Utf8;
    std::string ignored;
    return Cp932ToUtf8(bytes, ignored) ? Encoding::Cp932 : Encoding::Unknown;
}

// Re-encodes a code page 932 file as UTF-8, line ends and all.
std::string ToUtf8File(std::string_view cp932) {
    std::string utf8;
    Cp932ToUtf8(cp932, utf8);
    return utf8;
}

}  // namespace

std::string ReadProfileString(FileSystem& fs, const std::string& file, const std::string& section,
                              const std::string& key) {
    std::string bytes;
    if (fs.ReadFile(file, bytes) != 0) return {};
    auto lines = SplitLines(bytes);
    KeyPlace place = FindKey(bytes, lines, section, key);
    if (!place.keyLine) return {};
    const IniLine& l = lines[*place.keyLine];
    auto k = KeyOf(std::string_view(bytes).substr(l.begin, l.end - l.begin));
    std::string_view value = UnquoteValue(k->value);
    if (EncodingOf(bytes) != Encoding::Cp932) return std::string(value);
    std::string utf8;
    return Cp932ToUtf8(value, utf8) ? utf8 : std::string(value);
}

int WriteProfileString(FileSystem& fs, const std::string& file, const std::string& section,
                       const std::string& key, const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos || section.find_first_of("\r\n]") != std::string::npos ||
        key.find_first_of("\r\n=") != std::string::npos)
        return EINVAL;

    FileStat st;
    int statErr = fs.Stat(file, st);
    bool exists = statErr == 0;
    if (statErr != 0 && statErr != ENOENT) return statErr;
    if (exists && st.isDir) return EISDIR;

    std::string bytes;
    if (exists) {
        if (int err = fs.ReadFile(file, bytes); err != 0) return err;
    }

    // A settings file from Windows stays in code page 932 as long as the new
    // value has a form there; otherwise the whole file becomes UTF-8. A new
    // or all-ASCII file gets the value in code page 932 as well, as the
    // Windows profile functions write it, unless those bytes would read as
    // UTF-8.
    std::string encodedValue = QuoteValue(value);
    const Encoding encoding = EncodingOf(bytes);
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    if (encoding == Encoding::Cp932) {
        std::string cp932;
        if (Utf8ToCp932(encodedValue, cp932)) encodedValue = cp932;
        else bytes = ToUtf8File(bytes);
    } else if (ascii) {
        std::string cp932;
        if (Utf8ToCp932(encodedValue, cp932) && !IsValidUtf8(cp932)) encodedValue = cp932;
    }

    auto lines = SplitLines(bytes);
    KeyPlace place = FindKey(bytes, lines, section, key);
    std::string out;
    if (place.keyLine) {
        // Same line, same spelling of the key, new value.
        const IniLine& l = lines[*place.keyLine];
        auto k = KeyOf(std::string_view(bytes).substr(l.begin, l.end - l.begin));
        out.append(bytes, 0, l.begin);
        out.append(k->key).append("=").append(encodedValue).append("\r\n");
        out.append(bytes, l.next, std::string::npos);
    } else if (place.sectionFound) {
        const IniLine& l = lines[place.lastKeyLine];
        out.append(bytes, 0, l.next);
        if (l.next == l.end) out.append("\r\n");  // the last line had no line end
        out.append(key).append("=").append(encodedValue).append("\r\n");
        out.append(bytes, l.next, std::string::npos);
    } else {
        out = bytes;
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out.append("\r\n");
        out.append("[").append(section).append("]\r\n");
        out.append(key).append("=").append(encodedValue).append("\r\n");
    }
    std::string failedStep;
    // Links are followed only inside the program's folder or to a file of
    // the link's own account.
    return ReplaceFile(fs, FolderOf(file), file, out, true, failedStep);
}

std::string ReadSetting(FileSystem& fs, const std::string& file, const std::string& section,
                        const std::string& key) {
    if (ProfileFunctions* p = PlatformProfileFunctions()) return p->Read(file, section, key);
    return ReadProfileString(fs, file, section, key);
}

int WriteSetting(FileSystem& fs, const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value) {
    // Quoted as the writer above quotes, so the value reads back unchanged.
    if (ProfileFunctions* p = PlatformProfileFunctions()) return p->Write(file, section, key, QuoteValue(value));
    return WriteProfileString(fs, file, section, key, value);
}

std::string BoardPaths::UserFolder() const { return JoinPath(InstalledPath, "user"); }

BoardPaths BoardPaths::For(const std::string& installedPath) {
    BoardPaths p;
    // Shown in messages as the platform writes paths.
    p.InstalledPath = NativePath(installedPath);
    p.UserFilePath = JoinPath(p.InstalledPath, "user.txt");
    p.GroupFilePath = JoinPath(p.InstalledPath, "group.txt");
    return p;
}

LocateOutcome LocateInstallation(FileSystem& fs, const std::string& setupIniPath,
                                 const std::function<void(const std::string&)>& showMessage,
                                 const std::function<std::optional<std::string>()>& chooseFolder) {
    LocateOutcome outcome;
    std::string stored = ReadSetting(fs, setupIniPath, "Script", "InstalledPath");
    if (!stored.empty() && !IsAbsolutePath(stored)) stored = JoinPath(FolderOf(setupIniPath), stored);
    outcome.paths = BoardPaths::For(stored);
    // A file of that name is there: a fifo or device is not "missing" but a
    // file the load then names with its problem. A folder does not count.
    auto present = [&](const std::string& path) {
        FileStat st;
        return fs.Stat(path, st) == 0 && !st.isDir;
    };
    auto bothExist = [&] { return present(outcome.paths.UserFilePath) && present(outcome.paths.GroupFilePath); };
    if (bothExist()) return outcome;

    std::string chosen;
    while (chosen.empty() || !bothExist()) {
        showMessage(kFolderPromptMessage);
        outcome.prompted = true;
        std::optional<std::string> picked = chooseFolder();
        if (!picked) {
            outcome.cancelled = true;
            return outcome;
        }
        chosen = picked->substr(0, picked->find('\0'));
        outcome.paths = BoardPaths::For(chosen);
    }

    return outcome;
}

}  // namespace solne
