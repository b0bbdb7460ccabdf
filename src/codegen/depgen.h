// The dependency file of a run: a make rule whose targets are the files the
// run wrote and whose prerequisites are the files it read, so that a build
// tool runs it again when one of them changes.
#pragma once

#include "codegen/genfiles.h"

#include <string>
#include <string_view>
#include <vector>

namespace qvm::codegen {

// A path as make reads it in a rule: a blank or tab gets a backslash (and
// the backslashes before it are doubled), '#' and ':' get a backslash, '$'
// is doubled.
std::string makeEscaped(std::string_view path);
// The same for a target, where '%' also gets a backslash (a bare one would
// make the rule a pattern rule).
std::string makeTargetEscaped(std::string_view path);

// "targets: prerequisites" with one prerequisite per continued line, then
// an empty rule for each prerequisite, so that make does not stop when a
// header has been removed since the last run.
std::string dependencyRules(const std::vector<std::string>& targets, const std::vector<std::string>& prerequisites);

// Adds the dependency file to the outputs of the run: every output created
// so far is a target, named by its absolute path.
void writeDependencyFile(GeneratedFiles& files, const std::string& name,
                         const std::vector<std::string>& prerequisites);

}  // namespace qvm::codegen
