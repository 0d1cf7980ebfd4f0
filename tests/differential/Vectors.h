// Differential test vectors: the same inputs run through our POSIX layer on
// Linux and through the Windows services under Wine, against expected results
// checked in once under tests/differential/data. Each platform's known
// departures from them are named in the test that meets them.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace solne::test {

// The checked-in file tests/differential/data/<name>, as lines without their
// line ends; "#" lines and empty lines left out.
std::vector<std::string> ExpectedLines(const std::string& name);

// When SOLNE_WRITE_VECTORS names a folder, writes `lines` there as <name>
// (with `header` as "#" lines) and returns true: how the expected files
// are made. Otherwise returns false.
bool WriteVectorsIfAsked(const std::string& name, const std::string& header,
                         const std::vector<std::string>& lines);

// What differs between expected and actual lines: "-line" for an expected
// line that is missing, "+line" for an extra one.
std::set<std::string> LineDifferences(const std::vector<std::string>& expected,
                                      const std::vector<std::string>& actual);

// Joins a few differences for a failure message.
std::string ShowSome(const std::set<std::string>& diffs, size_t most = 40);

// Two-digit upper-case hex of every byte ("8140").
std::string Hex(std::string_view bytes);

// A value on one line of a vector file: CR, LF, tab and backslash as
// "\r" "\n" "\t" "\\", other control bytes (and, with `highBytes`, every
// byte from 0x80) as "\xHH".
std::string Escape(std::string_view s, bool highBytes);

}  // namespace solne::test

namespace solne::test {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a program with arguments (UTF-8), its output and errors caught in files.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace solne::test
