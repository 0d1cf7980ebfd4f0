#include "common/FaultyPlaces.h"

namespace solne::test {

bool FaultyPlaces::IsOwnWritableFolder(const std::string& folder) {
    calls.push_back("writable " + folder);
    return folder == programFolder && programFolderOwnAndWritable;
}

int FaultyPlaces::MakeFolder(const std::string& folder) {
    calls.push_back("make " + folder);
    return makeFolderError != 0 ? makeFolderError : inner_.MakeFolder(folder);
}

int FaultyPlaces::CopyNewFile(const std::string& from, const std::string& to) {
    calls.push_back("copy " + from + " " + to);
    return copyError != 0 ? copyError : inner_.CopyNewFile(from, to);
}

}  // namespace solne::test
