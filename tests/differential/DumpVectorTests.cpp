// solne-check on the sample board and on the broken boards of the tests: the
// Windows program prints byte for byte what the Linux program prints
// (data/check-output.txt, made once from the Linux program). Paths in the
// output are shown relative to the board folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "Vectors.h"
#include "common/TempBoard.h"

using namespace solne::test;

namespace {

// Replaces every mention of the board folder by "BOARD".
std::string Relative(std::string text, const std::string& board) {
    for (size_t at; (at = text.find(board)) != std::string::npos;) text.replace(at, board.size(), "BOARD");
#ifdef _WIN32
    // The one difference of Windows: paths are shown with its separator.
    const std::pair<std::string, std::string> separators[] = {{"BOARD\\user\\", "BOARD/user/"},
                                                               {"BOARD\\", "BOARD/"}};
    for (const auto& [native, portable] : separators)
        for (size_t at; (at = text.find(native)) != std::string::npos;) text.replace(at, native.size(), portable);
#endif
    return text;
}

std::string SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl + 1 - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (auto& l : lines) out += l;
    return out;
}

struct Board {
    const char* name;
    const char* file;  // file whose content replaces the good one ("" for none)
    std::string bytes;
};

void WriteGoodBoard(const std::string& board) {
    WriteBytes(board + "/user.txt", SjisLines({"u1,pw,1", "u2,pw,2", "u3,pw,0"}));
    WriteBytes(board + "/group.txt", SjisLines({"1,営業", "2,開発"}));
    for (const char* id : {"u1", "u2", "u3"})
        WriteBytes(board + "/user/" + id + ".txt", SjisLines({"username=山田", "status=0", "plan="}));
}

}  // namespace

TEST(CheckOutputVectors, SameBytesAsTheLinuxProgram) {
    const std::vector<Board> boards = {
        {"good", "", ""},
        {"escapes", "user.txt", "u1,p\\w\tx,1\r\n,,0\r\nu2,,5\r\n"},
        {"status bytes", "user/u1.txt", "username=\x83\x5C\x95\x5C\r\nstatus=\x80" "a\\b\tc\r\nplan=\x94\x5C\xFD\x81\r\n"},
        {"quoted group", "group.txt", Sjis(" 1,\"営業,第一\"x\r\n02,開発\r\n")},
        {"empty files", "user.txt", ""},
        {"two fields", "user.txt", SjisLines({"u1,pw,1", "u2,pw"})},
        {"four fields", "user.txt", SjisLines({"u1,pw,1", "", "u2,pw,2,x"})},
        {"number out of range", "group.txt", SjisLines({"1,営業", "2,開発", "32768,総務"})},
        {"not a number", "group.txt", SjisLines({"x1,営業"})},
        {"unterminated quote", "group.txt", SjisLines({"1,営業", "2,\"開発"})},
        {"bad bytes in user.txt", "user.txt", "u1,pw,1\r\nu\x81\x20,pw,1\r\n"},
        {"bad bytes in a name line", "user/u2.txt", "username=\x80\r\nstatus=0\r\nplan=\r\n"},
        {"ID with a slash", "user.txt", SjisLines({"u1,pw,1", "../u2,pw,1"})},
    };
    std::vector<std::string> lines;
    auto run = [&](const std::string& name, const std::string& board) {
        for (bool dump : {true, false}) {
            ProgramRun r = dump ? RunProgram(SOLNE_CHECK_EXE, {"dump", board}) : RunProgram(SOLNE_CHECK_EXE, {board});
            // The report names the files of user/ in the folder's listing
            // order, which is the file system's: compared sorted.
            if (!dump) r.out = SortedLines(r.out);
            lines.push_back(name + (dump ? "\tdump\t" : "\tcheck\t") + std::to_string(r.exitCode) + "\t" +
                            Escape(Relative(r.out, board), false) + "\t" + Escape(Relative(r.err, board), false));
        }
    };
    {
        TempDir dir;
        const std::string board = dir / "sample";
        std::filesystem::copy(std::string(SOLNE_SOURCE_DIR) + "/examples/board", board,
                              std::filesystem::copy_options::recursive);
        run("sample", board);
    }
    for (const Board& b : boards) {
        TempDir dir;
        const std::string board = dir / "board";
        WriteGoodBoard(board);
        if (*b.file) WriteBytes(board + "/" + b.file, b.bytes);
        run(b.name, board);
    }
    const char* header =
        "solne-check dump FOLDER and solne-check FOLDER: board, TAB, command, TAB, exit code, TAB,\n"
        "output, TAB, errors (the folder shown as BOARD; \\r \\n \\t \\\\ \\xNN escapes). Made from\n"
        "the Linux program.";
    if (WriteVectorsIfAsked("check-output.txt", header, lines)) return;
    std::set<std::string> diffs = LineDifferences(ExpectedLines("check-output.txt"), lines);
    EXPECT_TRUE(diffs.empty()) << ShowSome(diffs);
}
