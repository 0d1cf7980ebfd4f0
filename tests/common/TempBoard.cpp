#include "TempBoard.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <random>

#include "Define/Cp932.h"

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

TempDir::TempDir() {
#ifdef _WIN32
    // No mkdtemp: a random name, created only if it is new.
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0;; ++attempt) {
        std::string name = "solne-test-" + std::to_string(random() % 1000000000000ull);
        std::error_code ec;
        fs::path p = fs::temp_directory_path() / name;
        if (fs::create_directory(p, ec)) {
            path_ = Utf8(fs::path(p.generic_u8string()));
            break;
        }
        if (attempt == 100) {
            std::fprintf(stderr, "TempDir: cannot create %s\n", p.string().c_str());
            std::abort();
        }
    }
#else
    std::string tmpl = (fs::temp_directory_path() / "solne-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    path_ = tmpl;
#endif
}

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

void WriteBoard(const std::string& folder, const BoardFiles& board) {
    WriteBytes(folder + "/user.txt", SjisLines(board.userLines));
    WriteBytes(folder + "/group.txt", SjisLines(board.groupLines));
    fs::create_directories(P(folder + "/user"));
    for (auto& [id, lines] : board.perUser) WriteBytes(folder + "/user/" + id + ".txt", SjisLines(lines));
}

}  // namespace solne::test
