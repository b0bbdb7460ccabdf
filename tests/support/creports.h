// Records the reports of the C analysis that a test hands a callback to.
#pragma once

#include "canalysis/cerror.h"

#include <string>
#include <string_view>
#include <vector>

namespace qvm::testing {

struct CReport {
    int severity;
    std::string code;
    std::string argument;
    std::string file;
    int line;
};

// A callback that appends each report to `reports`, which must outlive it.
inline canalysis::DiagnosticCallback recordInto(std::vector<CReport>& reports)
{
    return [&reports](int severity, std::string_view code, std::string_view argument, std::string_view file,
                      int line) {
        reports.push_back({severity, std::string(code), std::string(argument), std::string(file), line});
    };
}

inline std::vector<std::string> codesOf(const std::vector<CReport>& reports)
{
    std::vector<std::string> codes;
    for (const CReport& report : reports) {
        codes.push_back(report.code);
    }
    return codes;
}

}  // namespace qvm::testing
