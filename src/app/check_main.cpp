// solne-check: reads a board folder and prints its tables or a report of
// what deserves attention. Never writes to the folder.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/ProgramEdge.h"
#include "Define/Cp932.h"
#include "solne/Version.h"
#include "store/BoardCheck.h"
#include "store/Load.h"
#include "store/Settings.h"

namespace {

constexpr const char* kUsage =
    "usage: solne-check [--format=plain|json] FOLDER | solne-check dump FOLDER | solne-check --help | "
    "solne-check --version\n";

constexpr const char* kHelp =
    "solne-check: 行き先掲示板システムのフォルダ（\"user.txt\"、\"group.txt\" と \"user/\" の\n"
    "個別ファイル）を読み、気をつけることを報告します。フォルダには何も書きません。\n"
    "\n"
    "  solne-check FOLDER       気をつけることを 1 行に 1 件、ファイルと行を付けて書きます:\n"
    "                           重複したユーザーID、どのグループの行にもないグループ番号、\n"
    "                           重複したグループ番号、空きスロット、個別ファイルのない\n"
    "                           ユーザー、大文字小文字だけが違う個別ファイル、\"=\" が\n"
    "                           2 個以上ある名前の行、保存のときダブルクォートで囲まれる値や\n"
    "                           保存できない値、次の保存で \"user/\" から削除されるファイル、\n"
    "                           信頼できないため読まなかったジャーナル（書き換えの途中で\n"
    "                           残った控え）。\n"
    "                           ファイル、行、種類の順に並べ、最後の行に件数を書きます。\n"
    "                           制御文字と UTF-8 でないバイトは \\xNN と書きます。\n"
    "                           終了コード 0: 指摘なし、1: 指摘あり、2: フォルダを読み込めない。\n"
    "  solne-check --format=json FOLDER\n"
    "                           同じ報告を JSON で書きます:\n"
    "                           {\"findings\": [{\"code\": 種類, \"file\": ファイル または null,\n"
    "                           \"line\": 行 または null, \"message\": 説明}, ...], \"count\": 件数}\n"
    "                           種類: duplicate-user-id, unknown-group-number,\n"
    "                           duplicate-group-number, blank-record, missing-user-file,\n"
    "                           user-file-case-only, name-line-equals, quoted-value,\n"
    "                           unwritable-value, pruned-file, ignored-journal。\n"
    "                           UTF-8 でないバイトは U+FFFD になります。\n"
    "                           --format=plain（既定）は上の 1 行 1 件の形式です。\n"
    "  solne-check dump FOLDER  エディターが読み込むとおりの両方の表を UTF-8 で書きます:\n"
    "                           \"users N\" とスロットごとに 1 行\n"
    "                           番号 TAB UserId TAB PassWord TAB GroupNo TAB GroupName TAB\n"
    "                           UserName TAB StatusLine TAB PlanLine、\n"
    "                           続いて \"groups M\" とスロットごとに 1 行\n"
    "                           番号 TAB GroupNo TAB GroupName。\n"
    "                           値の中の \\ は \\\\、タブは \\t、CR は \\r、LF は \\n と書き、\n"
    "                           状況や予定の行のコードページ 932 でないバイトは \\xNN と書きます。\n"
    "                           終了コード 0、フォルダを読み込めないときは 2。\n"
    "                           信頼できないジャーナルは標準エラー出力に書きます。\n"
    "  solne-check --help       この説明を書きます。\n"
    "  solne-check --version    バージョンを書きます。\n"
    "\n"
    "読み込みのエラーは標準エラー出力に ファイル:行: 問題 の形で書きます。\n"
    "引数の誤りと標準出力に書けないとき（ディスクがいっぱい、パイプが閉じている）も\n"
    "標準エラー出力にそう書き、終了コードは 2 です。\n"
    "\"-\" で始まるフォルダや \"dump\" という名前のフォルダは ./-name や ./dump と書きます。\n";

// Standard output, watched for the first failed write: a report that did
// not reach its reader must not end as a success.
class Output {
public:
    void Put(std::string_view text) {
        if (error_ == 0 && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
            error_ = errno ? errno : EIO;
    }
    // Flushes; prints the failure on stderr and returns 2, or returns `status`.
    int Finish(int status) {
        if (error_ == 0 && std::fflush(stdout) != 0) error_ = errno ? errno : EIO;
        if (error_ == 0) return status;
        std::fprintf(stderr, "solne-check: 標準出力に書き込めませんでした: %s\n", std::strerror(error_));
        return 2;
    }

private:
    int error_ = 0;
};

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

std::string Json(const std::vector<solne::CheckFinding>& findings) {
    std::string out = "{\"findings\": [";
    for (size_t i = 0; i < findings.size(); ++i) {
        const solne::CheckFinding& f = findings[i];
        out += i == 0 ? "\n  " : ",\n  ";
        out += "{\"code\": " + solne::JsonString(f.code);
        out += ", \"file\": " + (f.file.empty() ? std::string("null") : solne::JsonString(f.file));
        out += ", \"line\": " + (f.line > 0 ? std::to_string(f.line) : std::string("null"));
        out += ", \"message\": " + solne::JsonString(f.message) + "}";
    }
    out += findings.empty() ? "]" : "\n]";
    return out + ", \"count\": " + std::to_string(findings.size()) + "}\n";
}

int Check(const std::vector<std::string>& arguments) {
    Output out;
    std::vector<std::string_view> args(arguments.begin(), arguments.end());
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out.Put(kHelp);
        return out.Finish(0);
    }
    if (args.size() == 1 && args[0] == "--version") {
        out.Put("solne-check " SOLNE_VERSION "\n");
        return out.Finish(0);
    }
    bool json = false;
    if (!args.empty() && args[0].substr(0, 9) == "--format=") {
        if (args[0] == "--format=json") json = true;
        else if (args[0] != "--format=plain") return Usage();
        args.erase(args.begin());
        if (args.size() != 1) return Usage();
    }
    // "dump" alone is the dump command without its folder (a folder of that
    // name is written ./dump).
    const bool dump = args.size() == 2 && args[0] == "dump" && !json;
    if (!(dump || (args.size() == 1 && args[0] != "dump"))) return Usage();
    const std::string folder(args.back());
    if (folder.empty() || folder[0] == '-') return Usage();

    solne::ReadOnlyFileSystem fs(solne::RealFileSystem());
    const solne::BoardPaths paths = solne::BoardPaths::For(folder);
    solne::LoadedBoard board;
    // What goes to the terminal names files as the folder holds them: escaped.
    auto toStderr = [](const std::string& line) {
        std::fprintf(stderr, "%s\n", solne::EscapeReportLine(line).c_str());
    };
    // Read only: the checker never saves the board.
    if (auto error = solne::LoadBoard(fs, paths, board, {}, solne::LoadFor::Reading)) {
        toStderr(error->ToString());
        for (const auto& j : board.ignoredJournals) toStderr(j.ToString());
        return 2;
    }

    if (dump) {
        for (const auto& j : board.ignoredJournals) toStderr(j.ToString());
        solne::DumpBoard(board, [&](std::string_view piece) { out.Put(piece); });
        return out.Finish(0);
    }
    const auto findings = solne::CheckBoard(fs, paths, board);
    if (json) {
        out.Put(Json(findings));
    } else {
        for (const auto& f : findings) out.Put(solne::EscapeReportLine(f.ToString()) + "\n");
        out.Put(solne::FindingCountLine(findings.size()) + "\n");
    }
    return out.Finish(findings.empty() ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) { return solne::RunConsoleProgram("solne-check", argc, argv, 2, Check); }
