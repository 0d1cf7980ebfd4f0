// Fuzz target: the settings-file reader and writer. The input is a settings
// file and a value separated by kSep. Writing the value and reading it back
// gives the value, and every other line of the file survives in its order.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "FuzzInput.h"
#include "Define/Cp932.h"
#include "store/Settings.h"

using namespace solne;

namespace {
constexpr std::string_view kSep("\xff\x00\xff\x00", 4);

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_settings: %s\n", what);
        std::abort();
    }
}

// The lines of a file, without their ends (CR LF, LF and CR each end one).
std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

// The text of a settings file as the reader sees it: UTF-8, or code page 932
// brought from Windows (the writer may turn such a file into UTF-8).
std::string AsText(std::string_view bytes) {
    std::string text;
    if (!IsValidUtf8(bytes) && Cp932ToUtf8(bytes, text)) return text;
    return std::string(bytes);
}

// Whether every line of `before` but one stands in `after`, in its order:
// the longest common run of lines misses at most one of them.
bool KeepsLines(std::string_view beforeText, std::string_view afterText) {
    std::vector<std::string> before = Lines(beforeText), after = Lines(afterText);
    std::vector<size_t> row(after.size() + 1, 0), prev(after.size() + 1, 0);
    for (size_t i = 1; i <= before.size(); ++i) {
        std::swap(row, prev);
        for (size_t j = 1; j <= after.size(); ++j)
            row[j] = before[i - 1] == after[j - 1] ? prev[j - 1] + 1 : std::max(prev[j], row[j - 1]);
    }
    return row[after.size()] + 1 >= before.size();
}

// A value the Windows rules keep: no line break or NUL, no blanks at either
// end, no outer pair of quotes.
std::string SettleValue(std::string_view raw) {
    std::string v;
    for (char c : raw)
        if (c != '\r' && c != '\n' && c != '\0') v += c;
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.erase(v.begin());
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.pop_back();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v.pop_back();
    return v;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    std::string_view original = in.Until(kSep);
    std::string value = SettleValue(in.Rest());
    if (!IsValidUtf8(value)) return 0;  // folder paths here are UTF-8

    const std::string file = fuzz::ScratchFolder() + "/setup.ini";
    fuzz::PutFile(file, original);
    FileSystem& fs = RealFileSystem();
    (void)ReadProfileString(fs, file, "Script", "InstalledPath");
    Require(WriteProfileString(fs, file, "Script", "InstalledPath", value) == 0, "write failed");

    std::string written;
    Require(fs.ReadFile(file, written) == 0, "cannot read the file back");
    Require(ReadProfileString(fs, file, "Script", "InstalledPath") == value, "value does not read back");

    // Every line of the original file but the one the value replaced is
    // still there, in its order: byte for byte, or as text where the writer
    // turned a code page 932 file into UTF-8.
    Require(KeepsLines(original, written) || KeepsLines(AsText(original), written),
            "a line of the settings file was lost");
    return 0;
}
