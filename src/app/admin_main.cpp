// solne-admin: changes a board from the command line (src/cli/Admin.h).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ProgramEdge.h"
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
    return solne::RunConsoleProgram("solne-admin", argc, argv, solne::cli::kBoardFailed,
                                    [](const std::vector<std::string>& args) {
        std::string out, err;
        int status = solne::cli::RunAdmin(args, out, err);
        int error = 0;
        Put(stderr, err, error);
        if (!Put(stdout, out, error)) {
            std::fprintf(stderr, "solne-admin: 標準出力に書き込めませんでした: %s\n", std::strerror(error));
            // The board may have been saved: that is still worth saying.
            return status == solne::cli::kDone ? solne::cli::kBoardFailed : status;
        }
        return status;
    });
}
