// Files and folders for the Windows tests, through the W functions (paths
// and texts are UTF-8).
#pragma once

#include <string>

namespace solne::test {

// A new empty folder under the temporary folder, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
// The file's bytes; "<missing>" when it cannot be read.
std::string ReadBytes(const std::string& path);
bool PathExists(const std::string& path);

}  // namespace solne::test
