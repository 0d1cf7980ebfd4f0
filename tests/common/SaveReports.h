// A save's report as the tests read it: every failure on a line of its own
// for a failed assertion's message, and whether a given failure is among them.
#pragma once

#include <string>

#include "store/Save.h"

namespace solne::test {

// "refused" and "cancelled" when so, then each failure as the window shows it.
std::string Describe(const SaveReport& r);

// Whether the report names `file` with `step` (any step when empty) and
// `reason` (any reason when empty).
bool Reported(const SaveReport& r, const std::string& file, const std::string& step,
              const std::string& reason = "");

}  // namespace solne::test
