// The SPG project file: the script's files, instances, families, scenario
// tree, scenarios and rendezvous, for the project tools that drive runs.
#pragma once

#include "codegen/genfiles.h"
#include "script/semmodel.h"
#include "script/sourcefiles.h"

#include <string>
#include <vector>

namespace qvm::codegen {

// Writes the project file of spgPath into the current directory, under the
// file name part of spgPath. sourceFiles are the script's source file
// records, newest first (the script itself last).
void writeSpgFile(GeneratedFiles& files, const std::string& spgPath,
                  const std::vector<script::SourceFileRecord>& sourceFiles, const script::sem::Scope& global);

}  // namespace qvm::codegen
