#include "common/SaveReports.h"

namespace solne::test {

std::string Describe(const SaveReport& r) {
    std::string out = r.refused ? "refused\n" : "";
    if (r.cancelled) out += "cancelled\n";
    for (auto& f : r.failures) out += f.ToString() + "\n";
    return out;
}

bool Reported(const SaveReport& r, const std::string& file, const std::string& step, const std::string& reason) {
    for (auto& f : r.failures)
        if (f.file == file && (step.empty() || f.step == step) && (reason.empty() || f.Reason() == reason)) return true;
    return false;
}

}  // namespace solne::test
