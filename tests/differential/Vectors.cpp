#include "Vectors.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include <filesystem>

#include "common/TempBoard.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace solne::test {

std::vector<std::string> ExpectedLines(const std::string& name) {
    std::ifstream f(std::string(SOLNE_SOURCE_DIR) + "/tests/differential/data/" + name, std::ios::binary);
    EXPECT_TRUE(bool(f)) << "missing test data " << name;
    std::vector<std::string> lines;
    for (std::string l; std::getline(f, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l.empty() || l[0] == '#') continue;
        lines.push_back(l);
    }
    return lines;
}

bool WriteVectorsIfAsked(const std::string& name, const std::string& header,
                         const std::vector<std::string>& lines) {
    const char* dir = std::getenv("SOLNE_WRITE_VECTORS");
    if (!dir || !*dir) return false;
    std::ofstream f(std::string(dir) + "/" + name, std::ios::binary | std::ios::trunc);
    std::istringstream h(header);
    for (std::string l; std::getline(h, l);) f << "# " << l << "\n";
    for (auto& l : lines) f << l << "\n";
    return true;
}

std::set<std::string> LineDifferences(const std::vector<std::string>& expected,
                                      const std::vector<std::string>& actual) {
    std::multiset<std::string> e(expected.begin(), expected.end()), a(actual.begin(), actual.end());
    std::set<std::string> out;
    for (auto& l : e)
        if (a.count(l) < e.count(l)) out.insert("-" + l);
    for (auto& l : a)
        if (e.count(l) < a.count(l)) out.insert("+" + l);
    return out;
}

std::string ShowSome(const std::set<std::string>& diffs, size_t most) {
    std::string out;
    size_t n = 0;
    for (auto& d : diffs) {
        if (n++ == most) {
            out += "... " + std::to_string(diffs.size() - most) + " more\n";
            break;
        }
        out += d + "\n";
    }
    return out;
}

std::string Hex(std::string_view bytes) {
    std::string out;
    char buf[3];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        out += buf;
    }
    return out;
}

std::string Escape(std::string_view s, bool highBytes) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || (highBytes && c >= 0x80)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else out += char(c);
    }
    return out;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
    TempDir io;
    ProgramRun r;
#ifdef _WIN32
    // cmd.exe: double quotes, and the whole line quoted once more.
    auto quote = [](const std::string& s) { return "\"" + s + "\""; };
    std::string cmd = quote(program);
    for (const auto& a : args) cmd += " " + quote(a);
    cmd = "\"" + cmd + " >" + quote(io / "out") + " 2>" + quote(io / "err") + "\"";
    r.exitCode = ::_wsystem(std::filesystem::path(std::u8string(cmd.begin(), cmd.end())).c_str());
#else
    auto quote = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string cmd = quote(program);
    for (const auto& a : args) cmd += " " + quote(a);
    cmd += " >" + quote(io / "out") + " 2>" + quote(io / "err");
    const int status = std::system(cmd.c_str());
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    r.out = ReadBytes(io / "out");
    r.err = ReadBytes(io / "err");
    return r;
}

}  // namespace solne::test
