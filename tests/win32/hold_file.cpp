// Another program that holds a file open, as a virus scanner, a search
// indexer or the board's own program does, for the tests of the Windows
// file services:
//   hold_file PATH SHARE MILLISECONDS EVENT
// opens PATH for reading with the share mode SHARE (the letters r, w and d
// for FILE_SHARE_READ, _WRITE and _DELETE; "-" for none), signals the named
// event EVENT once the file is open, holds it for MILLISECONDS and closes
// it. Exit code 0, or 2 when the file could not be opened (the event is
// signalled then too, so the test never waits for nothing).
#include <cstdio>
#include <cwchar>
#include <string>

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: hold_file PATH SHARE MILLISECONDS EVENT\n");
        return 1;
    }
    DWORD share = 0;
    for (const wchar_t* c = argv[2]; *c; ++c) {
        if (*c == L'r') share |= FILE_SHARE_READ;
        else if (*c == L'w') share |= FILE_SHARE_WRITE;
        else if (*c == L'd') share |= FILE_SHARE_DELETE;
    }
    const DWORD ms = DWORD(std::wcstoul(argv[3], nullptr, 10));
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[4]);
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD openError = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (ready) SetEvent(ready);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold_file: cannot open the file (error %lu)\n", static_cast<unsigned long>(openError));
        return 2;
    }
    Sleep(ms);
    CloseHandle(file);
    return 0;
}
