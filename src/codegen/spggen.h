// The SPG project file: the script's files, instances, families, scenario
// tree, scenarios and rendezvous, for the project tools that drive runs.
#pragma once

#include "codegen/genfiles.h"
#include "script/semmodel.h"
#include "script/sourcefiles.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace qvm::codegen {

// Writes the project file of spgPath into the current directory, under the
// file name part of spgPath. sourceFiles are the script's source file
// records, newest first (the script itself last).
void writeSpgFile(GeneratedFiles& files, const std::string& spgPath,
                  const std::vector<script::SourceFileRecord>& sourceFiles, const script::sem::Scope& global);

// The instances that meet at each rendezvous of the script, in the order of
// their declarations: those the instance blocks around it let reach it
// and, inside a procedure, those the calls of that procedure come from.
// Unlike the project file's list, rendezvous and calls in the bodies of
// conditions and loops count too. A rendezvous no instance reaches, and
// every rendezvous of a script without instances, has none.
using RendezvousMembers = std::unordered_map<const script::sem::Entry*, std::vector<std::string>>;
RendezvousMembers rendezvousMembers(const script::sem::Scope& global);

}  // namespace qvm::codegen
