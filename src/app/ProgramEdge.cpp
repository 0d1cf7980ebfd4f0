#include "app/ProgramEdge.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>

#include "Define/Console.h"

namespace solne {

std::string DescribeException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return "メモリが不足しています";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "原因の分からないエラーです";
    }
}

int RunConsoleProgram(const char* name, int argc, char** argv, int failureStatus,
                      const std::function<int(const std::vector<std::string>& args)>& body) {
    // A closed pipe is a failed write reported as such, not a silent death.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    BinaryStandardStreams();
    try {
        const std::vector<std::string> all = Utf8Arguments(argc, argv);
        return body(std::vector<std::string>(all.begin() + (all.empty() ? 0 : 1), all.end()));
    } catch (...) {
        const std::string text = DescribeException(std::current_exception());
        std::fprintf(stderr, "%s: 予期しないエラーのため中止しました: %s\n", name, text.c_str());
        return failureStatus;
    }
}

}  // namespace solne
