// The platform's folders for tests: the program's, the account's and the
// system's settings folders a test names, and which platform's rule for a
// preset beside the program applies, so one test covers the settings place
// of every platform. Folders are made and files copied by the platform's own
// functions unless the test fails them.
#pragma once

#include <string>
#include <vector>

#include "Define/Places.h"

namespace solne::test {

class FaultyPlaces : public Places {
public:
    FaultyPlaces() : FaultyPlaces(PlatformPlaces()) {}
    explicit FaultyPlaces(Places& inner) : inner_(inner) {}

    std::string programFolder;
    bool programFolderOwnAndWritable = false;
    std::string accountFolder;
    std::vector<std::string> systemFolders;
    bool copiesPreset = false;

    // The errno the next MakeFolder or CopyNewFile calls fail with (0: none).
    int makeFolderError = 0;
    int copyError = 0;

    // What was asked and done, in order: "writable <folder>", "make <folder>",
    // "copy <from> <to>".
    std::vector<std::string> calls;

    std::string ProgramFolder() override { return programFolder; }
    bool IsOwnWritableFolder(const std::string& folder) override;
    std::string AccountSettingsFolder() override { return accountFolder; }
    std::vector<std::string> SystemSettingsFolders() override { return systemFolders; }
    bool CopiesPresetToAccount() override { return copiesPreset; }
    int MakeFolder(const std::string& folder) override;
    int CopyNewFile(const std::string& from, const std::string& to) override;

private:
    Places& inner_;
};

}  // namespace solne::test
