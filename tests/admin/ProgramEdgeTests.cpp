// The edge of the console programs: what their body throws ends as a message
// on standard error and the failure status, never as an abort.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "app/ProgramEdge.h"

namespace {

int RunGuarded(const std::function<int(const std::vector<std::string>&)>& body, std::string& err) {
    char name[] = "solne-test";
    char arg[] = "board";
    char* argv[] = {name, arg, nullptr};
    testing::internal::CaptureStderr();
    const int status = solne::RunConsoleProgram("solne-test", 2, argv, 7, body);
    err = testing::internal::GetCapturedStderr();
    return status;
}

TEST(ProgramEdge, WhatTheBodyThrowsIsToldAndFails) {
    std::string err;
    std::vector<std::string> seen;
    EXPECT_EQ(RunGuarded([&](const std::vector<std::string>& args) { seen = args; return 3; }, err), 3);
#ifndef _WIN32  // Windows: the arguments come from the process's own command line
    EXPECT_EQ(seen, std::vector<std::string>{"board"});  // without the program's name
#endif
    EXPECT_EQ(err, "");

    EXPECT_EQ(RunGuarded([](const std::vector<std::string>&) -> int { throw std::runtime_error("layout broken"); }, err), 7);
    EXPECT_EQ(err, "solne-test: 予期しないエラーのため中止しました: layout broken\n");

    EXPECT_EQ(RunGuarded([](const std::vector<std::string>&) -> int { throw std::bad_alloc(); }, err), 7);
    EXPECT_EQ(err, "solne-test: 予期しないエラーのため中止しました: メモリが不足しています\n");

    EXPECT_EQ(RunGuarded([](const std::vector<std::string>&) -> int { throw 42; }, err), 7);
    EXPECT_EQ(err, "solne-test: 予期しないエラーのため中止しました: 原因の分からないエラーです\n");
}

}  // namespace
