// Command line and standard streams on Windows: the arguments come from the
// wide command line (CommandLineToArgvW), the streams are set to binary.
#include "Define/Console.h"
#include "Define/win32/WinText.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

#include <windows.h>
#include <shellapi.h>

namespace solne {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int n = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return {argv, argv + argc};
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i) {
        std::string a;
        win32::Narrow(wide[i], a);
        args.push_back(std::move(a));
    }
    LocalFree(wide);
    return args;
}

void BinaryStandardStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace solne
