// solne-admin: changes a board from the command line (src/cli/Admin.h).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Define/Console.h"
#include "cli/Admin.h"

namespace {

// Writes everything; false when standard output or error failed.
bool Put(std::FILE* stream, const std::string& text, int& error) {
    if (text.empty()) return true;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0) {
        error = errno ? errno : EIO;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe is a failed write reported as such, not a silent death.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    solne::BinaryStandardStreams();
    const std::vector<std::string> utf8Args = solne::Utf8Arguments(argc, argv);
    std::string out, err;
    int status = solne::cli::RunAdmin({utf8Args.begin() + 1, utf8Args.end()}, out, err);
    int error = 0;
    Put(stderr, err, error);
    if (!Put(stdout, out, error)) {
        std::fprintf(stderr, "solne-admin: 標準出力に書き込めませんでした: %s\n", std::strerror(error));
        // The board may have been saved: that is still worth saying.
        return status == solne::cli::kDone ? solne::cli::kBoardFailed : status;
    }
    return status;
}
