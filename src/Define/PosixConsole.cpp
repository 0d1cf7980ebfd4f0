// Command line and standard streams on POSIX: the arguments are already in
// the file system's encoding (UTF-8) and the streams are byte streams.
#include "Define/Console.h"

namespace solne {

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void BinaryStandardStreams() {}

}  // namespace solne
