#include "TempBoard.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <random>

#include "Define/Cp932.h"
#include "Define/FileSystem.h"
#include "win32/PosixShim.h"  // the POSIX calls these tests make, on Windows

namespace fs = std::filesystem;

namespace solne::test {

namespace {
// Our paths are UTF-8; on Windows a narrow path would be read in the ANSI
// code page.
fs::path P(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
std::string Utf8(const fs::path& p) {
    std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}
}  // namespace

TempDir::TempDir(const std::string& parent) {
#ifdef _WIN32
    // No mkdtemp: a random name, created only if it is new.
    static std::mt19937_64 random{std::random_device{}()};
    const fs::path where = parent.empty() ? fs::temp_directory_path() : P(parent);
    for (int attempt = 0;; ++attempt) {
        std::string name = "solne-test-" + std::to_string(random() % 1000000000000ull);
        std::error_code ec;
        fs::path p = where / name;
        if (fs::create_directory(p, ec)) {
            path_ = NativePath(Utf8(p));
            break;
        }
        if (attempt == 100) {
            std::fprintf(stderr, "TempDir: cannot create %s\n", p.string().c_str());
            std::abort();
        }
    }
#else
    const fs::path where = parent.empty() ? fs::temp_directory_path() : fs::path(parent);
    std::string tmpl = (where / "solne-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    path_ = tmpl;
#endif
}

std::string TempDir::operator/(const std::string& name) const { return NativePath(path_ + "/" + name); }

TempDir::~TempDir() {
    std::error_code ec;
    // Give write permission back everywhere so removal works as non-root too.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code ignore;
        if (!it->is_symlink(ignore))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignore);
    }
    fs::remove_all(path_, ec);
}

std::string MemoryScratchParent() {
    if (const char* chosen = std::getenv("SOLNE_SCRATCH_DIR"); chosen && *chosen) return chosen;
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "";
}

std::string Sjis(std::string_view utf8) {
    std::string out;
    if (!Utf8ToCp932(utf8, out)) {
        std::fprintf(stderr, "Sjis: no code page 932 form for \"%.*s\"\n", int(utf8.size()), utf8.data());
        std::abort();
    }
    return out;
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    fs::path p = P(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    if (!f) {
        std::fprintf(stderr, "WriteBytes: cannot write %s\n", path.c_str());
        std::abort();
    }
}

std::string ReadBytes(const std::string& path, bool* exists) {
    std::ifstream f(P(path), std::ios::binary);
    if (exists) *exists = bool(f);
    if (!f) return {};
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool PathExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(P(path), ec));
}

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(P(folder), ec)) names.push_back(Utf8(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::string SjisLines(const std::vector<std::string>& lines) {
    std::string text;
    for (auto& l : lines) text += l + "\r\n";
    return Sjis(text);
}

BoardFiles FiveUsers() {
    BoardFiles b;
    b.userLines = {"u01,p1,1", "u02,p2,1", "u03,p3,2", "u04,p4,2", "u05,p5,0"};
    b.groupLines = {"1,総務部", "2,営業部"};
    b.perUser = {{"u01", {"username=田中", "status=1", "plan=会議"}},
                 {"u02", {"username=鈴木", "status=0", "plan="}},
                 {"u03", {"username=高橋", "status=0", "plan="}},
                 {"u04", {"username=渡辺", "status=2", "plan=出張"}},
                 {"u05", {"username=伊藤", "status=0", "plan="}}};
    return b;
}

void WriteBoard(const std::string& folder, const BoardFiles& board) {
    WriteBytes(folder + "/user.txt", SjisLines(board.userLines));
    WriteBytes(folder + "/group.txt", SjisLines(board.groupLines));
    fs::create_directories(P(folder + "/user"));
    for (auto& [id, lines] : board.perUser) WriteBytes(folder + "/user/" + id + ".txt", SjisLines(lines));
}

}  // namespace solne::test

namespace solne::test {

namespace {

std::vector<std::string> SjisAll(std::initializer_list<const char*> texts) {
    std::vector<std::string> out;
    for (const char* t : texts) out.push_back(Sjis(t));
    return out;
}

// A prefix followed by a number of five digits: "u00042".
std::string Numbered(const char* prefix, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%05d", prefix, n);
    return buf;
}

}  // namespace

void GenerateBoard(const std::string& folder, int users, int groups) {
    // Family and given names chosen so that trail bytes 0x5C (ソ, 表, 能) and
    // the vendor characters (髙, ①) occur as they do on real boards.
    static const std::vector<std::string> kFamily = SjisAll({
        "佐藤", "鈴木", "髙橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤",
        "吉田", "山田", "佐々木", "山口", "松本", "井上", "木村", "林", "斎藤", "清水",
        "能登", "表"});
    static const std::vector<std::string> kGiven = SjisAll({
        "一郎", "花子", "健太", "美咲", "翔", "さくら", "大輔", "陽子", "拓也", "ソウ",
        "恵美", "直樹", "由美", "誠", "彩", "浩二", "ひかり", "和也", "舞", "聡"});
    static const std::vector<std::string> kDept = SjisAll({
        "営業部", "総務部", "開発部", "経理部", "人事部", "企画室", "製造部", "品質保証部",
        "情報システム部", "購買部"});
    static const std::vector<std::string> kPlan = SjisAll({
        "", "14時 打合せ（本社）", "大阪出張 ～6/12", "在宅勤務", "会議室①", "直帰", "午後 外出"});
    static const std::string kSpace = Sjis("　");
    static const std::string kTeam = Sjis("第");
    static const std::string kTeamEnd = Sjis("課");

    const fs::path root(folder);
    const fs::path userDir = root / "user";
    fs::create_directories(root);
    fs::remove_all(userDir);
    fs::create_directories(userDir);

    std::string groupText;
    for (int g = 1; g <= groups; ++g) {
        groupText += std::to_string(g) + "," + kDept[size_t(g - 1) % kDept.size()] + kTeam +
                     std::to_string((g - 1) / int(kDept.size()) + 1) + kTeamEnd + "\r\n";
    }

    std::string userText;
    userText.reserve(size_t(users) * 24);
    for (int i = 0; i < users; ++i) {
        const std::string id = Numbered("u", i + 1);
        const int groupNo = (groups == 0 || i % 37 == 36) ? 0 : i % groups + 1;
        userText += id + "," + Numbered("pw", (i * 7919) % 100000) + "," + std::to_string(groupNo) + "\r\n";

        const size_t n = size_t(i);
        const std::string name = kFamily[n % kFamily.size()] + kSpace + kGiven[(n / kFamily.size()) % kGiven.size()];
        WriteBytes((userDir / (id + ".txt")).string(),
                   "username=" + name + "\r\nstatus=" + std::to_string(i % 5) + "\r\nplan=" +
                       kPlan[n % kPlan.size()] + "\r\n");
    }

    // Replace read-only files left by an earlier save.
    for (const char* name : {"user.txt", "group.txt"}) {
        std::error_code ec;
        fs::remove(root / name, ec);
    }
    WriteBytes((root / "user.txt").string(), userText);
    WriteBytes((root / "group.txt").string(), groupText);
}

}  // namespace solne::test
