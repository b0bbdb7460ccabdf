// The input files of a run, noted where they are opened: the script and the
// scripts it includes, the headers the C preprocessor reads. A build tool
// learns from them when the run's outputs are out of date.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qvm::base {

// Notes a file that was opened and read. Paths are kept absolute and
// lexically normal, so that one file opened under two spellings
// ("dir/../a.h", "a.h") is listed once.
void recordFileRead(std::string_view path);

// The files a pass on a thread of its own reads beside the main thread's
// work: held while a Scope is alive on that thread, then noted by note(),
// on the main thread, at the place the pass has in the run.
class HeldFilesRead {
public:
    class Scope {
    public:
        explicit Scope(HeldFilesRead& into);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        HeldFilesRead* outer_;
    };

    void note();

private:
    friend void recordFileRead(std::string_view path);
    std::vector<std::string> paths_;
};

// Every file noted since the last reset, in the order first read.
const std::vector<std::string>& filesRead();

// Forgets every file noted: the start of a new run.
void resetFilesRead();

// The path made absolute against the current directory, with "." and ".."
// parts resolved by name (links are not followed).
std::string absoluteNormalPath(std::string_view path);

}  // namespace qvm::base
