// The command line and the standard streams of the console programs, the
// same on every platform: arguments as UTF-8, output written byte for byte.
#pragma once

#include <string>
#include <vector>

namespace solne {

// The program's arguments (argv[0] included) as UTF-8. On Windows they are
// taken from the wide command line, whatever the ANSI code page is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes standard output and standard error byte streams: on Windows no CR is
// added in front of LF, so the output is the same as on Linux.
void BinaryStandardStreams();

}  // namespace solne
