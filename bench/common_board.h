// Board folders for the benchmarks: realistic data of any size.
#pragma once

#include <string>

namespace solne::bench {

// Writes a board into `folder` (created when missing): "user.txt" with
// `users` lines, "group.txt" with `groups` lines and one per-user file for
// every user, all in code page 932 with CR LF. Display names and group names
// are Japanese; users are spread over the groups, a few have none. Whatever
// "user.txt", "group.txt" and "user/" held before is replaced. Throws
// std::runtime_error when a file cannot be written.
void GenerateBoard(const std::string& folder, int users, int groups);

}  // namespace solne::bench
