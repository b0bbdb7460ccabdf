// Facts of the C analysis that the program writer spells: the context of each
// WAITTIL's condition function and the variables each tester context copies.
#pragma once

#include "script/semmodel.h"
#include "script/sourcefiles.h"

#include <vector>

namespace qvm::script {

// Gives each WAITTIL the context of its condition function
// (WaittilTexts::context), once the analysis has declared everything.
void gatherWaitContexts(const std::vector<sem::Entry*>& waittils);

// The variables that the script's own top-level '#' lines define (not the
// interfaces they include, nor what the analysis declares for messages and
// their selection contexts) and that a tester context can hold a copy of:
// neither extern nor read-only.
std::vector<sem::ContextVariable> contextVariablesOf(const sem::Model& model,
                                                     const std::vector<SourceFileRecord>& sourceFiles);

}  // namespace qvm::script
