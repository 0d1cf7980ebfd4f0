// What went wrong at the store's edge, in one form for the load, the save
// and the settings file, and the one place that puts it into words for the
// window's messages, solne-check and solne-admin.
#pragma once

#include <string>

#include "Define/FileSystem.h"

namespace solne {

struct Failure {
    std::string file;    // path of the file concerned (the record, for a refused value)
    int line = 0;        // 1-based line of the file, 0 when the whole file is meant
    std::string step;    // what was being done ("書き込み", "削除", ...; the field, for a
                         // refused value); "" for a load, which only reads
    std::string reason;  // the problem in words; "" when `code` says all of it
    int code = 0;        // the file services' value (an errno value or kForeignLink...), 0 when none
    long native = 0;     // the platform's own code behind `code` (FileSystem::NativeError), 0 when not known

    // The reason: `reason`, the text of `code`, or both ("reason(text)").
    std::string Reason() const;
    // One line: "file（step）: reason", or "file:line: reason" / "file: reason"
    // without a step.
    std::string ToString() const;
    // For a message box: the file, "N行目" when there is a line, and the
    // reason, one to a line (CR LF between them).
    std::string Lines() const;
};

// A failure of the file services: `code` as a call of `fs` returned it,
// with the platform's code behind it.
Failure FileFailure(FileSystem& fs, std::string file, std::string step, int code);
// A problem told in words: of a file (and its line, 0 for the whole file),
// or of a step (a refused value: the record and its field).
Failure Problem(std::string file, int line, std::string reason);
Failure StepProblem(std::string file, std::string step, std::string reason);

// The words for a value the file services return ("アクセスが拒否されました");
// for kNativeErrorBase + code the system's own words for that code of the
// platform, with the code.
std::string ErrorText(int code);

}  // namespace solne
