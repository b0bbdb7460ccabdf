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

// Every file noted since the last reset, in the order first read.
const std::vector<std::string>& filesRead();

// Forgets every file noted: the start of a new run.
void resetFilesRead();

// The path made absolute against the current directory, with "." and ".."
// parts resolved by name (links are not followed).
std::string absoluteNormalPath(std::string_view path);

}  // namespace qvm::base
