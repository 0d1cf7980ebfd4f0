// The test main of the Windows build. mingw's GoogleTest does not catch
// structured exceptions, and under Wine a crash would open the debugger (a
// dialog that waits forever when there is a display): a crash ends the test
// program with exit code 70 instead, so ctest reports it and goes on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <windows.h>

namespace {

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "crash: exception 0x%08lx\n",
                 info && info->ExceptionRecord ? static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode) : 0ul);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 70);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Tests of what only POSIX has. Each is left out of the Windows build with
// the reason; what the Windows build does instead is tested beside it (the
// differential tests, and the tests that run on both).
struct LeftOut {
    const char* test;
    const char* reason;
};
constexpr LeftOut kPosixOnly[] = {
    {"CrashTest.SaveKilledAtRandomMomentsLeavesOldOrNewFiles", "fork and kill"},
    {"FaultTest.FaultAtEveryStepIsReportedAndLeavesWholeFiles",
     "its board holds a symbolic link, and it expects the POSIX layer's operations"},
    {"FileSystem.ExistenceTestCountsRegularFilesAndLinksToThem",
     "symbolic links and fifos; the Windows existence test is in ListingVectors"},
    {"Locate.ExistingFileKeepsCommentsAndOtherSections",
     "setup.ini goes through the profile functions there; Wine drops blank lines (SettingsVectors)"},
    {"Locate.WriteFailureIsReportedWithFileAndReason",
     "setup.ini goes through the profile functions there, which the test's file system cannot fail"},
    {"LoadBoard.PerUserFileByCaseOnlyMatchAndDotNames",
     "a Windows folder cannot hold two names that differ only in letter case"},
    {"ProfileWrite.FailuresLeaveTheFileAndNoTemporaryFile", "permission bits beyond read-only"},
    {"ReplaceFile.KeepsTheModeAndCreatesNewFiles", "permission bits beyond read-only, and the umask"},
    {"SaveTest.FilesOfAnotherAccountKeepOwnerAndMode", "owners and groups"},
    {"SaveTest.LinkedFilesStayLinked", "symbolic links"},
    {"SaveTest.LinkedDataFilesUnchangedAreNoOutsideChange", "symbolic links"},
    {"CheckReport.FileNamesCannotForgeLinesOrReachTheTerminal",
     "file names with a line break or an escape, which Windows refuses; symbolic links"},
    {"SaveTest.PruningDeletesStrayFilesOnly", "symbolic links in the per-user folder"},
    {"CheckLoadError.OddFilesAreNamedAtOnce", "fifos"},
    {"CheckOutput.AFailedWriteIsExitTwoWithAMessage",
     "a per-user file name with a double quote, which Windows refuses; fork and pipes"},
    {"CheckReport.FindingsAreSortedByFileLineAndKind",
     "a per-user file name with a double quote, which Windows refuses"},
    {"CheckReport.JsonGivesCodeFileLineAndMessage", "a per-user file name with a double quote, which Windows refuses"},
    {"CrashTest.RewriteInPlaceKilledReadsOldOrNew", "fork and kill"},
    {"FaultTest.LinkSwappedInAtEveryStepNeverReachesOutside", "symbolic links planted by another account"},
    {"FileSystem.HandleOperationsNeverFollowLinksNorBlock", "symbolic links and fifos"},
    {"FullDiskTest.SaveOnAFullTmpfsLeavesOldOrNewFiles", "mounting a tmpfs"},
    {"SaveTest.GroupSharedBoardStaysWritableForEveryMember", "owners, groups and setuid"},
    {"SaveTest.LinksPlantedByAnotherAccountLeadNowhere", "symbolic links with owners"},
    {"SaveTest.SecondAccountRacingTheSaveReachesNothingOutside", "fork, setuid and symbolic links"},
    {"SaveTest.TemporaryFilesOfDeadProcessesAreRemoved",
     "fork; the Windows process check is in FileSystem.ProcessesAreFoundById"},
};

// Adds the left-out tests to the negative part of the test filter.
void LeaveOutPosixOnly(bool announce) {
    std::string filter = GTEST_FLAG_GET(filter);
    std::string out;
    for (const auto& l : kPosixOnly) {
        out += out.empty() ? "" : ":";
        out += l.test;
        if (announce) std::printf("left out on Windows: %s (%s)\n", l.test, l.reason);
    }
    filter += filter.find('-') == std::string::npos ? "-" : ":";
    GTEST_FLAG_SET(filter, filter + out);
}

}  // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(EndOnCrash);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    LeaveOutPosixOnly(!GTEST_FLAG_GET(list_tests));
    return RUN_ALL_TESTS();
}
