// The function templates of a script that receives its messages through
// TRIGGER lines without a communication type: fctri_c (the _Init functions
// the user fills in, written only once), fctfc_c and the header tarvo_c.h.
#pragma once

#include "codegen/genfiles.h"
#include "script/semmodel.h"

#include <string>
#include <vector>

namespace qvm::codegen {

// Writes the templates beside programPath, with its extension.
// interfaceFiles are included by tarvo_c.h in this order; a fctri_c older
// than one of them is left alone with the warning "OLDFFCTRI".
void writeFunctionTemplates(GeneratedFiles& files, const std::string& programPath,
                            const std::vector<std::string>& interfaceFiles, const script::sem::Scope& global);

}  // namespace qvm::codegen
