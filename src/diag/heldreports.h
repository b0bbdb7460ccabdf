// Reports held aside while a pass runs on a thread of its own.
#pragma once

#include "diag/i18nerrgest.h"

#include <string>
#include <vector>

namespace qvm::diag {

// The reports of a pass that runs on a thread of its own, beside the main
// thread's work: held in their order, with the pass's own current position,
// until the main thread replays them at the place the pass has in the run.
// While held they are neither counted nor written, so that nothing the
// pass says can come between the main thread's lines.
class HeldReports {
public:
    // Holds the calling thread's reports (and position) while alive.
    class Scope {
    public:
        explicit Scope(HeldReports& into);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        HeldReports* outer_;
    };

    // Reports every held line in order, as it would have been reported
    // then, and takes the pass's last position as the current one. A held
    // fatal or internal report ends the run here, as it did in the pass.
    void replay();

private:
    friend struct HeldAccess;
    struct Line {
        Severity severity;
        std::string code;
        std::string arg1;
        std::string arg2;
        bool fileFatal = false;  // a file that could not be opened, with its error number
        int error = 0;
    };
    std::vector<Line> lines_;
    std::string file_;
    int line_ = 0;
    bool positionSet_ = false;
};

}  // namespace qvm::diag
