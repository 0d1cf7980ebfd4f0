// The test main of the Windows build. mingw's GoogleTest does not catch
// structured exceptions, and under Wine a crash would open the debugger (a
// dialog that waits forever when there is a display): a crash ends the test
// program with exit code 70 instead, so ctest reports it and goes on.
#include <gtest/gtest.h>

#include <cstdio>

#include <windows.h>

namespace {

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "crash: exception 0x%08lx\n",
                 info && info->ExceptionRecord ? static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode) : 0ul);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 70);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(EndOnCrash);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
