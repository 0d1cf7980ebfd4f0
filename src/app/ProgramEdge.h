// The edge of the programs: what escapes them put into words, and the start
// and the end of the console programs (solne-check, solne-admin),
// the same for both: standard output and error as byte streams, a closed
// pipe a failed write rather than a silent death, the arguments as UTF-8,
// and anything the program throws told on standard error with a non-zero
// exit status instead of an abort.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace solne {

// Runs `body` on the arguments (the program's name left out). When it
// throws, prints "NAME: ..." on standard error and returns `failureStatus`.
int RunConsoleProgram(const char* name, int argc, char** argv, int failureStatus,
                      const std::function<int(const std::vector<std::string>& args)>& body);

// The words for what escaped a program: the exception's own text, memory
// running out in Japanese.
std::string DescribeException(std::exception_ptr error);

}  // namespace solne
