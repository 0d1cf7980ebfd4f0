// Temporary board folders for tests: files written byte for byte, texts
// converted to code page 932 by the test itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace solne::test {

// A temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// UTF-8 text to code page 932 bytes (aborts the test program on failure).
std::string Sjis(std::string_view utf8);

// Writes bytes to a file, creating missing parent folders.
void WriteBytes(const std::string& path, std::string_view bytes);
// Reads a whole file; "" and *exists=false when it is missing.
std::string ReadBytes(const std::string& path, bool* exists = nullptr);
bool PathExists(const std::string& path);
// Names in a folder (without "." and ".."), sorted.
std::vector<std::string> ListNames(const std::string& folder);

// A board folder with "user.txt", "group.txt" and "user/<id>.txt", each
// written from UTF-8 lines joined with CR LF (a CR LF after every line).
struct BoardFiles {
    std::vector<std::string> userLines;   // "u01,pass,1"
    std::vector<std::string> groupLines;  // "1,営業"
    // per-user files: {id, {"username=山田", "status=0", "plan="}}
    std::vector<std::pair<std::string, std::vector<std::string>>> perUser;
};
void WriteBoard(const std::string& folder, const BoardFiles& board);

// Joins lines with CR LF after each, then converts to code page 932.
std::string SjisLines(const std::vector<std::string>& lines);

}  // namespace solne::test
