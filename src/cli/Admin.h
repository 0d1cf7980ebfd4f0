// solne-admin: changes a board from the command line with the window's own
// rules, messages and save (frmMain on the controls of CliToolkit.h).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Define/FileSystem.h"

namespace solne::cli {

// Exit statuses.
constexpr int kDone = 0;     // done, or nothing to change
constexpr int kRefused = 1;  // refused input or arguments: nothing written
constexpr int kBoardFailed = 2;  // the board could not be read or written

// Runs one command line (without the program name). What goes to standard
// output is appended to `out`, messages to `err`. Returns the exit status.
// `beforeSave`, when given, runs right before a command saves (tests change
// the board there, as another program would).
int RunAdmin(const std::vector<std::string>& args, std::string& out, std::string& err,
             FileSystem& fs = RealFileSystem(), const std::function<void()>& beforeSave = {});

}  // namespace solne::cli
