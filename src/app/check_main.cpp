// solne-check: reads a board folder and prints its tables or a report of
// what deserves attention. Never writes to the folder.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "Define/Console.h"
#include "store/BoardCheck.h"
#include "store/Load.h"
#include "store/Settings.h"

namespace {

constexpr const char* kUsage = "usage: solne-check [dump] FOLDER | solne-check --help\n";

constexpr const char* kHelp =
    "solne-check: reads the board folder of the in/out board (\"user.txt\", \"group.txt\"\n"
    "and the per-user files in \"user/\") without ever writing to it.\n"
    "\n"
    "  solne-check FOLDER       report what deserves attention, one finding a line with\n"
    "                           its file and line: duplicate user IDs, group numbers no\n"
    "                           group line has, duplicate group numbers, blank slots,\n"
    "                           users without a per-user file, per-user files found only\n"
    "                           by letter case, name lines with more than one \"=\", values\n"
    "                           the save writes in double quotes or refuses to write, and\n"
    "                           files the next save deletes from \"user/\". The last line\n"
    "                           counts the findings.\n"
    "                           Exit 0: nothing found, 1: findings, 2: the folder does not load.\n"
    "  solne-check dump FOLDER  print both tables as the editor loads them, in UTF-8:\n"
    "                           \"users N\" and one line per slot\n"
    "                           index TAB UserId TAB PassWord TAB GroupNo TAB GroupName TAB\n"
    "                           UserName TAB StatusLine TAB PlanLine,\n"
    "                           then \"groups M\" and one line per slot\n"
    "                           index TAB GroupNo TAB GroupName.\n"
    "                           In values \\ is written \\\\, tab \\t, CR \\r, LF \\n, and a byte\n"
    "                           of a status or plan line that is not code page 932 \\xNN.\n"
    "                           Exit 0, or 2 when the folder does not load.\n"
    "  solne-check --help       this text.\n"
    "\n"
    "A load error is printed on stderr as FILE:LINE: problem. A folder whose name\n"
    "begins with \"-\", or is \"dump\", is written as ./-name or ./dump.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// Loads the folder through a file system that cannot write; prints a load
// error and returns false when it does not load.
bool Load(solne::FileSystem& fs, const solne::BoardPaths& paths, solne::LoadedBoard& board) {
    if (auto error = solne::LoadBoard(fs, paths, board)) {
        std::cerr << error->ToString() << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    solne::BinaryStandardStreams();
    const std::vector<std::string> args = solne::Utf8Arguments(argc, argv);
    argc = int(args.size());
    const std::string_view first = argc > 1 ? std::string_view(args[1]) : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    // "dump" alone is the dump command without its folder (a folder of that
    // name is written ./dump).
    const bool dump = argc == 3 && first == "dump";
    if (!(dump || (argc == 2 && first != "dump"))) return Usage();
    const std::string folder = args[size_t(argc) - 1];
    if (folder.empty() || folder[0] == '-') return Usage();

    solne::ReadOnlyFileSystem fs(solne::RealFileSystem());
    const solne::BoardPaths paths = solne::BoardPaths::For(folder);
    solne::LoadedBoard board;
    if (!Load(fs, paths, board)) return 2;

    if (dump) {
        std::cout << solne::DumpBoard(board);
        return 0;
    }
    const auto findings = solne::CheckBoard(fs, paths, board);
    for (const auto& f : findings) std::cout << f.ToString() << "\n";
    std::cout << solne::FindingCountLine(findings.size()) << "\n";
    return findings.empty() ? 0 : 1;
}
