// Scratch folders and board folders for the tests, benchmarks and the soak
// run: files written byte for byte, texts converted to code page 932 by the
// store's own conversion.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace solne::test {

// A new scratch folder, removed with everything in it on destruction; in
// `parent` when given, else in the system's temporary folder.
class TempDir {
public:
    explicit TempDir(const std::string& parent = "");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // A path inside, as the platform writes it ("\\" on Windows, also for a
    // "/" inside `name`), so it compares equal to the paths in messages.
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
};

// A parent for scratch folders that live in memory (/dev/shm) when the
// machine has one, else "" (the system's temporary folder): for runs that
// write many files and are not about the disk. SOLNE_SCRATCH_DIR names
// another place.
std::string MemoryScratchParent();

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

// Five users in two groups, one without a group: the board of the window's
// tests.
BoardFiles FiveUsers();

// Joins lines with CR LF after each, then converts to code page 932.
std::string SjisLines(const std::vector<std::string>& lines);

// Writes a generated board of any size into `folder` (created when
// missing): "user.txt" with `users` lines, "group.txt" with `groups` lines
// and one per-user file for every user. Display names and group names are
// Japanese, with the trail byte 0x5C and vendor characters; users are spread
// over the groups, every 37th has none. Whatever "user.txt", "group.txt"
// and "user/" held before is replaced.
void GenerateBoard(const std::string& folder, int users, int groups);

}  // namespace solne::test
